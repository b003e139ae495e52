#include "gui/mainwindow/frmCenter.h"

#include "gui/AboutWindow.h"
#include "gui/WindowPlaces.h"
#include "gui/addressbook/frmAddress.h"
#include "gui/editor/frmMessage.h"
#include "gui/mainwindow/MailListModel.h"
#include "gui/settings/frmOption.h"
#include "mail/MailSender.h"
#include "mail/PopBeforeSmtp.h"
#include "mail/SmtpDialogue.h"
#include "store/AddressBook.h"
#include "store/ApiIniFileAccess.h"
#include "store/AppSettings.h"
#include "store/AppState.h"
#include "support/Dialogs.h"
#include "support/VersionText.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QEventLoop>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QProcess>
#include <QScreen>
#include <QSet>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>

namespace {
const QString kCrLf = QStringLiteral("\r\n");
}

frmCenter::frmCenter(AppState& state, ApiIniFileAccess& ini, Dialogs& dialogs, QWidget* parent)
    : QMainWindow(parent), state_(state), ini_(ini), dialogs_(dialogs), batchMeter_(state.Settings, dialogs) {
  setObjectName(QStringLiteral("frmCenter"));
  setWindowTitle(AppState::ProgramTitle());
  resize(760, 480);
  glyphSwapProgram_ = state_.FilePath(QStringLiteral("GlyphSwap"));
  places_ = std::make_unique<WindowPlaces>(state_.FilePath(WindowPlaces::FileName()));
  // Every few seconds, when nothing else is going on, MailIndex.dat catches up
  // with the journal of the changes since.
  quiet_ = new QTimer(this);
  quiet_->setInterval(10000);
  connect(quiet_, &QTimer::timeout, this, &frmCenter::foldWhenQuiet);
  quiet_->start();

  auto* splitter = new QSplitter(this);
  splitter_ = splitter;
  tvMailBox_ = new QTreeWidget(splitter);
  tvMailBox_->setObjectName(QStringLiteral("tvMailBox"));
  tvMailBox_->setHeaderHidden(true);
  tvMailBox_->setAcceptDrops(true);
  tvMailBox_->viewport()->setAcceptDrops(true);
  tvMailBox_->viewport()->installEventFilter(this);
  connect(tvMailBox_, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* current) { nodeClicked(current); });

  listArea_ = new QStackedWidget(splitter);
  model_ = new MailListModel(this);
  model_->SetAttachmentIcon(style()->standardIcon(QStyle::SP_FileIcon));
  lvMailList_ = new QTreeView;
  lvMailList_->setObjectName(QStringLiteral("lvMailList"));
  lvMailList_->setModel(model_);
  lvMailList_->setRootIsDecorated(false);
  lvMailList_->setItemsExpandable(false);
  lvMailList_->setUniformRowHeights(true);
  lvMailList_->setAllColumnsShowFocus(true);
  lvMailList_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  lvMailList_->setSelectionBehavior(QAbstractItemView::SelectRows);
  lvMailList_->setDragEnabled(true);
  lvMailList_->setDragDropMode(QAbstractItemView::DragOnly);
  lvMailList_->setDefaultDropAction(Qt::MoveAction);
  lvMailList_->header()->setSectionsClickable(true);
  lvMailList_->header()->setSortIndicatorShown(true);
  lvMailList_->installEventFilter(this);
  connect(lvMailList_->header(), &QHeaderView::sectionClicked, this, &frmCenter::SortByColumn);
  // A column the user drags wider or narrower keeps its width from then on.
  // (The last column stretches with the window: that is no choice of the user's.)
  connect(lvMailList_->header(), &QHeaderView::sectionResized, this, [this](int column) {
    if (!fittingColumns_ && column < 3) columnsKept_ = true;
  });
  connect(lvMailList_, &QTreeView::doubleClicked, this, [this] { OpenSelectedMail(); });
  listArea_->addWidget(lvMailList_);

  auto* logo = new QLabel(AppState::ProgramTitle() + QStringLiteral("\n形式 ") +
                          VersionText::ToFormalKanji(VersionText::VersionString()));
  logo->setObjectName(QStringLiteral("picLogo"));
  logo->setAlignment(Qt::AlignCenter);
  QFont big = logo->font();
  big.setPointSize(big.pointSize() * 2);
  logo->setFont(big);
  picLogo_ = logo;
  listArea_->addWidget(picLogo_);

  splitter->setStretchFactor(0, 0);
  splitter->setStretchFactor(1, 1);
  splitter->setSizes({180, 580});
  setCentralWidget(splitter);

  auto* bar = new QStatusBar(this);
  bar->setObjectName(QStringLiteral("sbGuide"));
  for (size_t i = 0; i < panels_.size(); ++i) {
    panels_[i] = new QLabel(bar);
    panels_[i]->setObjectName(QStringLiteral("sbGuidePanel%1").arg(i + 1));
    bar->addWidget(panels_[i], i == 0 ? 1 : 0);
  }
  setStatusBar(bar);

  buildMenus();
}

