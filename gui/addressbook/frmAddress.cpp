#include "gui/addressbook/frmAddress.h"

#include "gui/WindowPlaces.h"
#include "gui/addressbook/AddressTree.h"
#include "store/AddressBook.h"
#include "store/AppState.h"
#include "store/VCard.h"
#include "support/AtomicFile.h"
#include "support/Cp932.h"
#include "support/Dialogs.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDrag>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QUrl>
#include <QVBoxLayout>

#include <functional>

namespace {

const QString kCrLf = QStringLiteral("\r\n");

bool isKind(const QTreeWidgetItem* item, const char* kind) {
  return item != nullptr && AddressBook::NodeKind(item) == QLatin1String(kind);
}

bool isPerson(const QTreeWidgetItem* item) { return isKind(item, AddressBook::kPersonImage); }
bool isGroup(const QTreeWidgetItem* item) { return isKind(item, AddressBook::kGroupImage); }
bool isRoot(const QTreeWidgetItem* item) { return isKind(item, AddressBook::kMailboxImage); }

void forEachNode(QTreeWidgetItem* item, const std::function<void(QTreeWidgetItem*)>& visit) {
  if (item == nullptr) return;
  visit(item);
  for (int i = 0; i < item->childCount(); ++i) forEachNode(item->child(i), visit);
}

}  // namespace

// ---------------------------------------------------------------- the tree

AddressTreeWidget::AddressTreeWidget(frmAddress* window) : QTreeWidget(window), window_(window) {
  setObjectName(QStringLiteral("tvAddr"));
  setHeaderHidden(true);
  setAcceptDrops(true);
  viewport()->setAcceptDrops(true);
  setDragEnabled(false);  // drags are started here, by hand
  setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                  QAbstractItemView::SelectedClicked);
}

QString AddressTreeWidget::NodeMimeType() { return QStringLiteral("application/x-tallpost-address-node"); }

// A node of this tree, dragged: nothing from elsewhere moves a node.
QTreeWidgetItem* AddressTreeWidget::ownNode(const QMimeData* data) const {
  if (!data->hasFormat(NodeMimeType())) return nullptr;
  return window_->NodeByKey(QString::fromUtf8(data->data(NodeMimeType())));
}

void AddressTreeWidget::mousePressEvent(QMouseEvent* event) {
  window_->SetMouseDown(true);
  if (event->button() == Qt::RightButton) {
    // The pop-up acts on the selected node, which the right button leaves alone.
    window_->ShowEditMenu(event->globalPosition().toPoint());
    return;
  }
  QTreeWidgetItem* node = itemAt(event->position().toPoint());
  window_->SetDragNode(
      node != nullptr && AddressBook::NodeKind(node) != QLatin1String(AddressBook::kMailboxImage) ? node : nullptr);
  pressedAt_ = event->position().toPoint();
  QTreeWidget::mousePressEvent(event);
}

void AddressTreeWidget::mouseMoveEvent(QMouseEvent* event) {
  QTreeWidgetItem* dragged = window_->DragNode();
  if (!(event->buttons() & Qt::LeftButton) || dragged == nullptr ||
      (event->position().toPoint() - pressedAt_).manhattanLength() < QApplication::startDragDistance()) {
    QTreeWidget::mouseMoveEvent(event);
    return;
  }
  auto* data = new QMimeData;
  data->setData(NodeMimeType(), dragged->data(0, AddressBook::KeyRole).toString().toUtf8());
  auto* drag = new QDrag(this);
  drag->setMimeData(data);
  drag->setPixmap(dragged->icon(0).pixmap(16, 16));
  drag->exec(Qt::MoveAction);
}

void AddressTreeWidget::mouseReleaseEvent(QMouseEvent* event) {
  QTreeWidget::mouseReleaseEvent(event);
  window_->SetDragNode(nullptr);
  window_->ShowEmail();
  window_->SetMouseDown(false);
}

