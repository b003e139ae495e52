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
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

#include <csignal>
#include <sys/stat.h>

#include <gtest/gtest.h>

namespace {

class FakeEditor : public EditorWindow {
 public:
  explicit FakeEditor(bool changed) : changed_(changed) {}
  bool DataChanged() const override { return changed_; }
  bool KeepAsDraft() override { return false; }

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

namespace {

void CompleteSettings(const TempProgramFolder& folder) {
  ASSERT_TRUE(folder.WriteBytes(QStringLiteral("Tallpost.ini"),
                                Cp932::Encode(QStringLiteral("[Setting]\r\nTitle=箱\r\nPasswd=p\r\nAccount=a\r\n"
                                                             "Email=e@example.jp\r\nSmtpServer=127.0.0.1\r\n"
                                                             "PageLines=10\r\nLineChars=10\r\nLineSpace=1\r\n"))));
}

TEST_F(StartUp, ATerminateSignalClosesAsTheUserWouldAndKeepsTheUnsavedMailAsADraft) {
  CompleteSettings(folder);
  AppMain program(folder.Path(), dialogs);
  ASSERT_EQ(program.Start(), AppMain::StartResult::Running);
  QSignalSpy done(program.MainWindow(), &frmCenter::ShutDownComplete);
  auto* editor = qobject_cast<frmMessage*>(program.MainWindow()->MakeNewMail());
  ASSERT_NE(editor, nullptr);
  editor->Upper(0)->setText(QStringLiteral("hanako@example.jp"));
  editor->Upper(3)->setText(QStringLiteral("書きかけ"));
  editor->Body(0)->setPlainText(QStringLiteral("途中まで書いた本文。"));
  // A question box open when the signal comes is no obstacle.
  program.State().Settings.Title = QStringLiteral("終わる前の題");
  dialogs.messages.clear();
  ::raise(SIGTERM);
  ASSERT_TRUE(done.wait(5000));
  EXPECT_TRUE(dialogs.messages.isEmpty()) << "nobody is asked";

  AppState after(folder.Path());
  int recovered = 0;
  after.Keeper.Load(after.Index, &recovered);
  ASSERT_EQ(after.Index.size(), 1);
  EXPECT_EQ(after.Index[0].MailBox, MailBoxNumber::Drafts);
  EXPECT_EQ(after.Index[0].Subject, QStringLiteral("書きかけ"));
  MailRecord kept;
  ASSERT_TRUE(after.Store().ReadMailFile(0, kept));
  EXPECT_EQ(kept.BodyText, QStringLiteral("途中まで書いた本文。"));
  ApiIniFileAccess ini(after.IniPath, &dialogs);
  ASSERT_TRUE(LoadSettings(after, ini));
  EXPECT_EQ(after.Settings.Title, QStringLiteral("終わる前の題"));
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST_F(StartUp, SettingsAreWrittenWhenTheSettingsWindowIsClosedWithOk) {
  CompleteSettings(folder);
  AppMain program(folder.Path(), dialogs);
  ASSERT_EQ(program.Start(), AppMain::StartResult::Running);
  dismiss.Stop();
  WhenModal([](QWidget* modal) {
    auto* option = qobject_cast<frmOption*>(modal);
    ASSERT_NE(option, nullptr);
    option->Field(QStringLiteral("txtTitle"))->setText(QStringLiteral("新しい題"));
    option->Field(QStringLiteral("txtMailAddr"))->setText(QStringLiteral("new@example.jp\nRCPT TO:<x@y>"));
    option->OkButton()->click();
  });
  program.MainWindow()->ShowOption();
  // On disk now, before any shut-down.
  AppState disk(folder.Path());
  ApiIniFileAccess ini(disk.IniPath, &dialogs);
  ASSERT_TRUE(LoadSettings(disk, ini));
  EXPECT_EQ(disk.Settings.Title, QStringLiteral("新しい題"));
  EXPECT_FALSE(disk.Settings.Email.contains(u'\n'));
  EXPECT_FALSE(program.State().Settings.Email.contains(u'\n'));
}

// Makes folder a place nobody may write in (not even root), for as long as it lives.
class Unwritable {
 public:
  explicit Unwritable(const QString& folder) : folder_(folder) {
    ok_ = QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), folder_}) == 0;
  }
  ~Unwritable() {
    if (ok_) QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), folder_});
  }
  bool Ok() const { return ok_; }

 private:
  QString folder_;
  bool ok_ = false;
};

