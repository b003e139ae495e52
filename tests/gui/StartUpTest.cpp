#include "gui/AppMain.h"
#include "gui/editor/frmMessage.h"
#include "gui/mainwindow/MailListModel.h"
#include "gui/mainwindow/frmCenter.h"
#include "gui/settings/frmOption.h"
#include "store/AppSettings.h"
#include "support/Cp932.h"
#include "tests/testsupport/ScriptedDialogs.h"
#include "tests/testsupport/TempProgramFolder.h"
#include "tests/testsupport/WhenModal.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSysInfo>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace {

class FakeEditor : public EditorWindow {
 public:
  explicit FakeEditor(bool changed) : changed_(changed) {}
  bool DataChanged() const override { return changed_; }

 private:
  bool changed_;
};

class StartUp : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(folder.InstallDefaultTable()); }
  TempProgramFolder folder;
  ScriptedDialogs dialogs;
  ModalCloser dismiss;
};

TEST_F(StartUp, FirstStartShowsTheWindowAndAsksForTheSettings) {
  dismiss.Stop();
  AppMain program(folder.Path(), dialogs);
  // The settings window opens after the message; Cancel on it brings the
  // closing question on the account tab, answered No.
  QString opened;
  int tabAtQuestion = -1;
  WhenModal([&](QWidget* modal) {
    opened = modal->objectName();
    if (auto* option = qobject_cast<frmOption*>(modal)) {
      option->CancelButton()->click();
      tabAtQuestion = option->Tabs()->currentIndex();
    }
  });
  ASSERT_EQ(program.Start(), AppMain::StartResult::Running);
  EXPECT_EQ(opened, QStringLiteral("frmOption"));
  EXPECT_EQ(tabAtQuestion, 0);
  frmCenter* w = program.MainWindow();
  ASSERT_NE(w, nullptr);
  EXPECT_TRUE(w->isVisible());
  EXPECT_TRUE(QDir(folder.File(QStringLiteral("MailBox"))).exists());
  ASSERT_EQ(dialogs.messages.size(), 2);
  EXPECT_EQ(dialogs.messages[0].text,
            QStringLiteral("初期化情報が不足しています。次の画面で情報の入力を行ってください。"));
  EXPECT_EQ(dialogs.messages[0].icon, Dialogs::Icon::Information);
  EXPECT_EQ(dialogs.messages[1].text, frmOption::MissingQuestion());
  EXPECT_EQ(dialogs.messages[1].buttons, Dialogs::Buttons::YesNo);
  // The tree: root captioned with the (empty) title, the four mailboxes, outbox selected.
  QTreeWidget* tree = w->MailBoxTree();
  ASSERT_EQ(tree->topLevelItemCount(), 1);
  QTreeWidgetItem* root = tree->topLevelItem(0);
  EXPECT_EQ(root->text(0), QString());
  ASSERT_EQ(root->childCount(), 4);
  EXPECT_EQ(root->child(0)->text(0), QStringLiteral("送信箱"));
  EXPECT_EQ(root->child(3)->text(0), QStringLiteral("ごみ箱"));
  EXPECT_EQ(tree->currentItem(), root->child(0));
  EXPECT_EQ(program.State().Settings.SmtpPort, 25);
}

TEST_F(StartUp, CompleteSettingsAskNothing) {
  ASSERT_TRUE(folder.WriteBytes(QStringLiteral("Tallpost.ini"),
                                Cp932::Encode(QStringLiteral("[Setting]\r\nTitle=わたしの箱\r\nPasswd=p\r\n"
                                                             "Email=e@example.jp\r\nSmtpServer=127.0.0.1\r\n"))));
  AppMain program(folder.Path(), dialogs);
  ASSERT_EQ(program.Start(), AppMain::StartResult::Running);
  EXPECT_TRUE(dialogs.messages.isEmpty());
  EXPECT_EQ(program.MainWindow()->MailBoxTree()->topLevelItem(0)->text(0), QStringLiteral("わたしの箱"));
}

