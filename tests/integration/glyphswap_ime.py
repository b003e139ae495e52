#!/usr/bin/env python3
"""Japanese typed into GlyphSwap through a real input method.

On its own X server (Xvfb) with its own session bus, fcitx5 runs with Mozc as
the only Japanese input method and GlyphSwap runs with Qt's fcitx front end.
The keys go in as a user's would (XTEST through xdotool): move to row 1's
"after" cell, turn the input method on, type the reading "yama", convert, take
the first candidate, end the edit, press OK. The stored table must then hold
the word, not its reading, and the candidate window must have stood at the
edited cell; a picture of it is kept in the output folder.

Mozc's server refuses to run as root, so under root the session runs as the
user "nobody" in a folder of its own.

    glyphswap_ime.py BIN_DIR OUTPUT_DIR

Exit 0 passed, 1 failed, 77 skipped (the reason is printed).
"""

import glob
import os
import pwd
import shutil
import subprocess
import sys
import tempfile
import time

SKIPPED = 77
TITLE = "変換ﾃｰﾌﾞﾙ"
READING = "yama"
WORD = "山"  # Mozc's first candidate for やま
LONG = 30  # seconds any single step may take on a loaded machine


def missing_tools():
    missing = [t for t in ("Xvfb", "fcitx5", "fcitx5-remote", "xdotool", "dbus-daemon", "dbus-send", "import",
                                  "setpriv")
               if shutil.which(t) is None]
    if not glob.glob("/usr/lib/*/fcitx5/fcitx5-mozc.so") or not os.path.exists("/usr/lib/mozc/mozc_server"):
        missing.append("fcitx5-mozc")
    if not glob.glob("/usr/lib/*/qt6/plugins/platforminputcontexts/libfcitx5platforminputcontextplugin*.so"):
        missing.append("fcitx5-frontend-qt6")
    return missing


def wait_for(what, check, seconds=LONG, step=0.1):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = check()
        if value:
            return value
        time.sleep(step)
    raise RuntimeError("timed out waiting for " + what)


class Session:
    """The X server, bus, input method and GlyphSwap of one run; as the user running it."""

    def __init__(self, work):
        self.work = work
        self.processes = []
        self.env = {
            "PATH": "/usr/local/bin:/usr/bin:/bin",
            "HOME": os.path.join(work, "home"),
            "XDG_CONFIG_HOME": os.path.join(work, "home", ".config"),
            "XDG_RUNTIME_DIR": os.path.join(work, "run"),
            "LANG": "C.UTF-8",
        }
        # A sanitizer build's programs keep the run's sanitizer options.
        for name in ("ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"):
            if name in os.environ:
                self.env[name] = os.environ[name]
        os.makedirs(self.env["XDG_RUNTIME_DIR"], mode=0o700, exist_ok=True)

    def start(self, args, log, **extra):
        env = dict(self.env, **extra)
        with open(os.path.join(self.work, log), "wb") as out:
            p = subprocess.Popen(args, env=env, stdout=out, stderr=subprocess.STDOUT, cwd=self.work)
        self.processes.append(p)
        return p

    def run(self, *args, check=True):
        r = subprocess.run(list(args), env=self.env, capture_output=True, text=True, timeout=LONG)
        if check and r.returncode != 0:
            raise RuntimeError("%s failed: %s" % (" ".join(args), r.stderr.strip()))
        return r.stdout.strip()

    def key(self, *keys):
        self.run("xdotool", "key", "--delay", "120", *keys)
        time.sleep(0.3)

    def x_server(self):
        read, write = os.pipe()
        self.processes.append(subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
            pass_fds=(write,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        os.close(write)
        with os.fdopen(read) as f:
            number = f.readline().strip()
        if not number:
            raise RuntimeError("Xvfb did not start")
        self.env["DISPLAY"] = ":" + number

    def bus(self):
        p = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1",
                              "--address=unix:path=" + os.path.join(self.work, "bus")],
                             env=self.env, stdout=subprocess.PIPE, text=True)
        self.processes.append(p)
        self.env["DBUS_SESSION_BUS_ADDRESS"] = p.stdout.readline().strip()

    def on_bus(self, name):
        # Asked of the bus itself: a call to fcitx5 before it has its name
        # would have the bus start a second copy.
        r = subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus",
                            "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner", "string:" + name],
                           env=self.env, capture_output=True, text=True, timeout=LONG)
        return "boolean true" in r.stdout

    def input_method_state(self):
        r = subprocess.run(["fcitx5-remote"], env=self.env, capture_output=True, text=True, timeout=LONG)
        return r.stdout.strip() if r.returncode == 0 else ""

    def geometry(self, window):
        values = {}
        for line in self.run("xdotool", "getwindowgeometry", "--shell", window).splitlines():
            name, _, value = line.partition("=")
            values[name] = int(value) if value.isdigit() else value
        return values

    def stop(self):
        for p in reversed(self.processes):
            if p.poll() is None:
                p.terminate()
        for p in reversed(self.processes):
            try:
                p.wait(timeout=10)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()


