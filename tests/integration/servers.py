#!/usr/bin/python3
"""Real servers for the sending tests, on 127.0.0.1 and a free port.

  servers.py smtp OUTDIR                 aiosmtpd; every message received is kept
                                         as OUTDIR/N.eml with OUTDIR/N.json (envelope)
  servers.py pop DIR USER PASSWORD       Dovecot's POP3 server with one user
  servers.py smtp-secure OUTDIR CERT USER PASSWORD
                                         aiosmtpd four times, each wanting a login
                                         (PLAIN, LOGIN, and CRAM-MD5 where in clear):
                                         STARTTLS required, TLS from the first byte,
                                         in clear (no STARTTLS offered), and
                                         STARTTLS with a certificate for another name;
                                         what the client sends in clear to the first
                                         and third is kept in OUTDIR/wire-*.log
  servers.py pop-secure DIR CERT USER PASSWORD
                                         Dovecot with POP3S and, on a second port,
                                         POP3 with STLS

CERT is "good" (for 127.0.0.1, by the run's own authority), "expired" or
"other" (for another name); the authority is written to OUTDIR (or DIR)/ca.pem.
Prints "PORT n [n ...]" once the servers accept connections, then runs until
its standard input is closed, and stops them.
"""
import json
import logging
import os
import shutil
import signal
import socket
import subprocess
import sys
import time

# aiosmtpd logs a deprecation of its own attribute at every login it takes;
# the lines would drown what the tests print.
logging.getLogger("mail.log").addFilter(
    lambda record: "login_data is deprecated" not in record.getMessage())


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


class Keep:
    """Every message received, as OUTDIR/N.eml and OUTDIR/N.json."""

    count = 0

    def __init__(self, outdir):
        self.outdir = outdir

    async def handle_DATA(self, server, session, envelope):
        n = Keep.count
        Keep.count += 1
        with open(os.path.join(self.outdir, "%d.eml" % n), "wb") as f:
            f.write(envelope.original_content)
        with open(os.path.join(self.outdir, "%d.json" % n), "w") as f:
            json.dump({"mail_from": envelope.mail_from, "rcpt_tos": envelope.rcpt_tos,
                       "login": (getattr(session.auth_data, "login", None) or b"").decode("utf-8", "replace")}, f)
        return "250 OK"


def smtp(outdir):
    from aiosmtpd.controller import Controller

    os.makedirs(outdir, exist_ok=True)

    port = free_port()
    controller = Controller(Keep(outdir), hostname="127.0.0.1", port=port)
    controller.start()
    print("PORT %d" % port, flush=True)
    sys.stdin.read()
    controller.stop()