void AddressTreeWidget::dragEnterEvent(QDragEnterEvent* event) { takeDrag(event, false); }

void AddressTreeWidget::dragMoveEvent(QDragMoveEvent* event) { takeDrag(event, true); }

void AddressTreeWidget::takeDrag(QDragMoveEvent* event, bool highlight) {
  if (ownNode(event->mimeData())) {
    if (highlight) window_->SetDropHighlight(itemAt(event->position().toPoint()));
    event->setDropAction(Qt::MoveAction);
    event->accept();
  } else if (event->mimeData()->hasUrls()) {
    // Files are only ever copied in.
    event->setDropAction(Qt::CopyAction);
    event->accept();
  } else {
    event->ignore();
  }
}

void AddressTreeWidget::dragLeaveEvent(QDragLeaveEvent* event) {
  window_->SetDropHighlight(nullptr);
  QTreeWidget::dragLeaveEvent(event);
}

void AddressTreeWidget::dropEvent(QDropEvent* event) {
  const QMimeData* data = event->mimeData();
  if (QTreeWidgetItem* dragged = ownNode(data)) {
    event->setDropAction(Qt::MoveAction);
    event->accept();
    window_->MoveNode(dragged, itemAt(event->position().toPoint()));
    return;
  }
  if (data->hasUrls()) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
    QStringList paths;
    for (const QUrl& url : data->urls())
      if (url.isLocalFile()) paths.append(url.toLocalFile());
    window_->ImportDroppedFiles(paths);
    return;
  }
  event->ignore();
}

// ---------------------------------------------------------------- the window

frmAddress::frmAddress(AppState& state, Dialogs& dialogs, QWidget* mainWindow, WindowPlaces* places)
    : QMainWindow(mainWindow), state_(state), dialogs_(dialogs), mainWindow_(mainWindow), places_(places) {
  setObjectName(QStringLiteral("frmAddress"));
  setWindowFlag(Qt::Window);
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(Caption());
  resize(420, 480);

  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(2, 2, 2, 2);
  tvAddr_ = new AddressTreeWidget(this);
  layout->addWidget(tvAddr_, 1);
  picEmail_ = new QWidget(central);
  picEmail_->setObjectName(QStringLiteral("picEmail"));
  auto* emailLayout = new QVBoxLayout(picEmail_);
  emailLayout->setContentsMargins(0, 0, 0, 0);
  const QString tip = QStringLiteral("カンマ区切りで複数登録");
  lblGuide_ = new QLabel(QStringLiteral("Email"), picEmail_);
  lblGuide_->setObjectName(QStringLiteral("lblGuide1"));
  lblGuide_->setToolTip(tip);
  txtEmail_ = new QPlainTextEdit(picEmail_);
  txtEmail_->setObjectName(QStringLiteral("txtEmail"));
  txtEmail_->setToolTip(tip);
  txtEmail_->setFixedHeight(90);
  emailLayout->addWidget(lblGuide_);
  emailLayout->addWidget(txtEmail_);
  layout->addWidget(picEmail_);
  setCentralWidget(central);

  statusBar()->setObjectName(QStringLiteral("sbAddr"));
  for (size_t i = 0; i < panels_.size(); ++i) {
    panels_[i] = new QLabel(this);
    panels_[i]->setObjectName(QStringLiteral("sbAddrPanel%1").arg(i + 1));
    statusBar()->addWidget(panels_[i], i == 0 ? 1 : 0);
  }
  buildMenus();

  connect(tvAddr_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current) {
    if (!building_) SelectNode(current);
  });
  connect(tvAddr_, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item) { nameEdited(item); });
  connect(txtEmail_, &QPlainTextEdit::textChanged, this, &frmAddress::emailEdited);
  load();
}

frmAddress::~frmAddress() = default;