frmCenter::~frmCenter() {
  // The list's header goes after this part of the window: what it says while
  // it goes is no longer this window's concern.
  lvMailList_->header()->disconnect(this);
}

QString frmCenter::FirstRunMessage() {
  return QStringLiteral("初期化情報が不足しています。次の画面で情報の入力を行ってください。");
}

QString frmCenter::ShutDownQuestion() {
  return QStringLiteral("終了してよろしいですか？") + kCrLf + kCrLf +
         QStringLiteral("編集中のメール・アドレス帳があります。") + kCrLf +
         QStringLiteral("このまま終了すると、それらは全て破棄されます。");
}

QString frmCenter::RecoveredMessage(int count) {
  return QStringLiteral("メールの索引（MailIndex.dat）に読めない行か抜けている番号がありました。") + kCrLf +
         QString::number(count) + QStringLiteral("通のメールをメールファイルから復元し、「下書き」に入れました。") +
         kCrLf + QStringLiteral("内容を確かめてください。");
}

QString frmCenter::InDoubtMessage(const IndexJournal::Replay& replay) const {
  QString text = QStringLiteral("前回、メールの送信中に Tallpost が終了しました。") + kCrLf +
                 QStringLiteral("サーバが受け取った可能性があるため、次のメールは送信済みとしました。") + kCrLf +
                 QStringLiteral("届いたかどうか、宛先に確かめてください。") + kCrLf;
  for (std::int32_t seq : replay.InDoubt) {
    const QString subject = seq < state_.Index.size() ? state_.Index[seq].Subject : QString();
    text += kCrLf + QStringLiteral("・:") + QString::number(seq) + u' ' + subject;
  }
  for (auto it = replay.DeliveredInDoubt.cbegin(); it != replay.DeliveredInDoubt.cend(); ++it)
    text += kCrLf + QStringLiteral("・:") + QString::number(it.key()) + QStringLiteral(" (TOE) ") +
            it.value().join(QStringLiteral(", "));
  return text;
}

QString frmCenter::BatchUnrecordedMessage(int count) {
  return QString::number(count) +
         QStringLiteral("通のメールは送信しましたが、送信済みであることを記録できませんでした。") + kCrLf +
         QStringLiteral("ディスクの空きと MailBox フォルダへの書き込みを確かめてください。") + kCrLf +
         QStringLiteral("記録は次の保存のときと終了のときにもう一度書き込みます。送り直す必要はありません。");
}

QString frmCenter::MoveFailedMessage() {
  return QStringLiteral("メールの移動に失敗しました。") + kCrLf +
         QStringLiteral("ディスクの空きと MailBox フォルダへの書き込みを確かめてください。");
}

