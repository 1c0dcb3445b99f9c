#!/usr/bin/python3
"""Drives Lanlan the way a screen reader or UI-automation tool does, over AT-SPI.

Run inside a session that has the accessibility bus (scripts/a11y-check.sh sets one up).
Copies the program into a fresh folder, makes the first account through the accessible
fields and buttons, prints the login window's accessible tree, then logs in by pressing
"登录" through its action, and in a second run quits by pressing "退出".
Uses the system python3, where pyatspi lives.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

import pyatspi

APP_NAME = "Lanlan"
USER, PASSWORD = "店主", "a11y"


def log(*parts):
    print(*parts, flush=True)


def wait_for(what, probe, timeout=20.0):
    end = time.time() + timeout
    while time.time() < end:
        found = probe()
        if found:
            return found
        time.sleep(0.2)
    raise SystemExit(f"FAILED: timed out waiting for {what}")


def application():
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name == APP_NAME:
            return app
    return None


def window_named(title):
    app = application()
    if app is None:
        return None
    for i in range(app.childCount):
        w = app.getChildAtIndex(i)
        if w is not None and w.name == title and w.getState().contains(pyatspi.STATE_SHOWING):
            return w
    return None


def walk(node):
    yield node
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            yield from walk(child)


def find(root, role, name=None):
    return [n for n in walk(root) if n.getRoleName() == role and (name is None or n.name == name)]


def describe(node):
    parts = [node.getRoleName(), repr(node.name)]
    if node.description:
        parts.append(f"description={node.description!r}")
    states = node.getState()
    flags = [f for f, s in (("focusable", pyatspi.STATE_FOCUSABLE), ("focused", pyatspi.STATE_FOCUSED),
                             ("sensitive", pyatspi.STATE_SENSITIVE), ("showing", pyatspi.STATE_SHOWING))
             if states.contains(s)]
    parts.append("[" + " ".join(flags) + "]")
    try:
        action = node.queryAction()
        acts = [f"{action.getName(i)}({action.getKeyBinding(i)})" if action.getKeyBinding(i) else action.getName(i)
                for i in range(action.nActions)]
        if acts:
            parts.append("actions=" + ",".join(acts))
    except NotImplementedError:
        pass
    return " ".join(parts)


def dump(node, depth=0):
    log("  " * depth + describe(node))
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            dump(child, depth + 1)


def press(button):
    name = button.name  # gone once the press closes its window
    action = button.queryAction()
    for i in range(action.nActions):
        if action.getName(i) == "Press":
            started = time.time()
            action.doAction(i)
            log(f"pressed {name!r} through its action (call returned in {time.time() - started:.2f} s)")
            return
    raise SystemExit(f"FAILED: {button.name!r} has no Press action")


def type_into(field, text):
    field.queryEditableText().setTextContents(text)


def shot(folder, name):
    path = os.path.join(folder, name)
    subprocess.run(["import", "-window", "root", path], check=False)
    log("screenshot:", path)


def start(folder):
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb")
    return subprocess.Popen([os.path.join(folder, "lanlan")], env=env)


def first_account(folder):
    proc = start(folder)
    dialog = wait_for("the first-account window", lambda: window_named("设置登录账号"))
    log("== first run: first-account window")
    dump(dialog)
    fields = find(dialog, "text") + find(dialog, "password text")
    fields.sort(key=lambda n: n.queryComponent().getExtents(pyatspi.DESKTOP_COORDS).y)
    for field, text in zip(fields, (USER, PASSWORD, PASSWORD)):
        type_into(field, text)
    press(find(dialog, "push button", "确定")[0])
    return proc


def login_window():
    return wait_for("the login window", lambda: window_named("登录"))


def main():
    binary_dir = sys.argv[1] if len(sys.argv) > 1 else "build/bin"
    folder = tempfile.mkdtemp(prefix="lanlan-a11y-")
    for name in ("lanlan", "tour.htm"):
        shutil.copy2(os.path.join(binary_dir, name), folder)
    log("program folder:", folder)

    # Run 1: first account, then log in through the accessible buttons.
    proc = first_account(folder)
    login = login_window()
    log("== login window")
    dump(login)
    shot(folder, "login.png")
    buttons = find(login, "push button")
    log("push buttons:", [b.name for b in buttons])
    if sorted(b.name for b in buttons) != sorted(["登录", "退出"]):
        raise SystemExit("FAILED: the login window's buttons are not the push buttons 登录 and 退出")

    fields = find(login, "text") + find(login, "password text")
    fields.sort(key=lambda n: n.queryComponent().getExtents(pyatspi.DESKTOP_COORDS).y)
    type_into(fields[0], USER)
    type_into(fields[1], "wrong")
    press(find(login, "push button", "登录")[0])
    box = wait_for("the wrong-password box", lambda: window_named(APP_NAME))
    log("box:", [n.name for n in walk(box) if n.getRoleName() == "label"])
    press_ok = [b for b in find(box, "push button")]
    press(press_ok[0])
    wait_for("the box to close", lambda: window_named(APP_NAME) is None)

    type_into(fields[1], PASSWORD)
    press(find(login, "push button", "登录")[0])
    wait_for("the login window to close", lambda: window_named("登录") is None)
    main_window = wait_for("the main window", lambda: window_named("澜岚系统"))
    sensitive = main_window.getState().contains(pyatspi.STATE_SENSITIVE)
    log("after 登录: login window gone; main window", repr(main_window.name), "sensitive =", sensitive)
    if not sensitive:
        raise SystemExit("FAILED: the main window stayed disabled after the login")
    shot(folder, "after-login.png")
    proc.terminate()
    proc.wait(10)

    # Run 2: the account exists; quit through 退出.
    proc = start(folder)
    login = login_window()
    press(find(login, "push button", "退出")[0])
    code = proc.wait(10)
    log("after 退出: the program ended with exit code", code)
    if code != 0:
        raise SystemExit("FAILED: 退出 did not end the program cleanly")
    log("OK")


if __name__ == "__main__":
    main()
