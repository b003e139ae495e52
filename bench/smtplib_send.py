#!/usr/bin/python3
"""Sends every message of a folder (N.msg with N.rcpt, one recipient a line,
the first line the sender) with Python's smtplib, one connection each, and
prints the rate.

  smtplib_send.py PORT FOLDER
  smtplib_send.py --tls CAFILE USER PASSWORD PORT FOLDER
        over TLS from the first byte with a login: one connection each, then
        all of them over one connection (RSET between mails)
"""
import os
import smtplib
import ssl
import sys
import time

tls = None
if sys.argv[1] == "--tls":
    tls = (ssl.create_default_context(cafile=sys.argv[2]), sys.argv[3], sys.argv[4])
    del sys.argv[1:5]
port, folder = int(sys.argv[1]), sys.argv[2]
jobs = []
for name in sorted(os.listdir(folder), key=lambda n: (len(n), n)):
    if name.endswith(".msg"):
        base = os.path.join(folder, name[:-4])
        data = open(base + ".msg", "rb").read()
        people = open(base + ".rcpt").read().split("\n")
        jobs.append((people[0], [p for p in people[1:] if p], data))
if tls is None:
    start = time.perf_counter()
    for sender, rcpts, data in jobs:
        with smtplib.SMTP("127.0.0.1", port) as s:
            s.helo("smtplib")
            s.sendmail(sender, rcpts, data)
    elapsed = time.perf_counter() - start
    print("smtplib: %d mails in %.3f s = %.1f mails/s" % (len(jobs), elapsed, len(jobs) / elapsed))
    sys.exit(0)

context, user, password = tls
start = time.perf_counter()
for sender, rcpts, data in jobs:
    with smtplib.SMTP_SSL("127.0.0.1", port, context=context) as s:
        s.login(user, password)
        s.sendmail(sender, rcpts, data)
elapsed = time.perf_counter() - start
print("smtplib TLS+login, one connection a mail: %d mails in %.3f s = %.1f mails/s"
      % (len(jobs), elapsed, len(jobs) / elapsed))
start = time.perf_counter()
with smtplib.SMTP_SSL("127.0.0.1", port, context=context) as s:
    s.login(user, password)
    for sender, rcpts, data in jobs:
        s.sendmail(sender, rcpts, data)
        s.rset()
elapsed = time.perf_counter() - start
print("smtplib TLS+login, one connection for all (RSET between): %d mails in %.3f s = %.1f mails/s"
      % (len(jobs), elapsed, len(jobs) / elapsed))
