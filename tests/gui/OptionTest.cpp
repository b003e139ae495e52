#include "gui/settings/SeparatorList.h"
#include "gui/settings/frmOption.h"
#include "store/ApiIniFileAccess.h"
#include "store/AppSettings.h"
#include "store/AppState.h"
#include "tests/testsupport/ScriptedDialogs.h"
#include "tests/testsupport/Sender.h"
#include "tests/testsupport/TempProgramFolder.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class Option : public ::testing::Test {
 protected:
  void SetUp() override {
    AppSettings& s = state.Settings;
    FillSender(s, 587);
    s.Title = QStringLiteral("わたしの箱");
    s.SmtpServer = QStringLiteral("smtp.example.jp");
    s.LineChars = 30;
    s.Separator = 1;
    state.SeparatorList = {NoSeparatorText(), QStringLiteral("＊＊＊"), QStringLiteral("－－－")};
  }
  frmOption& open() {
    window = std::make_unique<frmOption>(state, dialogs);
    window->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    return *window;
  }
  QLineEdit* field(const char* name) const { return window->Field(QString::fromLatin1(name)); }

  TempProgramFolder folder;
  AppState state{folder.Path()};
  ScriptedDialogs dialogs;
  std::unique_ptr<frmOption> window;
};

TEST_F(Option, TheWindowShowsTheSettingsAndThePopRule) {
  frmOption& w = open();
  EXPECT_EQ(w.windowTitle(), QStringLiteral("ｵﾌﾟｼｮﾝ"));
  EXPECT_EQ(w.Tabs()->currentIndex(), 0);
  EXPECT_EQ(field("txtSmtpPort")->text(), QStringLiteral("587"));
  EXPECT_EQ(field("txtLineChars")->text(), QStringLiteral("30"));
  EXPECT_EQ(field("txtTitle")->text(), QStringLiteral("わたしの箱"));
  EXPECT_TRUE(w.ShowMeter()->isChecked());
  EXPECT_FALSE(w.SaveBcc()->isChecked());
  EXPECT_FALSE(w.PopBefore()->isChecked());
  EXPECT_EQ(field("txtPopPort")->text(), QStringLiteral("110"));
  EXPECT_FALSE(field("txtPopServer")->isEnabled());
  w.PopBefore()->click();
  EXPECT_TRUE(field("txtPopServer")->isEnabled());
  EXPECT_TRUE(field("txtPopPort")->isEnabled());
  EXPECT_EQ(Separators::CheckedIndex(w.SeparatorListWidget()), 1);

  state.Settings.PopServer = QStringLiteral("pop.example.jp");
  state.Settings.PopPort = 995;
  frmOption& again = open();
  EXPECT_TRUE(again.PopBefore()->isChecked());
  EXPECT_EQ(field("txtPopPort")->text(), QStringLiteral("995"));
}