def certificates(folder, which, names=("good",)):
    """The run's own authority (folder/ca.pem) and, signed by it, a server
    certificate and key for each name: "good" for 127.0.0.1, "expired" (for
    127.0.0.1 too), "other" (for another name). Returns {name: (cert, key)}."""
    import datetime
    import ipaddress
    from cryptography import x509
    from cryptography.hazmat.primitives import hashes, serialization
    from cryptography.hazmat.primitives.asymmetric import ec
    from cryptography.x509.oid import NameOID

    os.makedirs(folder, exist_ok=True)
    now = datetime.datetime.now(datetime.timezone.utc)
    pem = serialization.Encoding.PEM
    ca_key = ec.generate_private_key(ec.SECP256R1())
    # A name of its own: two authorities of one name would be taken for each other.
    ca_name = x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, "Tallpost test authority %s" % os.urandom(4).hex())])
    ca = (x509.CertificateBuilder().subject_name(ca_name).issuer_name(ca_name)
          .public_key(ca_key.public_key()).serial_number(x509.random_serial_number())
          .not_valid_before(now - datetime.timedelta(days=1)).not_valid_after(now + datetime.timedelta(days=30))
          .add_extension(x509.BasicConstraints(ca=True, path_length=None), critical=True)
          .add_extension(x509.KeyUsage(digital_signature=True, content_commitment=False, key_encipherment=False,
                                       data_encipherment=False, key_agreement=False, key_cert_sign=True,
                                       crl_sign=True, encipher_only=False, decipher_only=False), critical=True)
          .sign(ca_key, hashes.SHA256()))
    with open(os.path.join(folder, "ca.pem"), "wb") as f:
        f.write(ca.public_bytes(pem))
    made = {}
    for which in dict.fromkeys((which,) + tuple(names)):
        key = ec.generate_private_key(ec.SECP256R1())
        if which == "other":
            alt, common = [x509.DNSName("mail.other.example")], "mail.other.example"
        else:
            alt = [x509.IPAddress(ipaddress.ip_address("127.0.0.1")), x509.DNSName("localhost")]
            common = "127.0.0.1"
        if which == "expired":
            start, end = now - datetime.timedelta(days=60), now - datetime.timedelta(days=30)
        else:
            start, end = now - datetime.timedelta(days=1), now + datetime.timedelta(days=30)
        cert = (x509.CertificateBuilder()
                .subject_name(x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, common)]))
                .issuer_name(ca_name).public_key(key.public_key()).serial_number(x509.random_serial_number())
                .not_valid_before(start).not_valid_after(end)
                .add_extension(x509.SubjectAlternativeName(alt), critical=False)
                .add_extension(x509.ExtendedKeyUsage([x509.oid.ExtendedKeyUsageOID.SERVER_AUTH]), critical=False)
                .sign(ca_key, hashes.SHA256()))
        cert_path = os.path.join(folder, which + ".pem")
        key_path = os.path.join(folder, which + ".key")
        with open(cert_path, "wb") as f:
            f.write(cert.public_bytes(pem))
        with open(key_path, "wb") as f:
            f.write(key.private_bytes(pem, serialization.PrivateFormat.PKCS8, serialization.NoEncryption()))
        os.chmod(key_path, 0o644)  # Dovecot reads it as root, the test as itself
        made[which] = (cert_path, key_path)
    return made


def recording_proxy(target_port, log_path):
    """Forwards a port to target_port and keeps every byte the client sends,
    as it crossed the wire (under TLS: encrypted)."""
    import threading

    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)

    def pump(src, dst, log):
        try:
            while True:
                data = src.recv(65536)
                if not data:
                    break
                if log is not None:
                    with open(log_path, "ab") as f:
                        f.write(data)
                dst.sendall(data)
        except OSError:
            pass
        finally:
            for sock in (src, dst):
                try:
                    sock.shutdown(socket.SHUT_RDWR)
                except OSError:
                    pass

    def serve():
        while True:
            try:
                client, _ = listener.accept()
            except OSError:
                return
            server = socket.create_connection(("127.0.0.1", target_port))
            threading.Thread(target=pump, args=(client, server, True), daemon=True).start()
            threading.Thread(target=pump, args=(server, client, None), daemon=True).start()

    threading.Thread(target=serve, daemon=True).start()
    return listener.getsockname()[1]


