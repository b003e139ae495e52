#include "gui/settings/SeparatorList.h"
#include "tests/testsupport/ScriptedDialogs.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace {

const QStringList kEntries = {QStringLiteral("（使用しない）"), QStringLiteral("－－－"), QStringLiteral("＊＊＊")};

// A window laid out as the editor's and the settings window's: a tab control
// whose page 1 holds the separator list and page 0 the layout fields.
class LayoutWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    auto* layout = new QVBoxLayout(&window);
    tabs = new QTabWidget;
    layout->addWidget(tabs);
    auto* fields = new QWidget;
    auto* fieldLayout = new QVBoxLayout(fields);
    pageLines = new QLineEdit;
    lineSpace = new QLineEdit;
    pageLines->setProperty("Tag", 0);
    lineSpace->setProperty("Tag", 0);
    lineSpace->setProperty("NumericBits", 16);
    fieldLayout->addWidget(pageLines);
    fieldLayout->addWidget(lineSpace);
    tabs->addTab(fields, QStringLiteral("書式"));
    list = new QListWidget;
    list->setObjectName(QStringLiteral("lstSeparator"));
    list->setProperty("Tag", 1);
    tabs->addTab(list, QStringLiteral("区切線"));
    Separators::Fill(list, kEntries, 1);
    handler = new Separators::ListHandler(list, dialogs);
    window.resize(360, 240);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  }
  void trigger(const char* action) {
    auto* a = handler->Menu()->findChild<QAction*>(QString::fromLatin1(action));
    ASSERT_NE(a, nullptr) << action;
    a->trigger();
  }
  void check(int row, bool on) { list->item(row)->setCheckState(on ? Qt::Checked : Qt::Unchecked); }
  ScriptedDialogs dialogs;
  QWidget window;
  QTabWidget* tabs = nullptr;
  QLineEdit* pageLines = nullptr;
  QLineEdit* lineSpace = nullptr;
  QListWidget* list = nullptr;
  Separators::ListHandler* handler = nullptr;
};

TEST_F(LayoutWindow, MenuAddsChangesAndRemovesEntries) {
  QSignalSpy edited(handler, &Separators::ListHandler::Edited);
  dialogs.InputNext(QString());  // an empty answer
  trigger("mnuAddSeparator");
  dialogs.InputNext(std::nullopt);  // Cancel
  trigger("mnuAddSeparator");
  EXPECT_EQ(Separators::Entries(list), kEntries);
  dialogs.InputNext(QStringLiteral("＝＝＝"));
  trigger("mnuAddSeparator");
  EXPECT_EQ(Separators::Entries(list).last(), QStringLiteral("＝＝＝"));
  EXPECT_EQ(dialogs.prompts.last(), QStringLiteral("区切線を入力してください"));
  EXPECT_EQ(list->item(3)->checkState(), Qt::Unchecked);

  list->setCurrentRow(2);
  dialogs.InputNext(QStringLiteral("＊－＊"));
  trigger("mnuUpdSeparator");
  EXPECT_EQ(list->item(2)->text(), QStringLiteral("＊－＊"));
  EXPECT_EQ(dialogs.prompts.last(), QStringLiteral("区切線を修正入力してください"));

  dialogs.AnswerNext(Dialogs::Answer::No);
  trigger("mnuDelSeparator");
  EXPECT_EQ(list->count(), 4);
  EXPECT_EQ(dialogs.messages.last().text, QStringLiteral("この区切線を削除してよろしいですか？"));
  dialogs.AnswerNext(Dialogs::Answer::Yes);
  trigger("mnuDelSeparator");
  EXPECT_EQ(Separators::Entries(list), (QStringList{kEntries[0], kEntries[1], QStringLiteral("＝＝＝")}));
  EXPECT_EQ(edited.count(), 6);
}