TEST_F(StartUp, ASecondCopyEndsWithoutAWindowUntilTheFirstEnds) {
  auto first = std::make_unique<AppMain>(folder.Path(), dialogs);
  ASSERT_EQ(first->Start(), AppMain::StartResult::Running);
  ScriptedDialogs quiet;
  {
    AppMain second(folder.Path(), quiet);
    EXPECT_EQ(second.Start(), AppMain::StartResult::SecondInstance);
    EXPECT_EQ(second.MainWindow(), nullptr);
    EXPECT_TRUE(quiet.messages.isEmpty());
  }
  first.reset();
  AppMain third(folder.Path(), quiet);
  EXPECT_EQ(third.Start(), AppMain::StartResult::Running);
}

TEST_F(StartUp, ALockLeftByACrashedRunDoesNotBlockTheNextStart) {
  // A lock file naming a process that no longer runs.
  const QByteArray lock = "999999\napp_tests\n" + QSysInfo::machineHostName().toUtf8() + "\n";
  ASSERT_TRUE(folder.WriteBytes(QStringLiteral("Tallpost.lock"), lock));
  AppMain program(folder.Path(), dialogs);
  EXPECT_EQ(program.Start(), AppMain::StartResult::Running);
}

TEST_F(StartUp, AnUnreadableTableEndsTheProgramWithItsMessage) {
  ASSERT_TRUE(QFile::remove(folder.File(QStringLiteral("GlyphSwap.dat"))));
  AppMain program(folder.Path(), dialogs);
  EXPECT_EQ(program.Start(), AppMain::StartResult::TableFailed);
  EXPECT_EQ(program.MainWindow(), nullptr);
  ASSERT_EQ(dialogs.messages.size(), 1);
  EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("初期化情報取得に失敗しました。"));
  EXPECT_EQ(dialogs.messages[0].icon, Dialogs::Icon::Error);
}

TEST_F(StartUp, ClosingWithUnsavedEditorAnsweredNoKeepsEverythingAndWritesNothing) {
  AppMain program(folder.Path(), dialogs);
  ASSERT_EQ(program.Start(), AppMain::StartResult::Running);
  frmCenter* w = program.MainWindow();
  FakeEditor unchanged(false), changed(true);
  w->RegisterMessage(0, &unchanged);
  w->RegisterMessage(3, &changed);
  EXPECT_EQ(w->OpenEditors().size(), 4);
  const QByteArray table = folder.ReadBytes(QStringLiteral("GlyphSwap.dat"));
  dialogs.messages.clear();
  dialogs.AnswerNext(Dialogs::Answer::No);
  EXPECT_FALSE(w->close());
  EXPECT_TRUE(w->isVisible());
  ASSERT_EQ(dialogs.messages.size(), 1);
  EXPECT_EQ(dialogs.messages[0].text, frmCenter::ShutDownQuestion());
  EXPECT_EQ(dialogs.messages[0].buttons, Dialogs::Buttons::YesNo);
  EXPECT_FALSE(QFile::exists(folder.File(QStringLiteral("Tallpost.ini"))));
  EXPECT_EQ(folder.ReadBytes(QStringLiteral("GlyphSwap.dat")), table);
  // Once the changed editor is gone, closing asks nothing and saves.
  w->TerminateMessage(3);
  w->TerminateMessage(99);  // beyond the end: ignored
  dialogs.messages.clear();
  EXPECT_TRUE(w->close());
  EXPECT_TRUE(dialogs.messages.isEmpty());
  EXPECT_TRUE(QFile::exists(folder.File(QStringLiteral("Tallpost.ini"))));
}