QString frmAddress::Caption() { return QStringLiteral("ｱﾄﾞﾚｽ帳"); }
QString frmAddress::DeleteAddressQuestion() { return QStringLiteral("アドレスを削除してよろしいですか？"); }
QString frmAddress::DeleteGroupQuestion() { return QStringLiteral("グループを削除してよろしいですか？"); }
QString frmAddress::GroupNotEmptyMessage() {
  return QStringLiteral("グループ内にアドレス及びグループが存在する場合、グループの削除はできません。");
}
QString frmAddress::CannotMoveMessage() { return QStringLiteral("この操作はできません"); }
QString frmAddress::DiscardQuestion() { return QStringLiteral("変更を破棄して、終了してよろしいですか？"); }
QString frmAddress::NewAddressText() { return QStringLiteral("新規アドレス"); }
QString frmAddress::NewGroupText() { return QStringLiteral("新規グループ"); }

QString frmAddress::OutlookExplanation() {
  const QStringList lines = {
      QStringLiteral("OUTLOOK EXPRESSからのｱﾄﾞﾚｽのｲﾝﾎﾟｰﾄの説明"),
      QString(),
      QStringLiteral("１. OUTLOOK EXPRESSのｱﾄﾞﾚｽ帳を開きます。"),
      QStringLiteral("２. ｲﾝﾎﾟｰﾄを行うｱﾄﾞﾚｽを選択してﾃﾞｽｸﾄｯﾌﾟにﾄﾞﾛｯﾌﾟしてください。"),
      QStringLiteral("　　（複数ﾌｧｲﾙを選択すれば一度に多数ｱﾄﾞﾚｽをｲﾝﾎﾟｰﾄできます）"),
      QStringLiteral("３. vcf形式でﾌｧｲﾙが作成されていることを確認してください。"),
      QStringLiteral("４．そのvcfﾌｧｲﾙを今度は、本ｱﾌﾟﾘのｱﾄﾞﾚｽ帳の画面にﾄﾞﾛｯﾌﾟしてください。"),
      QStringLiteral("　　（複数ﾌｧｲﾙの一括登録も可能です）"),
      QStringLiteral("５．ｲﾝﾎﾟｰﾄが確認できた場合は、vcfﾌｧｲﾙは削除して構いません。"),
  };
  QString text;
  for (const QString& line : lines) text += line + kCrLf;
  return text;
}

void frmAddress::buildMenus() {
  const auto item = [](QMenu* menu, const char* name, const QString& caption) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(QString::fromLatin1(name));
    return action;
  };
  const auto separator = [](QMenu* menu, const char* name) {
    menu->addSeparator()->setObjectName(QString::fromLatin1(name));
  };
  QMenu* file = menuBar()->addMenu(QStringLiteral("ﾌｧｲﾙ(&F)"));
  file->setObjectName(QStringLiteral("mnuFile"));
  QMenu* import = file->addMenu(QStringLiteral("ｲﾝﾎﾟｰﾄ(&I)"));
  import->setObjectName(QStringLiteral("mnuImport"));
  connect(item(import, "mnuImpOeAddr", QStringLiteral("Outlookからのｲﾝﾎﾟｰﾄ(&O)...")), &QAction::triggered, this,
          [this] { dialogs_.Message(OutlookExplanation(), AppState::ProgramTitle(), Dialogs::Icon::Information); });
  connect(item(import, "mnuImpVCard", QStringLiteral("vCardﾌｧｲﾙ(&V)...")), &QAction::triggered, this,
          &frmAddress::ImportVCardFiles);
  connect(item(file, "mnuExport", QStringLiteral("ｴｸｽﾎﾟｰﾄ(&E)...")), &QAction::triggered, this,
          &frmAddress::ExportVCard);
  separator(file, "xSeparator5");
  connect(item(file, "mnuSaveExit", QStringLiteral("保存して終了(&S)")), &QAction::triggered, this,
          &frmAddress::SaveAndExit);
  separator(file, "xSeparator1");
  connect(item(file, "mnuQuit", QStringLiteral("変更を破棄して終了(&P)")), &QAction::triggered, this, &QWidget::close);

  mnuEdit_ = menuBar()->addMenu(QStringLiteral("編集(&E)"));
  mnuEdit_->setObjectName(QStringLiteral("mnuEdit"));
  connect(item(mnuEdit_, "mnuChangeName", QStringLiteral("名称変更(&N)")), &QAction::triggered, this,
          &frmAddress::changeName);
  separator(mnuEdit_, "xSeparator2");
  connect(item(mnuEdit_, "mnuAddAddr", QStringLiteral("ｱﾄﾞﾚｽ追加(&A)")), &QAction::triggered, this,
          &frmAddress::addAddress);
  connect(item(mnuEdit_, "mnuDelAddr", QStringLiteral("ｱﾄﾞﾚｽ削除(&D)")), &QAction::triggered, this,
          &frmAddress::deleteAddress);
  separator(mnuEdit_, "xSeparator0");
  connect(item(mnuEdit_, "mnuAddGroup", QStringLiteral("ｸﾞﾙｰﾌﾟ追加(&G)")), &QAction::triggered, this,
          &frmAddress::addGroup);
  connect(item(mnuEdit_, "mnuDelGroup", QStringLiteral("ｸﾞﾙｰﾌﾟ削除(&E)")), &QAction::triggered, this,
          &frmAddress::deleteGroup);
}

