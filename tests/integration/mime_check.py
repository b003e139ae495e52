#!/usr/bin/env python3
"""Reads the messages Tallpost builds with Python's own email package.

Stored mails are written here as the editor stores them, turned into messages
by tallpost-eml, and parsed by a MIME reader that owes nothing to Tallpost:
every header, part and attachment must read back as the user wrote it.
"""
import base64
import email
import email.policy
import os
import random
import subprocess
import sys
import tempfile
import unittest

BIN = os.environ.get("TALLPOST_BIN_DIR", "")
CRLF = "\r\n"

BODY = ("拝啓　皆様いかがお過ごしでしょうか。縦書きのメールをお送りします。\r\n"
        "> 引用された行です。\r\n"
        "二頁目に続くように、少し長めの文章を書いておきます。" * 3 + "\r\n敬具")


def vertical_text(body):
    """The vertical text the editor would store: the tategaki command."""
    out = subprocess.run(
        [os.path.join(BIN, "tategaki"), "--page-lines", "6", "--line-chars", "10",
         "--separator", "－－－－－－－－－－－－", "-"],
        input=body.encode("utf-8"), stdout=subprocess.PIPE, check=True).stdout
    return out.decode("utf-8")


def base64_lines(data, span=72):
    text = base64.b64encode(data).decode("ascii")
    return CRLF.join(text[i:i + span] for i in range(0, len(text), span))


def mail_file(to, cc, bcc, subject, body, vertical, attachments):
    boundary = "0__=4.529612E+073.25E+0712"
    t = ["To: " + to, "Cc: " + cc, "Bcc: " + bcc, "Date: 2026/12/08 09:10:11",
         "Subject: " + subject, "X-Tallpost-Seq: 3", "X-Tallpost-PageLines: 6",
         "X-Tallpost-LineChars: 10", "X-Tallpost-LineSpace: 1", "X-Tallpost-MailBox: 2",
         "X-Tallpost-Separator: 1", 'Boundary="%s"' % boundary, ""]
    text = CRLF.join(t) + CRLF
    if body:
        text += body + CRLF + CRLF
    text += "--" + boundary + CRLF + CRLF
    if vertical:
        text += vertical + CRLF + CRLF
    for name, data in attachments:
        text += "--" + boundary + CRLF
        text += 'Content-type: application/octet-stream; Name = "%s"' % name + CRLF
        text += 'Content-Disposition: attachment; filename="%s"' % name + CRLF + CRLF
        text += base64_lines(data) + CRLF + CRLF
    return (text + CRLF).encode("cp932")


def html_body(vertical):
    return ('<!DOCTYPE HTML PUBLIC "-//W3C//DTD HTML 4.0 Transitional//EN">\r\n'
            "<HTML><HEAD>\r\n"
            '<META content="text/html; charset=iso-2022-jp" http-equiv=Content-Type>\r\n'
            '<META content="Tallpost 2.1.3" name=GENERATOR>\r\n'
            '<STYLE>PRE { font-family: "ＭＳ ゴシック", "IPAゴシック", "IPAGothic", "Noto Sans Mono CJK JP", '
            '"Osaka-Mono", monospace; text-spacing-trim: space-all; font-feature-settings: "halt" 0, "chws" 0, '
            '"palt" 0; font-kerning: none; }</STYLE>\r\n'
            "</HEAD>\r\n"
            '<BODY><FONT Face="ＭＳ ゴシック"><PRE>\r\n' + vertical +
            "\r\n</PRE></FONT></BODY></HTML>\r\n")


def build(vml, *options):
    with tempfile.NamedTemporaryFile(suffix=".vml", delete=False) as f:
        f.write(vml)
    try:
        return subprocess.run([os.path.join(BIN, "tallpost-eml"), *options, f.name],
                              stdout=subprocess.PIPE, check=True).stdout
    finally:
        os.unlink(f.name)


