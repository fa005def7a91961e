// Huge pages for the viewer's large buffers.
//
// Pictures take buffers of hundreds of megabytes: the decoded copy, and the GL's own texture
// memory. Faulting those in 4 KiB at a time can cost more than decoding the picture: the 256 MiB
// texture of an 8192-pixel copy takes 0.7 s to fill under Mesa's software renderer in a virtual
// machine, and 0.1 s in huge pages. glibc backs its large allocations with transparent huge pages
// when its tunable glibc.malloc.hugetlb is 1, and it reads its tunables only from the environment,
// at start.
#pragma once

// Starts the program once more, the same arguments, with glibc.malloc.hugetlb=1 added to
// GLIBC_TUNABLES, unless that already names the tunable. Returns only if the program is started
// with it already, or cannot be started again (then it goes on without).
void startWithHugePages(char** argv);
