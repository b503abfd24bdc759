"""The AT-SPI client of scripts/check-accessibility: starts the program given,
reads its window through the accessibility bus, presses YES and keeps reading
while the update works. Prints what it read; exits 1 when a check fails."""
import subprocess
import sys
import time

import pyatspi

TITLE = "Corvane VXE720 Firmware Update Utility"
failures = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what)
    if not ok:
        failures.append(what)


def find_window():
    for app in pyatspi.Registry.getDesktop(0):
        if app is None:
            continue
        for window in app:
            if window is not None and window.name.startswith(TITLE):
                return window
    return None


def extents(accessible):
    return accessible.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)


def children(window):
    # The window's children change as the update shows and hides controls:
    # one that went between the count and the fetch comes back as None.
    found = (window.getChildAtIndex(i) for i in range(window.childCount))
    return [child for child in found if child is not None]


def inside(inner, outer):
    return (inner.x + inner.width > outer.x and inner.x < outer.x + outer.width and
            inner.y + inner.height > outer.y and inner.y < outer.y + outer.height)


program = subprocess.Popen(sys.argv[1:])
try:
    window = None
    deadline = time.monotonic() + 30
    while window is None and time.monotonic() < deadline:
        time.sleep(0.2)
        window = find_window()
    check(window is not None, "the window is on the accessibility bus")
    if window is None:
        sys.exit(1)

    print("window: role %s, name %r" % (window.getRoleName(), window.name))
    check(window.getRoleName() in ("frame", "window", "dialog"), "the window's role is a window's")
    frame = extents(window)
    yes = None
    for child in children(window):
        showing = child.getState().contains(pyatspi.STATE_SHOWING)
        print("  %s %r showing=%s" % (child.getRoleName(), child.name, showing))
        check(showing and inside(extents(child), frame), "%r is drawn inside the window" % child.name)
        if child.getRoleName() == "push button" and child.name == "YES":
            yes = child
    check(yes is not None, "YES is offered")
    if yes is None:
        sys.exit(1)

    # A click as the user makes it; the reads go on while the update works.
    box = extents(yes)
    subprocess.run(["xdotool", "mousemove", str(box.x + box.width // 2), str(box.y + box.height // 2),
                    "click", "1"], check=True)
    reads = []  # (seconds the read took, progress shown or None)
    end = time.monotonic() + 20
    done = False
    while time.monotonic() < end and not done:
        start = time.monotonic()
        progress = None
        try:
            for child in children(window):
                if child.getRoleName() == "progress bar":
                    progress = child.queryValue().currentValue
                if (child.name == "Please power cycle the device" or "fail" in child.name) and \
                        child.getState().contains(pyatspi.STATE_SHOWING):
                    done = True
        except Exception as error:  # a child that went away while it was read
            print("  read again after: %s" % error)
            continue
        reads.append((time.monotonic() - start, progress))
    during = [r for r in reads if r[1] is not None]
    print("reads while the progress bar showed: %d, values %s" %
          (len(during), sorted({int(p) for _, p in during})))
    print("longest read: %.0f ms" % (1000 * max(t for t, _ in reads)))
    check(done, "the update ended and its result was read")
    # The update takes about a second; a window that does not answer during it
    # is read once before and once after.
    check(len(during) >= 3, "the window answered while the update worked")
    check(max(t for t, _ in reads) < 0.5, "no read waited for the update (longest under 500 ms)")
finally:
    program.terminate()
    program.wait(timeout=10)
sys.exit(1 if failures else 0)