def write_profile(home):
    config = os.path.join(home, ".config", "fcitx5")
    os.makedirs(config, exist_ok=True)
    with open(os.path.join(config, "profile"), "w") as f:
        f.write("[Groups/0]\nName=Default\nDefault Layout=us\nDefaultIM=mozc\n\n"
                "[Groups/0/Items/0]\nName=keyboard-us\nLayout=\n\n"
                "[Groups/0/Items/1]\nName=mozc\nLayout=\n\n"
                "[GroupOrder]\n0=Default\n")
    with open(os.path.join(config, "config"), "w") as f:
        f.write("[Hotkey/TriggerKeys]\n0=Control+space\n\n[Behavior]\nShareInputState=All\n")


def session(work):
    """Runs as the unprivileged user; writes its findings to work/result."""
    s = Session(work)
    result = []
    try:
        s.x_server()
        s.bus()
        s.start(["fcitx5", "--disable=wayland,waylandim"], "fcitx5.log")
        wait_for("fcitx5 on the session bus", lambda: s.on_bus("org.fcitx.Fcitx5"))
        glyphswap = s.start([os.path.join(work, "GlyphSwap"), os.path.join(work, "GlyphSwap.dat"), "たかぽすと"],
                            "glyphswap.log", QT_IM_MODULE="fcitx", QT_QPA_PLATFORM="xcb", XMODIFIERS="@im=fcitx")
        window = s.run("xdotool", "search", "--sync", "--onlyvisible", "--name", TITLE).split()[0]
        s.run("xdotool", "windowfocus", "--sync", window)
        time.sleep(0.5)
        s.key("Right")  # row 1, column 2 ("after")
        s.run("fcitx5-remote", "-o")
        wait_for("the input method to turn on", lambda: s.input_method_state() == "2")
        result.append("im=" + s.run("fcitx5-remote", "-n"))
        s.run("xdotool", "type", "--delay", "150", READING)
        time.sleep(0.5)
        s.key("space")  # converted in place
        s.key("space")  # the candidate list opens on the second candidate
        # fcitx5 shows the composition and the candidates in one window of its
        # own; with the list open it is several candidates high.
        popup = s.run("xdotool", "search", "--sync", "--onlyvisible", "--name", "^Fcitx5 Input Window$").split()[0]
        wait_for("the candidate list", lambda: s.geometry(popup)["HEIGHT"] > 100)
        s.key("Up")  # back to the first candidate
        time.sleep(0.5)
        s.run("import", "-window", "root", os.path.join(work, "candidates.png"))
        win = s.geometry(window)
        pop = s.geometry(popup)
        result.append("window=%d,%d,%d,%d" % (win["X"], win["Y"], win["WIDTH"], win["HEIGHT"]))
        result.append("popup=%d,%d,%d,%d" % (pop["X"], pop["Y"], pop["WIDTH"], pop["HEIGHT"]))
        s.key("Return")  # the word committed into the cell's box
        s.key("Return")  # the edit ends
        s.key("alt+o")  # OK stores the table
        wait_for("GlyphSwap to end after OK", lambda: glyphswap.poll() is not None)
        result.append("exit=%d" % glyphswap.returncode)
    except Exception as e:  # reported by the caller with the logs and the screen as it was
        result.append("error=" + str(e))
        if "DISPLAY" in s.env:
            s.run("import", "-window", "root", os.path.join(work, "failure.png"), check=False)
    finally:
        s.stop()
        with open(os.path.join(work, "result"), "w") as f:
            f.write("\n".join(result) + "\n")


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--session":
        session(sys.argv[2])
        return 0
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    bin_dir, output = sys.argv[1], sys.argv[2]
    missing = missing_tools()
    if missing:
        print("skipped: not installed: " + ", ".join(missing))
        return SKIPPED

    work = tempfile.mkdtemp(prefix="glyphswap-ime-")
    try:
        for name in ("GlyphSwap", "GlyphSwap.dat"):
            shutil.copy(os.path.join(bin_dir, name), work)
        shutil.copy(os.path.abspath(__file__), work)
        write_profile(os.path.join(work, "home"))
        python = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else sys.executable
        command = [python, os.path.join(work, os.path.basename(__file__)), "--session", work]
        env = None
        if os.geteuid() == 0:
            # A sanitizer's suppressions file, where the session's user can read it.
            options = os.environ.get("LSAN_OPTIONS", "")
            if "suppressions=" in options:
                path = options.split("suppressions=", 1)[1].split(":", 1)[0]
                if os.path.exists(path):
                    shutil.copy(path, os.path.join(work, "lsan.supp"))
                    env = dict(os.environ, LSAN_OPTIONS=options.replace(path, os.path.join(work, "lsan.supp")))
            nobody = pwd.getpwnam("nobody")
            for root, dirs, files in os.walk(work):
                for name in [root] + [os.path.join(root, n) for n in dirs + files]:
                    os.chown(name, nobody.pw_uid, nobody.pw_gid)
            command = ["setpriv", "--reuid=%d" % nobody.pw_uid, "--regid=%d" % nobody.pw_gid, "--clear-groups"] + command
        subprocess.run(command, timeout=240, check=False, env=env)

        with open(os.path.join(work, "result")) as f:
            found = dict(line.split("=", 1) for line in f.read().splitlines() if "=" in line)
        if "error" in found:
            if os.path.exists(os.path.join(work, "failure.png")):
                os.makedirs(output, exist_ok=True)
                shutil.copy(os.path.join(work, "failure.png"), os.path.join(output, "glyphswap-ime-failure.png"))
            for log in ("fcitx5.log", "glyphswap.log"):
                path = os.path.join(work, log)
                if os.path.exists(path):
                    print("--- " + log)
                    print(open(path, errors="replace").read()[-3000:])
            print("FAIL: " + found["error"])
            return 1

        os.makedirs(output, exist_ok=True)
        shutil.copy(os.path.join(work, "candidates.png"), os.path.join(output, "glyphswap-candidates.png"))
        with open(os.path.join(work, "GlyphSwap.dat"), "rb") as f:
            fields = f.read().decode("cp932").split("\x00")
        # Each row is three NUL-ended fields: the character, what it becomes, the flag.
        first = fields[:3]
        failures = []
        if found.get("im") != "mozc":
            failures.append("the input method on was %r, not mozc" % found.get("im"))
        if found.get("exit") != "0":
            failures.append("GlyphSwap ended with %s" % found.get("exit"))
        if len(first) < 2 or first[1] != WORD:
            failures.append("row 1 holds %r after typing %r and taking the first candidate, not %r"
                            % (first, READING, WORD))
        wx, wy, ww, wh = (int(v) for v in found["window"].split(","))
        px, py, _, _ = (int(v) for v in found["popup"].split(","))
        # The "after" column is the middle third of the grid; row 1 is at its top.
        if not (wx + ww // 4 <= px <= wx + 3 * ww // 4 and wy < py < wy + wh // 3):
            failures.append("the candidate window stood at %d,%d, not under row 1's second cell of the window "
                            "at %s" % (px, py, found["window"]))
        for f in failures:
            print("FAIL: " + f)
        if not failures:
            print("row 1: %s; candidate window at %d,%d in the window %s" % (" ".join(first), px, py, found["window"]))
        return 1 if failures else 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
