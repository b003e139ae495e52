#include "glyphswap/GlyphSwapCommandLine.h"
#include "glyphswap/frmGlyphSwap.h"
#include "tests/testsupport/ScriptedDialogs.h"
#include "tests/testsupport/TempProgramFolder.h"

#include <QApplication>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

namespace {

QString s(const char* utf8) { return QString::fromUtf8(utf8); }

TEST(GlyphSwapCommandLine, APathWithSpacesAndAOneWordTitle) {
  const GlyphSwapCommandLine a = GlyphSwapCommandLine::Parse(s("/home/taro/My Files/GlyphSwap.dat たかぽすと"));
  EXPECT_FALSE(a.Empty);
  EXPECT_EQ(a.Path, s("/home/taro/My Files/GlyphSwap.dat"));
  EXPECT_EQ(a.Title, s("たかぽすと"));
  const GlyphSwapCommandLine b = GlyphSwapCommandLine::Parse(s("  /a b/c.dat  title -1 "));
  EXPECT_EQ(b.Path, s("/a b/c.dat"));
  EXPECT_EQ(b.Title, s("title"));
  EXPECT_TRUE(GlyphSwapCommandLine::Parse(s("   ")).Empty);
  EXPECT_TRUE(GlyphSwapCommandLine::FromArguments({}).Empty);
  // Tallpost passes the path and the title apart: the same reading.
  const GlyphSwapCommandLine c = GlyphSwapCommandLine::FromArguments({s("/My Files/GlyphSwap.dat"), s("たかぽすと")});
  EXPECT_EQ(c.Path, s("/My Files/GlyphSwap.dat"));
  EXPECT_EQ(c.Title, s("たかぽすと"));
}

class GlyphSwapWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    table = {{s("ー"), s("｜"), true}, {s("「"), s("┐"), false}, {s("、"), QString(), true}};
    path = folder.File(QStringLiteral("GlyphSwap.dat"));
    ASSERT_TRUE(folder.WriteBytes(QStringLiteral("GlyphSwap.dat"), EncodeGlyphSwapData(table)));
    window = std::make_unique<frmGlyphSwap>(path, s("たかぽすと"), dialogs);
    ASSERT_TRUE(window->Load());
    window->show();
    QApplication::setActiveWindow(window.get());
  }
  void key(QWidget* target, int k, const QString& text = QString(), Qt::KeyboardModifiers m = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, k, m, text);
    QApplication::sendEvent(target, &press);
  }
  // A press and release, then the second press the system reports as a double click.
  static void doubleClick(QTableWidget* grid, int row, int column) {
    const QPoint at = grid->visualItemRect(grid->item(row, column)).center();
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, at);
  }
  GlyphSwapTable stored() const {
    GlyphSwapTable t;
    EXPECT_TRUE(GetGlyphSwapData(path, t));
    return t;
  }

  TempProgramFolder folder;
  QString path;
  GlyphSwapTable table;
  ScriptedDialogs dialogs;
  std::unique_ptr<frmGlyphSwap> window;
};