QAction* frmAddress::FindAction(const QString& objectName) const { return findChild<QAction*>(objectName); }

void frmAddress::ShowEditMenu(const QPoint& globalPos) { mnuEdit_->popup(globalPos); }

void frmAddress::load() {
  building_ = true;
  txtEmail_->clear();
  for (QLabel* panel : panels_) panel->clear();
  AddressBook::BuildTree(tvAddr_, state_.Addresses);
  const QStyle* s = style();
  forEachNode(Root(), [&](QTreeWidgetItem* node) {
    if (isRoot(node)) {
      node->setIcon(0, s->standardIcon(QStyle::SP_DriveHDIcon));
      node->setFlags(node->flags() & ~Qt::ItemIsEditable);
    } else {
      node->setIcon(0, s->standardIcon(isPerson(node) ? QStyle::SP_FileIcon : QStyle::SP_DirIcon));
      node->setFlags(node->flags() | Qt::ItemIsEditable);
    }
  });
  building_ = false;
  SetDropHighlight(Root());
  ShowEmail();
  updatePersonCount();
  // Where the user left it, else centred over the main window.
  const bool kept = places_ != nullptr && places_->Restore(this, QStringLiteral("AddressBook"));
  if (!kept && mainWindow_) {
    const QRect main = mainWindow_->frameGeometry();
    move(main.left() + (main.width() - frameGeometry().width()) / 2,
         main.top() + (main.height() - frameGeometry().height()) / 2);
  }
  dirty_ = false;
}

QTreeWidgetItem* frmAddress::Root() const {
  return tvAddr_->topLevelItemCount() > 0 ? tvAddr_->topLevelItem(0) : nullptr;
}

QTreeWidgetItem* frmAddress::NodeByKey(const QString& key) const {
  QTreeWidgetItem* found = nullptr;
  forEachNode(Root(), [&](QTreeWidgetItem* node) {
    if (found == nullptr && node->data(0, AddressBook::KeyRole).toString() == key) found = node;
  });
  return found;
}

int frmAddress::NodeCount() const {
  int n = 0;
  forEachNode(Root(), [&](QTreeWidgetItem*) { ++n; });
  return n;
}

// ":" and the node count plus one; the next free number when that one is
// taken (after deletions, or by a key read from the file).
QString frmAddress::newKey() const {
  for (int k = NodeCount() + 1;; ++k) {
    const QString key = QStringLiteral(":") + QString::number(k);
    if (NodeByKey(key) == nullptr) return key;
  }
}