# JIS X 0208 has one code for each of these pairs; CP932 text holds the second
# form, a JIS decoder gives the first. Both sides are compared in the first form.
JIS_FORMS = str.maketrans({"\uff0d": "\u2212", "\uff5e": "\u301c", "\u2225": "\u2016",
                           "\uffe0": "\u00a2", "\uffe1": "\u00a3", "\uffe2": "\u00ac",
                           "\u2015": "\u2014"})


def plain(text):
    return text.translate(JIS_FORMS).replace(CRLF, "\n").rstrip("\n")


def text_of(part):
    """A text part's payload in its own charset, line ends as LF, no trailing blank lines."""
    return plain(part.get_payload(decode=True).decode(part.get_content_charset()))


class MessageReadsBack(unittest.TestCase):
    SUBJECT = "【重要】縦書きメールの試験について"
    TO = "山田 太郎 <taro@example.jp>, hanako@example.jp"
    CC = "佐藤 次郎 <jiro@example.jp>"
    BCC = "hidden@example.jp"
    FROM = "鈴木 三郎 <saburo@example.jp>"

    @classmethod
    def setUpClass(cls):
        rng = random.Random(20261208)
        cls.binary = bytes(rng.randrange(256) for _ in range(70001)) + b"\x00\r\n\x1a"
        cls.text_file = "添付の文書です。\r\n".encode("cp932") * 50
        cls.attachments = [("報告書.bin", cls.binary), ("memo.txt", cls.text_file)]
        cls.vertical = vertical_text(BODY)
        cls.vml = mail_file(cls.TO, cls.CC, cls.BCC, cls.SUBJECT, BODY, cls.vertical, cls.attachments)
        cls.eml = build(cls.vml, "--from", cls.FROM)
        cls.msg = email.message_from_bytes(cls.eml, policy=email.policy.default)

    def test_vertical_text_has_several_pages(self):
        self.assertIn("－－－－－－－－－－－－", self.vertical)
        self.assertGreater(self.vertical.count(CRLF), 12)

    def test_headers_decode_to_what_was_typed(self):
        m = self.msg
        self.assertEqual(str(m["Subject"]), self.SUBJECT)
        to = m["To"].addresses
        self.assertEqual([(a.display_name, a.addr_spec) for a in to],
                         [("山田 太郎", "taro@example.jp"), ("", "hanako@example.jp")])
        self.assertEqual([(a.display_name, a.addr_spec) for a in m["Cc"].addresses],
                         [("佐藤 次郎", "jiro@example.jp")])
        self.assertEqual([(a.display_name, a.addr_spec) for a in m["From"].addresses],
                         [("鈴木 三郎", "saburo@example.jp")])
        self.assertIsNone(m["Bcc"])
        self.assertNotIn(b"hidden@example.jp", self.eml)
        self.assertEqual(m["X-Mailer"], "Tallpost 2.1.3")
        self.assertIsNotNone(m["Date"].datetime)

    def test_plain_and_html_parts_carry_the_vertical_text(self):
        alternative = self.msg.get_payload()[0]
        self.assertEqual(alternative.get_content_type(), "multipart/alternative")
        text, html = alternative.get_payload()
        self.assertEqual(text.get_content_type(), "text/plain")
        self.assertEqual(text.get_content_charset(), "iso-2022-jp")
        self.assertEqual(text_of(text), plain(self.vertical))
        self.assertEqual(html.get_content_type(), "text/html")
        self.assertEqual(text_of(html), plain(html_body(self.vertical)))

    def test_attachments_are_the_exact_bytes_in_order(self):
        parts = [p for p in self.msg.iter_parts() if p.get_content_disposition() == "attachment"]
        self.assertEqual(len(parts), 2)
        for part, (name, data) in zip(parts, self.attachments):
            # The file name is sent as ISO-2022-JP inside the quoted parameter.
            self.assertEqual(part.get_filename(), name)
            self.assertEqual(part.get_payload(decode=True), data)

    def test_every_line_fits_and_every_byte_is_seven_bit(self):
        for line in self.eml.split(b"\r\n"):
            self.assertLessEqual(len(line), 998)
        self.assertTrue(all(b < 0x80 for b in self.eml))
        self.assertNotIn(b"\n", self.eml.replace(b"\r\n", b""))
        self.assertFalse(self.eml.endswith(b"\r\n.\r\n"))

    def test_data_and_envelope_forms(self):
        data = build(self.vml, "--from", self.FROM, "--data")
        self.assertTrue(data.endswith(b"\r\n.\r\n"))
        env = build(self.vml, "--from", self.FROM, "--envelope")
        head, _, message = env.partition(b"\r\n\r\n")
        self.assertEqual(head.split(b"\r\n"), [
            b"MAIL FROM:<saburo@example.jp>", b"RCPT TO:<taro@example.jp>",
            b"RCPT TO:<hanako@example.jp>", b"RCPT TO:<jiro@example.jp>",
            b"RCPT TO:<hidden@example.jp>"])
        self.assertTrue(message.startswith(b"Date: "))
        self.assertFalse(message.endswith(b"\r\n.\r\n"))

    def test_a_long_subject_is_folded_and_reads_back(self):
        subject = "とても長い件名" * 120
        vml = mail_file("a@example.jp", "", "", subject, "本文", "縦", [])
        eml = build(vml, "--from", self.FROM)
        for line in eml.split(b"\r\n"):
            self.assertLessEqual(len(line), 998)
        msg = email.message_from_bytes(eml, policy=email.policy.default)
        self.assertEqual(str(msg["Subject"]), subject)
        self.assertEqual(msg.get_content_type(), "multipart/alternative")

    def test_half_width_katakana_arrive_full_width(self):
        vml = mail_file("a@example.jp", "", "", "ﾃｽﾄのｶﾞｲﾄﾞ", "本文", "ﾊﾞｽ", [])
        msg = email.message_from_bytes(build(vml, "--from", self.FROM), policy=email.policy.default)
        self.assertEqual(str(msg["Subject"]), "テストのガイド")
        self.assertEqual(text_of(msg.get_payload()[0]), "バス")

    def test_check_lists_what_will_not_arrive_as_typed(self):
        vml = mail_file("a@example.jp", "", "", "①の件", "髙橋さんへ　ｶﾞｲﾄﾞ", "縦", [("㍉.txt", b"x")])
        with tempfile.NamedTemporaryFile(suffix=".vml", delete=False) as f:
            f.write(vml)
        try:
            r = subprocess.run([os.path.join(BIN, "tallpost-eml"), "--check", f.name],
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            clean = mail_file("a@example.jp", "", "", "件名", "本文", "縦", [])
            with open(f.name, "wb") as g:
                g.write(clean)
            r2 = subprocess.run([os.path.join(BIN, "tallpost-eml"), "--check", f.name],
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        finally:
            os.unlink(f.name)
        self.assertEqual(r.returncode, 1)
        lines = r.stdout.decode("utf-8").splitlines()
        self.assertIn("「①」 U+2460　件名　→ (1)", lines)
        self.assertIn("「髙」 U+9AD9　本文　→ 高", lines)
        self.assertIn("「ｶﾞ」 U+FF76 U+FF9E　本文　→ ガ", lines)
        self.assertIn("「㍉」 U+3349　添付ﾌｧｲﾙ名　→ ミリ", lines)
        self.assertEqual((r2.returncode, r2.stdout), (0, b""))

    def test_missing_mail_file_is_one_line_and_status_1(self):
        r = subprocess.run([os.path.join(BIN, "tallpost-eml"), "/nonexistent/9.vml"],
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.assertEqual(r.returncode, 1)
        self.assertEqual(r.stdout, b"")
        self.assertEqual(r.stderr.count(b"\n"), 1)


if __name__ == "__main__":
    if len(sys.argv) > 1:
        BIN = sys.argv.pop(1)
    unittest.main(verbosity=2)