void frmCenter::buildMenus() {
  const auto item = [](QMenu* menu, const char* name, const QString& caption) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(QString::fromLatin1(name));
    return action;
  };
  QMenu* file = menuBar()->addMenu(QStringLiteral("ﾌｧｲﾙ(&F)"));
  file->setObjectName(QStringLiteral("mnuFile"));
  QMenu* import = file->addMenu(QStringLiteral("ｲﾝﾎﾟｰﾄ(&I)"));
  import->setObjectName(QStringLiteral("mnuImport"));
  // The address book window has the working item of this name.
  item(import, "mnuImpOeAddr", QStringLiteral("OUTLOOKｱﾄﾞﾚｽ帳(&O)..."));
  file->addSeparator();
  connect(item(file, "mnuExit", QStringLiteral("終了(&X)")), &QAction::triggered, this, &QWidget::close);

  QMenu* mail = menuBar()->addMenu(QStringLiteral("ﾒｰﾙ(&M)"));
  mail->setObjectName(QStringLiteral("mnuMail"));
  connect(item(mail, "mnuMakeNew", QStringLiteral("新規作成(&N)...")), &QAction::triggered, this,
          [this] { MakeNewMail(); });
  mail->addSeparator();
  connect(item(mail, "mnuSendMails", QStringLiteral("一括送信(&S)")), &QAction::triggered, this,
          &frmCenter::mnuSendMails_Click);

  QMenu* tool = menuBar()->addMenu(QStringLiteral("ﾂｰﾙ(&T)"));
  tool->setObjectName(QStringLiteral("mnuTool"));
  connect(item(tool, "mnuAddr", QStringLiteral("ｱﾄﾞﾚｽ帳(&A)...")), &QAction::triggered, this,
          &frmCenter::ShowAddressBook);
  tool->addSeparator();
  connect(item(tool, "mnuEditGlyphSwp", QStringLiteral("変換ﾃｰﾌﾞﾙ(&C)...")), &QAction::triggered, this,
          &frmCenter::EditGlyphSwap);
  tool->addSeparator();
  connect(item(tool, "mnuOption", QStringLiteral("ｵﾌﾟｼｮﾝ(&O)...")), &QAction::triggered, this, &frmCenter::ShowOption);

  QMenu* help = menuBar()->addMenu(QStringLiteral("ﾍﾙﾌﾟ(&H)"));
  help->setObjectName(QStringLiteral("mnuHelp"));
  connect(item(help, "mnuVersion", QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報(&A)...")), &QAction::triggered, this,
          &frmCenter::showAbout);
}

void frmCenter::buildTree() {
  const QSignalBlocker quiet(tvMailBox_);
  tvMailBox_->clear();
  QStyle* s = style();
  // Image 1 the root, 2 and 3 a closed and an open mailbox, 4 the trash.
  const std::array<QIcon, 5> images{QIcon(), s->standardIcon(QStyle::SP_ComputerIcon),
                                    s->standardIcon(QStyle::SP_DirClosedIcon), s->standardIcon(QStyle::SP_DirOpenIcon),
                                    s->standardIcon(QStyle::SP_TrashIcon)};
  auto* root = new QTreeWidgetItem(tvMailBox_, {state_.Settings.Title});
  root->setIcon(0, images[1]);
  for (qsizetype i = 1; i < state_.MailBoxTable.size(); ++i) {
    const MailBoxRecord& box = state_.MailBoxTable[i];
    auto* node = new QTreeWidgetItem(root, {box.Name});
    node->setIcon(0, images[static_cast<size_t>(std::clamp<int>(box.Image, 0, 4))]);
  }
  root->setExpanded(true);
}

QTreeWidgetItem* frmCenter::MailBoxNode(int position) const {
  QTreeWidgetItem* root = tvMailBox_->topLevelItem(0);
  if (root == nullptr || position < 1) return nullptr;
  return position == 1 ? root : root->child(position - 2);
}

int frmCenter::SelectedMailBox() const {
  QTreeWidgetItem* node = tvMailBox_->currentItem();
  if (node == nullptr) return 0;
  QTreeWidgetItem* root = tvMailBox_->topLevelItem(0);
  return node == root ? 1 : root->indexOfChild(node) + 2;
}

