#!/usr/bin/python3
"""Real servers for the sending tests, on 127.0.0.1 and a free port.

  servers.py smtp OUTDIR                 aiosmtpd; every message received is kept
                                         as OUTDIR/N.eml with OUTDIR/N.json (envelope)
  servers.py pop DIR USER PASSWORD       Dovecot's POP3 server with one user

Prints "PORT n" once the server accepts connections, then runs until its
standard input is closed, and stops the server.
"""
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import time


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_listening(port, seconds=20):
    end = time.time() + seconds
    while time.time() < end:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=1):
                return True
        except OSError:
            time.sleep(0.05)
    return False


def smtp(outdir):
    from aiosmtpd.controller import Controller

    os.makedirs(outdir, exist_ok=True)

    class Keep:
        count = 0

        async def handle_DATA(self, server, session, envelope):
            n = Keep.count
            Keep.count += 1
            with open(os.path.join(outdir, "%d.eml" % n), "wb") as f:
                f.write(envelope.original_content)
            with open(os.path.join(outdir, "%d.json" % n), "w") as f:
                json.dump({"mail_from": envelope.mail_from, "rcpt_tos": envelope.rcpt_tos}, f)
            return "250 OK"

    port = free_port()
    controller = Controller(Keep(), hostname="127.0.0.1", port=port)
    controller.start()
    print("PORT %d" % port, flush=True)
    sys.stdin.read()
    controller.stop()


DOVECOT_CONF = """\
base_dir = {dir}/run
state_dir = {dir}/state
log_path = {dir}/dovecot.log
info_log_path = {dir}/dovecot.log
protocols = pop3
listen = 127.0.0.1
ssl = no
disable_plaintext_auth = no
auth_mechanisms = plain
passdb {{
  driver = passwd-file
  args = scheme=PLAIN username_format=%u {dir}/users
}}
userdb {{
  driver = static
  args = uid={uid} gid={gid} home={dir}/home/%u
}}
mail_location = maildir:~/Maildir
first_valid_uid = 1
service pop3-login {{
  inet_listener pop3 {{
    address = 127.0.0.1
    port = {port}
  }}
}}
service anvil {{
  chroot =
}}
service pop3-login {{
  chroot =
}}
"""


def pop(folder, user, password):
    dovecot = shutil.which("dovecot") or "/usr/sbin/dovecot"
    os.makedirs(folder, exist_ok=True)
    for sub in ("run", "state", "home"):
        os.makedirs(os.path.join(folder, sub), exist_ok=True)
    # The login processes run as other users and must reach the sockets.
    for path in (folder, os.path.join(folder, "run")):
        os.chmod(path, 0o755)
    # Mail processes may not run as root: the user's home belongs to nobody.
    uid, gid = (65534, 65534) if os.getuid() == 0 else (os.getuid(), os.getgid())
    home = os.path.join(folder, "home", user)
    os.makedirs(home, exist_ok=True)
    for path in (os.path.join(folder, "home"), home):
        os.chmod(path, 0o755)
        if os.getuid() == 0:
            os.chown(path, uid, gid)
    port = free_port()
    with open(os.path.join(folder, "users"), "w") as f:
        f.write("%s:{PLAIN}%s::::::\n" % (user, password))
    conf = os.path.join(folder, "dovecot.conf")
    with open(conf, "w") as f:
        f.write(DOVECOT_CONF.format(dir=folder, port=port, uid=uid, gid=gid))
    proc = subprocess.Popen([dovecot, "-F", "-c", conf])
    if not wait_listening(port):
        proc.kill()
        sys.stderr.write(open(os.path.join(folder, "dovecot.log")).read()
                         if os.path.exists(os.path.join(folder, "dovecot.log")) else "dovecot did not start\n")
        sys.exit(1)
    print("PORT %d" % port, flush=True)
    sys.stdin.read()
    proc.send_signal(signal.SIGTERM)
    try:
        proc.wait(10)
    except subprocess.TimeoutExpired:
        proc.kill()


if __name__ == "__main__":
    if len(sys.argv) >= 3 and sys.argv[1] == "smtp":
        smtp(sys.argv[2])
    elif len(sys.argv) >= 5 and sys.argv[1] == "pop":
        pop(sys.argv[2], sys.argv[3], sys.argv[4])
    else:
        sys.exit(__doc__)