void frmAddress::updatePersonCount() {
  int persons = 0;
  forEachNode(Root(), [&](QTreeWidgetItem* node) {
    if (isPerson(node)) ++persons;
  });
  panels_[1]->setText(QStringLiteral("全 ") + QString::number(persons) + QStringLiteral("件"));
}

void frmAddress::SetDropHighlight(QTreeWidgetItem* node) {
  if (highlight_ == node) return;
  // Drawn as the platform draws a drop target: the node's background (no
  // change of the node's own, for all the tree's signal says).
  const bool wasBuilding = std::exchange(building_, true);
  if (highlight_ != nullptr) highlight_->setBackground(0, QBrush());
  highlight_ = node;
  if (highlight_ != nullptr) highlight_->setBackground(0, palette().brush(QPalette::Highlight).color().lighter(170));
  building_ = wasBuilding;
}

void frmAddress::SelectNode(QTreeWidgetItem* node) {
  if (node != tvAddr_->currentItem()) {
    // As the tree's own click does: the selection follows, then the rest.
    const QSignalBlocker quiet(tvAddr_);
    tvAddr_->setCurrentItem(node);
  }
  panels_[0]->setText(node != nullptr ? node->text(0) : QString());
  SetDropHighlight(node);
  if (!mouseIsDown_) ShowEmail();
}

void frmAddress::ShowEmail() {
  QTreeWidgetItem* node = tvAddr_->currentItem();
  loadingEmail_ = true;
  txtEmail_->clear();
  const bool person = isPerson(node);
  lblGuide_->setEnabled(person);
  txtEmail_->setEnabled(person);
  if (person) {
    // Only commas part addresses: line breaks typed go now.
    QString tag = node->data(0, AddressBook::AddressesRole).toString();
    tag.remove(u'\r');
    tag.remove(u'\n');
    const bool wasBuilding = std::exchange(building_, true);
    node->setData(0, AddressBook::AddressesRole, tag);
    building_ = wasBuilding;
    txtEmail_->setPlainText(tag.replace(u',', QStringLiteral(",\n")));
  }
  loadingEmail_ = false;
}

void frmAddress::emailEdited() {
  if (loadingEmail_) return;
  QTreeWidgetItem* node = tvAddr_->currentItem();
  if (!isPerson(node)) return;
  const bool wasBuilding = std::exchange(building_, true);
  node->setData(0, AddressBook::AddressesRole, txtEmail_->toPlainText());
  building_ = wasBuilding;
  dirty_ = true;
}

void frmAddress::nameEdited(QTreeWidgetItem* item) {
  if (building_ || item == nullptr) return;
  dirty_ = true;
  if (item == tvAddr_->currentItem()) panels_[0]->setText(item->text(0));
}

QTreeWidgetItem* frmAddress::addPerson(const QString& name, const QStringList& addresses) {
  building_ = true;
  QTreeWidgetItem* node = AddressBook::AddNode(tvAddr_, Root(), newKey(), name,
                                               QLatin1String(AddressBook::kPersonImage), addresses.join(u','));
  node->setIcon(0, style()->standardIcon(QStyle::SP_FileIcon));
  node->setFlags(node->flags() | Qt::ItemIsEditable);
  building_ = false;
  return node;
}

void frmAddress::addAddress() {
  dirty_ = true;
  QTreeWidgetItem* selected = tvAddr_->currentItem();
  building_ = true;
  QTreeWidgetItem* parent = isGroup(selected) ? selected : Root();
  QTreeWidgetItem* node =
      AddressBook::AddNode(tvAddr_, parent, newKey(), NewAddressText(), QLatin1String(AddressBook::kPersonImage));
  node->setIcon(0, style()->standardIcon(QStyle::SP_FileIcon));
  node->setFlags(node->flags() | Qt::ItemIsEditable);
  building_ = false;
  updatePersonCount();
}

