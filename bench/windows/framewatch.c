// Starts a program and tells, in ms after it was started, when its window of
// the given size was mapped and when that window first showed more than one
// colour (its first painted frame); then waits for the file the program writes
// when it has seen enough, and ends the program.
//   framewatch <width> <height> <done file> <timeout s> <program> [arguments...]
// With CLOSE_AT="<x> <y>" set, the program is not ended but closed by a click
// at that point of its window, and "unmapped <ms>" and "ended <ms>" tell how
// long after the click the window left the screen and the program ended.
// Prints "mapped <ms>" and "frame <ms>" (-1: not seen), and "check <ms>", the
// longest read-back, by which a later event may be seen late; exits 0 when
// both were seen and the file came. No polling: each time is taken as the X server's
// event reaches the watcher, MapNotify for the first, and for the second the
// Damage event that announced the drawing, whose pixels are then read back.
#define _POSIX_C_SOURCE 200809L
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xdamage.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/select.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

struct Tracked
{
    Window window;
    int width, height, mapped;
};

static struct Tracked tracked[512];
static int trackedCount;
static int wantWidth, wantHeight;
static double mappedAt = -1, frameAt = -1, longestCheck = 0;

static double nowMs(void)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (double)now.tv_sec * 1e3 + (double)now.tv_nsec / 1e6;
}

// Windows go away while they are looked at; that is no reason to stop.
static int ignoreError(Display *display, XErrorEvent *error)
{
    (void)display;
    (void)error;
    return 0;
}

static struct Tracked *find(Window window)
{
    for (int i = 0; i < trackedCount; ++i) {
        if (tracked[i].window == window)
            return &tracked[i];
    }
    return NULL;
}

// Whether the window shows more than one colour (alpha does not count) along
// its middle row and middle column, which cross the launcher's sidebar and
// background and the bare window's panel. Two thin strips read back in well
// under a millisecond, where the whole window would hold up the watcher.
static int painted(Display *display, const struct Tracked *t)
{
    XImage *row = XGetImage(display, t->window, 0, t->height / 2, t->width, 1, AllPlanes, ZPixmap);
    XImage *column = XGetImage(display, t->window, t->width / 2, 0, 1, t->height, AllPlanes, ZPixmap);
    int differs = 0;
    if (row && column) {
        unsigned long mask = row->red_mask | row->green_mask | row->blue_mask;
        if (!mask)
            mask = ~0UL;
        const unsigned long first = XGetPixel(row, 0, 0) & mask;
        for (int x = 0; x < t->width && !differs; ++x)
            differs = (XGetPixel(row, x, 0) & mask) != first;
        for (int y = 0; y < t->height && !differs; ++y)
            differs = (XGetPixel(column, 0, y) & mask) != first;
    }
    if (row)
        XDestroyImage(row);
    if (column)
        XDestroyImage(column);
    return differs;
}

// A window mapped at its size is the program's; its drawing is then read back.
static void look(Display *display, const struct Tracked *t, double at, int drawn)
{
    if (!t || !t->mapped || t->width != wantWidth || t->height != wantHeight)
        return;
    if (mappedAt < 0)
        mappedAt = at;
    if (frameAt < 0 && drawn) {
        const double start = nowMs();
        if (painted(display, t))
            frameAt = at;
        // Events that came meanwhile are seen this much later.
        if (nowMs() - start > longestCheck)
            longestCheck = nowMs() - start;
    }
}

