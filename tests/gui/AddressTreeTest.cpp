#include "gui/AppMain.h"
#include "gui/addressbook/AddressTree.h"
#include "gui/mainwindow/frmCenter.h"
#include "tests/testsupport/AddressEntries.h"
#include "tests/testsupport/ScriptedDialogs.h"
#include "tests/testsupport/TempProgramFolder.h"
#include "tests/testsupport/WhenModal.h"

#include <QFileInfo>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace {

using AddressBook::EncodeRecord;

class AddressFile : public ::testing::Test {
 protected:
  QString path() const { return folder.File(QStringLiteral("address.dat")); }
  TempProgramFolder folder;
};

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
  for (const QList<AddressEntry>& order :
       {QList<AddressEntry>{friends, school, taro, hanako}, QList<AddressEntry>{taro, school, hanako, friends}}) {
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
                         QStringLiteral("  B/group"), QStringLiteral("    A/group"), QStringLiteral("  自分/person")}));
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
