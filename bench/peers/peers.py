#!/usr/bin/python3
"""Ostrel beside two other editors (FeatherPad and KWrite) on the same files,
under one Xvfb server with openbox, each started afresh on each file:

  mapped      the window is mapped, from the start
  first text  the file's first line is painted, from the start
  idle        CPU time of all threads flat for 0.5 s, from the start
  peak        peak resident memory at idle
  Ctrl+End    until the screen (and the line display) no longer changes
  keys        the slowest of 20 keys typed at the end, each from the key to
              the first change of the screen it makes

Every figure is the median of the rounds (alternating programs). Reading
and decoding the file alone (iconv to UTF-16) is measured in the same run
as the reference of the idle time. bench/peers/setup.sh installs what this
needs. Run (with the system's Python, which has python3-xlib): bench/peers/peers.py --ostrel build/ostrel [--rounds 3]
"""

import argparse
import re
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

from Xlib import X, display, Xatom
from Xlib.ext import damage, xtest

# 100 dark pixels side by side (a row of the marker line; no menu text has it).
DARK_RUN = re.compile(rb"(?:[\x00-\x50]{3}.){100}", re.S)

LINE = "これは長い記録の一行です。Lorem ipsum dolor sit amet, consectetur.\n"
MARKER = "█" * 40 + "\n"  # a long dark run: the first text painted