TEST_F(Option, OkChecksTheFieldsInOrderOnTheirTabs) {
  struct Case {
    const char* name;
    QString value;
    int tab;
    QString message;
  };
  const QList<Case> cases{
      {"txtTitle", QStringLiteral("  "), 2, InputChecks::NotFilledMessage()},
      {"txtAccount", QString(), 0, InputChecks::NotFilledMessage()},
      {"txtSmtpServer", QString(), 0, InputChecks::NotFilledMessage()},
      {"txtLineSpace", QString(), 1, InputChecks::NotFilledMessage()},
      {"txtSmtpPort", QStringLiteral("25a"), 0, InputChecks::NotNumericMessage()},
      {"txtSmtpPort", QStringLiteral("70000"), 0, InputChecks::NotNumericMessage()},
      {"txtPageLines", QStringLiteral("x"), 1, InputChecks::NotNumericMessage()},
      {"txtLineChars", QStringLiteral("0"), 1, InputChecks::NotNumericMessage()},
  };
  for (const Case& c : cases) {
    frmOption& w = open();
    dialogs.messages.clear();
    field(c.name)->setText(c.value);
    w.Tabs()->setCurrentIndex(c.tab == 0 ? 2 : 0);
    w.OkButton()->click();
    ASSERT_EQ(dialogs.messages.size(), 1) << c.name;
    EXPECT_EQ(dialogs.messages[0].text, c.message) << c.name;
    EXPECT_EQ(dialogs.messages[0].icon, Dialogs::Icon::Exclamation);
    EXPECT_EQ(w.Tabs()->currentIndex(), c.tab) << c.name;
    EXPECT_EQ(QApplication::focusWidget(), field(c.name)) << c.name;
    EXPECT_TRUE(w.isVisible());
  }
  EXPECT_EQ(state.Settings.Title, QStringLiteral("わたしの箱")) << "nothing stored before the checks pass";

  // Two empty fields: the first in the order is named.
  frmOption& w = open();
  dialogs.messages.clear();
  field("txtPasswd")->clear();
  field("txtTitle")->clear();
  w.OkButton()->click();
  EXPECT_EQ(w.Tabs()->currentIndex(), 2);
  EXPECT_EQ(QApplication::focusWidget(), field("txtTitle"));

  // No separator checked.
  frmOption& none = open();
  dialogs.messages.clear();
  none.SeparatorListWidget()->item(1)->setCheckState(Qt::Unchecked);
  none.OkButton()->click();
  ASSERT_EQ(dialogs.messages.size(), 1);
  EXPECT_EQ(dialogs.messages[0].text, InputChecks::NoSeparatorMessage());
  EXPECT_EQ(none.Tabs()->currentIndex(), 1);
}

TEST_F(Option, OkStoresTheFieldsAndWithoutPopBeforeNoPopServer) {
  state.Settings.PopServer = QStringLiteral("pop.example.jp");
  state.Settings.PopPort = 110;
  frmOption& w = open();
  field("txtFullName")->clear();
  field("txtLineSpace")->setText(QStringLiteral("2.5"));
  field("txtSmtpPort")->setText(QStringLiteral("2525"));
  w.PopBefore()->click();
  w.SaveBcc()->click();
  w.ShowMeter()->click();
  w.OkButton()->click();
  EXPECT_TRUE(dialogs.messages.isEmpty());
  EXPECT_FALSE(w.isVisible());
  EXPECT_EQ(w.result(), QDialog::Accepted);
  const AppSettings& s = state.Settings;
  EXPECT_EQ(s.FullName, QString()) << "a blank full name is accepted";
  EXPECT_EQ(s.LineSpace, 2);
  EXPECT_EQ(s.SmtpPort, 2525);
  EXPECT_EQ(s.PopPort, -1);
  EXPECT_EQ(s.PopServer, QString());
  EXPECT_EQ(s.SaveBcc, 1);
  EXPECT_EQ(s.ShowMeter, 0);
}

TEST_F(Option, CancelOnAFirstRunAsksOnTheAccountTabAndTheCloseBoxNever) {
  state.Settings = AppSettings{};
  frmOption& w = open();
  w.Tabs()->setCurrentIndex(2);
  dialogs.AnswerNext(Dialogs::Answer::Yes);
  w.CancelButton()->click();
  ASSERT_EQ(dialogs.messages.size(), 1);
  EXPECT_EQ(dialogs.messages[0].text, frmOption::MissingQuestion());
  EXPECT_EQ(dialogs.messages[0].buttons, Dialogs::Buttons::YesNo);
  EXPECT_EQ(w.Tabs()->currentIndex(), 0);
  EXPECT_TRUE(w.isVisible()) << "Yes: the user goes on filling in";
  w.CancelButton()->click();
  EXPECT_FALSE(w.isVisible()) << "No: the window closes";
  EXPECT_EQ(state.Settings, AppSettings{});

  frmOption& box = open();
  dialogs.messages.clear();
  box.close();
  EXPECT_TRUE(dialogs.messages.isEmpty());
  EXPECT_FALSE(box.isVisible());

  // With the account filled in but no layout, the question comes on tab 1.
  state.Settings.Account = QStringLiteral("a");
  state.Settings.Email = QStringLiteral("e");
  state.Settings.Passwd = QStringLiteral("p");
  state.Settings.SmtpServer = QStringLiteral("s");
  frmOption& layout = open();
  dialogs.AnswerNext(Dialogs::Answer::Yes);
  layout.CancelButton()->click();
  EXPECT_EQ(layout.Tabs()->currentIndex(), 1);
}

