#!/usr/bin/python3
"""The real program with real clients, each on an X server of its own:

  realclients.py ime PROGRAM
      Japanese typed through fcitx5 and Mozc ("nihongo", space, Enter) into
      the editor, and saved: the record holds 日本語 exactly; a screen reader
      listening on the accessibility bus hears the composition as one insert.
  realclients.py accessibility PROGRAM
      The accessibility bus (python3-pyatspi) reads the editor's exact text,
      its caret and its selection as keys move them, and hears an edit.

Exits 77 (skipped, with the reason) when a package it needs is missing.
Mozc refuses to run as root: run as root, the test drops to nobody in a
folder of its own. Every wait is for a condition, bounded by a generous
limit that only a fault reaches.
"""

import glob
import os
import shutil
import subprocess
import sys
import tempfile
import time

SKIP = 77
LIMIT = 60.0  # seconds a condition may take before the test fails
RECORD = "alpha\u00a0beta\n日本語の行\n"


def skip(reason):
    print(f"SKIP: {reason} (scripts/setup.sh installs it)")
    sys.exit(SKIP)


def fail(reason):
    print(f"FAIL: {reason}")
    sys.exit(1)


def check_packages(mode):
    for command in ("Xvfb", "dbus-run-session", "setpriv"):
        if not shutil.which(command):
            skip(f"{command} is not installed")
    try:
        import Xlib.ext.xtest  # noqa: F401
    except ImportError:
        skip("python3-xlib is not installed")
    if mode == "ime":
        if not shutil.which("fcitx5") or not shutil.which("fcitx5-remote"):
            skip("fcitx5 is not installed")
        if not glob.glob("/usr/share/fcitx5/addon/mozc.conf"):
            skip("fcitx5-mozc is not installed")
        if not glob.glob("/usr/lib/*/qt6/plugins/platforminputcontexts/libfcitx5platform*"):
            skip("fcitx5-frontend-qt6 is not installed")
    try:
        import pyatspi  # noqa: F401
    except ImportError:
        skip("python3-pyatspi is not installed")
    if not os.path.exists("/usr/libexec/at-spi-bus-launcher"):
        skip("at-spi2-core is not installed")


def wait_for(what, condition, pump=None):
    end = time.monotonic() + LIMIT
    while time.monotonic() < end:
        if pump:
            pump()
        value = condition()
        if value:
            return value
        time.sleep(0.02)
    fail(f"gave up waiting for {what}")


# --- inside the session: an X server, the bus, the clients, the program ------------------


class Keys:
    def __init__(self, disp):
        from Xlib import XK
        self.d, self.XK = disp, XK

    def code(self, name):
        return self.d.keysym_to_keycode(self.XK.string_to_keysym(name))

    def press(self, *names):
        """A key with the modifiers before it held down (press("Control_L", "s"))."""
        from Xlib import X
        from Xlib.ext import xtest
        for n in names:
            xtest.fake_input(self.d, X.KeyPress, self.code(n))
        for n in reversed(names):
            xtest.fake_input(self.d, X.KeyRelease, self.code(n))
        self.d.sync()

    def click(self, x, y):
        from Xlib import X
        from Xlib.ext import xtest
        xtest.fake_input(self.d, X.MotionNotify, x=x, y=y)
        xtest.fake_input(self.d, X.ButtonPress, 1)
        xtest.fake_input(self.d, X.ButtonRelease, 1)
        self.d.sync()


def program_window(disp, pid):
    """The program's top-level window once it is mapped, or None."""
    from Xlib import X
    pid_atom = disp.intern_atom("_NET_WM_PID")
    for w in disp.screen().root.query_tree().children:
        try:
            prop = w.get_full_property(pid_atom, X.AnyPropertyType)
            if prop and prop.value[0] == pid and w.get_attributes().map_state == X.IsViewable:
                return w
        except Exception:
            pass
    return None


def editor_of(pid):
    """The program's editor on the accessibility bus, or None."""
    import pyatspi
    desktop = pyatspi.Registry.getDesktop(0)
    for app in desktop:
        try:
            if app is None or app.get_process_id() != pid:
                continue
        except Exception:
            continue
        found = pyatspi.findDescendant(
            app, lambda a: a.getRole() == pyatspi.ROLE_TEXT and
            a.getState().contains(pyatspi.STATE_EDITABLE) and
            a.getState().contains(pyatspi.STATE_MULTI_LINE))
        if found:
            return found
    return None


