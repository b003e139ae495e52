#include "glyphswap/frmGlyphSwap.h"

#include "support/Dialogs.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QVBoxLayout>

namespace {

constexpr int kColumns = 3;
constexpr int kEmptyRows = 49;
constexpr int kMaxInput = 2;

// Character codes a typed key is not taken as text for: the table of key
// codes the program has always kept for this check ('p' is 112 among them, so
// a typed "p" opens the box on the cell's own text).
bool noKey(char32_t code) {
  switch (code) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 8:
    case 9:
    case 12:
    case 13:
    case 27:
    case 108:
    case 144:
      return true;
    default:
      return (code >= 16 && code <= 20) || (code >= 33 && code <= 47) || (code >= 112 && code <= 127);
  }
}

}  // namespace

// ---------------------------------------------------------------- the grid

GlyphGrid::GlyphGrid(frmGlyphSwap* window) : QTableWidget(window), window_(window) {
  setObjectName(QStringLiteral("grdTable"));
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setAttribute(Qt::WA_InputMethodEnabled, true);
  setTabKeyNavigation(false);
}

QVariant GlyphGrid::inputMethodQuery(Qt::InputMethodQuery query) const {
  switch (query) {
    case Qt::ImEnabled:
      return true;
    case Qt::ImCursorRectangle:
    case Qt::ImAnchorRectangle:
      // At the cell being edited, in the grid's own coordinates.
      return window_->Ime().ImeWindow().translated(viewport()->pos());
    default:
      return QTableWidget::inputMethodQuery(query);
  }
}

bool GlyphGrid::event(QEvent* event) {
  // Tab moves between cells, not out of the grid.
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
      keyPressEvent(key);
      return true;
    }
  }
  return QTableWidget::event(event);
}

void GlyphGrid::keyPressEvent(QKeyEvent* event) {
  window_->PlaceImeWindow();
  if (event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab) {
    window_->MoveCell(event->key() == Qt::Key_Tab && !(event->modifiers() & Qt::ShiftModifier) ? 1 : -1, 0);
    event->accept();
    return;
  }
  if (!event->text().isEmpty()) {
    window_->BeginEdit(0, event->text());
    event->accept();
    return;
  }
  QTableWidget::keyPressEvent(event);
  window_->PlaceImeWindow();
}

void GlyphGrid::inputMethodEvent(QInputMethodEvent* event) {
  window_->Ime().Observe(event);
  window_->ImeArrived(event);
  event->accept();
}

void GlyphGrid::focusInEvent(QFocusEvent* event) {
  QTableWidget::focusInEvent(event);
  window_->PlaceImeWindow();
}

void GlyphGrid::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) window_->SetMouseFlag();
  QTableWidget::mousePressEvent(event);
}

// ---------------------------------------------------------------- the window

frmGlyphSwap::frmGlyphSwap(QString tablePath, QString callerTitle, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), tablePath_(std::move(tablePath)), callerTitle_(std::move(callerTitle)), dialogs_(dialogs) {
  setObjectName(QStringLiteral("frmGlyphSwap"));
  setWindowTitle(Caption());
  // Over Tallpost, which waits for it.
  setWindowFlags(Qt::Window | Qt::WindowStaysOnTopHint);
  resize(360, 480);

  auto* layout = new QVBoxLayout(this);
  grdTable_ = new GlyphGrid(this);
  layout->addWidget(grdTable_, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  cmdOk_ = new QPushButton(QStringLiteral("OK(&O)"), this);
  cmdOk_->setObjectName(QStringLiteral("cmdOk"));
  cmdCancel_ = new QPushButton(QStringLiteral("Cancel(&C)"), this);
  cmdCancel_->setObjectName(QStringLiteral("cmdCancel"));
  buttons->addWidget(cmdOk_);
  buttons->addWidget(cmdCancel_);
  layout->addLayout(buttons);

  txtInput_ = new QLineEdit(grdTable_->viewport());
  txtInput_->setObjectName(QStringLiteral("txtInput"));
  txtInput_->setFrame(false);
  txtInput_->hide();
  txtInput_->installEventFilter(this);

  ime_ = new clsIME(dialogs_, this);
  connect(cmdOk_, &QPushButton::clicked, this, &frmGlyphSwap::ok);
  connect(cmdCancel_, &QPushButton::clicked, this, &QWidget::close);
  connect(grdTable_, &QTableWidget::cellClicked, this, [this] { BeginEdit(1); });
  connect(grdTable_, &QTableWidget::cellDoubleClicked, this, [this] { BeginEdit(2); });
  // Scrolling leaves an edit without taking it.
  for (QScrollBar* bar : {grdTable_->verticalScrollBar(), grdTable_->horizontalScrollBar()})
    connect(bar, &QScrollBar::valueChanged, this, [this] { hideInput(); });
  connect(grdTable_, &QTableWidget::currentCellChanged, this, [this] { PlaceImeWindow(); });
}

frmGlyphSwap::~frmGlyphSwap() = default;

QString frmGlyphSwap::Caption() { return QStringLiteral("変換ﾃｰﾌﾞﾙ"); }
QString frmGlyphSwap::LoadFailedMessage() { return QStringLiteral("初期化情報取得に失敗しました。終了します。"); }
QString frmGlyphSwap::ChangedQuestion() { return QStringLiteral("データが変更されています。設定を更新しますか？"); }
QString frmGlyphSwap::EmptyTableMessage() {
  return QStringLiteral("1行目の変換前が空のため、変換テーブルを保存できません。") + QStringLiteral("\r\n") +
         QStringLiteral("少なくとも1行は文字を入れてください。");
}
QString frmGlyphSwap::StoreFailedMessage() {
  return QStringLiteral("変換テーブルを保存できませんでした。") + QStringLiteral("\r\n") +
         QStringLiteral("ディスクの空きとファイルへの書き込みを確かめてください。");
}
QString frmGlyphSwap::ProhibitedText() { return QStringLiteral("設定"); }

bool frmGlyphSwap::Load() {
  if (!GetGlyphSwapData(tablePath_, table_)) {
    dialogs_.Message(LoadFailedMessage(), callerTitle_, Dialogs::Icon::Error);
    return false;
  }
  fill();
  ime_->Target(grdTable_);
  if (QScreen* screen = this->screen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - rect().center());
  }
  SetCurrentCell(1, 1);
  grdTable_->setFocus();
  return true;
}

