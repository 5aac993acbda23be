#!/usr/bin/python3
"""Reads the running studio as a screen reader does (AT-SPI) and fails on any control or view
that has no accessible name, since such a control is silent to the user who cannot see it.

Run inside a session bus and a display, as CTest does:
    xvfb-run -a dbus-run-session -- /usr/bin/python3 accessible_names_test.py KESTREL [--dump]

To check a dialog too, open it (PressKeys below, e.g. "alt+t", "o" for Tools > Options) and call
UnnamedControls with the dialog's title; every window is checked the same way.
"""
import os
import subprocess
import sys
import time

import pyatspi

# Roles a user operates or reads: each needs a name. Containers (panels, fillers, the window's
# frame) carry none of their own.
NAMED_ROLES = {
    pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_TOGGLE_BUTTON, pyatspi.ROLE_CHECK_BOX,
    pyatspi.ROLE_RADIO_BUTTON, pyatspi.ROLE_COMBO_BOX, pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY,
    pyatspi.ROLE_SPIN_BUTTON, pyatspi.ROLE_SLIDER, pyatspi.ROLE_TREE, pyatspi.ROLE_TREE_TABLE,
    pyatspi.ROLE_TABLE, pyatspi.ROLE_LIST, pyatspi.ROLE_LIST_BOX, pyatspi.ROLE_PAGE_TAB,
    pyatspi.ROLE_MENU, pyatspi.ROLE_MENU_ITEM, pyatspi.ROLE_CHECK_MENU_ITEM,
    pyatspi.ROLE_RADIO_MENU_ITEM, pyatspi.ROLE_CANVAS, pyatspi.ROLE_SCROLL_PANE, pyatspi.ROLE_IMAGE,
    pyatspi.ROLE_TOOL_BAR, pyatspi.ROLE_STATUS_BAR, pyatspi.ROLE_PROGRESS_BAR,
}
# Qt's own parts a user never reaches by themselves: the scroll bars' and splitters' inner pieces.
IGNORED_ROLES = {pyatspi.ROLE_SCROLL_BAR, pyatspi.ROLE_SEPARATOR, pyatspi.ROLE_SPLIT_PANE}


def FindApplication(name, timeout=20.0):
    """The accessible application whose name is `name`, once it is on the bus."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        desktop = pyatspi.Registry.getDesktop(0)
        for app in desktop:
            if app is not None and app.name.lower() == name.lower():
                return app
        time.sleep(0.3)
    seen = [app.name for app in pyatspi.Registry.getDesktop(0) if app is not None]
    raise RuntimeError(f"{name} did not appear on the accessibility bus (there: {seen})")


def FindWindow(app, title, timeout=10.0):
    """The top-level window or dialog of `app` whose title is `title` or begins with it."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        for window in app:
            if window is not None and window.name.startswith(title):
                return window
        time.sleep(0.3)
    raise RuntimeError(f"no window titled {title!r}")


def Walk(node, path=()):
    """Every node below `node` with its path of role names, depth first."""
    for child in node:
        if child is None:
            continue
        here = path + (f"{child.getRoleName()}[{child.name}]",)
        yield child, here
        yield from Walk(child, here)


def IsShowing(node):
    return node.getState().contains(pyatspi.STATE_SHOWING)


def UnnamedControls(app, title):
    """The paths of the controls and views in window `title` that have no name, hidden ones too
    (a developer's button, the tool bar's overflow button in a narrow window)."""
    faults = []
    for node, path in Walk(FindWindow(app, title)):
        role = node.getRole()
        if role in IGNORED_ROLES or role not in NAMED_ROLES:
            continue
        if not node.name.strip():
            faults.append(" / ".join(path))
    return faults


def PressKeys(*keys):
    """Presses keys in the focused window ("alt+t", "o"), as a keyboard user opens a dialog. An
    AT-SPI action would wait for the reply of a modal dialog's whole run, so keys are used."""
    for key in keys:
        subprocess.run(["xdotool", "key", key], check=True)
        time.sleep(0.4)


def Dump(window):
    for node, path in Walk(window):
        print("  " * (len(path) - 1) + f"{node.getRoleName()} {node.name!r}"
              f"{'' if IsShowing(node) else ' (hidden)'}")


def StartStudio(program, arguments=()):
    environment = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1",
                       QT_QPA_PLATFORM="xcb")
    # Each test run has its own settings and runtime folder, so no other studio is reached.
    home = os.path.join(os.environ.get("TMPDIR", "/tmp"), f"kestrel-a11y-{os.getpid()}")
    os.makedirs(os.path.join(home, "run"), mode=0o700, exist_ok=True)
    environment.update(XDG_CONFIG_HOME=os.path.join(home, "config"), XDG_RUNTIME_DIR=os.path.join(home, "run"))
    return subprocess.Popen([program, *arguments], env=environment)


def main():
    program = sys.argv[1]
    launcher = subprocess.Popen(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
    # A display that xvfb-run has just made may refuse the first connection for a moment.
    for attempt in range(5):
        studio = StartStudio(program)
        try:
            studio.wait(2)
            time.sleep(1)
        except subprocess.TimeoutExpired:
            break
    try:
        app = FindApplication("kestrel")
        if "--dump" in sys.argv:
            Dump(FindWindow(app, "Kestrel"))
        faults = UnnamedControls(app, "Kestrel")
        for fault in faults:
            print("no accessible name:", fault)
        print(f"{len(faults)} unnamed control(s) in the main window")
        return 1 if faults else 0
    finally:
        studio.terminate()
        studio.wait(10)
        launcher.terminate()


if __name__ == "__main__":
    sys.exit(main())
