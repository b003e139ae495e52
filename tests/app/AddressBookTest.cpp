#include "app/AddressTree.h"
#include "app/AppMain.h"
#include "tests/testsupport/WhenModal.h"
#include "app/frmCenter.h"
#include "support/Cp932.h"
#include "tests/testsupport/ScriptedDialogs.h"
#include "tests/testsupport/TempProgramFolder.h"

#include <QFileInfo>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace {

using AddressBook::EncodeRecord;

AddressEntry person(const char* key, const char* parent, const QString& name, const QString& addresses) {
  return {QString::fromLatin1(key), QString::fromLatin1(parent), name, addresses, true};
}
AddressEntry group(const char* key, const char* parent, const QString& name) {
  return {QString::fromLatin1(key), QString::fromLatin1(parent), name, QString(), false};
}

QByteArray le16(int n) { return QByteArray(1, static_cast<char>(n & 0xFF)) + static_cast<char>(n >> 8); }

TEST(AddressRecord, IsLaidOutByteForByte) {
  const AddressEntry e = person(":3", ":2", QStringLiteral("山田 太郎"),
                                QStringLiteral("taro@example.jp,t@example.com,yamada@example.org"));
  const auto record = EncodeRecord(e);
  ASSERT_TRUE(record.has_value());
  const QByteArray name = Cp932::Encode(e.DisplayName);
  ASSERT_EQ(name.size(), 9);
  QByteArray expected = le16(2) + ":3" + le16(2) + ":2" + le16(9) + name + le16(48) +
                        Cp932::Encode(e.Addresses) + "\xFF\xFF";
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
  list.Append(person(":3", ":2", QStringLiteral("山田 太郎"), QStringLiteral("a@example.jp,b@example.jp,c@example.jp")));
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

TEST_F(AddressFile, ZeroByteFileSurvivesAWholeRunUntouched) {
  ASSERT_TRUE(folder.InstallDefaultTable());
  ASSERT_TRUE(folder.WriteBytes(QStringLiteral("address.dat"), QByteArray()));
  ScriptedDialogs dialogs;
  {
    ModalCloser settingsWindow;
    AppMain program(folder.Path(), dialogs);
    ASSERT_EQ(program.Start(), AppMain::StartResult::Running);
    EXPECT_FALSE(program.State().Addresses.IsPresent());
    const QDateTime before = QFileInfo(path()).lastModified();
    ASSERT_TRUE(program.MainWindow()->close());
    EXPECT_EQ(QFileInfo(path()).lastModified(), before);
    EXPECT_EQ(QFileInfo(path()).size(), 0);
  }
  // A run that saved entries writes them at its end.
  ASSERT_TRUE(folder.WriteBytes(QStringLiteral("address.dat"),
                                *EncodeRecord(person(":2", ":1", QStringLiteral("佐藤"), QStringLiteral("s@x.jp")))));
  ModalCloser settingsWindow;
  AppMain program(folder.Path(), dialogs);
  ASSERT_EQ(program.Start(), AppMain::StartResult::Running);
  ASSERT_EQ(program.State().Addresses.Entries().size(), 1);
  program.State().Addresses.Append(group(":3", ":1", QStringLiteral("仕事")));
  ASSERT_TRUE(program.MainWindow()->close());
  EXPECT_EQ(QFileInfo(path()).size(), 2 * 128);
}

// --- the tree ---------------------------------------------------------------

QStringList describe(const QTreeWidgetItem* item, int depth = 0) {
  QStringList out{QString(depth * 2, QLatin1Char(' ')) + item->text(0) + QLatin1Char('/') +
                  AddressBook::NodeKind(item)};
  for (int i = 0; i < item->childCount(); ++i) out += describe(item->child(i), depth + 1);
  return out;
}

TEST(AddressTree, ParentsMayComeAfterTheirChildren) {
  const AddressEntry friends = group(":2", ":1", QStringLiteral("友人"));
  const AddressEntry school = group(":3", ":2", QStringLiteral("学校"));
  const AddressEntry taro = person(":4", ":3", QStringLiteral("太郎"), QStringLiteral("t@x.jp"));
  const AddressEntry hanako = person(":5", ":2", QStringLiteral("花子"), QStringLiteral("h@x.jp,h2@x.jp"));
  const QStringList expected = {QStringLiteral("アドレス帳/mailbox"), QStringLiteral("  友人/group"),
                                QStringLiteral("    学校/group"), QStringLiteral("      太郎/person"),
                                QStringLiteral("    花子/person")};
  for (const QList<AddressEntry>& order : {QList<AddressEntry>{friends, school, taro, hanako},
                                           QList<AddressEntry>{taro, school, hanako, friends}}) {
    AddressList list;
    list.Replace(order);
    QTreeWidget tree;
    AddressBook::BuildTree(&tree, list);
    ASSERT_EQ(tree.topLevelItemCount(), 1);
    EXPECT_EQ(describe(tree.topLevelItem(0)), expected);
    EXPECT_TRUE(tree.topLevelItem(0)->isExpanded());
    // The list from the tree is the list as it was read, in the same order.
    EXPECT_EQ(AddressBook::ListFromTree(&tree), order);
  }
}

TEST(AddressTree, OrphansAndLoopsStandAtTheTopInsteadOfBeingLost) {
  AddressList list;
  list.Replace({person(":2", ":99", QStringLiteral("迷子"), QStringLiteral("m@x.jp")),
                group(":3", ":4", QStringLiteral("A")), group(":4", ":3", QStringLiteral("B")),
                person(":5", ":5", QStringLiteral("自分"), QStringLiteral("s@x.jp"))});
  QTreeWidget tree;
  AddressBook::BuildTree(&tree, list);
  EXPECT_EQ(describe(tree.topLevelItem(0)),
            (QStringList{QStringLiteral("アドレス帳/mailbox"), QStringLiteral("  迷子/person"),
                         QStringLiteral("  B/group"), QStringLiteral("    A/group"),
                         QStringLiteral("  自分/person")}));
  const QList<AddressEntry> saved = AddressBook::ListFromTree(&tree);
  ASSERT_EQ(saved.size(), 4);
  EXPECT_EQ(saved[0].ParentKey, QStringLiteral(":1"));
  EXPECT_EQ(saved[1].ParentKey, QStringLiteral(":4"));
  EXPECT_EQ(saved[0].Addresses, QStringLiteral("m@x.jp"));
}

TEST(AddressTree, OnlyTheRootGivesAPresentEmptyList) {
  QTreeWidget tree;
  AddressBook::BuildTree(&tree, AddressList());
  AddressList list;
  list.Replace(AddressBook::ListFromTree(&tree));
  EXPECT_TRUE(list.IsPresent());
  EXPECT_TRUE(list.Entries().isEmpty());
}

}  // namespace
