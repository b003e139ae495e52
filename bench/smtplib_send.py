#!/usr/bin/python3
"""Sends every message of a folder (N.msg with N.rcpt, one recipient a line,
the first line the sender) with Python's smtplib, one connection each, and
prints the rate.

  smtplib_send.py PORT FOLDER
"""
import os
import smtplib
import sys
import time

port, folder = int(sys.argv[1]), sys.argv[2]
jobs = []
for name in sorted(os.listdir(folder), key=lambda n: (len(n), n)):
    if name.endswith(".msg"):
        base = os.path.join(folder, name[:-4])
        data = open(base + ".msg", "rb").read()
        people = open(base + ".rcpt").read().split("\n")
        jobs.append((people[0], [p for p in people[1:] if p], data))
start = time.perf_counter()
for sender, rcpts, data in jobs:
    with smtplib.SMTP("127.0.0.1", port) as s:
        s.helo("smtplib")
        s.sendmail(sender, rcpts, data)
elapsed = time.perf_counter() - start
print("smtplib: %d mails in %.3f s = %.1f mails/s" % (len(jobs), elapsed, len(jobs) / elapsed))
