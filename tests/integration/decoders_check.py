#!/usr/bin/python3
"""Reads a message a test SMTP server kept (OUTDIR/0.eml) with decoders that
owe nothing to Tallpost -- Python's email package, ripmime, munpack and mutt --
and compares what each gives with what the user accepted, as EXPECT.json says:

  {"subject": ..., "plain": ..., "attachments": [[name, base64 content], ...],
   "mutt_names": [names mutt must show in its attachment menu]}

  decoders_check.py OUTDIR EXPECT.json

Exit 0 when every decoder that is installed reads everything back.
"""
import base64
import email
import email.policy
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

failures = []
# JIS X 0208 has one code for each of these pairs; the decoders give the
# first form. The text typed may hold either.
JIS_FORMS = str.maketrans({"\uff0d": "\u2212", "\uff5e": "\u301c", "\u2225": "\u2016",
                           "\uffe0": "\u00a2", "\uffe1": "\u00a3", "\uffe2": "\u00ac",
                           "\u2015": "\u2014"})


def same(a, b):
    return a.translate(JIS_FORMS) == b.translate(JIS_FORMS)


def check(ok, what):
    if not ok:
        failures.append(what)


def python_email(raw, want):
    msg = email.message_from_bytes(raw, policy=email.policy.default)
    check(same(str(msg["Subject"]), want["subject"]), "email: subject %r" % str(msg["Subject"]))
    names = []
    plain = None
    for part in msg.walk():
        if part.is_multipart():
            continue
        if part.get_content_disposition() == "attachment":
            names.append([part.get_filename(), base64.b64encode(part.get_payload(decode=True)).decode()])
        elif part.get_content_type() == "text/plain":
            plain = part.get_payload(decode=True).decode(part.get_content_charset())
    check(names == want["attachments"], "email: attachments %r\n%s" % (
        [n for n, _ in names], b"\n".join(l for l in raw.split(b"\r\n") if b"name" in l).decode()))
    check(plain is not None and same(plain.replace("\r\n", "\n").rstrip("\n"),
                                     want["plain"].replace("\r\n", "\n").rstrip("\n")),
          "email: the plain text differs")
    for line in raw.split(b"\r\n"):
        check(len(line) <= 998, "a line of %d octets" % len(line))
    check(all(b < 0x80 for b in raw), "a byte is not 7-bit")


def ripmime(path, want, work):
    if not shutil.which("ripmime"):
        print("SKIP ripmime is not installed")
        return
    out = os.path.join(work, "ripmime")
    os.mkdir(out)
    subprocess.run(["ripmime", "-i", path, "-d", out, "--no-nameless"], capture_output=True, timeout=60)
    got = {}
    for name in os.listdir(out):
        with open(os.path.join(out, name), "rb") as f:
            got[name] = base64.b64encode(f.read()).decode()
    for name, content in want["attachments"]:
        # ripmime makes a name safe for the file system its own way: it keeps
        # what follows the last "/" or "\\", as of a path.
        safe = name.replace("\\", "/").rsplit("/", 1)[-1]
        check(got.get(safe) == content, "ripmime: %r not written whole (it wrote %r)" % (safe, sorted(got)))


def munpack(path, want, work):
    if not shutil.which("munpack"):
        print("SKIP munpack is not installed")
        return
    out = os.path.join(work, "munpack")
    os.mkdir(out)
    subprocess.run(["munpack", "-q", "-C", out, path], capture_output=True, timeout=60)
    # munpack knows neither encoded words nor RFC 2231: it cannot give the
    # Japanese names, but it must find every attachment whole, under a name
    # that is one harmless line.
    contents = set()
    for name in os.listdir(out):
        check("\n" not in name and "\r" not in name, "munpack: a file name with a line break %r" % name)
        if name.endswith(".desc"):
            continue
        with open(os.path.join(out, name), "rb") as f:
            contents.add(base64.b64encode(f.read()).decode())
    for name, content in want["attachments"]:
        check(content in contents, "munpack: the content of %r is missing" % name)


def mutt(path, want, work):
    if not (shutil.which("mutt") and shutil.which("tmux")):
        print("SKIP mutt or tmux is not installed")
        return
    mbox = os.path.join(work, "mail.mbox")
    with open(path, "rb") as f, open(mbox, "wb") as out:
        out.write(b"From sender@example.jp Thu Jan  1 00:00:00 2026\n")
        out.write(f.read().replace(b"\r\n", b"\n"))
    rc = os.path.join(work, "muttrc")
    with open(rc, "w") as f:
        f.write('set charset="utf-8"\nset sort=date\nset pager_stop=yes\n')
    session = "tallpost-%d" % os.getpid()
    env = dict(os.environ, LANG="C.UTF-8", LC_ALL="C.UTF-8", TERM="xterm")
    tmux = lambda *a: subprocess.run(["tmux"] + list(a), capture_output=True, env=env, timeout=30)
    tmux("new-session", "-d", "-s", session, "-x", "250", "-y", "50",
         "mutt -n -F %s -R -f %s" % (rc, mbox))

    def screen_with(text, keys=None):
        if keys:
            tmux("send-keys", "-t", session, keys)
        end = time.time() + 20
        while time.time() < end:
            shown = tmux("capture-pane", "-t", session, "-p").stdout.decode("utf-8", "replace")
            if text in shown:
                return shown
            time.sleep(0.2)
        return shown

    try:
        screen_with("q:Quit")           # the index
        screen_with("i:Exit", "Enter")  # the message
        shown = screen_with("|:Pipe", "v")  # the attachment menu
        for name in want["mutt_names"]:
            check(name in shown, "mutt: %r is not in the attachment menu:\n%s" % (name, shown))
    finally:
        tmux("kill-session", "-t", session)


def main(outdir, expect):
    with open(expect, encoding="utf-8") as f:
        want = json.load(f)
    path = os.path.join(outdir, "0.eml")
    with open(path, "rb") as f:
        raw = f.read()
    work = tempfile.mkdtemp(prefix="tallpost-decoders-")
    try:
        python_email(raw, want)
        ripmime(path, want, work)
        munpack(path, want, work)
        mutt(path, want, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    for f in failures:
        print("FAIL", f)
    print("%d problem(s)" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1], sys.argv[2]))
