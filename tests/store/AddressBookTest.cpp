#include "store/AddressBook.h"
#include "support/Cp932.h"
#include "tests/testsupport/AddressEntries.h"
#include "tests/testsupport/TempProgramFolder.h"

#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

using AddressBook::EncodeRecord;

QByteArray le16(int n) { return QByteArray(1, static_cast<char>(n & 0xFF)) + static_cast<char>(n >> 8); }

TEST(AddressRecord, IsLaidOutByteForByte) {
  const AddressEntry e = person(":3", ":2", QStringLiteral("山田 太郎"),
                                QStringLiteral("taro@example.jp,t@example.com,yamada@example.org"));
  const auto record = EncodeRecord(e);
  ASSERT_TRUE(record.has_value());
  const QByteArray name = Cp932::Encode(e.DisplayName);
  ASSERT_EQ(name.size(), 9);
  QByteArray expected =
      le16(2) + ":3" + le16(2) + ":2" + le16(9) + name + le16(48) + Cp932::Encode(e.Addresses) + "\xFF\xFF";
  expected += QByteArray(128 - expected.size(), '\0');
  EXPECT_EQ(*record, expected);
  EXPECT_EQ(EncodeRecord(group(":2", ":1", QStringLiteral("友人")))->mid(18, 2), QByteArray("\0\0", 2));

  const QList<AddressEntry> back = AddressBook::DecodeRecords(*record);
  ASSERT_EQ(back.size(), 1);
  EXPECT_EQ(back[0], e);
}

TEST(AddressRecord, TooLongEntriesAreRefusedNotSpilled) {
  // 118 bytes of text fit exactly; one more does not.
  AddressEntry e = person(":2", ":1", QString(), QString(114, QLatin1Char('a')));
  EXPECT_TRUE(AddressBook::Fits(e));
  e.Addresses += QLatin1Char('a');
  EXPECT_FALSE(AddressBook::Fits(e));
  EXPECT_FALSE(EncodeRecord(e).has_value());
  e.Addresses = QString(57, QChar(u'字'));  // 114 bytes in CP932, plus the keys' 4
  EXPECT_TRUE(AddressBook::Fits(e));
  e.DisplayName = QStringLiteral("字");
  EXPECT_FALSE(AddressBook::Fits(e));
}

TEST(AddressRecord, ShortLastRecordsAndEmptyKeysAreHandled) {
  const AddressEntry a = person(":2", ":1", QStringLiteral("佐藤"), QStringLiteral("s@example.jp"));
  const AddressEntry noParent = person(":3", "", QStringLiteral("x"), QStringLiteral("x@example.jp"));
  const AddressEntry c = group(":4", ":1", QStringLiteral("仕事"));
  QByteArray bytes = *EncodeRecord(a) + *EncodeRecord(noParent) + *EncodeRecord(c);
  const QList<AddressEntry> read = AddressBook::DecodeRecords(bytes.left(2 * 128 + 2 + 2 + 2 + 2 + 4 + 2 + 2));
  ASSERT_EQ(read.size(), 2) << "the record without a parent is dropped";
  EXPECT_EQ(read[0], a);
  EXPECT_EQ(read[1], c) << "a last record ending right after its flag";
  // A record cut inside its strings keeps what it has.
  const QList<AddressEntry> cut = AddressBook::DecodeRecords(bytes.left(128 + 128 + 10));
  ASSERT_EQ(cut.size(), 2);
  EXPECT_EQ(cut[1].EntryKey, QStringLiteral(":4"));
  EXPECT_EQ(cut[1].DisplayName, QString());
}

class AddressFile : public ::testing::Test {
 protected:
  QString path() const { return folder.File(QStringLiteral("address.dat")); }
  TempProgramFolder folder;
};

TEST_F(AddressFile, MissingFileIsCreatedEmptyAndTheListStaysAbsent) {
  AddressList list;
  AddressBook::ReadAddressBook(folder.Path(), list);
  EXPECT_FALSE(list.IsPresent());
  EXPECT_TRUE(QFileInfo::exists(path()));
  EXPECT_EQ(QFileInfo(path()).size(), 0);
}

TEST_F(AddressFile, AbsentListLeavesTheFileAloneAndAnEmptyPresentListEmptiesIt) {
  ASSERT_TRUE(folder.WriteBytes(QStringLiteral("address.dat"), "not ours"));
  AddressList list;
  EXPECT_TRUE(AddressBook::WriteAddressBook(folder.Path(), list));
  EXPECT_EQ(folder.ReadBytes(QStringLiteral("address.dat")), QByteArray("not ours"));
  list.Replace({});
  EXPECT_TRUE(AddressBook::WriteAddressBook(folder.Path(), list));
  EXPECT_TRUE(QFileInfo::exists(path()));
  EXPECT_EQ(QFileInfo(path()).size(), 0);
}

TEST_F(AddressFile, WritesAndReadsBackInOrderAndLeavesOutOnlyWhatCannotFit) {
  AddressList list;
  list.Append(
      person(":3", ":2", QStringLiteral("山田 太郎"), QStringLiteral("a@example.jp,b@example.jp,c@example.jp")));
  list.Append(person(":4", ":1", QStringLiteral("長すぎる"), QString(200, QLatin1Char('x'))));
  list.Append(group(":2", ":1", QStringLiteral("友人")));
  EXPECT_FALSE(AddressBook::WriteAddressBook(folder.Path(), list)) << "one entry could not be kept";
  EXPECT_EQ(QFileInfo(path()).size(), 2 * 128);
  AddressList back;
  AddressBook::ReadAddressBook(folder.Path(), back);
  ASSERT_TRUE(back.IsPresent());
  ASSERT_EQ(back.Entries().size(), 2);
  EXPECT_EQ(back.Entries()[0], list.Entries()[0]);
  EXPECT_EQ(back.Entries()[1], list.Entries()[2]);
}

}  // namespace