TEST_F(StartUp, ClosingWritesSettingsThatReadBack) {
  AppMain program(folder.Path(), dialogs);
  ASSERT_EQ(program.Start(), AppMain::StartResult::Running);
  program.State().Settings.Title = QStringLiteral("受信しない箱");
  program.State().Settings.SmtpServer = QStringLiteral("127.0.0.1");
  FakeEditor changed(true);
  program.MainWindow()->RegisterMessage(1, &changed);
  dialogs.AnswerNext(Dialogs::Answer::Yes);
  EXPECT_TRUE(program.MainWindow()->close());
  AppState again(folder.Path());
  ApiIniFileAccess ini(again.IniPath, &dialogs);
  ASSERT_TRUE(LoadSettings(again, ini));
  EXPECT_EQ(again.Settings.Title, QStringLiteral("受信しない箱"));
  EXPECT_EQ(again.Settings.SmtpServer, QStringLiteral("127.0.0.1"));
}

}  // namespace

namespace {

// A new user's first run, through the windows: the first-run message, the
// settings filled in, a mail written, converted, saved, seen in the outbox,
// moved to the drafts and opened again.
TEST_F(StartUp, ANewUserSetsUpWritesAMailAndFilesIt) {
  dismiss.Stop();
  AppMain program(folder.Path(), dialogs);
  WhenModal([](QWidget* modal) {
    auto* option = qobject_cast<frmOption*>(modal);
    ASSERT_NE(option, nullptr);
    const auto set = [option](const char* name, const QString& text) {
      option->Field(QString::fromLatin1(name))->setText(text);
    };
    set("txtTitle", QStringLiteral("わたしの箱"));
    set("txtAccount", QStringLiteral("taro"));
    set("txtPasswd", QStringLiteral("secret"));
    set("txtMailAddr", QStringLiteral("taro@example.jp"));
    set("txtFullName", QStringLiteral("山田太郎"));
    set("txtSmtpServer", QStringLiteral("127.0.0.1"));
    set("txtPageLines", QStringLiteral("10"));
    set("txtLineChars", QStringLiteral("12"));
    set("txtLineSpace", QStringLiteral("1"));
    option->OkButton()->click();
  });
  ASSERT_EQ(program.Start(), AppMain::StartResult::Running);
  frmCenter* center = program.MainWindow();
  ASSERT_EQ(dialogs.messages.size(), 1) << "the first-run message only";
  EXPECT_EQ(center->MailBoxTree()->topLevelItem(0)->text(0), QStringLiteral("わたしの箱"));
  EXPECT_EQ(program.State().Settings.LineChars, 12);

  auto* editor = qobject_cast<frmMessage*>(center->MakeNewMail());
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(editor->LineCharsField()->text(), QStringLiteral("12"));
  editor->Upper(0)->setText(QStringLiteral("hanako@example.jp"));
  editor->Upper(3)->setText(QStringLiteral("はじめてのメール"));
  editor->Body(0)->setPlainText(QStringLiteral("こんにちは。縦に書いてみました。"));
  editor->FindAction(QStringLiteral("mnuTategaki"))->trigger();
  const QString vertical = editor->Body(1)->toPlainText();
  EXPECT_FALSE(vertical.isEmpty());
  editor->FindAction(QStringLiteral("mnuSaveMail"))->trigger();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

  ASSERT_EQ(center->MailListData()->rowCount(), 1);
  EXPECT_EQ(center->MailListData()->Text(0, 3), QStringLiteral("はじめてのメール"));
  ASSERT_TRUE(center->DropMails(QStringLiteral("0"), MailBoxNumber::Drafts));
  EXPECT_EQ(center->SelectedMailBox(), MailBoxNumber::Drafts);
  ASSERT_EQ(center->MailListData()->rowCount(), 1);
  center->OpenSelectedMail();
  ASSERT_EQ(center->OpenEditors().size(), 1);
  auto* reopened = qobject_cast<frmMessage*>(center->OpenEditors()[0].data());
  ASSERT_NE(reopened, nullptr);
  EXPECT_EQ(reopened->Upper(3)->text(), QStringLiteral("はじめてのメール"));
  EXPECT_EQ(reopened->Body(1)->toPlainText(), vertical);
  EXPECT_TRUE(center->close());
  EXPECT_TRUE(QFile::exists(folder.File(QStringLiteral("Tallpost.ini"))));
}

}  // namespace
