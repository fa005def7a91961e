/* Preloaded into a program whose start-up is measured. It notes the time just before main runs and
   the time at which every one of the program's first two GLX drawables has swapped once, writes
   the difference in seconds to the file named by FIRST_FRAMES_RESULT, and ends the program. */
#define _GNU_SOURCE
#include <GL/glx.h>
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

static double start;
static GLXDrawable swapped[2];
static int swappedCount;

static double now(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

__attribute__((constructor)) static void noteStart(void)
{
    start = now();
}

void glXSwapBuffers(Display* display, GLXDrawable drawable)
{
    static void (*realSwap)(Display*, GLXDrawable);
    if (!realSwap)
        realSwap = (void (*)(Display*, GLXDrawable))dlsym(RTLD_NEXT, "glXSwapBuffers");
    realSwap(display, drawable);
    glFinish();

    for (int i = 0; i < swappedCount; ++i)
        if (swapped[i] == drawable)
            return;
    swapped[swappedCount++] = drawable;
    if (swappedCount < 2)
        return;

    const double elapsed = now() - start;
    FILE* result = fopen(getenv("FIRST_FRAMES_RESULT"), "w");
    if (result) {
        fprintf(result, "%.9f\n", elapsed);
        fclose(result);
    }
    _exit(0);
}