void frmAddress::addGroup() {
  QTreeWidgetItem* selected = tvAddr_->currentItem();
  QTreeWidgetItem* parent = Root();
  if (isGroup(selected)) parent = selected;
  if (isPerson(selected) && selected->parent() != nullptr) parent = selected->parent();
  building_ = true;
  QTreeWidgetItem* node =
      AddressBook::AddNode(tvAddr_, parent, newKey(), NewGroupText(), QLatin1String(AddressBook::kGroupImage));
  node->setIcon(0, style()->standardIcon(QStyle::SP_DirIcon));
  node->setFlags(node->flags() | Qt::ItemIsEditable);
  node->setExpanded(true);
  building_ = false;
  dirty_ = true;
}

void frmAddress::changeName() {
  QTreeWidgetItem* node = tvAddr_->currentItem();
  // The root's label is never edited.
  if (node == nullptr || isRoot(node)) return;
  tvAddr_->editItem(node, 0);
}

void frmAddress::deleteAddress() {
  QTreeWidgetItem* node = tvAddr_->currentItem();
  if (!isPerson(node)) return;
  removeAfterAsking(node, DeleteAddressQuestion());
}

void frmAddress::deleteGroup() {
  QTreeWidgetItem* node = tvAddr_->currentItem();
  if (!isGroup(node)) return;
  if (node->childCount() > 0) {
    dialogs_.Message(GroupNotEmptyMessage(), AppState::ProgramTitle(), Dialogs::Icon::Information);
    return;
  }
  removeAfterAsking(node, DeleteGroupQuestion());
}

void frmAddress::removeAfterAsking(QTreeWidgetItem* node, const QString& question) {
  if (dialogs_.Message(question, AppState::ProgramTitle(), Dialogs::Icon::Question, Dialogs::Buttons::YesNo) !=
      Dialogs::Answer::Yes)
    return;
  if (highlight_ == node) highlight_ = nullptr;
  delete node;
  dirty_ = true;
  updatePersonCount();
  ShowEmail();
}

void frmAddress::MoveNode(QTreeWidgetItem* dragged, QTreeWidgetItem* target) {
  const auto done = [this] {
    SetDropHighlight(nullptr);
    dragNode_ = nullptr;
  };
  if (dragged == nullptr || isRoot(dragged) || target == nullptr) {
    done();
    return;
  }
  if (target == dragged) return;
  QTreeWidgetItem* parent = isRoot(target) ? target : isPerson(target) ? target->parent() : target;
  bool underItself = false;
  for (QTreeWidgetItem* p = parent; p != nullptr; p = p->parent())
    if (p == dragged) underItself = true;
  if (underItself || parent == nullptr) {
    dialogs_.Message(CannotMoveMessage(), AppState::ProgramTitle(), Dialogs::Icon::Exclamation);
  } else {
    const bool wasCurrent = tvAddr_->currentItem() == dragged;
    building_ = true;
    dragged->parent()->removeChild(dragged);
    parent->addChild(dragged);
    building_ = false;
    if (wasCurrent) SelectNode(dragged);
  }
  done();
  dirty_ = true;
}

QStringList frmAddress::categoriesOf(const QTreeWidgetItem* node) const {
  QStringList groups;
  for (const QTreeWidgetItem* p = node->parent(); p != nullptr && !isRoot(p); p = p->parent())
    groups.prepend(p->text(0));
  return groups;
}

void frmAddress::ImportDroppedFiles(const QStringList& paths) {
  if (paths.isEmpty()) return;
  QStringList skipped;
  for (const QString& path : paths) {
    QFile file(path);
    if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly)) {
      skipped << QFileInfo(path).fileName();
      continue;
    }
    const VCard::Person person = VCard::ReadDropped(file.readAll());
    addPerson(person.Name, person.Addresses);
  }
  updatePersonCount();
  dirty_ = true;
  if (!skipped.isEmpty())
    dialogs_.Message(
        QStringLiteral("次のファイルは読めないため、取り込みませんでした。") + kCrLf + kCrLf + skipped.join(kCrLf),
        AppState::ProgramTitle(), Dialogs::Icon::Exclamation);
}

