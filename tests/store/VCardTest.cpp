#include "store/VCard.h"
#include "support/Cp932.h"

#include <gtest/gtest.h>

namespace {

QString s(const char* utf8) { return QString::fromUtf8(utf8); }

TEST(VCardDropped, ReadsAsOutlookExpressWroteItAndNothingMore) {
  // CR LF and a lone CR end lines; a lone LF stays in its line; prefixes are
  // case-sensitive and no line is unfolded.
  const QByteArray bytes =
      Cp932::Encode(s("BEGIN:VCARD\r\nFN:一人目\r\nEMAIL;INTERNET:b@example.jp\rEMAIL;PREF;INTERNET:a@example.jp\r\n"
                      "email;internet:lower@example.jp\r\nEMAIL;TYPE=INTERNET:typed@example.jp\r\nFN;CHARSET=x:p\r\n"
                      "FN:二人目\nの続き\r\nEMAIL;INTERNET:folded\r\n @example.jp\r\nEND:VCARD"));
  const VCard::Person p = VCard::ReadDropped(bytes);
  EXPECT_EQ(p.Name, s("二人目\nの続き"));
  EXPECT_EQ(p.Addresses, (QStringList{s("b@example.jp"), s("a@example.jp"), s("folded")}));
  EXPECT_EQ(VCard::ReadDropped("no card at all").Name, VCard::ImportedName());
  EXPECT_EQ(VCard::ReadDropped("FN:").Name, QString());
}

TEST(VCardCards, ReadsEveryCardWithItsOwnCharacterSetAndEncoding) {
  QByteArray bytes;
  // 2.1 in CP932 with quoted-printable and a soft line break.
  bytes += "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=SHIFT_JIS:" + Cp932::Encode(s("山田;太郎")) + "\r\n";
  bytes += "FN;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8:=E5=B1=B1=E7=94=B0=\r\n =E5=A4=AA=E9=83=8E\r\n";
  bytes += "EMAIL;PREF;INTERNET:taro@example.jp\r\nEND:VCARD\r\n";
  // 3.0, LF only, escapes, a group prefix, a folded line, base64.
  bytes += "BEGIN:VCARD\nVERSION:3.0\nN:" + s("佐藤;花子;;;").toUtf8() + "\n";
  bytes += "item1.EMAIL;TYPE=INTERNET,pref:hanako@exa\n mple.jp\n";
  bytes += "EMAIL;ENCODING=b:" + QByteArray("second@example.jp").toBase64() + "\n";
  bytes += "CATEGORIES:" + s("友人,仕事\\,趣味").toUtf8() + "\nEND:VCARD\n";
  // 4.0 with a quoted parameter, a name to unescape, and a card without an address.
  bytes += "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:" + s("鈴木\\, 一郎\\; 課長").toUtf8() + "\r\n";
  bytes += "EMAIL;TYPE=\"work,internet\":ichiro@example.jp\r\nEND:VCARD\r\n";
  bytes += "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:" + s("アドレスなし").toUtf8() + "\r\nEND:VCARD\r\n";
  const QList<VCard::Person> people = VCard::ReadCards(bytes);
  ASSERT_EQ(people.size(), 4);
  EXPECT_EQ(people[0].Name, s("山田太郎"));
  EXPECT_EQ(people[0].Addresses, QStringList{s("taro@example.jp")});
  EXPECT_EQ(people[1].Name, s("佐藤 花子")) << "from N when there is no FN";
  EXPECT_EQ(people[1].Addresses, (QStringList{s("hanako@example.jp"), s("second@example.jp")}));
  EXPECT_EQ(people[1].Categories, (QStringList{s("友人"), s("仕事,趣味")}));
  EXPECT_EQ(people[2].Name, s("鈴木, 一郎; 課長"));
  EXPECT_EQ(people[3].Name, s("アドレスなし"));
  EXPECT_TRUE(people[3].Addresses.isEmpty());
}

TEST(VCardCards, WhatIsWrittenReadsBackTheSame) {
  const QList<VCard::Person> people = {
      {s("長谷川 はるか（東京本社 第二営業部、担当：首都圏・関東一円の各支店との連絡調整）; 課長"),
       {s("haruka@example.jp"), s("h2@example.jp")},
       {s("会社"), s("営業, 東京")}},
      {s("Ünïcode"), {}, {}}};
  const QByteArray written = VCard::WriteCards(people);
  for (const QByteArray& line : written.split('\n')) EXPECT_LE(line.size(), 76) << "folded at 75 octets";
  EXPECT_TRUE(written.startsWith("BEGIN:VCARD\r\nVERSION:4.0\r\n"));
  EXPECT_EQ(VCard::ReadCards(written), people);
}

}  // namespace