TEST_F(StartUp, AProgramFolderThatCannotBeWrittenEndsWithAMessageNotSilently) {
  ASSERT_TRUE(QDir(folder.Path()).mkdir(QStringLiteral("locked")));
  const QString locked = folder.File(QStringLiteral("locked"));
  ASSERT_TRUE(QFile::copy(folder.File(QStringLiteral("GlyphSwap.dat")), locked + QStringLiteral("/GlyphSwap.dat")));
  // Where the file system cannot mark a folder immutable, a folder whose
  // parent is a file cannot be written in either.
  Unwritable guard(locked);
  const QString programFolder =
      guard.Ok() ? locked : folder.File(QStringLiteral("GlyphSwap.dat")) + QStringLiteral("/sub");
  AppMain program(programFolder, dialogs);
  EXPECT_EQ(program.Start(), AppMain::StartResult::FolderNotWritable);
  EXPECT_EQ(program.MainWindow(), nullptr);
  ASSERT_EQ(dialogs.messages.size(), 1);
  EXPECT_EQ(dialogs.messages[0].icon, Dialogs::Icon::Error);
  EXPECT_TRUE(dialogs.messages[0].text.contains(QDir::toNativeSeparators(programFolder)));
}

TEST_F(StartUp, TheAddressBookIsTheOwnersAloneAndLeftoversOfACrashAreCleared) {
  ASSERT_TRUE(folder.WriteBytes(QStringLiteral(".address.dat.Xy12Zq"), "half a book"));
  ASSERT_TRUE(QDir(folder.Path()).mkdir(QStringLiteral("MailBox")));
  ASSERT_TRUE(folder.WriteBytes(QStringLiteral("MailBox/.MailIndex.dat.abcDEF"), "half an index"));
  AppMain program(folder.Path(), dialogs);
  ASSERT_EQ(program.Start(), AppMain::StartResult::Running);
  struct stat st {};
  ASSERT_EQ(::stat(QFile::encodeName(folder.File(QStringLiteral("address.dat"))).constData(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_FALSE(QFile::exists(folder.File(QStringLiteral(".address.dat.Xy12Zq"))));
  EXPECT_FALSE(QFile::exists(folder.File(QStringLiteral("MailBox/.MailIndex.dat.abcDEF"))));
}

TEST_F(StartUp, RecoveredMailsAndSendsLeftUndecidedAreToldOnceAtStart) {
  CompleteSettings(folder);
  ASSERT_TRUE(QDir(folder.Path()).mkdir(QStringLiteral("MailBox")));
  MailStore store(folder.File(QStringLiteral("MailBox")));
  MailRecord lost;
  lost.To = QStringLiteral("x@example.jp");
  lost.Subject = QStringLiteral("索引にない");
  lost.MailBox = MailBoxNumber::Outbox;
  ASSERT_TRUE(store.WriteMailFile(1, lost));
  ASSERT_TRUE(folder.WriteBytes(QStringLiteral("MailBox/MailIndex.dat"),
                                Cp932::Encode(QStringLiteral("0,\"a@example.jp\",\"途中\",#2026-01-01#,2,#FALSE#\r\n"
                                                             "2,\"b@example.jp\",\"次\",#2026-01-01#,2,#FALSE#\r\n"))));
  IndexJournal journal(folder.File(QStringLiteral("MailBox")));
  ASSERT_TRUE(journal.Append({JournalRecord::Commit(JournalRecord::Kind::CommitBegun, 0)}));
  AppMain program(folder.Path(), dialogs);
  ASSERT_EQ(program.Start(), AppMain::StartResult::Running);
  ASSERT_EQ(dialogs.messages.size(), 2);
  EXPECT_EQ(dialogs.messages[0].text, frmCenter::RecoveredMessage(1));
  EXPECT_TRUE(dialogs.messages[1].text.contains(QStringLiteral("途中")));
  const MailIndex& index = program.State().Index;
  EXPECT_EQ(index[0].MailBox, MailBoxNumber::Sent);
  EXPECT_EQ(index[1].MailBox, MailBoxNumber::Drafts);
  EXPECT_EQ(index[2].MailBox, MailBoxNumber::Outbox);
  // Only the one real outbox mail is listed there.
  EXPECT_EQ(program.MainWindow()->MailListData()->rowCount(), 1);
}

}  // namespace