int main(int argc, char *argv[])
{
    if (argc < 6) {
        fprintf(stderr, "usage: %s <width> <height> <done file> <timeout s> <program> [arguments...]\n", argv[0]);
        return 2;
    }
    wantWidth = atoi(argv[1]);
    wantHeight = atoi(argv[2]);
    const char *doneFile = argv[3];
    const double timeoutMs = atof(argv[4]) * 1e3;
    Display *display = XOpenDisplay(NULL);
    int damageEvent = 0, damageError = 0;
    if (!display || !XDamageQueryExtension(display, &damageEvent, &damageError)) {
        fprintf(stderr, "framewatch: no X display with the Damage extension\n");
        return 2;
    }
    XSetErrorHandler(ignoreError);
    const int fd = ConnectionNumber(display);
    fcntl(fd, F_SETFD, FD_CLOEXEC);
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, False);

    const double spawn = nowMs();
    const pid_t child = fork();
    if (child == 0) {
        execvp(argv[5], argv + 5);
        _exit(127);
    }
    int done = 0, exited = 0, status = 0;
    while (!done && !exited && nowMs() - spawn < timeoutMs) {
        if (!XPending(display)) {
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(fd, &readable);
            struct timeval wait = {0, 20000}; // how soon the done file and the child's end are seen
            select(fd + 1, &readable, NULL, NULL, &wait);
        }
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            const double at = nowMs() - spawn;
            struct Tracked *t = NULL;
            int drawn = 0;
            switch (event.type) {
            case CreateNotify:
                if (trackedCount < (int)(sizeof tracked / sizeof *tracked)) {
                    const XCreateWindowEvent *e = &event.xcreatewindow;
                    tracked[trackedCount++] = (struct Tracked){e->window, e->width, e->height, 0};
                    XDamageCreate(display, e->window, XDamageReportNonEmpty);
                }
                break;
            case ConfigureNotify:
                if ((t = find(event.xconfigure.window))) {
                    t->width = event.xconfigure.width;
                    t->height = event.xconfigure.height;
                }
                break;
            case MapNotify:
                if ((t = find(event.xmap.window)))
                    t->mapped = 1;
                break;
            case UnmapNotify:
                if ((t = find(event.xunmap.window)))
                    t->mapped = 0;
                break;
            default:
                if (event.type == damageEvent + XDamageNotify) {
                    const XDamageNotifyEvent *e = (const XDamageNotifyEvent *)&event;
                    // Drawing from here on is announced afresh; what came before is read below.
                    XDamageSubtract(display, e->damage, None, None);
                    t = find(e->drawable);
                    drawn = 1;
                }
            }
            look(display, t, at, drawn);
        }
        struct stat file;
        done = stat(doneFile, &file) == 0;
        exited = waitpid(child, &status, WNOHANG) == child;
    }
    const char *closeAt = getenv("CLOSE_AT");
    struct Tracked *shown = NULL;
    for (int i = 0; i < trackedCount && closeAt; ++i) {
        if (tracked[i].mapped && tracked[i].width == wantWidth && tracked[i].height == wantHeight)
            shown = &tracked[i];
    }
    double unmappedAfter = -1, endedAfter = -1;
    if (done && !exited && shown) {
        int x = 0, y = 0;
        Window ignored;
        sscanf(closeAt, "%d %d", &x, &y);
        XTranslateCoordinates(display, shown->window, DefaultRootWindow(display), x, y, &x, &y, &ignored);
        // The pointer rests on the button a moment first, as a player's does.
        XTestFakeMotionEvent(display, -1, x, y, CurrentTime);
        XSync(display, False);
        nanosleep(&(struct timespec){0, 300000000}, NULL);
        const double click = nowMs();
        XTestFakeButtonEvent(display, 1, True, CurrentTime);
        XTestFakeButtonEvent(display, 1, False, CurrentTime);
        XFlush(display);
        while (!exited && nowMs() - click < 20000) {
            while (XPending(display)) {
                XEvent event;
                XNextEvent(display, &event);
                if (event.type == UnmapNotify && event.xunmap.window == shown->window && unmappedAfter < 0)
                    unmappedAfter = nowMs() - click;
            }
            exited = waitpid(child, &status, WNOHANG) == child;
            if (!exited)
                nanosleep(&(struct timespec){0, 2000000}, NULL);
        }
        if (exited)
            endedAfter = nowMs() - click;
    }
    if (!exited) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
    }
    printf("mapped %.3f\nframe %.3f\ncheck %.3f\n", mappedAt, frameAt, longestCheck);
    if (closeAt)
        printf("unmapped %.3f\nended %.3f\n", unmappedAfter, endedAfter);
    if (!done)
        fprintf(stderr, "framewatch: %s %s\n", argv[5], exited ? "ended early" : "timed out");
    XCloseDisplay(display);
    return done && mappedAt >= 0 && frameAt >= 0 ? 0 : 1;
}
