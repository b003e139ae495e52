#!/usr/bin/python3
"""Reads the messages a test SMTP server kept (OUTDIR/N.eml, N.json) with
Python's own email package and compares them with what the user wrote, as
given in EXPECT.json. Exit 0 when every message is as expected.

  check_received.py OUTDIR EXPECT.json
"""
import base64
import email
import email.policy
import email.utils
import json
import os
import sys

failures = []


def check(ok, what):
    if not ok:
        failures.append(what)


def names(header_value):
    return [[n, a] for n, a in email.utils.getaddresses([str(header_value)])] if header_value else []


def main(outdir, expect_path):
    with open(expect_path, encoding="utf-8") as f:
        expected = json.load(f)["messages"]
    for i, want in enumerate(expected):
        eml = os.path.join(outdir, "%d.eml" % i)
        if not os.path.exists(eml):
            failures.append("message %d was not received" % i)
            continue
        raw = open(eml, "rb").read()
        envelope = json.load(open(os.path.join(outdir, "%d.json" % i)))
        tag = "message %d: " % i
        check(envelope["mail_from"] == want["mail_from"], tag + "MAIL FROM %r" % envelope["mail_from"])
        check(envelope["rcpt_tos"] == want["rcpt_tos"], tag + "RCPT TO %r" % envelope["rcpt_tos"])
        check(all(b < 0x80 for b in raw), tag + "a byte is not 7-bit")
        check(all(len(line) <= 998 for line in raw.split(b"\r\n")), tag + "a line is longer than 998 octets")
        msg = email.message_from_bytes(raw, policy=email.policy.default)
        check(str(msg["Subject"]) == want["subject"], tag + "subject %r" % str(msg["Subject"]))
        check(names(msg["From"]) == [want["from"]], tag + "From %r" % names(msg["From"]))
        check(names(msg["To"]) == want["to"], tag + "To %r" % names(msg["To"]))
        check(names(msg["Cc"]) == want["cc"], tag + "Cc %r" % names(msg["Cc"]))
        for absent in want.get("no_header", []):
            check(msg[absent] is None, tag + "has a %s header" % absent)
        plain = html = None
        attachments = []
        for part in msg.walk():
            if part.is_multipart():
                continue
            payload = part.get_payload(decode=True)
            raw_name = part.get_filename()
            if raw_name:
                name = raw_name
                attachments.append([name, base64.b64encode(payload).decode("ascii")])
            elif part.get_content_type() == "text/plain":
                plain = payload.decode(part.get_content_charset())
            elif part.get_content_type() == "text/html":
                html = payload.decode(part.get_content_charset())
                with open(os.path.join(outdir, "%d.html" % i), "wb") as f:
                    f.write(payload)
        # The part ends with the line ends that frame it in the message.
        strip = lambda text: text.rstrip("\r\n") if text is not None else None
        check(strip(plain) == strip(want["plain"]), tag + "plain text differs:\n%r\n%r" % (plain, want["plain"]))
        check(strip(html) == strip(want["html"]), tag + "HTML differs:\n%r\n%r" % (html, want["html"]))
        check(attachments == want["attachments"],
              tag + "attachments %r" % [[n, len(c)] for n, c in attachments])
    for f in failures:
        print("FAIL", f)
    print("%d message(s) checked, %d problem(s)" % (len(expected), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1], sys.argv[2]))