void frmGlyphSwap::fill() {
  const int rows = static_cast<int>(table_.size()) + kEmptyRows;
  grdTable_->setColumnCount(kColumns);
  grdTable_->setRowCount(rows);
  grdTable_->setHorizontalHeaderLabels(
      {QStringLiteral("変換前"), QStringLiteral("変換後"), QStringLiteral("行頭\n禁則")});
  // Room for the two-line header of column 3.
  grdTable_->horizontalHeader()->setMinimumHeight(2 * grdTable_->fontMetrics().height() + 6);
  grdTable_->verticalHeader()->setDefaultAlignment(Qt::AlignCenter);
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < kColumns; ++c) {
      auto* cell = new QTableWidgetItem;
      cell->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
      if (c == 2) {
        cell->setTextAlignment(Qt::AlignCenter);
        cell->setBackground(palette().button());
        cell->setForeground(QColor(255, 0, 0));
      } else {
        cell->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
      }
      grdTable_->setItem(r, c, cell);
    }
  }
  for (qsizetype i = 0; i < table_.size(); ++i) {
    const GlyphSwapEntry& e = table_[i];
    if (e.Horizontal.trimmed().isEmpty()) break;
    item(static_cast<int>(i) + 1, 1)->setText(e.Horizontal);
    item(static_cast<int>(i) + 1, 2)->setText(e.Vertical);
    if (e.LineHeadProhibited) item(static_cast<int>(i) + 1, 3)->setText(ProhibitedText());
  }
}

QTableWidgetItem* frmGlyphSwap::item(int row, int column) const { return grdTable_->item(row - 1, column - 1); }

QString frmGlyphSwap::Cell(int row, int column) const {
  const QTableWidgetItem* cell = item(row, column);
  return cell == nullptr ? QString() : cell->text();
}

void frmGlyphSwap::SetCurrentCell(int row, int column) { grdTable_->setCurrentCell(row - 1, column - 1); }
int frmGlyphSwap::CurrentRow() const { return grdTable_->currentRow() + 1; }
int frmGlyphSwap::CurrentColumn() const { return grdTable_->currentColumn() + 1; }

void frmGlyphSwap::toggle(int row) {
  QTableWidgetItem* cell = item(row, 3);
  cell->setText(cell->text().isEmpty() ? ProhibitedText() : QString());
}

void frmGlyphSwap::openInput(int row, int column) {
  txtInput_->clear();
  txtInput_->setMaxLength(kMaxInput);
  txtInput_->setGeometry(grdTable_->visualItemRect(item(row, column)));
  txtInput_->show();
  txtInput_->setFocus();
  editRow_ = row;
  editColumn_ = column;
}

void frmGlyphSwap::BeginEdit(int mode, const QString& key) {
  if (mode == 1) return;
  const int row = CurrentRow();
  const int column = CurrentColumn();
  if (row < 1 || column < 1) return;
  if (column == 3) {
    toggle(row);
    return;
  }
  QString typed = key;
  if (!typed.isEmpty() && noKey(typed.toUcs4().value(0))) typed.clear();
  openInput(row, column);
  if (mode == 0 && !typed.isEmpty()) {
    // A word the input method committed comes instead of the key.
    txtInput_->setText(ime_->IMEOpen() ? ime_->TakeResultWord() : typed);
    txtInput_->end(false);
  } else {
    txtInput_->setText(Cell(row, column));
    txtInput_->selectAll();
  }
}