TEST_F(Option, TheSeparatorEditsAreKeptAndEmptyEntriesDropped) {
  state.SeparatorList = {NoSeparatorText(), QString()};
  state.Settings.Separator = 0;
  frmOption& w = open();
  QListWidget* list = w.SeparatorListWidget();
  ASSERT_EQ(list->count(), 2);
  dialogs.InputNext(QStringLiteral("〜〜〜"));
  w.SeparatorHandler()->Menu()->findChild<QAction*>(QStringLiteral("mnuAddSeparator"))->trigger();
  ASSERT_EQ(list->count(), 3);
  // Checking a second entry is refused with its message.
  list->item(2)->setCheckState(Qt::Checked);
  EXPECT_EQ(dialogs.messages.back().text, Separators::TwoCheckedMessage());
  EXPECT_EQ(Separators::CheckedIndex(list), 0);
  list->item(0)->setCheckState(Qt::Unchecked);
  list->item(2)->setCheckState(Qt::Checked);
  w.OkButton()->click();
  EXPECT_EQ(state.SeparatorList, (QStringList{NoSeparatorText(), QStringLiteral("〜〜〜")}));
  EXPECT_EQ(state.Settings.Separator, 1) << "the checked entry, numbered in the kept list";
}

TEST_F(Option, CancelKeepsTheListAsItWas) {
  frmOption& w = open();
  w.SeparatorListWidget()->setCurrentRow(2);
  dialogs.AnswerNext(Dialogs::Answer::Yes);
  w.SeparatorHandler()->Menu()->findChild<QAction*>(QStringLiteral("mnuDelSeparator"))->trigger();
  EXPECT_EQ(w.SeparatorListWidget()->count(), 2);
  w.CancelButton()->click();
  EXPECT_EQ(state.SeparatorList.size(), 3);
}

TEST_F(Option, NumbersTypedFullWidthAreTakenAndNonNumbersStillRefused) {
  frmOption& w = open();
  field("txtLineChars")->setText(QStringLiteral("２０"));
  field("txtSmtpPort")->setText(QStringLiteral("２５２５"));
  field("txtLineSpace")->setText(QStringLiteral("　１　"));
  w.OkButton()->click();
  EXPECT_TRUE(dialogs.messages.isEmpty());
  EXPECT_EQ(state.Settings.LineChars, 20);
  EXPECT_EQ(state.Settings.SmtpPort, 2525);
  EXPECT_EQ(state.Settings.LineSpace, 1);

  frmOption& again = open();
  again.findChild<QTabWidget*>()->setCurrentIndex(0);
  field("txtPageLines")->setText(QStringLiteral("二十"));
  again.OkButton()->click();
  ASSERT_EQ(dialogs.messages.size(), 1);
  EXPECT_EQ(dialogs.messages[0].text, InputChecks::NotNumericMessage());
  EXPECT_EQ(QApplication::focusWidget(), field("txtPageLines"));
}