def make_file(path, size, one_line=False):
    data = MARKER.encode()
    if one_line:
        words = LINE.rstrip("\n") + " "
        body = (words * (size // len(words.encode()) + 1)).encode()[:size]
        # Cut at a character's start.
        while body and (body[-1] & 0xC0) == 0x80:
            body = body[:-1]
        if body and body[-1] >= 0xC0:
            body = body[:-1]
        data = MARKER.rstrip("\n").encode() + body
    else:
        chunk = (LINE * 10000).encode()
        parts = [data]
        total = len(data)
        while total < size:
            parts.append(chunk)
            total += len(chunk)
        data = b"".join(parts)
    with open(path, "wb") as f:
        f.write(data)


def cpu_seconds(pid):
    try:
        with open(f"/proc/{pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
    except OSError:
        return None


def peak_kb(pid):
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


class Watcher:
    """Watches one program's top-level window on the X server."""

    def __init__(self, disp):
        self.d = disp
        self.root = disp.screen().root
        self.root.change_attributes(event_mask=X.PropertyChangeMask | X.SubstructureNotifyMask)
        self.client_list = disp.intern_atom("_NET_CLIENT_LIST")
        self.wm_pid = disp.intern_atom("_NET_WM_PID")
        self.window = None
        self.damage = None

    def clients(self):
        prop = self.root.get_full_property(self.client_list, Xatom.WINDOW)
        return list(prop.value) if prop else []

    def find(self, known):
        # One program runs at a time: its window is the client that is new.
        for wid in self.clients():
            if wid not in known:
                return self.d.create_resource_object("window", wid)
        return None

    def watch(self, window):
        self.window = window
        self.damage = window.damage_create(damage.DamageReportRawRectangles)

    def events(self, until):
        """Damage rectangles (time, x, y, w, h) until the time given."""
        out = []
        while True:
            while self.d.pending_events():
                e = self.d.next_event()
                if e.type == self.d.extension_event.DamageNotify:
                    a = e.area
                    out.append((time.monotonic(), a.x, a.y, a.width, a.height))
            if time.monotonic() >= until:
                return out
            time.sleep(0.0005)

    def image_has_marker(self):
        geo = self.window.get_geometry()
        try:
            img = self.window.get_image(0, 0, geo.width, geo.height, X.ZPixmap, 0xFFFFFFFF)
        except Exception:
            return False
        return DARK_RUN.search(img.data) is not None


def key(disp, keysym, ctrl=False):
    code = disp.keysym_to_keycode(keysym)
    ctrl_code = disp.keysym_to_keycode(0xFFE3)  # Control_L
    if ctrl:
        xtest.fake_input(disp, X.KeyPress, ctrl_code)
    xtest.fake_input(disp, X.KeyPress, code)
    xtest.fake_input(disp, X.KeyRelease, code)
    if ctrl:
        xtest.fake_input(disp, X.KeyRelease, ctrl_code)
    disp.sync()


def blinking(event, events):
    """Whether a damage is a caret blinking: the same rectangle damaged again
    half a second or so before or after (each program blinks at its own
    period, and some repaint the caret's whole row)."""
    t, rect = event[0], event[1:]
    return any(other[1:] == rect and 0.3 <= abs(other[0] - t) <= 1.2 for other in events)


def run_one(program, path, wrap, disp, home, ostrel, data_folder):
    env = dict(os.environ)
    env.update({"HOME": home, "XDG_CONFIG_HOME": os.path.join(home, ".config"),
                "XDG_DATA_HOME": os.path.join(home, ".local/share"),
                "XDG_STATE_HOME": os.path.join(home, ".local/state"),
                "XDG_RUNTIME_DIR": os.path.join(home, "runtime"), "QT_QPA_PLATFORM": "xcb",
                "LANG": "C.UTF-8"})
    os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700, exist_ok=True)
    os.makedirs(env["XDG_CONFIG_HOME"], exist_ok=True)
    if program == "ostrel":
        group = os.path.join(data_folder, "g")
        shutil.rmtree(data_folder, ignore_errors=True)
        os.makedirs(group)
        os.symlink(os.path.abspath(path), os.path.join(group, "record.txt"))
        with open(os.path.join(data_folder, "Ostrel.ini"), "w") as f:
            f.write("[OSTREL2 for Windows98 ApplicationSettingData]\nLAST DIRECTORY=g\n"
                    "LAST DOCUMENT=record.txt\nSUPPORT EXPC=*.txt/\nWINDOW LEFT=0\n"
                    "WINDOW TOP=0\nWINDOW WIDTH=1000\nWINDOW HEIGHT=750\n"
                    f"EDIT WORDWRAP={1 if wrap else 0}\n")
        argv, cwd = [ostrel], data_folder
    elif program == "featherpad":
        os.makedirs(os.path.join(env["XDG_CONFIG_HOME"], "featherpad"), exist_ok=True)
        with open(os.path.join(env["XDG_CONFIG_HOME"], "featherpad", "fp.conf"), "w") as f:
            f.write(f"[text]\nwrapByDefault={'true' if wrap else 'false'}\n"
                    "[window]\nsize=@Size(1000 750)\nremSize=true\n")
        argv, cwd = ["featherpad", os.path.abspath(path)], home
    else:
        with open(os.path.join(env["XDG_CONFIG_HOME"], "kwriterc"), "w") as f:
            f.write(f"[KTextEditor View]\nDynamic Word Wrap={'true' if wrap else 'false'}\n")
        argv, cwd = ["kwrite", os.path.abspath(path)], home

    w = Watcher(disp)
    known = set(w.clients())
    start = time.monotonic()
    proc = subprocess.Popen(argv, cwd=cwd, env=env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    result = {}
    try:
        window = None
        while window is None and time.monotonic() - start < 60:
            while disp.pending_events():
                disp.next_event()
            window = w.find(known)
            if window is None:
                time.sleep(0.002)
        if window is None:
            raise RuntimeError(f"{program}: no window")
        result["mapped"] = time.monotonic() - start
        w.watch(window)
        # The first text: the marker line painted.
        # (Looked for in the window's pixels every few milliseconds: the first
        # paint may come before the damage is watched.)
        first = None
        while first is None and time.monotonic() - start < 120:
            w.events(time.monotonic() + 0.005)
            if w.image_has_marker():
                first = time.monotonic() - start
        result["first text"] = first if first is not None else float("nan")
        # Idle: all threads' CPU time flat for half a second.
        last_cpu, last_change = cpu_seconds(proc.pid), time.monotonic()
        while time.monotonic() - last_change < 0.5 and time.monotonic() - start < 300:
            w.events(time.monotonic() + 0.02)
            cpu = cpu_seconds(proc.pid)
            if cpu != last_cpu:
                last_cpu, last_change = cpu, time.monotonic()
        result["idle"] = last_change - start
        result["peak"] = peak_kb(proc.pid) / 1024
        # The focus into the text (Ostrel opens with it in the group list),
        # then Ctrl+End until the screen is final.
        geo = window.get_geometry()
        origin = window.translate_coords(w.root, 0, 0)
        x, y = -origin.x + geo.width // 2, -origin.y + geo.height // 2
        xtest.fake_input(disp, X.MotionNotify, x=x, y=y)
        xtest.fake_input(disp, X.ButtonPress, 1)
        xtest.fake_input(disp, X.ButtonRelease, 1)
        disp.sync()
        w.events(time.monotonic() + 0.5)
        pressed = time.monotonic()
        key(disp, 0xFF57, ctrl=True)  # End
        # Watched until nothing but the caret's blinking changes for 2 s.
        events = []
        while time.monotonic() - pressed < 60:
            events += w.events(time.monotonic() + 0.1)
            changes = [e for e in events if not blinking(e, events)]
            last = changes[-1][0] if changes else pressed
            if time.monotonic() - last > 2.0:
                break
        result["ctrl+end"] = last - pressed
        # Keys at the end, each to the first change it makes. A key is
        # pressed just after the caret blinked, and the blink due half a
        # period later is not taken for the key's change.
        slowest = 0.0
        history = events
        for _ in range(20):
            blink = None
            waited = time.monotonic()
            while blink is None and time.monotonic() - waited < 1.5:
                for e in w.events(time.monotonic() + 0.002):
                    history.append(e)
                    if blinking(e, [h for h in history if h[0] < e[0]]):
                        blink = e
            periods = [e[0] - h[0] for e in history for h in history
                       if blink and e[1:] == h[1:] == blink[1:] and 0.3 <= e[0] - h[0] <= 1.2]
            period = min(periods) if periods else 0.5
            pressed = time.monotonic()
            key(disp, 0x61)  # a
            seen = None
            while seen is None and time.monotonic() - pressed < 5:
                for e in w.events(time.monotonic() + 0.001):
                    history.append(e)
                    due = blink and e[1:] == blink[1:] and abs(e[0] - blink[0] - period) < 0.04
                    if seen is None and not due:
                        seen = e[0]
            slowest = max(slowest, (seen if seen else time.monotonic()) - pressed)
            history = [h for h in history if h[0] > time.monotonic() - 3]
        result["slowest key"] = slowest
    finally:
        proc.send_signal(signal.SIGKILL)
        proc.wait()
        disp.sync()
    return result


def reference(path):
    start = time.monotonic()
    subprocess.run(["iconv", "-f", "UTF-8", "-t", "UTF-16LE", path], stdout=subprocess.DEVNULL,
                   check=True)
    return time.monotonic() - start


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--ostrel", required=True)
    ap.add_argument("--rounds", type=int, default=3)
    ap.add_argument("--programs", default="ostrel,featherpad,kwrite")
    ap.add_argument("--cases", default="100MB-wrap,100MB-nowrap,10MB-wrap,5MB-line-wrap,"
                                        "5MB-line-nowrap")
    args = ap.parse_args()
    ostrel = os.path.abspath(args.ostrel)
    work = tempfile.mkdtemp(prefix="ostrel-peers-")
    files = {}
    for name, size, one in (("100MB", 100_000_000, False), ("10MB", 10_000_000, False),
                            ("5MB-line", 5_000_000, True)):
        files[name] = os.path.join(work, f"{name}.txt")
        make_file(files[name], size, one)
    # A display number of its own: the server picks a free one and tells it.
    r, w = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", "1280x1024x24",
                               "-nolisten", "tcp"], pass_fds=(w,),
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(w)
    with os.fdopen(r) as told:
        number = told.readline().strip()
    if not number:
        sys.exit("Xvfb did not start")
    os.environ["DISPLAY"] = ":" + number
    wm = subprocess.Popen(["openbox"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(1)
    disp = display.Display(":" + number)
    if not disp.has_extension("DAMAGE") or not disp.has_extension("XTEST"):
        sys.exit("the X server has no DAMAGE or XTEST")
    disp.damage_query_version()  # no damage is reported before it is asked
    programs = args.programs.split(",")
    ok = True
    try:
        for case in args.cases.split(","):
            name, wrap = case.rsplit("-", 1)
            path = files[name]
            figures = {p: [] for p in programs}
            refs = []
            for _ in range(args.rounds):
                refs.append(reference(path))
                for p in programs:
                    home = tempfile.mkdtemp(dir=work)
                    figures[p].append(run_one(p, path, wrap == "wrap", disp, home, ostrel,
                                              os.path.join(work, "data")))
                    shutil.rmtree(home, ignore_errors=True)
            size_mb = os.path.getsize(path) / 1e6
            print(f"\n{case} ({size_mb:.0f} MB), medians of {args.rounds} rounds; reading and "
                  f"decoding alone {statistics.median(refs):.2f} s")
            keys = ["mapped", "first text", "idle", "peak", "ctrl+end", "slowest key"]
            print("| " + " | ".join(["program"] + keys) + " |")
            print("|" + "---|" * (len(keys) + 1))
            med = {p: {k: statistics.median(r[k] for r in figures[p]) for k in keys}
                   for p in programs}
            for p in programs:
                cells = []
                for k in keys:
                    v = med[p][k]
                    cells.append(f"{v:.0f} MB" if k == "peak" else
                                 f"{v * 1000:.0f} ms" if v < 1 else f"{v:.2f} s")
                print(f"| {p} | " + " | ".join(cells) + " |")
            if "ostrel" in med:
                o = med["ostrel"]
                peers = [med[p]["idle"] for p in programs if p != "ostrel"]
                checks = [("mapped <= 0.3 s", o["mapped"] <= 0.3),
                          ("first text <= 0.5 s", o["first text"] <= 0.5),
                          ("peak <= 2x the file", o["peak"] <= 2 * size_mb),
                          ("slowest key <= 16 ms", o["slowest key"] <= 0.016)]
                if name == "100MB":
                    checks.append(("Ctrl+End <= " + ("1 s" if wrap == "wrap" else "100 ms"),
                                   o["ctrl+end"] <= (1.0 if wrap == "wrap" else 0.1)))
                    if peers:
                        checks.append(("idle <= half the best peer's", o["idle"] <= min(peers) / 2))
                print(f"ostrel idle / reading and decoding alone: "
                      f"{o['idle'] / statistics.median(refs):.2f}")
                for what, good in checks:
                    print(f"  {what}: {'ok' if good else 'OVER'}")
                    ok = ok and good
            sys.stdout.flush()
    finally:
        wm.terminate()
        server.terminate()
        shutil.rmtree(work, ignore_errors=True)
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()
