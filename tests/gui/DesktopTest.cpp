// What a desktop expects of the windows: Japanese standard buttons, windows
// reopening where the user left them, a second start bringing the first
// window forward.
#include "gui/AppMain.h"
#include "gui/QtDialogs.h"
#include "gui/WindowPlaces.h"
#include "gui/addressbook/frmAddress.h"
#include "gui/editor/frmMessage.h"
#include "gui/mainwindow/frmCenter.h"
#include "store/ApiIniFileAccess.h"
#include "store/AppSettings.h"
#include "store/AppState.h"
#include "support/Cp932.h"
#include "tests/testsupport/ScriptedDialogs.h"
#include "tests/testsupport/Sender.h"
#include "tests/testsupport/TempProgramFolder.h"
#include "tests/testsupport/WhenModal.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QMessageBox>
#include <QScreen>
#include <QSplitter>
#include <QTest>
#include <QTranslator>
#include <QTreeView>

#include <gtest/gtest.h>

namespace {

TEST(Desktop, QuestionBoxesSayHaiAndIieWhateverTheLocale) {
  QTranslator* japanese = LoadJapaneseTranslations(*qApp);
  ASSERT_NE(japanese, nullptr) << "Qt's Japanese translations (qt6-translations-l10n) are not installed";
  QStringList buttons;
  WhenModal([&buttons](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    if (box == nullptr) return modal->close();
    for (QAbstractButton* b : box->buttons()) buttons << b->text();
    QDir().mkpath(QStringLiteral(TALLPOST_TEST_OUTPUT_DIR));
    box->grab().save(QStringLiteral(TALLPOST_TEST_OUTPUT_DIR "/question-box-offscreen.png"));
    box->button(QMessageBox::No)->click();
    return true;
  });
  QtDialogs dialogs;
  const Dialogs::Answer answer = dialogs.Message(QStringLiteral("保存しますか？"), AppState::ProgramTitle(),
                                                 Dialogs::Icon::Question, Dialogs::Buttons::YesNoCancel);
  QCoreApplication::removeTranslator(japanese);
  delete japanese;
  EXPECT_EQ(answer, Dialogs::Answer::No);
  EXPECT_TRUE(buttons.contains(QStringLiteral("はい(&Y)"))) << qPrintable(buttons.join(u' '));
  EXPECT_TRUE(buttons.contains(QStringLiteral("いいえ(&N)"))) << qPrintable(buttons.join(u' '));
  EXPECT_TRUE(buttons.contains(QStringLiteral("キャンセル"))) << qPrintable(buttons.join(u' '));
}

class Places : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder.InstallDefaultTable());
    ASSERT_TRUE(GetGlyphSwapData(state.GlyphSwapPath, state.GlyphSwap));
    FillSender(state.Settings);
    state.SeparatorList = {NoSeparatorText()};
  }
  std::unique_ptr<frmCenter> start() {
    auto w = std::make_unique<frmCenter>(state, ini, dialogs);
    w->Load();
    return w;
  }
  QRect area() const { return QGuiApplication::primaryScreen()->availableGeometry(); }

  TempProgramFolder folder;
  AppState state{folder.Path()};
  ScriptedDialogs dialogs;
  ApiIniFileAccess ini{state.IniPath, &dialogs};
};

TEST_F(Places, WindowsReopenWhereTheUserLeftThemAfterARestart) {
  auto w = start();
  w->setGeometry(40, 50, 700, 420);
  auto* splitter = w->findChild<QSplitter*>();
  ASSERT_NE(splitter, nullptr);
  splitter->setSizes({250, 450});
  const QList<int> sizes = splitter->sizes();
  w->MailList()->header()->resizeSection(2, 222);  // as a drag of the divider does
  auto* editor = qobject_cast<frmMessage*>(w->MakeNewMail());
  ASSERT_NE(editor, nullptr);
  editor->setGeometry(100, 30, 500, 400);
  ASSERT_TRUE(editor->close());
  w->ShowAddressBook();
  w->AddressBookWindow()->setGeometry(300, 60, 380, 300);
  ASSERT_TRUE(w->AddressBookWindow()->close());
  const QRect mainPlace = w->geometry();
  ASSERT_TRUE(w->close());
  w.reset();
  EXPECT_TRUE(QFile::exists(state.FilePath(WindowPlaces::FileName())));
  EXPECT_FALSE(
      QString::fromLatin1(folder.ReadBytes(QStringLiteral("Tallpost.ini"))).contains(QStringLiteral("Geometry")))
      << "the settings file has its own keys only";

  auto again = start();
  EXPECT_EQ(again->geometry(), mainPlace);
  EXPECT_EQ(again->findChild<QSplitter*>()->sizes(), sizes);
  EXPECT_EQ(again->MailList()->columnWidth(2), 222);
  auto* next = qobject_cast<frmMessage*>(again->MakeNewMail());
  EXPECT_EQ(next->geometry(), QRect(100, 30, 500, 400));
  next->close();
  again->ShowAddressBook();
  EXPECT_EQ(again->AddressBookWindow()->geometry(), QRect(300, 60, 380, 300));
  again->AddressBookWindow()->close();
  again->close();
}

