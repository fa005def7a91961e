/* Preloaded into a program whose frames are timed. To the file descriptor named by SWAP_PROBE_FD
   it writes the time just before main runs ("start SECONDS"), the time at which each of the
   program's swaps has finished, the drawable it showed and whether the frame had painted the
   pixel at (8, 8), which the viewer leaves white until it has a picture ("swap SECONDS DRAWABLE
   PAINTED"), the time at
   which GLUT hands a motion event to the program's motion callback ("motion SECONDS"), and the
   time at which an upload of a texture's first level has finished, and its width ("texture
   SECONDS WIDTH"). Times are CLOCK_MONOTONIC seconds, which the process reading them shares. */
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
    unsigned char pixel[3] = {255, 255, 255};
    if (probe) {
        GLint readBuffer = GL_BACK;
        glGetIntegerv(GL_READ_BUFFER, &readBuffer);
        glReadBuffer(GL_BACK);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(8, 8, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, pixel);
        glReadBuffer((GLenum)readBuffer);
    }
    realSwap(display, drawable);
    glFinish();
    if (probe)
        fprintf(probe, "swap %.9f %lu %d\n", now(), (unsigned long)drawable, pixel[0] + pixel[1] + pixel[2] != 3 * 255);
}

void glTexImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei width, GLsizei height, GLint border, GLenum format,
                  GLenum type, const void* pixels)
{
    static void (*realTexImage)(GLenum, GLint, GLint, GLsizei, GLsizei, GLint, GLenum, GLenum, const void*);
    if (!realTexImage)
        realTexImage = (void (*)(GLenum, GLint, GLint, GLsizei, GLsizei, GLint, GLenum, GLenum, const void*))dlsym(RTLD_NEXT, "glTexImage2D");
    realTexImage(target, level, internalFormat, width, height, border, format, type, pixels);
    if (probe && level == 0)
        fprintf(probe, "texture %.9f %d\n", now(), (int)width);
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