TEST_F(GlyphSwapWindow, TheGridShowsTheTableAndFortyNineEmptyRows) {
  QTableWidget* grid = window->Grid();
  EXPECT_EQ(window->windowTitle(), s("変換ﾃｰﾌﾞﾙ"));
  EXPECT_TRUE(window->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(grid->rowCount(), 3 + 49);
  EXPECT_EQ(grid->horizontalHeaderItem(0)->text(), s("変換前"));
  EXPECT_EQ(grid->horizontalHeaderItem(1)->text(), s("変換後"));
  EXPECT_EQ(grid->horizontalHeaderItem(2)->text(), s("行頭\n禁則"));
  EXPECT_EQ(window->Cell(1, 1), s("ー"));
  EXPECT_EQ(window->Cell(1, 3), s("設定"));
  EXPECT_EQ(window->Cell(2, 3), QString());
  EXPECT_EQ(window->Cell(3, 2), QString());
  EXPECT_EQ(window->Cell(4, 1), QString());
  const QTableWidgetItem* flag = grid->item(5, 2);
  EXPECT_EQ(flag->foreground().color(), QColor(255, 0, 0));
  EXPECT_EQ(flag->background().color(), window->palette().button().color());
  EXPECT_EQ(flag->textAlignment(), int(Qt::AlignCenter));
  EXPECT_EQ(window->CurrentRow(), 1);
  EXPECT_EQ(window->CurrentColumn(), 1);
}

TEST_F(GlyphSwapWindow, TypedKeysOpenTheInputBoxAsTheKeyTableSays) {
  QTableWidget* grid = window->Grid();
  key(grid, Qt::Key_P, QStringLiteral("p"));
  QLineEdit* input = window->Input();
  ASSERT_TRUE(input->isVisible());
  EXPECT_EQ(input->text(), s("ー")) << "'p' is in the key table: the cell's own text, selected";
  EXPECT_EQ(input->selectedText(), s("ー"));
  EXPECT_EQ(input->maxLength(), 2);
  EXPECT_EQ(input->geometry(), grid->visualItemRect(grid->item(0, 0)));
  key(input, Qt::Key_Escape);
  EXPECT_FALSE(input->isVisible());
  EXPECT_EQ(window->Cell(1, 1), s("ー"));

  key(grid, Qt::Key_A, QStringLiteral("a"));
  EXPECT_EQ(input->text(), QStringLiteral("a"));
  input->insert(QStringLiteral("bc"));
  EXPECT_EQ(input->text(), QStringLiteral("ab")) << "two characters at most";
  key(input, Qt::Key_Return);
  EXPECT_FALSE(input->isVisible());
  EXPECT_EQ(window->Cell(1, 1), QStringLiteral("ab"));
  EXPECT_EQ(window->CurrentColumn(), 1) << "Enter does not move";

  // Column 3: any key or a double click toggles the flag.
  window->SetCurrentCell(2, 3);
  key(grid, Qt::Key_X, QStringLiteral("x"));
  EXPECT_EQ(window->Cell(2, 3), s("設定"));
  EXPECT_FALSE(input->isVisible());
  doubleClick(grid, 1, 2);
  EXPECT_EQ(window->Cell(2, 3), QString());
  doubleClick(grid, 2, 2);
  EXPECT_EQ(window->Cell(3, 3), QString()) << "row 3 had the flag";
  window->OkButton()->click();
  EXPECT_EQ(stored().value(1).LineHeadProhibited, false);
  EXPECT_EQ(stored().value(2).LineHeadProhibited, false);
  window->show();
  window->BeginEdit(1);
  EXPECT_FALSE(input->isVisible()) << "a single click edits nothing";
}

TEST_F(GlyphSwapWindow, TabMovesAcrossRowEndsAndScrollingLeavesTheEditUntaken) {
  QTableWidget* grid = window->Grid();
  window->SetCurrentCell(1, 3);
  key(grid, Qt::Key_Tab);
  EXPECT_EQ(window->CurrentRow(), 2);
  EXPECT_EQ(window->CurrentColumn(), 1);
  key(grid, Qt::Key_Backtab, QString(), Qt::ShiftModifier);
  EXPECT_EQ(window->CurrentRow(), 1);
  EXPECT_EQ(window->CurrentColumn(), 3);
  window->SetCurrentCell(1, 1);
  window->MoveCell(-1, 0);
  EXPECT_EQ(window->CurrentColumn(), 1) << "the first cell stays";
  window->SetCurrentCell(grid->rowCount(), 3);
  window->MoveCell(1, 0);
  EXPECT_EQ(window->CurrentRow(), grid->rowCount());
  EXPECT_EQ(window->CurrentColumn(), 3) << "the last cell stays";

  // Tab in the input box takes the text and moves on.
  window->SetCurrentCell(2, 1);
  key(grid, Qt::Key_Z, QStringLiteral("Z"));
  key(window->Input(), Qt::Key_Tab);
  EXPECT_EQ(window->Cell(2, 1), QStringLiteral("Z"));
  EXPECT_EQ(window->CurrentColumn(), 2);
  // A scroll hides the box and takes nothing.
  key(grid, Qt::Key_Y, QStringLiteral("Y"));
  ASSERT_TRUE(window->Input()->isVisible());
  grid->verticalScrollBar()->setValue(grid->verticalScrollBar()->value() + 3);
  EXPECT_FALSE(window->Input()->isVisible());
  EXPECT_EQ(window->Cell(2, 2), s("┐"));
}

TEST_F(GlyphSwapWindow, OkStoresTheRowsAboveTheFirstEmptyOneWithTheirFlags) {
  window->SetCurrentCell(2, 3);
  window->BeginEdit(2);  // "「" now may not begin a line
  window->SetCurrentCell(3, 1);
  window->BeginEdit(2);
  window->Input()->clear();
  window->CommitEdit(0);  // the middle row emptied: the rows below it go
  window->OkButton()->click();
  EXPECT_TRUE(dialogs.messages.isEmpty()) << "after OK nothing differs: no question";
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(stored(), (GlyphSwapTable{{s("ー"), s("｜"), true}, {s("「"), s("┐"), true}}));
}

TEST_F(GlyphSwapWindow, AnEmptyFirstRowIsNotStoredAsIfItWere) {
  window->BeginEdit(2);
  window->Input()->clear();
  window->CommitEdit(0);
  window->OkButton()->click();
  ASSERT_EQ(dialogs.messages.size(), 1);
  EXPECT_EQ(dialogs.messages[0].text, frmGlyphSwap::EmptyTableMessage());
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(stored(), table) << "the file as it was";
}

TEST_F(GlyphSwapWindow, ClosingAfterAnEditAsksAndCancelKeepsTheEdits) {
  window->SetCurrentCell(1, 2);
  key(window->Grid(), Qt::Key_Q, QStringLiteral("Q"));
  key(window->Input(), Qt::Key_Return);
  dialogs.AnswerNext(Dialogs::Answer::Cancel);
  EXPECT_FALSE(window->close());
  ASSERT_EQ(dialogs.messages.size(), 1);
  EXPECT_EQ(dialogs.messages[0].text, s("データが変更されています。設定を更新しますか？"));
  EXPECT_EQ(dialogs.messages[0].title, s("たかぽすと"));
  EXPECT_EQ(dialogs.messages[0].buttons, Dialogs::Buttons::YesNoCancel);
  EXPECT_EQ(window->Cell(1, 2), QStringLiteral("Q"));
  dialogs.AnswerNext(Dialogs::Answer::No);
  EXPECT_TRUE(window->close());
  EXPECT_EQ(stored(), table) << "No stores nothing";
}

TEST_F(GlyphSwapWindow, TheCancelButtonAnsweredYesStores) {
  window->SetCurrentCell(2, 2);
  key(window->Grid(), Qt::Key_W, QStringLiteral("W"));
  key(window->Input(), Qt::Key_Return);
  dialogs.AnswerNext(Dialogs::Answer::Yes);
  window->CancelButton()->click();
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(stored().value(1).Vertical, QStringLiteral("W"));
}

TEST_F(GlyphSwapWindow, AJapaneseWordComposedOnTheGridLandsInTheCellNotItsReading) {
  QTableWidget* grid = window->Grid();
  window->SetCurrentCell(4, 1);
  grid->setFocus();
  // The input method starts composing while the grid has the focus ...
  QInputMethodEvent preedit(s("かん"), {});
  QApplication::sendEvent(grid, &preedit);
  QLineEdit* input = window->Input();
  ASSERT_TRUE(input->isVisible()) << "the composition goes on in the box over the cell";
  EXPECT_EQ(input->geometry(), grid->visualItemRect(grid->item(3, 0)));
  EXPECT_TRUE(window->Ime().IMEOpen());
  // ... and its candidate window stands at the cell being edited.
  EXPECT_EQ(window->Ime().ImeWindow(), grid->visualItemRect(grid->item(3, 0)));
  EXPECT_EQ(grid->inputMethodQuery(Qt::ImCursorRectangle).toRect(),
            grid->visualItemRect(grid->item(3, 0)).translated(grid->viewport()->pos()));
  // The word is chosen and committed, to the box that has the focus now.
  QInputMethodEvent commit;
  commit.setCommitString(s("漢"));
  QApplication::sendEvent(input, &commit);
  EXPECT_EQ(input->text(), s("漢"));
  key(input, Qt::Key_Return);
  EXPECT_EQ(window->Cell(4, 1), s("漢"));
  // A word committed at once (no composition shown) on another cell.
  window->SetCurrentCell(4, 2);
  grid->setFocus();
  QInputMethodEvent direct;
  direct.setCommitString(s("縦"));
  QApplication::sendEvent(grid, &direct);
  key(input, Qt::Key_Return);
  EXPECT_EQ(window->Cell(4, 2), s("縦"));
}

TEST(GlyphSwapStart, AnUnreadableTableEndsWithItsMessageAndABadTargetIsNamed) {
  TempProgramFolder folder;
  ScriptedDialogs dialogs;
  frmGlyphSwap window(folder.File(QStringLiteral("missing.dat")), s("たかぽすと"), dialogs);
  EXPECT_FALSE(window.Load());
  ASSERT_EQ(dialogs.messages.size(), 1);
  EXPECT_EQ(dialogs.messages[0].text, s("初期化情報取得に失敗しました。終了します。"));
  EXPECT_EQ(dialogs.messages[0].icon, Dialogs::Icon::Error);
  clsIME ime(dialogs);
  ime.Target(nullptr);
  EXPECT_EQ(dialogs.messages.last().text, s("指定されたﾊﾝﾄﾞﾙは無効です"));
  EXPECT_EQ(dialogs.messages.last().title, s("IMEOperation Class"));
}

}  // namespace
