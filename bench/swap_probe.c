/* Preloaded into a program whose frames are timed. To the file descriptor named by SWAP_PROBE_FD
   it writes the time just before main runs ("start SECONDS"), the time at which each of the
   program's swaps has finished and the drawable it showed ("swap SECONDS DRAWABLE"), and the time
   at which GLUT hands a motion event to the program's motion callback ("motion SECONDS"). Times
   are CLOCK_MONOTONIC seconds, which the process reading them shares. */
#define _GNU_SOURCE
#include <GL/glut.h>
#include <GL/glx.h>
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

static FILE* probe;

static double now(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

__attribute__((constructor)) static void noteStart(void)
{
    const char* fd = getenv("SWAP_PROBE_FD");
    probe = fd ? fdopen(atoi(fd), "w") : NULL;
    if (probe) {
        setvbuf(probe, NULL, _IOLBF, 0);
        fprintf(probe, "start %.9f\n", now());
    }
}

void glXSwapBuffers(Display* display, GLXDrawable drawable)
{
    static void (*realSwap)(Display*, GLXDrawable);
    if (!realSwap)
        realSwap = (void (*)(Display*, GLXDrawable))dlsym(RTLD_NEXT, "glXSwapBuffers");
    realSwap(display, drawable);
    glFinish();
    if (probe)
        fprintf(probe, "swap %.9f %lu\n", now(), (unsigned long)drawable);
}

/* GLUT keeps a motion callback per window; so does the probe, to call the right one. */
enum { windowLimit = 16 };
static void (*motionCallbacks[windowLimit])(int, int);

static void timedMotion(int x, int y)
{
    if (probe)
        fprintf(probe, "motion %.9f\n", now());
    motionCallbacks[glutGetWindow() % windowLimit](x, y);
}

void glutMotionFunc(void (*callback)(int, int))
{
    static void (*realMotionFunc)(void (*)(int, int));
    if (!realMotionFunc)
        realMotionFunc = (void (*)(void (*)(int, int)))dlsym(RTLD_NEXT, "glutMotionFunc");
    motionCallbacks[glutGetWindow() % windowLimit] = callback;
    realMotionFunc(callback ? timedMotion : NULL);
}