void frmCenter::Load() {
  QDir().mkpath(state_.FilePath(QStringLiteral("MailBox")));
  buildTree();
  int recovered = 0;
  const IndexJournal::Replay replay = state_.Keeper.Load(state_.Index, &recovered);
  {
    // The list is filled once, below, not again for the selection.
    const QSignalBlocker quiet(tvMailBox_);
    tvMailBox_->setCurrentItem(MailBoxNode(MailBoxNumber::Outbox));
  }
  fillList(MailBoxNumber::Outbox);
  // Newest first: the date column, flipped from its "asc" mark.
  marks_[1] = QStringLiteral("asc");
  SortByColumn(1);
  // The newest mail, now at the top, is the one selected.
  selectFirstRow();
  // Where the user left it, or in the middle of the screen.
  if (!places_->Restore(this, QStringLiteral("MainWindow"))) {
    if (QScreen* screen = this->screen()) {
      const QRect area = screen->availableGeometry();
      move(area.center() - rect().center());
    }
  }
  splitter_->restoreState(places_->Value(QStringLiteral("MainWindow.Splitter")));
  const QList<QByteArray> widths = places_->Value(QStringLiteral("MainWindow.Columns")).split(',');
  if (widths.size() == 4) {
    columnsKept_ = true;
    for (int c = 0; c < 4; ++c) {
      const int w = widths[c].toInt();
      if (w > 0 && w < 10000) lvMailList_->setColumnWidth(c, w);
    }
  }
  show();
  // Told once, now: mails the index had lost, and sends a cut-off run left
  // undecided.
  if (recovered > 0)
    dialogs_.Message(RecoveredMessage(recovered), AppState::ProgramTitle(), Dialogs::Icon::Exclamation);
  if (!replay.InDoubt.isEmpty() || !replay.DeliveredInDoubt.isEmpty())
    dialogs_.Message(InDoubtMessage(replay), AppState::ProgramTitle(), Dialogs::Icon::Exclamation);
  if (FirstRunCheckNeeded(state_.Settings)) {
    dialogs_.Message(FirstRunMessage(), AppState::ProgramTitle(), Dialogs::Icon::Information);
    ShowOption();
  }
}

void frmCenter::SelectMailBox(int position) {
  QTreeWidgetItem* node = MailBoxNode(position);
  if (node == nullptr) return;
  if (tvMailBox_->currentItem() == node)
    nodeClicked(node);
  else
    tvMailBox_->setCurrentItem(node);
}

void frmCenter::nodeClicked(QTreeWidgetItem* node) {
  if (node == nullptr) return;
  fillList(SelectedMailBox());
}

void frmCenter::updateCounts(int position) {
  panels_[2]->setText(QStringLiteral("全 ") + QString::number(state_.Index.size()) + QStringLiteral("件"));
  if (position > MailBoxNumber::Root)
    panels_[1]->setText(MailBoxNode(position)->text(0) + u' ' + QString::number(model_->rowCount()) +
                        QStringLiteral("件"));
}

void frmCenter::fillList(int position) {
  // The list is made whole: changes since are all in it.
  state_.Keeper.TakeTouched();
  panels_[1]->setVisible(true);
  panels_[1]->setText(QStringLiteral("      "));
  panels_[2]->setText(QStringLiteral("全 ") + QString::number(state_.Index.size()) + QStringLiteral("件"));
  if (position == MailBoxNumber::Root) {
    model_->Clear();
    listArea_->setCurrentWidget(picLogo_);
    panels_[1]->setVisible(false);
    return;
  }
  listArea_->setCurrentWidget(lvMailList_);
  model_->Fill(state_.Index, position);
  const int count = model_->rowCount();
  panels_[1]->setText(MailBoxNode(position)->text(0) + u' ' + QString::number(count) + QStringLiteral("件"));
  lvMailList_->header()->setSortIndicator(model_->SortColumn(), model_->SortOrder());
  selectFirstRow();
  if (!columnsKept_) {
    fittingColumns_ = true;
    for (int c = 0; c < 4; ++c) lvMailList_->resizeColumnToContents(c);
    fittingColumns_ = false;
  }
}

