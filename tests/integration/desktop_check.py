#!/usr/bin/env python3
"""Tallpost as a desktop sees it.

1. The desktop entry scripts/install-desktop.sh writes (for a program folder
   whose name has spaces, quotes and a dollar sign) passes
   desktop-file-validate, its Exec names the program in that folder, and the
   icon is where the entry says.
2. On an X server of its own (Xvfb) under a Japanese locale (ja_JP.UTF-8,
   built into the work folder with localedef), GlyphSwap with an edited cell
   is cancelled: its question box comes up under the caller's title, a picture
   of it is kept, Alt+N (いいえ) answers it and nothing is stored.

    desktop_check.py SOURCE_DIR BIN_DIR OUTPUT_DIR

Exit 0 passed, 1 failed, 77 skipped (the reason is printed).
"""

import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from glyphswap_ime import Session, wait_for  # noqa: E402

SKIPPED = 77


def exec_program(entry):
    """The program of the Exec key, unquoted as the desktop entry rules say."""
    for line in entry.splitlines():
        if not line.startswith("Exec="):
            continue
        # String escapes first (\\ -> \), then the quoting of Exec itself.
        value = line[len("Exec="):].replace("\\\\", "\\")
        if not value.startswith('"'):
            return value.split(" ")[0]
        out, i = "", 1
        while i < len(value) and value[i] != '"':
            if value[i] == "\\" and i + 1 < len(value) and value[i + 1] in '"`$\\':
                i += 1
            out += value[i]
            i += 1
        return out
    return None


def check_entry(source, work):
    failures = []
    folder = os.path.join(work, 'My "Mail" $Folder')
    data = os.path.join(work, "share")
    os.makedirs(folder)
    subprocess.run(["bash", os.path.join(source, "scripts", "install-desktop.sh"), folder, data], check=True)
    path = os.path.join(data, "applications", "tallpost.desktop")
    r = subprocess.run(["desktop-file-validate", path], capture_output=True, text=True)
    if r.returncode != 0 or r.stdout.strip():
        failures.append("desktop-file-validate: " + (r.stdout + r.stderr).strip())
    entry = open(path, encoding="utf-8").read()
    if exec_program(entry) != os.path.join(folder, "Tallpost"):
        failures.append("Exec names %r, not the program in %r" % (exec_program(entry), folder))
    for key in ("Name=Tallpost", "Name[ja]=たかぽすと", "Icon=tallpost"):
        if key not in entry.splitlines():
            failures.append("the entry has no line " + key)
    if not os.path.exists(os.path.join(data, "icons", "hicolor", "scalable", "apps", "tallpost.svg")):
        failures.append("the icon is not installed")
    return failures


def japanese_locale(work):
    if shutil.which("localedef") is None or not os.path.exists("/usr/share/i18n/locales/ja_JP"):
        return None
    path = os.path.join(work, "locale")
    os.makedirs(path)
    r = subprocess.run(["localedef", "-i", "ja_JP", "-f", "UTF-8", os.path.join(path, "ja_JP.UTF-8")],
                       capture_output=True, text=True)
    return path if os.path.isdir(os.path.join(path, "ja_JP.UTF-8")) or r.returncode == 0 else None


def check_question_box(bin_dir, output, work):
    for name in ("GlyphSwap", "GlyphSwap.dat"):
        shutil.copy(os.path.join(bin_dir, name), work)
    table = os.path.join(work, "GlyphSwap.dat")
    before = open(table, "rb").read()
    locale = japanese_locale(work)
    s = Session(work)
    failures = []
    try:
        s.x_server()
        extra = {"QT_QPA_PLATFORM": "xcb", "LANG": "ja_JP.UTF-8" if locale else "C.UTF-8"}
        if locale:
            extra["LOCPATH"] = locale
        glyphswap = s.start([os.path.join(work, "GlyphSwap"), table, "たかぽすと"], "glyphswap.log", **extra)
        window = s.run("xdotool", "search", "--sync", "--onlyvisible", "--name", "^変換ﾃｰﾌﾞﾙ$").split()[0]
        s.run("xdotool", "windowfocus", "--sync", window)
        s.key("Right")
        s.run("xdotool", "type", "--delay", "100", "Z")
        s.key("Return")
        s.key("alt+c")  # Cancel, with an edit: the question
        box = s.run("xdotool", "search", "--sync", "--onlyvisible", "--name", "^たかぽすと$").split()[0]
        s.run("xdotool", "windowfocus", "--sync", box)
        s.run("import", "-window", "root", os.path.join(work, "question.png"))
        s.key("alt+n")  # いいえ(&N): close without storing
        wait_for("GlyphSwap to end after いいえ", lambda: glyphswap.poll() is not None)
        if glyphswap.returncode != 0:
            failures.append("GlyphSwap ended with %d: %s" % (
                glyphswap.returncode, open(os.path.join(work, "glyphswap.log"), errors="replace").read()[-3000:]))
        if open(table, "rb").read() != before:
            failures.append("いいえ stored the table")
        os.makedirs(output, exist_ok=True)
        shutil.copy(os.path.join(work, "question.png"), os.path.join(output, "question-box-ja.png"))
        print("question box shown under %s and answered with Alt+N" % extra["LANG"])
    except Exception as e:
        failures.append(str(e))
        log = os.path.join(work, "glyphswap.log")
        if os.path.exists(log):
            print(open(log, errors="replace").read()[-2000:])
    finally:
        s.stop()
    return failures


def main():
    if len(sys.argv) != 4:
        print(__doc__)
        return 2
    source, bin_dir, output = sys.argv[1:]
    missing = [t for t in ("desktop-file-validate", "Xvfb", "xdotool", "import") if shutil.which(t) is None]
    if missing:
        print("skipped: not installed: " + ", ".join(missing))
        return SKIPPED
    work = tempfile.mkdtemp(prefix="tallpost-desktop-")
    try:
        failures = check_entry(source, work) + check_question_box(bin_dir, output, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    for f in failures:
        print("FAIL: " + f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