void frmAddress::ImportVCardFiles() {
  const QStringList paths = dialogs_.OpenFiles(QStringLiteral("vCardﾌｧｲﾙのｲﾝﾎﾟｰﾄ"),
                                               QStringLiteral("vCard (*.vcf *.vcard);;すべてのファイル (*)"));
  if (paths.isEmpty()) return;
  QStringList skipped;
  int imported = 0;
  for (const QString& path : paths) {
    QFile file(path);
    const QList<VCard::Person> people =
        file.open(QIODevice::ReadOnly) ? VCard::ReadCards(file.readAll()) : QList<VCard::Person>();
    if (people.isEmpty()) skipped << QFileInfo(path).fileName();
    for (const VCard::Person& person : people) {
      addPerson(person.Name, person.Addresses);
      ++imported;
    }
  }
  updatePersonCount();
  if (imported > 0) dirty_ = true;
  if (!skipped.isEmpty())
    dialogs_.Message(
        QStringLiteral("次のファイルからは vCard を読めませんでした。") + kCrLf + kCrLf + skipped.join(kCrLf),
        AppState::ProgramTitle(), Dialogs::Icon::Exclamation);
}

void frmAddress::ExportVCard() {
  const std::optional<QString> path = dialogs_.SaveFile(QStringLiteral("vCardﾌｧｲﾙへのｴｸｽﾎﾟｰﾄ"),
                                                        QStringLiteral("vCard (*.vcf)"), QStringLiteral("address.vcf"));
  if (!path) return;
  QList<VCard::Person> people;
  const QList<AddressEntry> entries = AddressBook::ListFromTree(tvAddr_);
  for (const AddressEntry& e : entries) {
    if (!e.IsPerson) continue;
    QStringList addresses;
    for (const QString& a : QString(e.Addresses).remove(u'\r').remove(u'\n').split(u','))
      if (!a.trimmed().isEmpty()) addresses << a.trimmed();
    people.append({e.DisplayName, addresses, categoriesOf(NodeByKey(e.EntryKey))});
  }
  if (!AtomicFile::Write(*path, VCard::WriteCards(people), AtomicFile::Existing::MayCreate, 0600))
    dialogs_.Message(QStringLiteral("vCardﾌｧｲﾙを書き出せませんでした。") + kCrLf + *path, AppState::ProgramTitle(),
                     Dialogs::Icon::Exclamation);
}

void frmAddress::SaveAndExit() {
  const QList<AddressEntry> entries = AddressBook::ListFromTree(tvAddr_);
  // The file keeps 128 bytes an entry: what does not fit would be lost at
  // the end of the run, so it is named now and nothing is saved.
  QStringList tooLong;
  for (const AddressEntry& e : entries)
    if (!AddressBook::Fits(e)) tooLong << (e.DisplayName.isEmpty() ? e.Addresses : e.DisplayName);
  if (!tooLong.isEmpty()) {
    dialogs_.Message(QStringLiteral("次の項目は、名前とアドレスが長すぎるため保存できません") +
                         QStringLiteral("（合わせて全角59文字・半角118文字まで）。") + kCrLf + kCrLf +
                         tooLong.join(kCrLf),
                     AppState::ProgramTitle(), Dialogs::Icon::Exclamation);
    return;
  }
  state_.Addresses.Replace(entries);
  dirty_ = false;
  saved_ = true;
  close();
}

void frmAddress::closeEvent(QCloseEvent* event) {
  if (dirty_ && !saved_ &&
      dialogs_.Message(DiscardQuestion(), AppState::ProgramTitle(), Dialogs::Icon::Question, Dialogs::Buttons::YesNo) !=
          Dialogs::Answer::Yes) {
    event->ignore();
    return;
  }
  if (places_ != nullptr && isVisible()) places_->Keep(this, QStringLiteral("AddressBook"));
  event->accept();
}