void frmCenter::selectFirstRow() {
  if (model_->rowCount() > 0)
    lvMailList_->selectionModel()->setCurrentIndex(model_->index(0, 0),
                                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void frmCenter::BringForward() {
  if (isMinimized()) showNormal();
  show();
  raise();
  activateWindow();
  // A question or a dialog the user left open comes first.
  if (QWidget* modal = QApplication::activeModalWidget()) {
    modal->raise();
    modal->activateWindow();
  }
}

void frmCenter::SortByColumn(int column) {
  if (column < 0 || column > 3) return;
  QString& mark = marks_[static_cast<size_t>(column)];
  if (column == model_->SortColumn()) {
    mark = mark == QStringLiteral("desc") ? QStringLiteral("asc") : QStringLiteral("desc");
  } else {
    mark = QStringLiteral("asc");
  }
  const Qt::SortOrder order = mark == QStringLiteral("asc") ? Qt::AscendingOrder : Qt::DescendingOrder;
  model_->Sort(column, order);
  lvMailList_->header()->setSortIndicator(column, order);
}

void frmCenter::RegisterMessage(int nSeq, EditorWindow* oForm) {
  if (nSeq < 0) return;
  if (openEditors_.size() < nSeq + 1) openEditors_.resize(nSeq + 1);
  openEditors_[nSeq] = oForm;
  newEditors_.removeAll(oForm);
}

void frmCenter::TerminateMessage(int nSeq) {
  if (nSeq >= 0 && nSeq < openEditors_.size()) openEditors_[nSeq] = nullptr;
}

void frmCenter::RefreshMailList() { refreshRows({}); }

void frmCenter::refreshRows(const QSet<int>& gone) {
  // The index in memory is the one that counts: the file may lag behind it.
  // A few changed mails (a save, a send) change their rows only; a list of a
  // hundred thousand mails is not made again for them.
  const int position = SelectedMailBox();
  QList<std::int32_t> touched = state_.Keeper.TakeTouched();
  touched.removeIf([&gone](std::int32_t seq) { return gone.contains(seq); });
  if (position == 0) return;
  if (position == MailBoxNumber::Root || model_->MailBox() != position || touched.size() > 50) {
    fillList(position);
    return;
  }
  model_->Update(state_.Index, touched);
  updateCounts(position);
}

void frmCenter::foldWhenQuiet() {
  if (!state_.Keeper.Unfolded() && !state_.Keeper.Unsaved()) return;
  if (state_.Keeper.Sending() || QApplication::activeModalWidget() != nullptr) return;
  state_.Keeper.Fold(state_.Index);
}

void frmCenter::ShowAddressBook() {
  // One window, shared by every editor and the main window.
  if (!addressBook_) {
    addressBook_ = new frmAddress(state_, dialogs_, this, places_.get());
    addressBook_->show();
  }
  addressBook_->showNormal();
  addressBook_->raise();
  addressBook_->activateWindow();
}

EditorWindow* frmCenter::MakeNewMail() {
  auto* editor = new frmMessage(state_, dialogs_, this);
  // Not registered until it is stored, but its changes count at shut-down.
  newEditors_.append(editor);
  editor->Constructor(-1, true);
  return editor;
}

void frmCenter::OpenSelectedMail() {
  if (SelectedMailBox() <= MailBoxNumber::Root) return;
  QModelIndex current = lvMailList_->currentIndex();
  if (!current.isValid() || !lvMailList_->selectionModel()->isRowSelected(current.row(), QModelIndex())) {
    const QModelIndexList rows = lvMailList_->selectionModel()->selectedRows();
    if (rows.isEmpty()) return;
    current = rows.front();
  }
  const int n = model_->Seq(current.row());
  if (n < openEditors_.size() && openEditors_[n]) {
    EditorWindow* open = openEditors_[n];
    open->showNormal();
    open->raise();
    open->activateWindow();
    return;
  }
  auto* editor = new frmMessage(state_, dialogs_, this);
  RegisterMessage(n, editor);
  setEnabled(false);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const bool ok = editor->Constructor(n, false);
  QApplication::restoreOverrideCursor();
  setEnabled(true);
  if (!ok) {
    TerminateMessage(n);
    return;
  }
  int c = 0;
  for (const QPointer<EditorWindow>& e : openEditors_)
    if (e) ++c;
  // The size the user left an editor at; the place is the cascade's.
  places_->Restore(editor, QStringLiteral("Editor"));
  if (c <= 20) {
    const QRect screen = this->screen() != nullptr ? this->screen()->geometry() : QRect();
    editor->move(screen.left() + (c - 1) * 20, screen.top() + (c - 1) * 15);
  }
  editor->show();
}

bool frmCenter::moveMails(const QList<int>& seqs, int mailBox) {
  // Changed in place (a copy of the whole index would cost as much as the
  // store is large) and put back as it was when the change cannot be kept.
  MailIndex& index = state_.Index;
  QList<std::int32_t> changed;
  QList<int> before;
  for (int seq : seqs)
    if (seq >= 0 && seq < index.size()) {
      before.append(index[seq].MailBox);
      index[seq].MailBox = mailBox;
      changed.append(seq);
    }
  if (!state_.Keeper.Record(index, changed)) {
    for (qsizetype k = changed.size() - 1; k >= 0; --k) index[changed[k]].MailBox = before[k];
    dialogs_.Message(MoveFailedMessage(), AppState::ProgramTitle(), Dialogs::Icon::Exclamation);
    return false;
  }
  return true;
}

void frmCenter::deleteSelectedMails() {
  const int position = SelectedMailBox();
  // Mails are never removed: the trash keeps them.
  if (position <= MailBoxNumber::Root || position == MailBoxNumber::Trash) return;
  QList<int> seqs;
  for (const QModelIndex& row : lvMailList_->selectionModel()->selectedRows()) seqs.append(model_->Seq(row.row()));
  if (seqs.isEmpty()) return;
  if (!moveMails(seqs, MailBoxNumber::Trash)) {
    fillList(position);
    return;
  }
  // The deleted rows are taken out of the list; a list of a hundred thousand
  // mails is not made and sorted again for them (unless they lie scattered).
  if (!model_->Remove(seqs, 64)) {
    fillList(position);
    return;
  }
  refreshRows(QSet<int>(seqs.cbegin(), seqs.cend()));
  selectFirstRow();
}

bool frmCenter::DropMails(const QString& numbers, int position) {
  if (numbers.isEmpty() || position <= MailBoxNumber::Root || position > MailBoxNumber::Trash) return false;
  QList<int> seqs;
  for (const QString& part : numbers.split(u',')) {
    bool ok = false;
    const int seq = part.toInt(&ok);
    // Anything but the numbers of our own mails came from elsewhere.
    if (!ok || seq < 0 || seq >= state_.Index.size()) return false;
    seqs.append(seq);
  }
  if (!moveMails(seqs, position)) return false;
  SelectMailBox(position);
  tvMailBox_->setFocus();
  return true;
}

void frmCenter::selectAllMails() {
  const QModelIndex focus = lvMailList_->currentIndex().isValid() ? lvMailList_->currentIndex() : model_->index(0, 0);
  lvMailList_->selectAll();
  lvMailList_->selectionModel()->setCurrentIndex(focus, QItemSelectionModel::NoUpdate);
}

bool frmCenter::eventFilter(QObject* watched, QEvent* event) {
  if (watched == lvMailList_ && event->type() == QEvent::KeyPress && model_->rowCount() > 0) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Delete) {
      deleteSelectedMails();
      return true;
    }
    if (key->key() == Qt::Key_A && key->modifiers() == Qt::ControlModifier) {
      selectAllMails();
      return true;
    }
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      OpenSelectedMail();
      return true;
    }
  }
  if (watched == tvMailBox_->viewport()) {
    const QEvent::Type type = event->type();
    if (type == QEvent::DragEnter || type == QEvent::DragMove) {
      auto* drag = static_cast<QDragMoveEvent*>(event);
      // Only mails dragged from the list: text from another program is not ours.
      const bool ours = drag->source() == lvMailList_ && drag->mimeData()->hasText();
      QTreeWidgetItem* node = tvMailBox_->itemAt(drag->position().toPoint());
      if (ours && (type == QEvent::DragEnter || (node != nullptr && node != MailBoxNode(1)))) {
        drag->setDropAction(Qt::MoveAction);
        drag->accept();
      } else {
        drag->ignore();
      }
      return true;
    }
    if (type == QEvent::Drop) {
      auto* drop = static_cast<QDropEvent*>(event);
      QTreeWidgetItem* node = tvMailBox_->itemAt(drop->position().toPoint());
      if (drop->source() == lvMailList_ && node != nullptr && node != MailBoxNode(1)) {
        QTreeWidgetItem* root = MailBoxNode(1);
        DropMails(drop->mimeData()->text(), root->indexOfChild(node) + 2);
        drop->setDropAction(Qt::MoveAction);
        drop->accept();
      } else {
        drop->ignore();
      }
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void frmCenter::ShowOption() {
  frmOption option(state_, dialogs_, this);
  // What OK keeps is written at once: a program ended later (a closed
  // terminal, a crash) keeps the user's settings.
  if (option.exec() == QDialog::Accepted) SaveSettings(state_, ini_);
  if (QTreeWidgetItem* root = MailBoxNode(1)) root->setText(0, state_.Settings.Title);
}

void frmCenter::EditGlyphSwap() {
  QProcess process;
  process.setProgram(glyphSwapProgram_);
  // Passed as separate arguments: a path with spaces stays one argument.
  process.setArguments({state_.GlyphSwapPath, AppState::ProgramTitle()});
  process.start();
  if (!process.waitForStarted(10000)) {
    // Not silent: the menu would seem to do nothing.
    dialogs_.Message(GlyphSwapStartFailedMessage(glyphSwapProgram_), AppState::ProgramTitle(),
                     Dialogs::Icon::Exclamation);
    return;
  }
  setEnabled(false);
  if (process.state() != QProcess::NotRunning) {
    QEventLoop wait;
    connect(&process, &QProcess::finished, &wait, &QEventLoop::quit);
    wait.exec();
  }
  setEnabled(true);
  if (process.exitStatus() != QProcess::NormalExit) return;
  GlyphSwapTable table = state_.GlyphSwap;
  if (GetGlyphSwapData(state_.GlyphSwapPath, table)) state_.GlyphSwap = table;
}

QString frmCenter::GlyphSwapStartFailedMessage(const QString& program) {
  return QStringLiteral("変換ﾃｰﾌﾞﾙの編集ﾌﾟﾛｸﾞﾗﾑを起動できませんでした。") + QStringLiteral("\r\n") +
         QDir::toNativeSeparators(program);
}

QString frmCenter::BatchQuestion(bool editing) {
  QString text = QStringLiteral("メールの一括送信を行います。よろしいですか？");
  if (editing)
    text += QStringLiteral("（注）編集中のメールは送付しませんので、送りたいメールを編集している場合は、") +
            QStringLiteral("　　　下記、「いいえ」を選択し、保存もしくは閉じた後、再び、一括送信処理を行ってください");
  return text;
}

QString frmCenter::BatchErrorMessage() {
  return QStringLiteral(
      "送信エラーが、１つもしくはいくつかのメールで発生しました。送信箱に残されているメールを個別に送信してみてくださ"
      "い");
}

void frmCenter::CallBack_SendMails(int nValue, const QString& szCallBackFrom, int nOperate) {
  batchMeter_.Handle(nValue, szCallBackFrom, nOperate, MeterDriver::BatchSending(this));
}

void frmCenter::mnuSendMails_Click() {
  const auto openIn = [this](int seq) { return seq < openEditors_.size() && openEditors_[seq]; };
  int n = 0;
  bool editing = false;
  for (const MailIndexEntry& e : state_.Index) {
    if (e.MailBox != MailBoxNumber::Outbox) continue;
    if (openIn(e.Seq))
      editing = true;
    else
      ++n;
  }
  if (dialogs_.Message(BatchQuestion(editing), AppState::ProgramTitle(), Dialogs::Icon::Question,
                       Dialogs::Buttons::YesNo) != Dialogs::Answer::Yes)
    return;
  CallBack_SendMails(0, QString(), 1);
  bool error = false;
  int unrecorded = 0;
  int k = 0;
  // The mails to send, in index order.
  QList<std::int32_t> outbox;
  for (const MailIndexEntry& entry : state_.Index)
    if (entry.MailBox == MailBoxNumber::Outbox && !openIn(entry.Seq)) outbox.append(entry.Seq);
  // Sent as an editor would send them, without making one: nothing of the
  // mail is shown, and the send needs only what the mail file holds.
  SmtpDialogue smtp;
  PopBeforeSmtp pop;
  for (qsizetype i = 0; i < outbox.size(); ++i) {
    ++k;
    CallBack_SendMails(n > 0 ? k * 100 / n : 100);
    // With POP-before-SMTP every mail logs in anew, so nothing is opened ahead.
    smtp.SetNextFollows(i + 1 < outbox.size() && (state_.Settings.PopServer.isEmpty() || state_.Settings.PopPort < 0));
    const MailSender::Result result = MailSender::SendStored(smtp, pop, state_, outbox[i]);
    if (!result.Sent)
      error = true;
    else if (!result.Recorded)
      ++unrecorded;
  }
  smtp.DropPreconnected();
  if (error || unrecorded > 0) {
    QString text = error ? BatchErrorMessage() : QString();
    if (unrecorded > 0) {
      if (!text.isEmpty()) text += QStringLiteral("\r\n\r\n");
      text += BatchUnrecordedMessage(unrecorded);
    }
    dialogs_.Message(text, AppState::ProgramTitle(), Dialogs::Icon::Exclamation);
  }
  CallBack_SendMails(100, QString(), 2);
  QCoreApplication::processEvents();
  RefreshMailList();
}

void frmCenter::CloseForSignal() {
  if (closingForSignal_) return;
  closingForSignal_ = true;
  // A question box or the settings window may be open: it ends first.
  while (QWidget* modal = QApplication::activeModalWidget()) {
    modal->close();
    if (QApplication::activeModalWidget() == modal) break;
  }
  for (QList<QPointer<EditorWindow>>* list : {&openEditors_, &newEditors_})
    for (const QPointer<EditorWindow>& editor : QList<QPointer<EditorWindow>>(*list))
      if (editor && editor->DataChanged()) editor->KeepAsDraft();
  close();
}

void frmCenter::showAbout() {
  AboutWindow about(AppState::ProgramTitle(), VersionText::VersionString(), this);
  about.exec();
}

void frmCenter::closeEvent(QCloseEvent* event) {
  bool changed = false;
  for (const QPointer<EditorWindow>& editor : openEditors_)
    if (editor && editor->DataChanged()) changed = true;
  for (const QPointer<EditorWindow>& editor : newEditors_)
    if (editor && editor->DataChanged()) changed = true;
  if (changed && !closingForSignal_ &&
      dialogs_.Message(ShutDownQuestion(), AppState::ProgramTitle(), Dialogs::Icon::Information,
                       Dialogs::Buttons::YesNo) != Dialogs::Answer::Yes) {
    event->ignore();
    return;
  }
  SaveSettings(state_, ini_);
  AddressBook::WriteAddressBook(state_.ProgramFolder, state_.Addresses);
  places_->SetValue(QStringLiteral("MainWindow"), saveGeometry());
  places_->SetValue(QStringLiteral("MainWindow.Splitter"), splitter_->saveState());
  if (columnsKept_) {
    QByteArray widths;
    for (int c = 0; c < 4; ++c) widths += (c > 0 ? "," : "") + QByteArray::number(lvMailList_->columnWidth(c));
    places_->SetValue(QStringLiteral("MainWindow.Columns"), widths);
  }
  places_->Write();
  // Whatever the journal holds, and any change that could not be written
  // before, goes into MailIndex.dat now.
  state_.Keeper.Fold(state_.Index);
  // Open editors are discarded without saving.
  for (QList<QPointer<EditorWindow>>* list : {&openEditors_, &newEditors_}) {
    for (QPointer<EditorWindow>& editor : *list) {
      if (editor) editor->deleteLater();
      editor = nullptr;
    }
  }
  event->accept();
  Q_EMIT ShutDownComplete();
}
