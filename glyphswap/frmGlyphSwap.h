#pragma once

#include "glyphswap/clsIME.h"
#include "vertical/AppGlyphSwapAccess.h"

#include <QTableWidget>
#include <QWidget>

class Dialogs;
class QLineEdit;
class QPushButton;
class frmGlyphSwap;

// The grid of the table: keys and the input method's words start an edit,
// Tab moves, and the input method's windows stand at the current cell.
class GlyphGrid : public QTableWidget {
  Q_OBJECT
 public:
  explicit GlyphGrid(frmGlyphSwap* window);
  QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;

 protected:
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  frmGlyphSwap* window_;
};

// GlyphSwap's one window: the character table as a grid of rows (the
// character before, after, and whether it may begin a line), edited cell by
// cell in an input box laid over the cell, stored on OK.
class frmGlyphSwap : public QWidget {
  Q_OBJECT
 public:
  frmGlyphSwap(QString tablePath, QString callerTitle, Dialogs& dialogs, QWidget* parent = nullptr);
  ~frmGlyphSwap() override;

  // Loads the table and fills the grid; false (after the message) when the
  // table cannot be read, and the program ends.
  bool Load();

  QTableWidget* Grid() const { return grdTable_; }
  QLineEdit* Input() const { return txtInput_; }
  QPushButton* OkButton() const { return cmdOk_; }
  QPushButton* CancelButton() const { return cmdCancel_; }
  clsIME& Ime() const { return *ime_; }
  const GlyphSwapTable& Table() const { return table_; }

  // Cells as the table counts them: rows from 1, columns 1 (before), 2
  // (after), 3 (line-head prohibition).
  QString Cell(int row, int column) const;
  void SetCurrentCell(int row, int column);
  int CurrentRow() const;
  int CurrentColumn() const;

  // mode 0: a key typed on the grid (key holds its text); 1: a click (does
  // nothing); 2: a double click.
  void BeginEdit(int mode, const QString& key = QString());
  // The input box's text into its cell; step columns on (unless the mouse
  // started this).
  void CommitEdit(int step);
  void MoveCell(int columnStep, int rowStep);
  GlyphSwapTable CollectTable() const;
  // An input method event that reached the grid: the composition goes on in
  // the input box over the current cell.
  void ImeArrived(QInputMethodEvent* event);
  void PlaceImeWindow();
  void SetMouseFlag() { mouseFlag_ = true; }

  static QString Caption();            // "変換ﾃｰﾌﾞﾙ"
  static QString LoadFailedMessage();  // "初期化情報取得に失敗しました。終了します。"
  static QString ChangedQuestion();    // "データが変更されています。設定を更新しますか？"
  static QString EmptyTableMessage();
  static QString StoreFailedMessage();
  static QString ProhibitedText();  // "設定"

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void fill();
  void toggle(int row);
  bool store(const GlyphSwapTable& table);
  void ok();
  void hideInput();
  // The input box, empty, over the cell (row, column), for that cell.
  void openInput(int row, int column);
  QTableWidgetItem* item(int row, int column) const;

  QString tablePath_;
  QString callerTitle_;
  Dialogs& dialogs_;
  GlyphSwapTable table_;
  GlyphGrid* grdTable_ = nullptr;
  QLineEdit* txtInput_ = nullptr;
  QPushButton* cmdOk_ = nullptr;
  QPushButton* cmdCancel_ = nullptr;
  clsIME* ime_ = nullptr;
  int editRow_ = -1;
  int editColumn_ = -1;
  bool mouseFlag_ = false;
  bool stored_ = false;
  bool hiding_ = false;
};