void frmGlyphSwap::ImeArrived(QInputMethodEvent* event) {
  const int column = CurrentColumn();
  if (column == 3) {
    // Any word typed on the column toggles it, as a key does.
    if (!event->commitString().isEmpty()) {
      ime_->TakeResultWord();
      toggle(CurrentRow());
    }
    return;
  }
  if (!txtInput_->isVisible()) openInput(CurrentRow(), column);
  // The composition goes on in the input box, which shows it and takes the
  // word the input method commits.
  ime_->TakeResultWord();
  QApplication::sendEvent(txtInput_, event);
}

void frmGlyphSwap::PlaceImeWindow() {
  const QTableWidgetItem* cell = grdTable_->currentItem();
  if (cell != nullptr) ime_->SetImeWindow(grdTable_->visualItemRect(cell));
}

void frmGlyphSwap::hideInput() {
  if (!txtInput_->isVisible()) return;
  hiding_ = true;
  txtInput_->hide();
  hiding_ = false;
  editRow_ = editColumn_ = -1;
}

void frmGlyphSwap::CommitEdit(int step) {
  if (editRow_ >= 1 && editColumn_ >= 1) item(editRow_, editColumn_)->setText(txtInput_->text());
  if (step != 0 && !mouseFlag_) MoveCell(step, 0);
  mouseFlag_ = false;
  hiding_ = true;
  txtInput_->hide();
  hiding_ = false;
  editRow_ = editColumn_ = -1;
}

void frmGlyphSwap::MoveCell(int columnStep, int rowStep) {
  const int lastRow = grdTable_->rowCount();
  int column = CurrentColumn() + columnStep;
  int row = CurrentRow() + rowStep;
  if (column < 1) {
    if (row > 1) {
      column = kColumns;
      --row;
    } else {
      column = 1;
    }
  } else if (column > kColumns) {
    if (row < lastRow) {
      column = 1;
      ++row;
    } else {
      column = kColumns;
    }
  }
  row = std::clamp(row, 1, lastRow);
  SetCurrentCell(row, column);
  PlaceImeWindow();
}

GlyphSwapTable frmGlyphSwap::CollectTable() const {
  GlyphSwapTable table;
  for (int row = 1; row <= grdTable_->rowCount(); ++row) {
    if (Cell(row, 1).trimmed().isEmpty()) break;
    table.append({Cell(row, 1), Cell(row, 2), !Cell(row, 3).trimmed().isEmpty()});
  }
  return table;
}

bool frmGlyphSwap::store(const GlyphSwapTable& table) {
  // The table file needs a row: an empty grid is not stored as if it were.
  if (table.isEmpty()) {
    dialogs_.Message(EmptyTableMessage(), callerTitle_, Dialogs::Icon::Exclamation);
    return false;
  }
  if (!PutGlyphSwapData(tablePath_, table)) {
    dialogs_.Message(StoreFailedMessage(), callerTitle_, Dialogs::Icon::Exclamation);
    return false;
  }
  table_ = table;
  return true;
}

void frmGlyphSwap::ok() {
  if (txtInput_->isVisible()) CommitEdit(0);
  if (!store(CollectTable())) return;
  stored_ = true;
  close();
}

void frmGlyphSwap::closeEvent(QCloseEvent* event) {
  if (txtInput_->isVisible()) CommitEdit(0);
  const GlyphSwapTable collected = CollectTable();
  if (collected != table_) {
    switch (dialogs_.Message(ChangedQuestion(), callerTitle_, Dialogs::Icon::Question, Dialogs::Buttons::YesNoCancel)) {
      case Dialogs::Answer::Yes:
        if (!store(collected)) {
          event->ignore();
          return;
        }
        break;
      case Dialogs::Answer::No:
        break;
      default:
        event->ignore();
        return;
    }
  }
  event->accept();
}

bool frmGlyphSwap::eventFilter(QObject* watched, QEvent* event) {
  if (watched == txtInput_) {
    if (event->type() == QEvent::KeyPress) {
      auto* key = static_cast<QKeyEvent*>(event);
      if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        CommitEdit(0);
        grdTable_->setFocus();
        return true;
      }
      // Tab moves on from the input box as from the grid, Shift+Tab back.
      if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
        const bool back = key->key() == Qt::Key_Backtab || (key->modifiers() & Qt::ShiftModifier);
        CommitEdit(back ? -1 : 1);
        grdTable_->setFocus();
        return true;
      }
      if (key->key() == Qt::Key_Escape) {
        hideInput();
        grdTable_->setFocus();
        return true;
      }
    }
    // A click elsewhere in the window keeps the text; the input method's own
    // windows taking the focus for a moment do not end the edit.
    if (event->type() == QEvent::FocusOut && txtInput_->isVisible() && !hiding_ &&
        static_cast<QFocusEvent*>(event)->reason() == Qt::MouseFocusReason)
      CommitEdit(0);
  }
  return QWidget::eventFilter(watched, event);
}
