#!/usr/bin/env python3
"""Starts a command and prints the milliseconds until the screen area given
has its first pixel that is not black, then leaves the command running and
prints its process id on a second line.

Usage: first-paint.py X Y WIDTH HEIGHT COMMAND [ARGUMENT...]

Reads the area straight from the X server (through libX11), a few
milliseconds a look, so the figure is the window's own and not the poller's.
"""

import ctypes
import ctypes.util
import subprocess
import sys
import time


class XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.POINTER(ctypes.c_char)), ("byte_order", ctypes.c_int),
                ("bitmap_unit", ctypes.c_int), ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int),
                ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int)]


def main():
    x, y, width, height = (int(value) for value in sys.argv[1:5])
    xlib = ctypes.CDLL(ctypes.util.find_library("X11"))
    xlib.XOpenDisplay.restype = ctypes.c_void_p
    xlib.XDefaultRootWindow.restype = ctypes.c_ulong
    xlib.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    xlib.XGetImage.restype = ctypes.POINTER(XImage)
    xlib.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                               ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
    xlib.XDestroyImage.argtypes = [ctypes.POINTER(XImage)]
    display = xlib.XOpenDisplay(None)
    if not display:
        sys.exit("first-paint: no X display")
    root = xlib.XDefaultRootWindow(display)
    z_pixmap = 2
    started = time.monotonic()
    child = subprocess.Popen(sys.argv[5:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    while True:
        image = xlib.XGetImage(display, root, x, y, width, height, 0xFFFFFFFF, z_pixmap)
        data = ctypes.string_at(image.contents.data, image.contents.bytes_per_line * height)
        xlib.XDestroyImage(image)
        if data.strip(b"\0"):
            break
        if child.poll() is not None:
            sys.exit(f"first-paint: the command ended with {child.returncode} before painting")
        time.sleep(0.002)
    print(round((time.monotonic() - started) * 1000))
    print(child.pid)


if __name__ == "__main__":
    main()