TEST_F(LayoutWindow, EntryZeroCannotBeChangedOrRemoved) {
  list->setCurrentRow(0);
  trigger("mnuUpdSeparator");
  trigger("mnuDelSeparator");
  list->setFocus();
  QTest::keyClick(list, Qt::Key_Delete);
  QTest::keyClick(list, Qt::Key_Insert);
  QTest::keyClick(list, Qt::Key_Return);
  EXPECT_EQ(Separators::Entries(list), kEntries);
  EXPECT_TRUE(dialogs.prompts.isEmpty());
  EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(LayoutWindow, KeysOnAnEntryAddChangeAndRemove) {
  QSignalSpy edited(handler, &Separators::ListHandler::Edited);
  list->setFocus();
  list->setCurrentRow(1);
  dialogs.InputNext(QStringLiteral("＝＝＝"));
  QTest::keyClick(list, Qt::Key_Insert);
  EXPECT_EQ(list->count(), 4);
  list->setCurrentRow(1);
  dialogs.InputNext(QStringLiteral("―――"));
  QTest::keyClick(list, Qt::Key_Return);
  EXPECT_EQ(list->item(1)->text(), QStringLiteral("―――"));
  EXPECT_EQ(dialogs.prompts.size(), 2);
  list->setCurrentRow(2);
  dialogs.AnswerNext(Dialogs::Answer::Yes);
  QTest::keyClick(list, Qt::Key_Delete);
  EXPECT_EQ(Separators::Entries(list), (QStringList{kEntries[0], QStringLiteral("―――"), QStringLiteral("＝＝＝")}));
  QTest::keyClick(list, Qt::Key_A);
  EXPECT_GE(edited.count(), 4) << "any key on an entry counts as an edit";

  QDir().mkpath(QStringLiteral(TALLPOST_TEST_OUTPUT_DIR));
  tabs->setCurrentIndex(1);
  window.grab().save(QStringLiteral(TALLPOST_TEST_OUTPUT_DIR "/separator-list.png"));
}

TEST_F(LayoutWindow, ASecondCheckIsUndoneWithOneMessage) {
  check(2, true);
  ASSERT_EQ(dialogs.messages.size(), 1);
  EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("2つ以上の区切線を同時に選択することはできません。"));
  EXPECT_EQ(dialogs.messages[0].icon, Dialogs::Icon::Exclamation);
  EXPECT_EQ(Separators::CheckedIndex(list), 1);
  EXPECT_EQ(list->item(2)->checkState(), Qt::Unchecked);
  // A check before the existing one is undone the same way.
  check(0, true);
  EXPECT_EQ(dialogs.messages.size(), 2);
  EXPECT_EQ(list->item(0)->checkState(), Qt::Unchecked);
  EXPECT_EQ(Separators::CheckedIndex(list), 1);
  // Unchecking the only one is allowed; then a new check stands alone.
  check(1, false);
  EXPECT_EQ(Separators::CheckedIndex(list), -1);
  check(2, true);
  EXPECT_EQ(Separators::CheckedIndex(list), 2);
  EXPECT_EQ(dialogs.messages.size(), 2);
}

TEST_F(LayoutWindow, ChecksBringTheFailingFieldForward) {
  tabs->setCurrentIndex(1);
  pageLines->setText(QStringLiteral("  "));
  EXPECT_FALSE(InputChecks::CheckFilled(tabs, {pageLines, lineSpace}, dialogs));
  EXPECT_EQ(tabs->currentIndex(), 0);
  EXPECT_EQ(dialogs.messages.last().text, QStringLiteral("値が入力されていません"));
  EXPECT_EQ(dialogs.messages.last().icon, Dialogs::Icon::Exclamation);
  EXPECT_TRUE(pageLines->hasFocus());

  const qsizetype shown = dialogs.messages.size();
  EXPECT_FALSE(InputChecks::CheckFilledQuiet(tabs, false, {pageLines}, dialogs));
  EXPECT_EQ(dialogs.messages.size(), shown);
  pageLines->setText(QStringLiteral("20"));
  lineSpace->setText(QStringLiteral("1"));
  EXPECT_TRUE(InputChecks::CheckFilled(tabs, {pageLines, lineSpace}, dialogs));

  tabs->setCurrentIndex(1);
  pageLines->clear();
  EXPECT_TRUE(InputChecks::CheckNumeric(tabs, {pageLines}, dialogs)) << "empty is CheckFilled's business";
  for (const QString& good : {QStringLiteral("20"), QStringLiteral(" -3 "), QStringLiteral("2.5"),
                              QStringLiteral("1e3"), QStringLiteral("2147483647")}) {
    pageLines->setText(good);
    EXPECT_TRUE(InputChecks::CheckNumeric(tabs, {pageLines}, dialogs)) << good.toStdString();
  }
  for (const QString& bad :
       {QStringLiteral("2O"), QStringLiteral("1,000"), QStringLiteral("2147483648"), QStringLiteral("1e10")}) {
    pageLines->setText(bad);
    tabs->setCurrentIndex(1);
    EXPECT_FALSE(InputChecks::CheckNumeric(tabs, {pageLines}, dialogs)) << bad.toStdString();
    EXPECT_EQ(dialogs.messages.last().text, QStringLiteral("不正な値が入力されています"));
    EXPECT_EQ(tabs->currentIndex(), 0);
  }
  pageLines->setText(QStringLiteral("40000"));
  lineSpace->setText(QStringLiteral("40000"));
  EXPECT_FALSE(InputChecks::CheckNumeric(tabs, {pageLines, lineSpace}, dialogs)) << "16-bit field";
  EXPECT_TRUE(lineSpace->hasFocus());
}

TEST_F(LayoutWindow, NoCheckedSeparatorBringsTheListForward) {
  EXPECT_TRUE(InputChecks::CheckSeparatorChosen(tabs, list, dialogs));
  check(1, false);
  tabs->setCurrentIndex(0);
  EXPECT_FALSE(InputChecks::CheckSeparatorChosen(tabs, list, dialogs));
  EXPECT_EQ(tabs->currentIndex(), 1);
  EXPECT_EQ(dialogs.messages.last().text, QStringLiteral("区切線の選択がされていません。"));
  EXPECT_TRUE(list->hasFocus());
}

}  // namespace