def smtp_secure(outdir, which, user, password):
    import hashlib
    import hmac
    import ssl
    from aiosmtpd.controller import Controller
    from aiosmtpd.smtp import AuthResult, LoginPassword, MISSING

    os.makedirs(outdir, exist_ok=True)
    made = certificates(outdir, which, ("other",))
    cert, key = made[which]
    other_cert, other_key = made["other"]

    def context(c, k):
        ctx = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        ctx.load_cert_chain(c, k)
        return ctx

    def authenticator(server, session, envelope, mechanism, data):
        ok = isinstance(data, LoginPassword) and data.login == user.encode() and data.password == password.encode()
        return AuthResult(success=ok, handled=False, auth_data=data if ok else None)

    class Handler(Keep):
        async def auth_CRAM__MD5(self, server, args):
            challenge = b"<%d.tallpost@127.0.0.1>" % os.getpid()
            answer = await server.challenge_auth(challenge)
            if answer is MISSING:
                return AuthResult(success=False, handled=True)
            name, _, digest = answer.partition(b" ")
            expect = hmac.new(password.encode(), challenge, hashlib.md5).hexdigest().encode()
            ok = name == user.encode() and hmac.compare_digest(digest, expect)
            return AuthResult(success=ok, handled=False, auth_data=LoginPassword(name, b"") if ok else None)

    common = dict(auth_required=True, authenticator=authenticator)
    starttls = Controller(Keep(outdir), hostname="127.0.0.1", port=free_port(),
                          tls_context=context(cert, key), require_starttls=True, **common)
    # aiosmtpd does not count TLS from the first byte as TLS for AUTH: it is.
    implicit = Controller(Keep(outdir), hostname="127.0.0.1", port=free_port(),
                          ssl_context=context(cert, key), auth_require_tls=False, **common)
    clear = Controller(Handler(outdir), hostname="127.0.0.1", port=free_port(), auth_require_tls=False, **common)
    wrong_name = Controller(Keep(outdir), hostname="127.0.0.1", port=free_port(),
                            tls_context=context(other_cert, other_key), require_starttls=True, **common)
    controllers = [starttls, implicit, clear, wrong_name]
    for c in controllers:
        c.start()
    ports = [recording_proxy(starttls.port, os.path.join(outdir, "wire-starttls.log")), implicit.port,
             recording_proxy(clear.port, os.path.join(outdir, "wire-clear.log")), wrong_name.port]
    print("PORT " + " ".join(str(p) for p in ports), flush=True)
    sys.stdin.read()
    for c in controllers:
        c.stop()


DOVECOT_CONF = """\
base_dir = {dir}/run
state_dir = {dir}/state
log_path = {dir}/dovecot.log
info_log_path = {dir}/dovecot.log
protocols = pop3
listen = 127.0.0.1
{ssl}
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
{tls_listener}}}
service anvil {{
  chroot =
}}
service pop3-login {{
  chroot =
}}
"""


def pop(folder, user, password, which=None):
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
    tls_port = free_port()
    if which:
        cert, key = certificates(folder, which)[which]
        ssl_conf = "ssl = yes\nssl_cert = <%s\nssl_key = <%s" % (cert, key)
    else:
        ssl_conf = "ssl = no"
    with open(os.path.join(folder, "users"), "w") as f:
        f.write("%s:{PLAIN}%s::::::\n" % (user, password))
    conf = os.path.join(folder, "dovecot.conf")
    with open(conf, "w") as f:
        listener = ("  inet_listener pop3s {\n    address = 127.0.0.1\n    port = %d\n    ssl = yes\n  }\n" % tls_port
                    if which else "")
        f.write(DOVECOT_CONF.format(dir=folder, port=port, tls_listener=listener, uid=uid, gid=gid, ssl=ssl_conf))
    proc = subprocess.Popen([dovecot, "-F", "-c", conf])
    if not wait_listening(port) or (which and not wait_listening(tls_port)):
        proc.kill()
        sys.stderr.write(open(os.path.join(folder, "dovecot.log")).read()
                         if os.path.exists(os.path.join(folder, "dovecot.log")) else "dovecot did not start\n")
        sys.exit(1)
    print(("PORT %d %d" % (tls_port, port)) if which else ("PORT %d" % port), flush=True)
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
    elif len(sys.argv) >= 6 and sys.argv[1] == "smtp-secure":
        smtp_secure(sys.argv[2], sys.argv[3], sys.argv[4], sys.argv[5])
    elif len(sys.argv) >= 6 and sys.argv[1] == "pop-secure":
        pop(sys.argv[2], sys.argv[4], sys.argv[5], sys.argv[3])
    else:
        sys.exit(__doc__)