def session(mode, program, work):
    from Xlib import display

    data = os.path.join(work, "data")
    os.makedirs(os.path.join(data, "g"))
    record = os.path.join(data, "g", "a.txt")
    with open(record, "w", encoding="utf-8") as f:
        f.write(RECORD)
    with open(os.path.join(data, "Ostrel.ini"), "w", encoding="utf-8") as f:
        f.write("[OSTREL2 for Windows98 ApplicationSettingData]\nWINDOW TOP=100\n"
                "WINDOW LEFT=100\nWINDOW HEIGHT=350\nWINDOW WIDTH=450\n"
                "LAST DIRECTORY=g\nLAST DOCUMENT=a.txt\nSUPPORT EXPC=*.txt/\nEDIT WORDWRAP=1\n")
    env = dict(os.environ)
    for name in ("XDG_RUNTIME_DIR", "XDG_STATE_HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"):
        env[name] = os.path.join(work, name.lower())
        os.makedirs(env[name], mode=0o700, exist_ok=True)
    os.environ.update(env)

    r, w = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", "1024x768x24",
                               "-nolisten", "tcp"], pass_fds=(w,),
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(w)
    with os.fdopen(r) as told:
        number = told.readline().strip()
    if not number:
        fail("Xvfb did not start")
    os.environ["DISPLAY"] = ":" + number
    helpers = [server]
    try:
        helpers.append(subprocess.Popen(["/usr/libexec/at-spi-bus-launcher",
                                         "--launch-immediately"],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        app_env = dict(os.environ, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        if mode == "ime":
            config = os.path.join(env["XDG_CONFIG_HOME"], "fcitx5")
            os.makedirs(config, exist_ok=True)
            with open(os.path.join(config, "profile"), "w") as f:
                f.write("[Groups/0]\nName=Default\nDefault Layout=us\nDefaultIM=mozc\n\n"
                        "[Groups/0/Items/0]\nName=keyboard-us\nLayout=\n\n"
                        "[Groups/0/Items/1]\nName=mozc\nLayout=\n\n[GroupOrder]\n0=Default\n")
            helpers.append(subprocess.Popen(["fcitx5", "--replace"], stdout=subprocess.DEVNULL,
                                            stderr=subprocess.DEVNULL))
            remote = lambda *a: subprocess.run(["fcitx5-remote", *a], capture_output=True,
                                                text=True).stdout.strip()
            wait_for("fcitx5 on the bus", lambda: remote() in ("0", "1", "2"))
            app_env["QT_IM_MODULE"] = "fcitx"
        app = subprocess.Popen([program], cwd=data, env=app_env)
        helpers.append(app)
        disp = display.Display(":" + number)
        keys = Keys(disp)
        window = wait_for("the program's window", lambda: program_window(disp, app.pid))
        geometry = window.get_geometry()
        editor = wait_for("the editor on the accessibility bus", lambda: editor_of(app.pid))
        text = editor.queryText()
        wait_for("the record's text", lambda: text.getText(0, -1) == RECORD)
        # Into the editor (its left part of the window, below the tool bar).
        keys.click(geometry.x + 60, geometry.y + geometry.height // 2)
        keys.press("Control_L", "Home")
        wait_for("the caret at the start", lambda: text.caretOffset == 0)
        if mode == "ime":
            ime(keys, text, remote, record)
        else:
            accessibility(keys, text)
    finally:
        for p in reversed(helpers):
            p.terminate()
        for p in reversed(helpers):
            try:
                p.wait(10)
            except subprocess.TimeoutExpired:
                p.kill()


def end_leftovers(work):
    """Ends what the clients started on their own and left running (Mozc's
    server detaches itself): the processes that carry this test's folder in
    their environment, and no other."""
    mark = f"CLIENTS_WORK={work}".encode()
    for entry in os.listdir("/proc"):
        if not entry.isdigit() or int(entry) == os.getpid():
            continue
        try:
            with open(f"/proc/{entry}/environ", "rb") as f:
                if mark in f.read().split(b"\0"):
                    os.kill(int(entry), 15)
        except (OSError, ProcessLookupError):
            pass


def listen():
    """The text changes the accessibility bus tells, and a pump for them."""
    import pyatspi
    from gi.repository import GLib
    heard = []

    def on(event):
        heard.append((event.type.split(":")[-1], event.detail1, event.detail2, event.any_data))
    pyatspi.Registry.registerEventListener(on, "object:text-changed")
    context = GLib.MainContext.default()

    def pump():
        while context.iteration(False):
            pass
    return heard, pump


def ime(keys, text, remote, record):
    heard, pump = listen()
    wait_for("the editor's input context", lambda: remote() in ("1", "2"))
    subprocess.run(["fcitx5-remote", "-o"], check=True)
    wait_for("Mozc switched on", lambda: remote() == "2")
    for c in "nihongo":
        keys.press(c)
    keys.press("space")
    keys.press("Return")
    expected = "日本語" + RECORD
    wait_for("日本語 in the editor", lambda: text.getText(0, -1) == expected, pump)
    wait_for("the caret after 日本語", lambda: text.caretOffset == 3, pump)
    # The composition reached the text as one insert, and nothing was taken.
    wait_for("the insert heard", lambda: any(h[0] == "insert" for h in heard), pump)
    edits = [h for h in heard if h[0] in ("insert", "delete")]
    if edits != [("insert", 0, 3, "日本語")]:
        fail(f"the composition was heard as {edits}")
    subprocess.run(["fcitx5-remote", "-c"], check=True)
    wait_for("Mozc switched off", lambda: remote() == "1")
    keys.press("Control_L", "s")
    wait_for("the record saved", lambda: open(record, "rb").read() == expected.encode())
    print("typed through fcitx5 and Mozc, saved:", open(record, encoding="utf-8").read()[:3])


def accessibility(keys, text):
    heard, pump = listen()
    for _ in range(3):
        keys.press("Right")
    wait_for("the caret moved by three", lambda: text.caretOffset == 3)
    keys.press("Shift_L", "End")
    line_end = RECORD.index("\n")
    wait_for("the selection to the line's end",
             lambda: text.getNSelections() == 1 and
             tuple(text.getSelection(0)) == (3, line_end))
    keys.press("Down")
    wait_for("the caret on the second line", lambda: text.caretOffset > line_end)
    keys.press("Control_L", "End")
    wait_for("the caret at the end", lambda: text.caretOffset == len(RECORD))
    if text.getNSelections() != 0:
        fail("a selection is left after moves without Shift")
    keys.press("x")
    wait_for("the typed character", lambda: text.getText(0, -1) == RECORD + "x", pump)
    wait_for("the insert heard", lambda: ("insert", len(RECORD), 1, "x") in heard, pump)
    print("read over the accessibility bus: text, caret, selection, an insert")


def main():
    if len(sys.argv) == 4 and sys.argv[1] == "--inside":
        # In the session bus of dbus-run-session, as the user the test runs as.
        mode, program, work = sys.argv[2], sys.argv[3], os.environ["CLIENTS_WORK"]
        session(mode, program, work)
        print("PASS")
        return
    if len(sys.argv) != 3 or sys.argv[1] not in ("ime", "accessibility"):
        sys.exit(__doc__)
    mode, program = sys.argv[1], os.path.abspath(sys.argv[2])
    check_packages(mode)
    work = tempfile.mkdtemp(prefix="ostrel-clients-")
    try:
        script = os.path.abspath(__file__)
        env = dict(os.environ, CLIENTS_WORK=work, HOME=work)
        prefix = []
        if os.getuid() == 0:
            # Mozc refuses root: the session runs as nobody, in a folder
            # nobody owns, from copies of this script and of the program (the
            # checkout may lie where nobody cannot read).
            os.chown(work, 65534, 65534)
            for name in ("realclients.py", "ostrel"):
                copy = os.path.join(work, name)
                shutil.copy2(script if name.endswith(".py") else program, copy)
                os.chown(copy, 65534, 65534)
            script, program = os.path.join(work, "realclients.py"), os.path.join(work, "ostrel")
            env.pop("LSAN_OPTIONS", None)  # its suppressions lie in the checkout
            prefix = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]
        command = prefix + ["dbus-run-session", "--", sys.executable, script, "--inside", mode,
                            program]
        result = subprocess.run(command, env=env, timeout=300)
        sys.exit(result.returncode)
    finally:
        end_leftovers(work)
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