TEST_F(Option, PopBeforeWithABlankFieldIsToldAndNoLeavesItToFillIn) {
  frmOption& w = open();
  w.PopBefore()->click();
  field("txtPopServer")->setText(QStringLiteral("pop.example.jp"));
  field("txtPopPort")->clear();
  dialogs.AnswerNext(Dialogs::Answer::No);
  w.OkButton()->click();
  ASSERT_EQ(dialogs.messages.size(), 1);
  EXPECT_EQ(dialogs.messages[0].text, frmOption::PopOffQuestion()) << "not refused as a bad number";
  EXPECT_TRUE(w.isVisible());
  EXPECT_EQ(w.Tabs()->currentIndex(), 0);
  EXPECT_EQ(QApplication::focusWidget(), field("txtPopPort"));
  EXPECT_EQ(state.Settings.PopServer, QString()) << "nothing stored yet";

  dialogs.AnswerNext(Dialogs::Answer::Yes);
  w.OkButton()->click();
  EXPECT_FALSE(w.isVisible());
  EXPECT_EQ(state.Settings.PopPort, -1);
  EXPECT_EQ(state.Settings.PopServer, QString());

  // Both filled: POP is kept, nothing asked; the port may be typed full-width.
  frmOption& filled = open();
  dialogs.messages.clear();
  filled.PopBefore()->click();
  field("txtPopServer")->setText(QStringLiteral("pop.example.jp"));
  field("txtPopPort")->setText(QStringLiteral("９９５"));
  filled.OkButton()->click();
  EXPECT_TRUE(dialogs.messages.isEmpty());
  EXPECT_EQ(state.Settings.PopPort, 995);
  EXPECT_EQ(state.Settings.PopServer, QStringLiteral("pop.example.jp"));

  // Unchecked, with the server left empty: off, as chosen, without a word.
  frmOption& off = open();
  off.PopBefore()->click();
  field("txtPopServer")->clear();
  off.OkButton()->click();
  EXPECT_TRUE(dialogs.messages.isEmpty());
  EXPECT_EQ(state.Settings.PopPort, -1);
}

TEST_F(Option, AFirstStartOffersALayoutThatWorks) {
  AppState fresh{folder.Path()};
  ApiIniFileAccess ini(fresh.IniPath, &dialogs);
  ASSERT_TRUE(folder.InstallDefaultTable());
  ASSERT_TRUE(LoadSettings(fresh, ini));
  EXPECT_EQ(fresh.Settings.PageLines, 20);
  EXPECT_EQ(fresh.Settings.LineChars, 20);
  EXPECT_EQ(fresh.Settings.LineSpace, 1);
  // A settings file of its own keeps what it says, zeros included.
  fresh.Settings.PageLines = 0;
  ASSERT_TRUE(SaveSettings(fresh, ini));
  AppState later{folder.Path()};
  ASSERT_TRUE(LoadSettings(later, ini));
  EXPECT_EQ(later.Settings.PageLines, 0);
  EXPECT_EQ(later.Settings.LineChars, 20);
}

TEST_F(Option, ASeparatorThatWouldReadBackAsASectionIsRefusedAndTheListSurvivesARestart) {
  ASSERT_TRUE(folder.InstallDefaultTable());
  ASSERT_TRUE(GetGlyphSwapData(state.GlyphSwapPath, state.GlyphSwap));
  frmOption& w = open();
  QListWidget* list = w.SeparatorListWidget();
  QAction* add = w.SeparatorHandler()->Menu()->findChild<QAction*>(QStringLiteral("mnuAddSeparator"));
  dialogs.InputNext(QStringLiteral("[ 次頁 ]"));
  dialogs.InputNext(QStringLiteral("［ 次頁 ］"));  // corrected in the box offered again
  add->trigger();
  ASSERT_EQ(dialogs.messages.size(), 1);
  EXPECT_EQ(dialogs.messages[0].text, Separators::RefusalOf(QStringLiteral("[ 次頁 ]")));
  EXPECT_FALSE(dialogs.messages[0].text.isEmpty());
  ASSERT_EQ(dialogs.defaults.size(), 2);
  EXPECT_EQ(dialogs.defaults[1], QStringLiteral("[ 次頁 ]")) << "the refused text offered for correction";
  dialogs.InputNext(QStringLiteral("〓〓〓"));
  add->trigger();
  dialogs.InputNext(QStringLiteral("🍣🍣"));  // not in the settings file's character set
  dialogs.InputNext(std::nullopt);
  add->trigger();
  EXPECT_EQ(Separators::Entries(list).size(), 5);
  list->item(1)->setCheckState(Qt::Unchecked);
  list->item(4)->setCheckState(Qt::Checked);
  w.OkButton()->click();
  ASSERT_FALSE(w.isVisible());

  ApiIniFileAccess ini(state.IniPath, &dialogs);
  ASSERT_TRUE(SaveSettings(state, ini));
  AppState restarted{folder.Path()};
  ASSERT_TRUE(LoadSettings(restarted, ini));
  EXPECT_EQ(restarted.SeparatorList, (QStringList{NoSeparatorText(), QStringLiteral("＊＊＊"), QStringLiteral("－－－"),
                                                  QStringLiteral("［ 次頁 ］"), QStringLiteral("〓〓〓")}));
  EXPECT_EQ(restarted.Settings.Separator, 4);
  // A text with "[" only at its start, or "]" before any "[", reads back fine.
  EXPECT_TRUE(Separators::RefusalOf(QStringLiteral("[次頁")).isEmpty());
  EXPECT_TRUE(Separators::RefusalOf(QStringLiteral("次頁 [1]")).isEmpty());
  EXPECT_FALSE(Separators::RefusalOf(QStringLiteral("  [x]")).isEmpty());
  EXPECT_FALSE(Separators::RefusalOf(QStringLiteral("a\tb")).isEmpty());
}

