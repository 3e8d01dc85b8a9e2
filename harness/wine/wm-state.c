/* wm-state: answers for a window manager on the harness's virtual display,
 * in the one way Wine waits for. Before Wine hides a managed top-level window
 * it waits until the window manager has marked the window as shown (the
 * WM_STATE property); with no window manager it gives up only after two
 * seconds, on every dialog and message box that closes. This program sets
 * WM_STATE when a top-level window is mapped or unmapped and does nothing
 * else: no frames, no focus, no stacking, so nothing moves the foreground
 * between processes.
 *
 * A Linux program, built by harness/wine/start with the host compiler:
 *     cc -O2 -o wm-state wm-state.c -lX11
 * Runs until the display goes away. */
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <stdio.h>
#include <stdlib.h>

static Atom wm_state;

/* Windows vanish between an event and the answer to it; that is no error. */
static int ignore_error(Display *display, XErrorEvent *error)
{
    (void)display;
    (void)error;
    return 0;
}

static void set_state(Display *display, Window window, long state)
{
    long value[2] = {state, None};
    XChangeProperty(display, window, wm_state, wm_state, 32, PropModeReplace,
                    (unsigned char *)value, 2);
    XFlush(display);
}

int main(void)
{
    Display *display = XOpenDisplay(NULL);
    if (!display) {
        fputs("wm-state: cannot open the display\n", stderr);
        return 1;
    }
    XSetErrorHandler(ignore_error);
    wm_state = XInternAtom(display, "WM_STATE", False);
    Window root = DefaultRootWindow(display);
    XSelectInput(display, root, SubstructureNotifyMask);

    /* Windows shown before we started. */
    Window tree_root, parent, *children = NULL;
    unsigned int count = 0;
    if (XQueryTree(display, root, &tree_root, &parent, &children, &count)) {
        for (unsigned int i = 0; i < count; ++i) {
            XWindowAttributes attributes;
            if (XGetWindowAttributes(display, children[i], &attributes) &&
                !attributes.override_redirect && attributes.map_state != IsUnmapped)
                set_state(display, children[i], NormalState);
        }
        XFree(children);
    }

    for (;;) {
        XEvent event;
        XNextEvent(display, &event);
        /* Only the root's own children are top-level windows; a window
         * without override-redirect is one a window manager would manage. */
        if (event.type == MapNotify && event.xmap.event == root &&
            !event.xmap.override_redirect)
            set_state(display, event.xmap.window, NormalState);
        else if (event.type == UnmapNotify && event.xunmap.event == root)
            set_state(display, event.xunmap.window, WithdrawnState);
    }
}
