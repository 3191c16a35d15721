#!/usr/bin/python3
"""Clicks into a top-level window of the X display named by DISPLAY, the way
a person does with the mouse (through the XTEST extension), so that an
end-to-end test can press a button of the real program.

usage: xclick.py TITLE X Y

X and Y are pixels inside the window whose title is TITLE. Exits 0 once it
has clicked, 1 when no such window appears within ten seconds.
"""

import ctypes
import sys
import time
from ctypes import POINTER, byref, c_char_p, c_int, c_uint, c_ulong, c_void_p

x11 = ctypes.CDLL("libX11.so.6")
xtst = ctypes.CDLL("libXtst.so.6")

x11.XOpenDisplay.restype = c_void_p
x11.XOpenDisplay.argtypes = [c_char_p]
x11.XDefaultRootWindow.restype = c_ulong
x11.XDefaultRootWindow.argtypes = [c_void_p]
x11.XFetchName.argtypes = [c_void_p, c_ulong, POINTER(c_void_p)]
x11.XQueryTree.argtypes = [c_void_p, c_ulong, POINTER(c_ulong), POINTER(c_ulong),
                           POINTER(POINTER(c_ulong)), POINTER(c_uint)]
x11.XTranslateCoordinates.argtypes = [c_void_p, c_ulong, c_ulong, c_int, c_int,
                                      POINTER(c_int), POINTER(c_int), POINTER(c_ulong)]
x11.XFree.argtypes = [c_void_p]
x11.XSync.argtypes = [c_void_p, c_int]
xtst.XTestFakeMotionEvent.argtypes = [c_void_p, c_int, c_int, c_int, c_ulong]
xtst.XTestFakeButtonEvent.argtypes = [c_void_p, c_uint, c_int, c_ulong]


def title_of(display, window):
    name = c_void_p()
    if not x11.XFetchName(display, window, byref(name)) or not name.value:
        return None
    try:
        return ctypes.string_at(name.value).decode("utf-8", "replace")
    finally:
        x11.XFree(name)


def find(display, window, title):
    if title_of(display, window) == title:
        return window
    root, parent = c_ulong(), c_ulong()
    children, count = POINTER(c_ulong)(), c_uint()
    if not x11.XQueryTree(display, window, byref(root), byref(parent), byref(children), byref(count)):
        return None
    try:
        for i in range(count.value):
            found = find(display, children[i], title)
            if found:
                return found
    finally:
        if children:
            x11.XFree(children)
    return None


def main(argv):
    title, x, y = argv[0], int(argv[1]), int(argv[2])
    display = x11.XOpenDisplay(None)
    if not display:
        print("xclick: cannot open the display", file=sys.stderr)
        return 1
    root = x11.XDefaultRootWindow(display)
    deadline = time.monotonic() + 10
    window = None
    while window is None and time.monotonic() < deadline:
        window = find(display, root, title)
        if window is None:
            time.sleep(0.1)
    if window is None:
        print("xclick: no window titled %r" % title, file=sys.stderr)
        return 1
    ax, ay, child = c_int(), c_int(), c_ulong()
    x11.XTranslateCoordinates(display, window, root, x, y, byref(ax), byref(ay), byref(child))
    xtst.XTestFakeMotionEvent(display, -1, ax.value, ay.value, 0)
    xtst.XTestFakeButtonEvent(display, 1, 1, 0)
    xtst.XTestFakeButtonEvent(display, 1, 0, 0)
    x11.XSync(display, 0)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
