#!/usr/bin/python3
"""Writes the seed files of the fuzz targets into fuzz/seeds/<name>/: valid
files of each kind as Tallpost writes and reads them."""
import os
import struct
import sys

root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "seeds")


def put(target, name, data):
    d = os.path.join(root, target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode("cp932"))


crlf = "\r\n"
put("cp932", "japanese", "縦書きのメール。ｶﾞｷﾞ①～〜∥" + crlf)
put("cp932", "bytes", bytes(range(256)))

put("settings", "full", crlf.join([
    "[Setting]", "Title=たかぽすと", "LineChars=20", "Account=taro", "Passwd=secret",
    "Email=taro@example.jp", "FullName=山田太郎", "SmtpServer=mail.example.jp", "SmtpPort=25",
    "PopServer=pop.example.jp", "PopPort=110", "PageLines=20", "LineSpace=1", "SaveBcc=1",
    "Separator=1", "ShowMeter=1", "", "[Separator]", "－－－－－", "＊＊＊", ""]))
put("settings", "odd", "[setting]\r\n SmtpPort = 2525 \r\nplain line\r\n[Separator]\r\n\r\nx\r\n")

put("mailindex", "index", crlf.join([
    '0,"hanako@example.jp","こんにちは",#2024/01/02 03:04:05#,2,#FALSE#',
    '1,"a ""b"" <c@d>","件名",#2024/01/02#,3,#TRUE#',
    '3,""山田 太郎" <y@example.jp>","件名",#2003-08-06 02:11:07#,3,#FALSE#', ""]))

vml = crlf.join([
    "To: hanako@example.jp", "Cc: ", "Bcc: taro@example.jp", "Date: 2024/01/02 03:04:05",
    "Subject: 縦書き", "X-Tallpost-Seq: 0", "X-Tallpost-PageLines: 20", "X-Tallpost-LineChars: 20",
    "X-Tallpost-LineSpace: 1", "X-Tallpost-MailBox: 2", "X-Tallpost-Separator: 0",
    'Boundary="0__=1.5E+07"', "", "本文です。", "", "--0__=1.5E+07", "", "縦　文", "",
    "--0__=1.5E+07", 'Content-type: application/octet-stream; Name = "a.txt"',
    'Content-Disposition: attachment; filename="a.txt"', "", "QUJD", "", "", ""])
put("mailfile", "mail.vml", vml)
put("mailfile", "delivered.vml", vml.replace('Boundary=', 'X-Tallpost-Delivered: a@example.jp, b@example.jp\r\nBoundary='))


def crc_line(body):
    import zlib
    return body + b"\t" + ("%08x" % zlib.crc32(body)).encode() + b"\r\n"


put("journal", "journal", crc_line('=0,"hanako@example.jp","件名",#2026-01-02 03:04:05#,3,#FALSE#'.encode("cp932")) +
    crc_line(b'>1,""') + crc_line(b'+1,"a@example.jp"') + crc_line(b'-2,""'))

table = ""
for h, v, f in [("ー", "｜", "FFFF"), ("、", "", "FFFF"), ("「", "┐", "0"), ("っ", "", "FFFF")]:
    table += h + "\0" + v + "\0" + f + "\0"
put("glyphtable", "table", table)


def record(key, parent, name, addresses, person):
    out = b""
    for s in (key, parent, name, addresses):
        b = s.encode("cp932")
        out += struct.pack("<H", len(b)) + b
    out += b"\xff\xff" if person else b"\0\0"
    return out + b"\0" * (128 - len(out))


put("addressbook", "book", record(":2", ":1", "友人", "", False) +
    record(":3", ":2", "山田 花子", "hanako@example.jp,h@example.com", True))

layout = bytes([20, 20, 1])
body = "縦書きのメール。\r\n> 引用です\r\n\tタブ、「かぎ」ー\r\n".encode("utf-16-le")
tbytes = table.encode("cp932")
put("engine", "body", layout + bytes([len(tbytes)]) + tbytes + body)
put("engine", "surrogates", bytes([3, 3, 1, 0]) + b"\x00\xd8\x41\x00\x00\xdc")

put("replies", "smtp", b"\x05220 mail.example.jp ESMTP\r\n250-mail\r\n250 OK\r\n354 go\r\n+OK ready\r\n")
put("makemail", "fields", "\0".join(["山田 花子 <hanako@example.jp>, jiro@example.jp", "", "x@y",
                                     "山田太郎 <taro@example.jp>", "縦書きの件名", "本文\r\n.\r\n", "あ.txt"])
    .encode("utf-8"))

put("vcard", "oe.vcf", "BEGIN:VCARD\r\nVERSION:2.1\r\nFN:山田 太郎\r\nEMAIL;PREF;INTERNET:taro@example.jp\r\n"
    "EMAIL;INTERNET:t@example.com\r\nEND:VCARD\r\n")
put("vcard", "v3.vcf", "BEGIN:VCARD\nVERSION:3.0\nN:佐藤;花子;;;\nitem1.EMAIL;TYPE=INTERNET,pref:hanako@exa\n mple.jp\n"
    "EMAIL;ENCODING=b:c2Vjb25kQGV4YW1wbGUuanA=\nCATEGORIES:友人,仕事\\,趣味\nEND:VCARD\n".encode("utf-8"))
put("vcard", "qp.vcf", b"BEGIN:VCARD\r\nVERSION:2.1\r\nFN;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8:=E5=B1=B1=\r\n"
    b"=E7=94=B0\r\nEND:VCARD\r\n")

put("commandline", "tallpost", "/home/taro/My Mail/Tallpost/GlyphSwap.dat たかぽすと".encode("utf-8"))
put("commandline", "old", "C:\\Program Files\\Tallpost\\GlyphSwap.dat たかぽすと -1".encode("utf-8"))