TEST_F(Places, AWindowKeptOffTheScreenOrLargerThanItComesBackInside) {
  {
    // Kept where a larger screen, since gone, had room.
    auto w = start();
    w->setGeometry(area().right() + 500, area().bottom() + 400, area().width() + 300, 300);
    w->close();
  }
  auto w = start();
  const QRect frame = w->frameGeometry();
  EXPECT_TRUE(area().contains(frame)) << frame.x() << "," << frame.y() << " " << frame.width() << "x" << frame.height();
  w->close();
}

TEST_F(Places, ANewEditorWithNothingKeptStandsInsideTheScreen) {
  auto w = start();
  auto* editor = qobject_cast<frmMessage*>(w->MakeNewMail());
  ASSERT_NE(editor, nullptr);
  EXPECT_TRUE(area().contains(editor->frameGeometry()));
  // A wide editor (a scaled screen): the old rule, screen width − 1.5 × its
  // width, would put it off the left edge.
  editor->close();
  QFile::remove(state.FilePath(WindowPlaces::FileName()));
  auto fresh = start();
  auto* wide = new frmMessage(state, dialogs, fresh.get());
  wide->resize(area().width() * 3 / 4, 300);
  ASSERT_TRUE(wide->Constructor(-1, true));
  EXPECT_GE(wide->frameGeometry().left(), area().left());
  EXPECT_TRUE(area().contains(wide->frameGeometry()));
  wide->close();
}

TEST_F(Places, ADamagedPlacesFileOnlyMeansTheUsualPlaces) {
  ASSERT_TRUE(folder.WriteBytes(WindowPlaces::FileName(), QByteArray("MainWindow=@@@\n\xff\xfe=\nEditor\n")));
  auto w = start();
  EXPECT_TRUE(w->isVisible());
  EXPECT_TRUE(area().contains(w->frameGeometry()));
  w->close();
}

TEST(SecondStart, BringsTheRunningWindowForward) {
  TempProgramFolder folder;
  ASSERT_TRUE(folder.InstallDefaultTable());
  ASSERT_TRUE(folder.WriteBytes(QStringLiteral("Tallpost.ini"),
                                Cp932::Encode(QStringLiteral("[Setting]\r\nTitle=箱\r\nPasswd=p\r\n"
                                                             "Email=e@example.jp\r\nSmtpServer=127.0.0.1\r\n"))));
  ScriptedDialogs dialogs;
  AppMain first(folder.Path(), dialogs);
  ASSERT_EQ(first.Start(), AppMain::StartResult::Running);
  first.MainWindow()->showMinimized();
  QTRY_VERIFY(first.MainWindow()->isMinimized());
  ScriptedDialogs quiet;
  AppMain second(folder.Path(), quiet);
  EXPECT_EQ(second.Start(), AppMain::StartResult::SecondInstance);
  EXPECT_TRUE(quiet.messages.isEmpty());
  QTRY_VERIFY_WITH_TIMEOUT(!first.MainWindow()->isMinimized(), 5000);
  EXPECT_TRUE(first.MainWindow()->isVisible());
  // Another program folder is another program: its own name.
  EXPECT_NE(AppMain::ForwardServerName(folder.Path()), AppMain::ForwardServerName(QDir::tempPath()));
}

}  // namespace
