#!/usr/bin/python3
"""Renders the HTML part of a received mail in headless Chromium and measures
every line of its PRE block: the vertical columns line up only when every
line has the same width.

  render_columns.py [--noto-only] HTMLFILE [SCREENSHOT.png]

With --noto-only the browser sees only the fonts a phone carries (Noto CJK and
DejaVu), not the IPA fonts. Prints the widths; exit 0 when all lines that hold
text are equally wide.
"""
import html
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

MEASURE = b"""<script>
const pre = document.querySelector('pre');
const lines = pre.textContent.split('\\n');
pre.textContent = '';
lines.forEach((line, i) => {
  const span = document.createElement('span');
  span.textContent = line;
  pre.appendChild(span);
  if (i < lines.length - 1) pre.appendChild(document.createTextNode('\\n'));
});
const widths = [...pre.querySelectorAll('span')].map(s => s.getBoundingClientRect().width);
document.title = JSON.stringify({widths: widths, lengths: lines.map(l => l.length), lines: lines});
</script>
"""


def chromium():
    return shutil.which("chromium") or shutil.which("chromium-browser")


ENV = dict(os.environ)

FONTS_CONF = """<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "fonts.dtd">
<fontconfig>
  <dir>/usr/share/fonts/opentype/noto</dir>
  <dir>/usr/share/fonts/truetype/dejavu</dir>
  <cachedir>%s</cachedir>
</fontconfig>
"""


def noto_only():
    """A font configuration with the Noto CJK and DejaVu faces alone."""
    if not os.path.isdir("/usr/share/fonts/opentype/noto"):
        print("SKIP fonts-noto-cjk is not installed")
        sys.exit(77)
    conf = os.path.join(profile, "fonts.conf")
    with open(conf, "w") as f:
        f.write(FONTS_CONF % os.path.join(profile, "fontcache"))
    ENV["FONTCONFIG_FILE"] = conf


def run(args):
    return subprocess.run([chromium(), "--headless", "--no-sandbox", "--disable-gpu",
                           "--no-first-run", "--disable-background-networking", "--disable-component-update",
                           "--disable-sync", "--user-data-dir=" + profile] + args,
                          capture_output=True, timeout=120, env=ENV)


def main(path, shot):
    page = os.path.join(profile, "mail.html")
    with open(path, "rb") as f:
        data = f.read()
    with open(page, "wb") as f:
        f.write(data + MEASURE)
    out = run(["--dump-dom", "file://" + page])
    m = re.search(r"<title>(.*?)</title>", out.stdout.decode("utf-8", "replace"), re.S)
    if not m:
        print("no measurement from chromium:", out.stderr.decode("utf-8", "replace")[-2000:])
        return 1
    result = json.loads(html.unescape(m.group(1)))
    widths = [w for w, n in zip(result["widths"], result["lengths"]) if n > 0]
    print("line widths:", sorted(set(round(w, 2) for w in widths)), "over", len(widths), "lines")
    if shot:
        with open(page, "wb") as f:
            f.write(data)
        run(["--screenshot=" + shot, "--window-size=900,700", "file://" + page])
    if not widths:
        print("FAIL no text in the PRE block")
        return 1
    if max(widths) - min(widths) > 0.5:
        seen = set()
        for w, line in zip(result["widths"], result["lines"]):
            if line and round(w, 1) not in seen:
                seen.add(round(w, 1))
                print("  %.2f px: %s" % (w, " ".join("%04X" % ord(c) for c in line)))
        print("FAIL the lines are not equally wide")
        return 1
    return 0


if __name__ == "__main__":
    noto = len(sys.argv) > 1 and sys.argv[1] == "--noto-only"
    if noto:
        sys.argv.pop(1)
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    if not chromium():
        print("SKIP chromium is not installed")
        sys.exit(77)
    profile = tempfile.mkdtemp(prefix="tallpost-chromium-")
    if noto:
        noto_only()
    try:
        code = main(sys.argv[1], sys.argv[2] if len(sys.argv) == 3 else None)
    finally:
        shutil.rmtree(profile, ignore_errors=True)
    sys.exit(code)
