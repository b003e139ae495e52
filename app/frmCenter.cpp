#include "app/frmCenter.h"

#include "app/AddressBook.h"
#include "app/ApiIniFileAccess.h"
#include "app/AppSettings.h"
#include "app/AppState.h"
#include "support/AboutWindow.h"
#include "support/Dialogs.h"
#include "support/VersionText.h"

#include <QCloseEvent>
#include <QDir>
#include <QHeaderView>
#include <QMenuBar>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QTreeWidget>

namespace {
const QString kCrLf = QStringLiteral("\r\n");
}

frmCenter::frmCenter(AppState& state, ApiIniFileAccess& ini, Dialogs& dialogs, QWidget* parent)
    : QMainWindow(parent), state_(state), ini_(ini), dialogs_(dialogs) {
  setObjectName(QStringLiteral("frmCenter"));
  setWindowTitle(AppState::ProgramTitle());
  resize(760, 480);

  auto* splitter = new QSplitter(this);
  tvMailBox_ = new QTreeWidget(splitter);
  tvMailBox_->setObjectName(QStringLiteral("tvMailBox"));
  tvMailBox_->setHeaderHidden(true);
  lvMailList_ = new QTreeWidget(splitter);
  lvMailList_->setObjectName(QStringLiteral("lvMailList"));
  lvMailList_->setRootIsDecorated(false);
  lvMailList_->setHeaderLabels({QString(), QStringLiteral("作成日時"), QStringLiteral("宛先"),
                                QStringLiteral("件名")});
  splitter->setStretchFactor(0, 0);
  splitter->setStretchFactor(1, 1);
  splitter->setSizes({180, 580});
  setCentralWidget(splitter);

  auto* bar = new QStatusBar(this);
  bar->setObjectName(QStringLiteral("sbGuide"));
  setStatusBar(bar);

  buildMenus();
}

frmCenter::~frmCenter() = default;

QString frmCenter::FirstRunMessage() {
  return QStringLiteral("初期化情報が不足しています。次の画面で情報の入力を行ってください。");
}

QString frmCenter::ShutDownQuestion() {
  return QStringLiteral("終了してよろしいですか？") + kCrLf + kCrLf +
         QStringLiteral("編集中のメール・アドレス帳があります。") + kCrLf +
         QStringLiteral("このまま終了すると、それらは全て破棄されます。");
}

void frmCenter::buildMenus() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("ﾌｧｲﾙ(&F)"));
  file->setObjectName(QStringLiteral("mnuFile"));
  QAction* exit = file->addAction(QStringLiteral("終了(&X)"));
  exit->setObjectName(QStringLiteral("mnuExit"));
  connect(exit, &QAction::triggered, this, &QWidget::close);

  QMenu* help = menuBar()->addMenu(QStringLiteral("ﾍﾙﾌﾟ(&H)"));
  help->setObjectName(QStringLiteral("mnuHelp"));
  QAction* version = help->addAction(QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報(&A)..."));
  version->setObjectName(QStringLiteral("mnuVersion"));
  connect(version, &QAction::triggered, this, &frmCenter::showAbout);
}

void frmCenter::buildTree() {
  tvMailBox_->clear();
  auto* root = new QTreeWidgetItem(tvMailBox_, {state_.Settings.Title});
  for (qsizetype i = 1; i < state_.MailBoxTable.size(); ++i)
    new QTreeWidgetItem(root, {state_.MailBoxTable[i].Name});
  root->setExpanded(true);
  tvMailBox_->setCurrentItem(root->child(MailBoxNumber::Outbox - 2));
}

void frmCenter::Load() {
  QDir().mkpath(state_.FilePath(QStringLiteral("MailBox")));
  state_.Store().ReadMailIndex(state_.Index);
  buildTree();
  if (QScreen* screen = this->screen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - rect().center());
  }
  show();
  if (FirstRunCheckNeeded(state_.Settings))
    dialogs_.Message(FirstRunMessage(), AppState::ProgramTitle(), Dialogs::Icon::Information);
}

void frmCenter::RegisterMessage(int nSeq, EditorWindow* oForm) {
  if (nSeq < 0) return;
  if (openEditors_.size() < nSeq + 1) openEditors_.resize(nSeq + 1);
  openEditors_[nSeq] = oForm;
}

void frmCenter::TerminateMessage(int nSeq) {
  if (nSeq >= 0 && nSeq < openEditors_.size()) openEditors_[nSeq] = nullptr;
}

void frmCenter::RefreshMailList() {}

void frmCenter::ShowAddressBook() {}

void frmCenter::showAbout() {
  AboutWindow about(AppState::ProgramTitle(), VersionText::VersionString(), this);
  about.exec();
}

void frmCenter::closeEvent(QCloseEvent* event) {
  bool changed = false;
  for (const QPointer<EditorWindow>& editor : openEditors_)
    if (editor && editor->DataChanged()) changed = true;
  if (changed && dialogs_.Message(ShutDownQuestion(), AppState::ProgramTitle(),
                                  Dialogs::Icon::Information,
                                  Dialogs::Buttons::YesNo) != Dialogs::Answer::Yes) {
    event->ignore();
    return;
  }
  SaveSettings(state_, ini_);
  AddressBook::WriteAddressBook(state_.ProgramFolder, state_.Addresses);
  // Open editors are discarded without saving.
  for (QPointer<EditorWindow>& editor : openEditors_) {
    if (editor) editor->deleteLater();
    editor = nullptr;
  }
  event->accept();
  Q_EMIT ShutDownComplete();
}