TEST_F(Option, TheSeparatorMenuHasItsLineBetweenChangeAndDelete) {
  frmOption& w = open();
  const QList<QAction*> actions = w.SeparatorHandler()->Menu()->actions();
  ASSERT_EQ(actions.size(), 4);
  EXPECT_EQ(actions[1]->objectName(), QStringLiteral("mnuUpdSeparator"));
  EXPECT_TRUE(actions[2]->isSeparator());
  EXPECT_EQ(actions[3]->objectName(), QStringLiteral("mnuDelSeparator"));
}

TEST_F(Option, ChoosingTheConnectionProposesItsPortAndAClearLoginIsToldOnce) {
  frmOption& w = open();
  EXPECT_EQ(w.Security()->currentIndex(), 0);
  EXPECT_FALSE(w.SmtpAuth()->isChecked());
  EXPECT_EQ(field("txtSmtpPort")->text(), QStringLiteral("587")) << "loading keeps the stored port";
  w.Security()->setCurrentIndex(2);
  EXPECT_EQ(field("txtSmtpPort")->text(), QStringLiteral("465"));
  EXPECT_EQ(field("txtPopPort")->text(), QStringLiteral("995"));
  w.Security()->setCurrentIndex(1);
  EXPECT_EQ(field("txtSmtpPort")->text(), QStringLiteral("587"));
  EXPECT_EQ(field("txtPopPort")->text(), QStringLiteral("110"));
  field("txtSmtpPort")->setText(QStringLiteral("10025"));  // the user's own
  w.Security()->setCurrentIndex(0);
  EXPECT_EQ(field("txtSmtpPort")->text(), QStringLiteral("10025"));
  w.Security()->setCurrentIndex(1);
  field("txtSmtpPort")->setText(QStringLiteral("587"));
  w.SmtpAuth()->click();
  w.OkButton()->click();
  EXPECT_TRUE(dialogs.messages.isEmpty()) << "protected: nothing to tell";
  EXPECT_EQ(state.Settings.Security, SecurityStartTls);
  EXPECT_EQ(state.Settings.SmtpAuth, 1);
  EXPECT_EQ(state.Settings.SmtpPort, 587);

  // Login without protection: told when chosen, not every time after.
  frmOption& clear = open();
  EXPECT_EQ(clear.Security()->currentIndex(), 1);
  clear.Security()->setCurrentIndex(0);
  EXPECT_EQ(field("txtSmtpPort")->text(), QStringLiteral("25"));
  clear.OkButton()->click();
  ASSERT_EQ(dialogs.messages.size(), 1);
  EXPECT_EQ(dialogs.messages[0].text, frmOption::ClearPasswordMessage());
  EXPECT_EQ(state.Settings.Security, SecurityNone);
  frmOption& again = open();
  again.OkButton()->click();
  EXPECT_EQ(dialogs.messages.size(), 1);
}

}  // namespace
