#!/usr/bin/python3
"""vCard files written and read by Python's vobject, a program that owes
nothing to Tallpost.

  vcards.py write OUTDIR   writes people.vcf (several vCard 3.0 cards) and
                           prints what they hold as JSON
  vcards.py read FILE      prints every card of FILE as JSON
JSON: [{"name": ..., "emails": [...], "categories": [...]}, ...]
"""
import json
import os
import sys

import vobject


def card(name, family, given, emails):
    c = vobject.vCard()
    c.add("n").value = vobject.vcard.Name(family=family, given=given)
    c.add("fn").value = name
    for i, address in enumerate(emails):
        e = c.add("email")
        e.value = address
        e.type_param = ["INTERNET", "pref"] if i == 0 else "INTERNET"
    return c


def write(outdir):
    people = [
        ("山田 太郎", "山田", "太郎", ["taro@example.jp", "t.yamada@example.com", "yamada@example.org"]),
        # Long enough that the writer folds its lines, with characters to escape.
        ("長谷川 はるか（東京本社 第二営業部 法人営業課、担当：首都圏・関東一円、北海道・東北・北陸・"
         "甲信越・東海・近畿・中国・四国・九州・沖縄の各支店との連絡調整）; 課長", "長谷川", "はるか",
         ["haruka.hasegawa.tokyo.sales@example.co.jp"]),
        ("Ünïcode Nàme", "Nàme", "Ünïcode", []),
    ]
    text = "".join(card(*p).serialize() for p in people)
    with open(os.path.join(outdir, "people.vcf"), "w", encoding="utf-8", newline="") as f:
        f.write(text)
    print(json.dumps([{"name": p[0], "emails": p[3], "categories": []} for p in people], ensure_ascii=False))


def read(path):
    with open(path, encoding="utf-8") as f:
        cards = list(vobject.readComponents(f.read()))
    out = []
    for c in cards:
        categories = []
        if hasattr(c, "categories"):
            categories = list(c.categories.value)
        out.append({"name": c.fn.value,
                    "emails": [e.value for e in c.contents.get("email", [])],
                    "categories": categories})
    print(json.dumps(out, ensure_ascii=False))


if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[1] not in ("write", "read"):
        sys.exit(__doc__)
    (write if sys.argv[1] == "write" else read)(sys.argv[2])
