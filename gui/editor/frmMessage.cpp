#include "gui/editor/frmMessage.h"

#include "gui/WindowPlaces.h"
#include "gui/editor/AddressPicker.h"
#include "gui/editor/FancyMode.h"
#include "gui/settings/SeparatorList.h"
#include "mail/Base64.h"
#include "mail/MailSender.h"
#include "mail/OutgoingMail.h"
#include "mail/PopBeforeSmtp.h"
#include "mail/SmtpDialogue.h"
#include "mail/TextCheck.h"
#include "mail/clsMakeMail.h"
#include "store/AppSettings.h"
#include "store/AppState.h"
#include "support/Dialogs.h"
#include "support/NumericText.h"
#include "support/TextForm.h"
#include "vertical/MyTategakiEngine.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTextDocument>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <QWidgetAction>

#include <optional>

namespace {

const QString kCrLf = QStringLiteral("\r\n");
constexpr int kSettingTab = 2;
constexpr int kFileTab = 3;
constexpr int kKeyRole = Qt::UserRole;
constexpr int kTagRole = Qt::UserRole + 1;
constexpr int kGuideTextLabel = 11;

// The text of a body as the mail keeps it: lines joined by CR LF (the line
// breaks of Shift+Enter and of pasted text too), plain spaces.
QString BodyText(const QPlainTextEdit* edit) { return TextForm::BodyText(edit->document()->toRawText()); }

// The vertical text must be shown in a font in which a full-width character
// is exactly two half-width ones wide, or its columns will not line up.
QFont VerticalFont() {
  QFont font;
  font.setFamilies({QStringLiteral("ＭＳ ゴシック"), QStringLiteral("IPAGothic"), QStringLiteral("IPAゴシック")});
  font.setStyleHint(QFont::Monospace);
  font.setFixedPitch(true);
  // An even pixel size, so that a full-width character is exactly two
  // half-width ones wide and not a pixel off after rounding.
  font.setPixelSize(16);
  return font;
}

using MailSender::VerticalTextBlank;

}  // namespace

frmMessage::frmMessage(AppState& state, Dialogs& dialogs, EditorHost* host, QWidget* parent)
    : EditorWindow(parent),
      state_(state),
      dialogs_(dialogs),
      host_(host),
      engine_(std::make_unique<MyTategakiEngine>()),
      meter_(state.Settings, dialogs) {
  silent_ = std::make_unique<NoDialogs>();
  setObjectName(QStringLiteral("frmMessage"));
  setWindowFlag(Qt::Window);
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(NewMailCaption());
  resize(640, 560);
  smtp_ = new SmtpDialogue(this);
  pop_ = new PopBeforeSmtp(this);
  // The window takes no input while the server is being talked to (a hidden
  // one takes none anyway).
  connect(smtp_, &SmtpDialogue::Greeted, this, [this] {
    if (isVisible()) setEnabled(false);
  });
  connect(smtp_, &SmtpDialogue::Progress, this, [this](int value) {
    if (!quiet_) CallBack_SendMail(value);
  });
  buildControls();
}

frmMessage::~frmMessage() = default;

QString frmMessage::ReadFailedMessage() { return QStringLiteral("このメールの読み込みに失敗しました。"); }
QString frmMessage::CloseQuestion() { return QStringLiteral("変更は保存されません。画面を閉じてよろしいですか？"); }
QString frmMessage::AttachFailedMessage(const QString& name, const QString& path) {
  return QStringLiteral("添付処理に失敗しました。") + kCrLf + QStringLiteral("ﾌｧｲﾙが空か、使用中の可能性があります") +
         kCrLf + kCrLf + QStringLiteral("FILENAME: ") + name + kCrLf + QStringLiteral("FILEPATH: ") + path + kCrLf;
}
QString frmMessage::AttachHelpMessage() {
  return QStringLiteral("ﾌｧｲﾙ添付の方法") + kCrLf + kCrLf +
         QStringLiteral("ﾏｳｽを使って本文の入力欄にﾄﾞﾗｯｸﾞしてください。") + kCrLf +
         QStringLiteral("ﾌｧｲﾙ削除は添付ﾌｧｲﾙ一覧でDELｷｰにより実行できます。");
}
QString frmMessage::StoreFailedMessage() {
  return QStringLiteral("メールの保存に失敗しました。") + kCrLf +
         QStringLiteral("ディスクの空きと MailBox フォルダへの書き込みを確かめてください。");
}
QString frmMessage::NewMailCaption() { return QStringLiteral("メッセージの作成"); }

QLabel* frmMessage::GuideLabel(int i) const { return i >= 0 && i < lblGuide_.size() ? lblGuide_[i] : nullptr; }

QAction* frmMessage::FindAction(const QString& objectName) const { return findChild<QAction*>(objectName); }

// ---------------------------------------------------------------- controls

void frmMessage::buildControls() {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 0, 4, 0);
  buildMenus(layout);

  lblGuide_.resize(kGuideTextLabel + 1, nullptr);
  auto* header = new QGridLayout;
  header_ = header;
  const QStringList captions{QStringLiteral("&TO :"), QStringLiteral("&CC :"), QStringLiteral("&BCC :"),
                             QStringLiteral("件名 :(&S)")};
  for (int i = 0; i < 4; ++i) {
    auto* label = new QLabel(captions[i], this);
    label->setObjectName(QStringLiteral("lblGuide_%1").arg(i));
    auto* field = new QLineEdit(this);
    field->setObjectName(QStringLiteral("txtUpper_%1").arg(i));
    label->setBuddy(field);
    if (i < 3) {
      field->setToolTip(QStringLiteral("SHIFT+右ｸﾘｯｸでｱﾄﾞﾚｽ選択"));
      label->setCursor(Qt::PointingHandCursor);
      label->installEventFilter(this);
    }
    field->installEventFilter(this);
    connect(field, &QLineEdit::textChanged, this, [this, i] {
      setChanged();
      if (i == 3 && !constructing_) SetMeCaption();
    });
    header->addWidget(label, i, 0);
    header->addWidget(field, i, 1);
    lblGuide_[i] = label;
    txtUpper_[i] = field;
  }
  chkTOEMailSelf_ = new QCheckBox(QStringLiteral("送信者に1通送る"), this);
  chkTOEMailSelf_->setObjectName(QStringLiteral("chkTOEMailSelf"));
  chkTOEMailSelf_->hide();
  header->addWidget(chkTOEMailSelf_, 1, 1);
  layout->addLayout(header);

  sstBody_ = new QTabWidget(this);
  sstBody_->setObjectName(QStringLiteral("sstBody"));
  layout->addWidget(sstBody_, 1);

  // Tab 0: the body the user types, with the guide panel over it.
  auto* page0 = new QWidget;
  auto* page0Layout = new QVBoxLayout(page0);
  page0Layout->setContentsMargins(0, 0, 0, 0);
  for (int i = 0; i < 2; ++i) {
    auto* body = new QPlainTextEdit;
    body->setObjectName(QStringLiteral("txtBody_%1").arg(i));
    body->setAcceptDrops(true);
    body->viewport()->setAcceptDrops(true);
    body->viewport()->installEventFilter(this);
    body->installEventFilter(this);
    connect(body, &QPlainTextEdit::textChanged, this, &frmMessage::setChanged);
    txtBody_[i] = body;
  }
  page0Layout->addWidget(txtBody_[0]);
  picGuide0_ = new QFrame(page0);
  picGuide0_->setObjectName(QStringLiteral("picGuide0"));
  picGuide0_->setFrameShape(QFrame::StyledPanel);
  picGuide0_->setAutoFillBackground(true);
  auto* guideLayout = new QHBoxLayout(picGuide0_);
  auto* picGuide1 = new QLabel(picGuide0_);
  picGuide1->setObjectName(QStringLiteral("picGuide1"));
  auto* guideText = new QLabel(QStringLiteral("縦書出力は、こちらの「縦に書きます」を押しください"), picGuide0_);
  guideText->setObjectName(QStringLiteral("lblGuide_11"));
  guideText->setWordWrap(true);
  lblGuide_[kGuideTextLabel] = guideText;
  guideLayout->addWidget(picGuide1);
  guideLayout->addWidget(guideText, 1);
  picGuide0_->hide();
  page0->installEventFilter(this);
  sstBody_->addTab(page0, QStringLiteral("横書き(入力）"));

  // Tab 1: the vertical text, unwrapped, in the fixed-width font.
  txtBody_[1]->setLineWrapMode(QPlainTextEdit::NoWrap);
  txtBody_[1]->setFont(VerticalFont());
  txtBody_[0]->setFont(VerticalFont());
  sstBody_->addTab(txtBody_[1], QStringLiteral("縦書き(出力）"));

  // Tab 2: this mail's layout.
  fraSetting_ = new QWidget;
  fraSetting_->setObjectName(QStringLiteral("fraSetting"));
  auto* grid = new QGridLayout(fraSetting_);
  const QStringList fieldCaptions{QStringLiteral("行/頁(&G)"), QStringLiteral("文字/行(&M)"),
                                  QStringLiteral("行間(&L)")};
  std::array<QLineEdit**, 3> fields{&txtPageLines_, &txtLineChars_, &txtLineSpace_};
  const std::array<const char*, 3> names{"txtPageLines", "txtLineChars", "txtLineSpace"};
  for (int i = 0; i < 3; ++i) {
    auto* label = new QLabel(fieldCaptions[i], fraSetting_);
    label->setObjectName(QStringLiteral("lblGuide_%1").arg(4 + i));
    auto* field = new QLineEdit(fraSetting_);
    field->setObjectName(QString::fromLatin1(names[i]));
    field->setProperty("Tag", kSettingTab);
    field->setMaximumWidth(80);
    field->installEventFilter(this);
    label->setBuddy(field);
    connect(field, &QLineEdit::textChanged, this, [this] {
      refreshPanels();
      setChanged();
    });
    grid->addWidget(label, i, 0);
    grid->addWidget(field, i, 1);
    lblGuide_[4 + i] = label;
    *fields[i] = field;
  }
  txtLineSpace_->setProperty("NumericBits", 16);
  auto* separatorLabel =
      new QLabel(QStringLiteral("区切線(&S) (追加・削除・修正は右クリックより行ってください)"), fraSetting_);
  separatorLabel->setObjectName(QStringLiteral("lblGuide_7"));
  lblGuide_[7] = separatorLabel;
  lstSeparator_ = new QListWidget(fraSetting_);
  lstSeparator_->setObjectName(QStringLiteral("lstSeparator"));
  lstSeparator_->setProperty("Tag", kSettingTab);
  lstSeparator_->setToolTip(QStringLiteral("先頭のチェックボックスで指定してください"));
  separatorLabel->setBuddy(lstSeparator_);
  separatorHandler_ = new Separators::ListHandler(lstSeparator_, ui());
  connect(separatorHandler_, &Separators::ListHandler::Edited, this, &frmMessage::setChanged);
  grid->addWidget(separatorLabel, 3, 0, 1, 2);
  grid->addWidget(lstSeparator_, 4, 0, 1, 3);
  grid->setColumnStretch(2, 1);
  grid->setRowStretch(4, 1);
  sstBody_->addTab(fraSetting_, QStringLiteral("縦書設定"));

  // Tab 3: the attachments.
  lvFile_ = new QTreeWidget;
  lvFile_->setObjectName(QStringLiteral("lvFile"));
  lvFile_->setRootIsDecorated(false);
  lvFile_->setHeaderLabels({QStringLiteral("ﾌｧｲﾙ名"), QString()});
  lvFile_->setAcceptDrops(true);
  lvFile_->viewport()->setAcceptDrops(true);
  lvFile_->viewport()->installEventFilter(this);
  lvFile_->installEventFilter(this);
  lvFile_->header()->setSectionsClickable(true);
  connect(lvFile_->header(), &QHeaderView::sectionClicked, this, &frmMessage::sortFiles);
  sstBody_->addTab(lvFile_, QStringLiteral("添付ﾌｧｲﾙ"));
  connect(sstBody_, &QTabWidget::currentChanged, this, &frmMessage::showTab);

  sbMessage_ = new QStatusBar(this);
  sbMessage_->setObjectName(QStringLiteral("sbMessage"));
  sbMessage_->setSizeGripEnabled(false);
  for (int n = 1; n <= 6; ++n) {
    auto* panel = new QLabel(sbMessage_);
    panel->setObjectName(QStringLiteral("sbMessagePanel%1").arg(n));
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Sunken);
    if (n == 1 || n == 6) {
      panel->setCursor(Qt::PointingHandCursor);
      panel->installEventFilter(this);
    }
    sbMessage_->addWidget(panel, n == 2 ? 1 : 0);
    panels_[n - 1] = panel;
  }
  panels_[0]->setText(QStringLiteral("縦に書きます"));
  panels_[0]->setToolTip(QStringLiteral("このボタンを押すと現在の設定で縦書を作成します"));
  layout->addWidget(sbMessage_);

  tmrGuide_ = new QTimer(this);
  tmrGuide_->setObjectName(QStringLiteral("tmrGuide"));
  tmrGuide_->setSingleShot(true);
  tmrGuide_->setInterval(2500);
  connect(tmrGuide_, &QTimer::timeout, this, [this] {
    tmrGuide_->stop();
    picGuide0_->hide();
  });
}

QAction* frmMessage::addItem(QMenu* menu, const QString& name, const QString& caption, const QKeySequence& shortcut) {
  QAction* action = menu->addAction(caption);
  action->setObjectName(name);
  if (!shortcut.isEmpty()) action->setShortcut(shortcut);
  return action;
}

void frmMessage::buildMenus(QVBoxLayout* layout) {
  menuBar_ = new QMenuBar(this);
  layout->setMenuBar(menuBar_);

  mnuAddrRoot_ = new QMenu(this);
  mnuAddrRoot_->setObjectName(QStringLiteral("mnuAddrRoot"));

  QMenu* file = menuBar_->addMenu(QStringLiteral("ﾌｧｲﾙ(&F)"));
  file->setObjectName(QStringLiteral("mnuFile"));
  connect(addItem(file, QStringLiteral("mnuAttachFile"), QStringLiteral("添付ﾌｧｲﾙ(&A)...")), &QAction::triggered, this,
          &frmMessage::showAttachHelp);
  file->addSeparator()->setObjectName(QStringLiteral("xSeparator4"));
  connect(addItem(file, QStringLiteral("mnuSaveMail"), QStringLiteral("保存して終了(&S)"),
                  QKeySequence(Qt::CTRL | Qt::Key_S)),
          &QAction::triggered, this, &frmMessage::saveAndExit);
  file->addSeparator()->setObjectName(QStringLiteral("xSeparator1"));
  connect(addItem(file, QStringLiteral("mnuExit"), QStringLiteral("終了(&X)")), &QAction::triggered, this,
          &QWidget::close);

  QMenu* edit = menuBar_->addMenu(QStringLiteral("編集(&E)"));
  edit->setObjectName(QStringLiteral("mnuEdit"));
  QAction* selectAllItem = addItem(edit, QStringLiteral("mnuSelectAll"), QStringLiteral("すべて選択(&A)"),
                                   QKeySequence(Qt::CTRL | Qt::Key_A));
  connect(selectAllItem, &QAction::triggered, this, &frmMessage::selectAll);
  xSeparator8_ = edit->addSeparator();
  xSeparator8_->setObjectName(QStringLiteral("xSeparator8"));
  xSeparator8_->setVisible(false);
  mnuFancy_ = addItem(edit, QStringLiteral("mnuFancy"), FancyMode::MenuCaption(), QKeySequence(Qt::CTRL | Qt::Key_F));
  // A hidden item keeps its shortcut from working too.
  mnuFancy_->setVisible(false);
  mnuFancy_->setEnabled(false);
  connect(mnuFancy_, &QAction::triggered, this, &frmMessage::wrapFancy);

  QMenu* mail = menuBar_->addMenu(QStringLiteral("ﾒｰﾙ(&M)"));
  mail->setObjectName(QStringLiteral("mnuMail"));
  connect(addItem(mail, QStringLiteral("mnuTategaki"), QStringLiteral("縦に書きます(&T)"),
                  QKeySequence(Qt::CTRL | Qt::Key_T)),
          &QAction::triggered, this, [this] { panelClicked(1); });
  mail->addSeparator()->setObjectName(QStringLiteral("xSeparator7"));
  connect(
      addItem(mail, QStringLiteral("mnuSendMail"), QStringLiteral("ﾒｰﾙ送信(&S)"), QKeySequence(Qt::CTRL | Qt::Key_M)),
      &QAction::triggered, this, &frmMessage::mnuSendMail_Click);
  mail->addSeparator()->setObjectName(QStringLiteral("xSeparator0"));
  connect(addItem(mail, QStringLiteral("mnuAddr"), QStringLiteral("ｱﾄﾞﾚｽ帳(&A)...")), &QAction::triggered, this,
          [this] {
            if (host_ != nullptr) host_->ShowAddressBook();
          });

  QMenu* toe = menuBar_->addMenu(QStringLiteral("TOE(&T)"));
  toe->setObjectName(QStringLiteral("mnuTOE"));
  mnuTOEMode_ = addItem(toe, QStringLiteral("mnuTOEMode"), QStringLiteral("TOEﾓｰﾄﾞ(&T)"));
  mnuTOEMode_->setCheckable(true);
  connect(mnuTOEMode_, &QAction::triggered, this, &frmMessage::mnuTOEMode_Click);
  toe->addSeparator()->setObjectName(QStringLiteral("xSeparator9"));
  connect(addItem(toe, QStringLiteral("mnuTOEExplain"), QStringLiteral("TOEﾓｰﾄﾞについて(&A)")), &QAction::triggered,
          this, [this] { ui().Message(TOEExplanation(), AppState::ProgramTitle(), Dialogs::Icon::Information); });
}

void frmMessage::clearControls() {
  for (QLineEdit* edit : findChildren<QLineEdit*>()) edit->clear();
  for (QPlainTextEdit* edit : findChildren<QPlainTextEdit*>()) edit->clear();
}

// ---------------------------------------------------------------- opening

bool frmMessage::Constructor(int nSeq, bool bAutoShow) {
  constructing_ = true;
  Separators::Fill(lstSeparator_, state_.SeparatorList, -1);
  clearControls();
  if (nSeq < 0) {
    // Drawn only for the windows that show it.
    if (auto* picture = picGuide0_->findChild<QLabel*>(QStringLiteral("picGuide1")))
      picture->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(32, 32));
    picGuide0_->show();
    picGuide0_->raise();
    txtPageLines_->setText(QString::number(state_.Settings.PageLines));
    txtLineChars_->setText(QString::number(state_.Settings.LineChars));
    txtLineSpace_->setText(QString::number(state_.Settings.LineSpace));
    sstBody_->setTabEnabled(kFileTab, false);
    if (state_.Settings.SaveBcc == 1) txtUpper_[2]->setText(state_.Settings.Email);
    Separators::Fill(lstSeparator_, state_.SeparatorList, state_.Settings.Separator);
    tmrGuide_->start();
  } else {
    picGuide0_->hide();
    MailRecord record;
    if (!state_.Store().ReadMailFile(nSeq, record)) {
      ui().Message(ReadFailedMessage(), AppState::ProgramTitle(), Dialogs::Icon::Error);
      dataChanged_ = false;
      constructing_ = false;
      close();
      return false;
    }
    // A date the mail file's header does not give: the index's.
    if (!record.Date.isValid() && nSeq < state_.Index.size()) record.Date = state_.Index[nSeq].Date;
    record_ = record;
    txtBody_[0]->setPlainText(record.BodyText);
    txtBody_[1]->setPlainText(record.VerticalText);
    txtLineChars_->setText(QString::number(record.LineChars));
    txtLineSpace_->setText(QString::number(record.LineSpace));
    txtPageLines_->setText(QString::number(record.PageLines));
    txtUpper_[0]->setText(record.To);
    txtUpper_[1]->setText(record.Cc);
    txtUpper_[2]->setText(record.Bcc);
    txtUpper_[3]->setText(record.Subject);
    // A separator removed from the list since the mail was stored: none.
    const int separator =
        record.Separator >= 0 && record.Separator < state_.SeparatorList.size() ? record.Separator : 0;
    Separators::Fill(lstSeparator_, state_.SeparatorList, separator);
    setRows(AttachmentRows::RowsOf(record));
    SetMeCaption();
  }
  // A mail some of whose addresses have their copy goes on in TOE mode.
  mnuTOEMode_->setChecked(nSeq >= 0 && !record_.Delivered.isEmpty());
  mnuTOEMode_Click();
  sstBody_->setCurrentIndex(0);
  showTab(0);
  refreshPanels();
  storedSeq_ = nSeq;
  constructing_ = false;
  for (QLineEdit* field : txtUpper_) field->setVisible(true);

  const bool fancy = FancyMode::Enabled(state_.Arguments);
  xSeparator8_->setVisible(fancy);
  mnuFancy_->setVisible(fancy);
  mnuFancy_->setEnabled(fancy);

  if (bAutoShow) {
    // Where the user left the last editor; else towards the right of the
    // screen, but never beyond it (a wide window on a scaled screen was).
    WindowPlaces* places = host_ != nullptr ? host_->Places() : nullptr;
    if (places == nullptr || !places->Restore(this, QStringLiteral("Editor"))) {
      if (QScreen* screen = this->screen()) {
        const int w = frameGeometry().width();
        move(screen->geometry().width() - w - w / 2, y());
      }
    }
    show();
    WindowPlaces::KeepInsideScreen(this);
  }
  dataChanged_ = false;
  return true;
}

void frmMessage::SetMeCaption() { setWindowTitle(txtUpper_[3]->text()); }

void frmMessage::showTab(int index) {
  if (index == kFileTab) {
    lvFile_->resizeColumnToContents(1);
    // A long file name is shown whole (the list scrolls sideways for it).
    lvFile_->resizeColumnToContents(0);
    const int needed = lvFile_->columnWidth(0);
    lvFile_->setColumnWidth(0, std::max({lvFile_->viewport()->width() - lvFile_->columnWidth(1), 120, needed}));
  }
}

void frmMessage::refreshPanels() {
  panels_[2]->setText(QStringLiteral("行/頁 ") + txtPageLines_->text() + QStringLiteral("行"));
  panels_[3]->setText(QStringLiteral("文字/行 ") + txtLineChars_->text() + QStringLiteral("文字"));
  panels_[4]->setText(QStringLiteral("行間 ") + txtLineSpace_->text() + QStringLiteral("行"));
  panels_[5]->setText(QStringLiteral("添付ﾌｧｲﾙ ") + QString::number(lvFile_->topLevelItemCount()) +
                      QStringLiteral("個"));
}

void frmMessage::panelClicked(int panel) {
  if (panel == 1) RunConversion();
  if (panel == 6) showAttachHelp();
}

void frmMessage::showAttachHelp() {
  ui().Message(AttachHelpMessage(), AppState::ProgramTitle(), Dialogs::Icon::Information);
}

// ---------------------------------------------------------------- events

bool frmMessage::eventFilter(QObject* watched, QEvent* event) {
  // Events that arrive while the controls are still being made.
  if (tmrGuide_ == nullptr) return EditorWindow::eventFilter(watched, event);
  const QEvent::Type type = event->type();

  // Drops of files on either body or the list: copy only, text never inserted.
  const bool dropTarget =
      watched == txtBody_[0]->viewport() || watched == txtBody_[1]->viewport() || watched == lvFile_->viewport();
  if (dropTarget && (type == QEvent::DragEnter || type == QEvent::DragMove)) {
    auto* drag = static_cast<QDropEvent*>(event);
    drag->setDropAction(Qt::CopyAction);
    drag->accept();
    return true;
  }
  if (dropTarget && type == QEvent::Drop) {
    auto* drop = static_cast<QDropEvent*>(event);
    drop->setDropAction(Qt::CopyAction);
    drop->accept();
    GetAttachFile(drop->mimeData());
    setChanged();
    return true;
  }

  if (type == QEvent::MouseButtonRelease) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    for (int i = 0; i < 3; ++i)
      if (watched == lblGuide_[i] && mouse->button() == Qt::LeftButton) {
        openPicker(i);
        return true;
      }
    if (watched == panels_[0] && mouse->button() == Qt::LeftButton) {
      panelClicked(1);
      return true;
    }
    if (watched == panels_[5] && mouse->button() == Qt::LeftButton) {
      panelClicked(6);
      return true;
    }
  }

  for (int i = 0; i < 3; ++i) {
    if (watched != txtUpper_[i]) continue;
    if (type == QEvent::MouseButtonPress) {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() == Qt::RightButton && (mouse->modifiers() & Qt::ShiftModifier)) {
        // Keeps the field's own context menu from appearing.
        txtUpper_[i]->setEnabled(false);
        txtUpper_[i]->setEnabled(true);
        txtUpper_[i]->setFocus();
        openPicker(i);
        return true;
      }
    }
    if (type == QEvent::ContextMenu && (QGuiApplication::keyboardModifiers() & Qt::ShiftModifier)) return true;
  }

  if (type == QEvent::FocusIn) {
    if (auto* edit = qobject_cast<QLineEdit*>(watched)) {
      // After the click that gave the focus has placed the cursor.
      QTimer::singleShot(0, edit, &QLineEdit::selectAll);
    }
  }

  if (watched == lvFile_ && type == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
    deleteSelectedFile();
    return true;
  }

  if (watched == sstBody_->widget(0) && type == QEvent::Resize) {
    const QSize page = static_cast<QResizeEvent*>(event)->size();
    const int w = std::min(page.width() - 16, 420);
    picGuide0_->setGeometry((page.width() - w) / 2, 12, w, 64);
  }
  return EditorWindow::eventFilter(watched, event);
}

void frmMessage::closeEvent(QCloseEvent* event) {
  // A conversion or a send runs inside this window's own call; it must end first.
  if (engineRunning_ || sending_) {
    event->ignore();
    return;
  }
  if (dataChanged_ && ui().Message(CloseQuestion(), AppState::ProgramTitle(), Dialogs::Icon::Question,
                                   Dialogs::Buttons::YesNo) != Dialogs::Answer::Yes) {
    event->ignore();
    return;
  }
  if (host_ != nullptr) {
    if (isVisible() && host_->Places() != nullptr) host_->Places()->Keep(this, QStringLiteral("Editor"));
    host_->TerminateMessage(storedSeq_);
  }
  event->accept();
}

void frmMessage::selectAll() {
  QWidget* focus = focusWidget();
  if (auto* edit = qobject_cast<QLineEdit*>(focus)) edit->selectAll();
  if (auto* body = qobject_cast<QPlainTextEdit*>(focus)) body->selectAll();
}

void frmMessage::wrapFancy() {
  const QString wrapped =
      FancyMode::Wrap(BodyText(txtBody_[1]), FancyMode::FancyLine(state_.ProgramFolder), QDateTime::currentDateTime());
  txtBody_[1]->setPlainText(wrapped);
}

// ---------------------------------------------------------------- conversion

bool frmMessage::checkLayoutFields(bool forConversion) {
  const QList<QWidget*> fields{txtPageLines_, txtLineChars_, txtLineSpace_};
  if (!InputChecks::CheckFilled(sstBody_, fields, ui())) return false;
  if (!InputChecks::CheckNumeric(sstBody_, fields, ui())) return false;
  // The engine lays out nothing with a value below 1, and refuses a layout
  // too large to hold in memory.
  const std::int64_t pageLines = NumericText::ToInt32(txtPageLines_->text()).value_or(0);
  const std::int64_t lineChars = NumericText::ToInt32(txtLineChars_->text()).value_or(0);
  const std::int64_t lineSpace = NumericText::ToInt16(txtLineSpace_->text()).value_or(0);
  QLineEdit* wrong = nullptr;
  if (pageLines < 1)
    wrong = txtPageLines_;
  else if (lineChars < 1)
    wrong = txtLineChars_;
  else if (lineSpace < 1)
    wrong = txtLineSpace_;
  else if (forConversion && !MyTategakiEngine::OutputAccepted(BodyText(txtBody_[0]), pageLines, lineChars, lineSpace,
                                                              MyTategakiEngine::LongestSubstitute(state_.GlyphSwap),
                                                              separatorText().size()))
    wrong = pageLines * lineSpace > lineChars ? txtPageLines_ : txtLineChars_;
  if (wrong != nullptr) {
    sstBody_->setCurrentIndex(kSettingTab);
    ui().Message(InputChecks::NotNumericMessage(), AppState::ProgramTitle(), Dialogs::Icon::Exclamation);
    wrong->setFocus();
    return false;
  }
  return InputChecks::CheckSeparatorChosen(sstBody_, lstSeparator_, ui());
}

QString frmMessage::separatorText() const {
  const int checked = Separators::CheckedIndex(lstSeparator_);
  return checked <= 0 ? QString() : lstSeparator_->item(checked)->text();
}

QString frmMessage::CharacterCheckMessage(const QString& list) {
  return QStringLiteral("次の文字は、このままではメールで正しく届きません。") + kCrLf + kCrLf + list + kCrLf + kCrLf +
         QStringLiteral("「はい」　　　→ の文字に置き換えます。") + kCrLf +
         QStringLiteral("「いいえ」　　このまま続けます（保存・送信できない文字は〓になります）。") + kCrLf +
         QStringLiteral("「キャンセル」やめて、自分で直します。");
}

bool frmMessage::CheckCharacters() {
  if (quiet_) return true;
  QList<TextCheck::Finding> findings;
  static const char* const kFieldNames[] = {"宛先", "CC", "BCC", "件名"};
  for (int i = 0; i < 4; ++i) TextCheck::Scan(txtUpper_[i]->text(), QString::fromUtf8(kFieldNames[i]), findings);
  TextCheck::Scan(BodyText(txtBody_[0]), QStringLiteral("本文"), findings);
  TextCheck::Scan(BodyText(txtBody_[1]), QStringLiteral("縦書き"), findings);
  const QList<AttachmentRow> rows = AttachmentRowsShown();
  for (const AttachmentRow& row : rows) TextCheck::Scan(row.Text, QStringLiteral("添付ﾌｧｲﾙ名"), findings);
  // Characters the user already chose to keep are not asked about again.
  bool fresh = false;
  for (const TextCheck::Finding& f : findings) fresh = fresh || !keptCharacters_.contains(f.Character);
  if (!fresh) return true;
  const Dialogs::Answer answer =
      ui().Message(CharacterCheckMessage(TextCheck::Describe(findings)), AppState::ProgramTitle(),
                   Dialogs::Icon::Exclamation, Dialogs::Buttons::YesNoCancel);
  if (answer == Dialogs::Answer::No) {
    for (const TextCheck::Finding& f : findings) keptCharacters_.insert(f.Character);
    return true;
  }
  if (answer != Dialogs::Answer::Yes) return false;
  for (QLineEdit* field : txtUpper_) {
    const QString replaced = TextCheck::Replace(field->text());
    if (replaced != field->text()) field->setText(replaced);
  }
  for (QPlainTextEdit* body : txtBody_) {
    const QString text = BodyText(body);
    const QString replaced = TextCheck::Replace(text);
    if (replaced != text) {
      body->setPlainText(replaced);
      setChanged();
    }
  }
  for (int i = 0; i < lvFile_->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = lvFile_->topLevelItem(i);
    const QString replaced = TextCheck::Replace(item->text(0));
    if (replaced != item->text(0)) {
      item->setText(0, replaced);
      setChanged();
    }
  }
  return true;
}

void frmMessage::RunConversion() {
  if (engineRunning_ || !checkLayoutFields(true) || !CheckCharacters()) return;
  const QString separator = separatorText();

  engine_->SetProgressReceiver(this);
  engine_->SetProgressMethod(QStringLiteral("CallBack_TategakiEngine"));
  engineRunning_ = true;
  stopRequested_ = false;
  CallBack_TategakiEngine(0, QString(), 1);
  // The meter gives the event loop a turn as it opens: a stop may come before
  // the engine has started, and must not be lost.
  const QString result = stopRequested_ ? QString()
                                        : engine_->ConvertToVertical(
                                              BodyText(txtBody_[0]), *NumericText::ToInt32(txtPageLines_->text()),
                                              *NumericText::ToInt32(txtLineChars_->text()), separator, state_.GlyphSwap,
                                              MyTategakiEngine::kWideMode, *NumericText::ToInt16(txtLineSpace_->text()),
                                              true, QStringLiteral(">"));
  CallBack_TategakiEngine(0, QString(), 2);
  engineRunning_ = false;
  if (stopRequested_ || engine_->ConversionStopped()) return;
  if (engine_->ConversionRefused()) {
    // Memory ran out after all: the layout is too large for this machine.
    sstBody_->setCurrentIndex(kSettingTab);
    ui().Message(InputChecks::NotNumericMessage(), AppState::ProgramTitle(), Dialogs::Icon::Exclamation);
    txtLineChars_->setFocus();
    return;
  }
  txtBody_[1]->setPlainText(result);
  sstBody_->setCurrentIndex(1);
  Q_EMIT Converted();
}

void frmMessage::CallBack_TategakiEngine(int nValue, const QString& szCallBackFrom, int nOperate) {
  const MeterDriver::Call call = meter_.Handle(nValue, szCallBackFrom, nOperate, MeterDriver::Conversion(this));
  if (call == MeterDriver::Call::FromMeter && nValue == MeterDriver::kConversionStopValue) {
    stopRequested_ = true;
    engine_->StopConversion();
  }
}

// ---------------------------------------------------------------- attachments

void frmMessage::addRow(const AttachmentRow& row, const QString& stateText) {
  auto* item = new QTreeWidgetItem(lvFile_, {row.Text, stateText});
  item->setIcon(0, style()->standardIcon(QStyle::SP_FileIcon));
  item->setData(0, kKeyRole, row.Key);
  item->setData(0, kTagRole, row.Tag);
}

void frmMessage::setRows(const QList<AttachmentRow>& rows) {
  const bool wasChanged = dataChanged_;
  lvFile_->clear();
  for (const AttachmentRow& row : rows) addRow(row, AttachmentRows::StoredStateText());
  resortFiles();
  sstBody_->setTabEnabled(kFileTab, !rows.isEmpty());
  refreshPanels();
  dataChanged_ = wasChanged;
}

QList<AttachmentRow> frmMessage::AttachmentRowsShown() const {
  QList<AttachmentRow> rows;
  for (int i = 0; i < lvFile_->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* item = lvFile_->topLevelItem(i);
    rows.append({item->data(0, kKeyRole).toString(), item->text(0), item->data(0, kTagRole).toString()});
  }
  return rows;
}

void frmMessage::GetAttachFile(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls()) return;
  QStringList paths;
  for (const QUrl& url : data->urls())
    if (url.isLocalFile()) paths.append(url.toLocalFile());
  if (paths.isEmpty()) return;
  for (const QString& path : paths) {
    const QFileInfo info(path);
    if (!info.exists() || info.isDir()) continue;
    addRow(AttachmentRow::NewFile(path), AttachmentRows::SizeText(info.size()));
  }
  resortFiles();
  refreshPanels();
  sstBody_->setTabEnabled(kFileTab, true);
  sstBody_->setCurrentIndex(kFileTab);
}

void frmMessage::deleteSelectedFile() {
  QTreeWidgetItem* item = lvFile_->currentItem();
  if (item == nullptr || !item->isSelected()) return;
  delete item;
  if (lvFile_->topLevelItemCount() == 0) sstBody_->setTabEnabled(kFileTab, false);
  refreshPanels();
  setChanged();
}

void frmMessage::sortFiles(int column) {
  if (filesSorted_ && sortColumn_ == column)
    sortTags_[column] = sortTags_[column] == QStringLiteral("asc") ? QStringLiteral("desc") : QStringLiteral("asc");
  else
    sortTags_[column] = QStringLiteral("asc");
  filesSorted_ = true;
  sortColumn_ = column;
  resortFiles();
}

// Once sorted by a header, the list stays sorted as rows come and go.
void frmMessage::resortFiles() {
  if (!filesSorted_) return;
  lvFile_->sortItems(sortColumn_,
                     sortTags_[sortColumn_] == QStringLiteral("desc") ? Qt::DescendingOrder : Qt::AscendingOrder);
}

// ---------------------------------------------------------------- storing

bool frmMessage::StoreMail(int mailBox) {
  if (!checkLayoutFields(false)) return false;

  for (QLineEdit* field :
       {txtUpper_[0], txtUpper_[1], txtUpper_[2], txtUpper_[3], txtPageLines_, txtLineChars_, txtLineSpace_}) {
    const QString clean = StripControlChars(TextForm::FieldText(field->text()));
    if (clean != field->text()) field->setText(clean);
  }
  if (VerticalTextBlank(BodyText(txtBody_[1])) && !txtBody_[1]->document()->isEmpty()) txtBody_[1]->clear();

  // The attachments first: a file that cannot be read stops the store before
  // anything is written or a number is taken.
  const QList<AttachmentRow> rows = AttachmentRowsShown();
  QList<AttachmentRecord> attachments = AttachmentRows::KeptAttachments(rows, record_);
  clsBase64 encoder;
  for (const AttachmentRow& row : rows) {
    if (row.IsStored() || row.Tag.isEmpty()) continue;
    encoder.AttachFile(row.Tag);
    QByteArray encoded;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool ok = encoder.GetEncoded(encoded);
    QApplication::restoreOverrideCursor();
    if (!ok) {
      ui().Message(AttachFailedMessage(row.Text, row.Tag), AppState::ProgramTitle(), Dialogs::Icon::Exclamation);
      return false;
    }
    // A name as the mail file can keep it: one line, no double quote.
    attachments.append({StripControlChars(TextForm::FieldText(row.Text)).remove(u'"'), encoded});
  }

  const MailStore store = state_.Store();
  // The index is changed in place (a copy of it would cost as much as the
  // store is large) and put back as it was when the mail cannot be stored.
  MailIndex& index = state_.Index;
  const bool isNew = storedSeq_ < 0;
  const std::int32_t number = isNew ? state_.Keeper.AllocateMailNumber(index) : storedSeq_;
  if (number < 0) {
    ui().Message(StoreFailedMessage(), AppState::ProgramTitle(), Dialogs::Icon::Exclamation);
    return false;
  }
  const qsizetype sizeBefore = index.size();
  const std::optional<MailIndexEntry> entryBefore =
      number < sizeBefore ? std::optional<MailIndexEntry>(index[number]) : std::nullopt;
  // Numbers skipped over belong to mail files the index did not know.
  QList<std::int32_t> changed;
  for (std::int32_t seq = static_cast<std::int32_t>(index.size()); seq <= number; ++seq) {
    MailIndexEntry gap = store.EntryFromMailFile(seq);
    index.append(gap);
    changed.append(seq);
  }
  if (!changed.contains(number)) changed.append(number);
  MailIndexEntry& entry = index[number];
  const QDateTime now = QDateTime::currentDateTime();
  if (isNew || entry.MailBox == 0) {
    entry = MailIndexEntry{};
    entry.Seq = number;
    entry.MailBox = mailBox;
  } else if (mailBox == 3) {
    entry.MailBox = mailBox;
  }
  entry.Date = QDateTime(now.date(), QTime(now.time().hour(), now.time().minute(), now.time().second()));
  entry.Subject = txtUpper_[3]->text();
  entry.To = txtUpper_[0]->text();
  entry.HasAttachment = !rows.isEmpty();

  MailRecord record;
  record.Seq = number;
  record.LineChars = *NumericText::ToInt32(txtLineChars_->text());
  record.PageLines = *NumericText::ToInt32(txtPageLines_->text());
  record.LineSpace = *NumericText::ToInt16(txtLineSpace_->text());
  record.Date = entry.Date;
  record.MailBox = entry.MailBox;
  record.Separator = static_cast<std::int16_t>(Separators::CheckedIndex(lstSeparator_));
  record.To = txtUpper_[0]->text();
  record.Cc = txtUpper_[1]->text();
  record.Bcc = txtUpper_[2]->text();
  record.Subject = txtUpper_[3]->text();
  record.BodyText = BodyText(txtBody_[0]);
  record.VerticalText = BodyText(txtBody_[1]);
  record.Attachments = attachments;
  record.Boundary = isNew ? QString() : record_.Boundary;
  record.Delivered = isNew ? QStringList() : record_.Delivered;

  // The mail file before the index: a failure in between leaves a mail file
  // the index does not name yet (its number is never given out again), never
  // an index entry without its mail.
  if (!store.WriteMailFile(number, record) || !state_.Keeper.Record(index, changed)) {
    // A new mail's file that no entry names would come back as a second
    // copy (a recovered draft) once the user stores the mail again.
    if (isNew) QFile::remove(store.MailFilePath(number));
    index.resize(sizeBefore);
    if (entryBefore) index[number] = *entryBefore;
    ui().Message(StoreFailedMessage(), AppState::ProgramTitle(), Dialogs::Icon::Exclamation);
    return false;
  }
  if (isNew && host_ != nullptr) host_->RegisterMessage(number, this);

  // From now on every row is an attachment of the stored mail, at its new
  // position, so a second store neither encodes a file again nor picks the
  // wrong stored attachment.
  record_ = record;
  setRows(AttachmentRows::RowsOf(record));
  storedSeq_ = number;
  dataChanged_ = false;
  return true;
}

bool frmMessage::KeepAsDraft() {
  if (!dataChanged_) return true;
  if (engineRunning_) {
    stopRequested_ = true;
    engine_->StopConversion();
  }
  const bool wasQuiet = quiet_;
  quiet_ = true;
  bool stored = StoreMail(MailBoxNumber::Drafts);
  if (!stored) {
    // Layout values the store refuses, or a file to attach that is gone:
    // the text matters more. The settings' layout, no separator, and the
    // attachments already stored.
    txtPageLines_->setText(QString::number(std::max(1, state_.Settings.PageLines)));
    txtLineChars_->setText(QString::number(std::max(1, state_.Settings.LineChars)));
    txtLineSpace_->setText(QString::number(std::max<int>(1, state_.Settings.LineSpace)));
    Separators::Fill(lstSeparator_, state_.SeparatorList, 0);
    QList<AttachmentRow> rows = AttachmentRowsShown();
    rows.removeIf([](const AttachmentRow& row) { return !row.IsStored(); });
    setRows(rows);
    stored = StoreMail(MailBoxNumber::Drafts);
  }
  quiet_ = wasQuiet;
  if (!stored || storedSeq_ < 0 || storedSeq_ >= state_.Index.size()) return false;
  // Unfinished, so not where a batch would send it.
  if (state_.Index[storedSeq_].MailBox != MailBoxNumber::Drafts) {
    state_.Index[storedSeq_].MailBox = MailBoxNumber::Drafts;
    state_.Keeper.Record(state_.Index, {storedSeq_});
  }
  return true;
}

void frmMessage::saveAndExit() {
  if (!CheckCharacters()) return;
  setEnabled(false);
  const bool stored = StoreMail(2);
  if (host_ != nullptr) host_->RefreshMailList();
  setEnabled(true);
  if (stored) close();
}

// ---------------------------------------------------------------- address picker

void frmMessage::openPicker(int field) {
  for (QAction* action : mnuShowAddr_) action->deleteLater();
  mnuShowAddr_.clear();
  mnuAddrRoot_->clear();
  const QList<AddressPicker::Item> items = AddressPicker::Items(state_.Addresses);
  if (items.isEmpty()) return;
  for (qsizetype k = 0; k < items.size(); ++k) {
    // "&" in a name is shown as itself, not as a mnemonic.
    QString shown = items[k].Caption;
    auto* action = new QAction(shown.replace(u'&', QStringLiteral("&&")), this);
    action->setObjectName(QStringLiteral("mnuShowAddr_%1").arg(k));
    action->setData(items[k].Tag);
    action->setProperty("Caption", items[k].Caption);
    const int position = static_cast<int>(k);
    connect(action, &QAction::triggered, this, [this, position] { pick(position); });
    mnuShowAddr_.append(action);
  }
  const int second = AddressPicker::SecondColumnStart(static_cast<int>(items.size()));
  if (second < 0) {
    mnuAddrRoot_->addActions(mnuShowAddr_);
  } else {
    // Two columns: a grid of the same items inside the pop-up.
    auto* grid = new QWidget;
    grid->setObjectName(QStringLiteral("mnuAddrColumns"));
    auto* layout = new QGridLayout(grid);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(0);
    for (int k = 0; k < mnuShowAddr_.size(); ++k) {
      auto* button = new QToolButton(grid);
      button->setDefaultAction(mnuShowAddr_[k]);
      button->setAutoRaise(true);
      button->setToolButtonStyle(Qt::ToolButtonTextOnly);
      button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
      const int column = k < second ? 0 : 1;
      layout->addWidget(button, column == 0 ? k : k - second, column);
      connect(mnuShowAddr_[k], &QAction::triggered, mnuAddrRoot_, &QMenu::close);
    }
    auto* columns = new QWidgetAction(mnuAddrRoot_);
    columns->setDefaultWidget(grid);
    mnuAddrRoot_->addAction(columns);
  }
  pickerField_ = static_cast<std::int16_t>(field);
  mnuAddrRoot_->popup(QCursor::pos());
}

void frmMessage::pick(int k) {
  if (pickerField_ < 0 || pickerField_ > 2 || k < 0 || k >= mnuShowAddr_.size()) return;
  const AddressPicker::Item item{mnuShowAddr_[k]->property("Caption").toString(), mnuShowAddr_[k]->data().toString()};
  QLineEdit* field = txtUpper_[pickerField_];
  field->setText(AddressPicker::Append(field->text(), AddressPicker::InsertText(item)));
  pickerField_ = -1;
}

// ---------------------------------------------------------------- sending

Dialogs& frmMessage::ui() { return quiet_ ? *silent_ : dialogs_; }

QString frmMessage::NoSubjectQuestion() {
  return QStringLiteral("件名が入力されていません。このまま送信してよろしいですか？");
}
QString frmMessage::NoVerticalQuestion() { return QStringLiteral("縦に書いていません。縦書文章なしで送信しますか？"); }
QString frmMessage::SendErrorMessage(const QString& reply) {
  return QStringLiteral("メール送信エラー") + kCrLf + kCrLf + reply;
}
QString frmMessage::ConnectErrorMessage(int number, const QString& description) {
  return QStringLiteral("メール送信エラー / サーバ接続失敗") + kCrLf + kCrLf + u'[' + QString::number(number) +
         QStringLiteral("] ") + description + kCrLf;
}
QString frmMessage::TOEExplanation() {
  return QStringLiteral("TOE(TO EACH)について") + kCrLf + kCrLf +
         QStringLiteral("本気で提唱しようかと思っている個別送信宛先プロトコルです。") + kCrLf +
         QStringLiteral(
             "これによって、送られたメールの受取人、自分宛に送信されたように認識するのではないでしょうか？") +
         kCrLf +
         QStringLiteral("ＢＣＣで全送信では味気ないですよね。ちゃんと個別に送信する、これが乙じゃないでしょうか。") +
         kCrLf;
}

bool frmMessage::TOEMode() const { return mnuTOEMode_->isChecked(); }

void frmMessage::mnuTOEMode_Click() {
  // The item's own check mark has already turned over.
  const bool on = mnuTOEMode_->isChecked();
  for (int i : {1, 2}) {
    lblGuide_[i]->setVisible(!on);
    txtUpper_[i]->setVisible(!on);
  }
  chkTOEMailSelf_->setVisible(on);
}

void frmMessage::mnuSendMail_Click() {
  if (txtUpper_[3]->text().trimmed().isEmpty() &&
      ui().Message(NoSubjectQuestion(), AppState::ProgramTitle(), Dialogs::Icon::Question, Dialogs::Buttons::YesNo) !=
          Dialogs::Answer::Yes)
    return;
  SendMail(false);
}

void frmMessage::CallBack_SendMail(int nValue, const QString& szCallBackFrom, int nOperate) {
  meter_.Handle(nValue, szCallBackFrom, nOperate, MeterDriver::SendingOne(this));
}

bool frmMessage::SendMail(bool bSendAllMode) {
  if (sending_ || engineRunning_) return false;
  const bool interactive = !bSendAllMode;
  const bool wasQuiet = quiet_;
  quiet_ = quiet_ || bSendAllMode;
  unrecorded_ = false;
  struct Restore {
    frmMessage* w;
    bool quiet;
    ~Restore() {
      w->quiet_ = quiet;
      w->sending_ = false;
    }
  } restore{this, wasQuiet};

  // A To field of only commas and blanks names nobody: as good as empty.
  if (MailSender::Recipients(txtUpper_[0]->text()).isEmpty()) {
    if (interactive) {
      ui().Message(InputChecks::NotFilledMessage(), AppState::ProgramTitle(), Dialogs::Icon::Exclamation);
      txtUpper_[0]->setFocus();
    }
    return false;
  }
  if (VerticalTextBlank(BodyText(txtBody_[1]))) {
    if (!interactive) return false;
    if (ui().Message(NoVerticalQuestion(), AppState::ProgramTitle(), Dialogs::Icon::Question,
                     Dialogs::Buttons::YesNo) != Dialogs::Answer::Yes)
      return false;
  }
  if (interactive && !CheckCharacters()) return false;
  sending_ = true;
  const AppSettings& s = state_.Settings;
  MailSender::Secure(*pop_, state_);
  pop_->Run(s.PopServer, s.PopPort, s.Account, s.Passwd);

  if (interactive) CallBack_SendMail(0, QString(), 1);
  const int mailBox =
      storedSeq_ >= 0 && storedSeq_ < state_.Index.size() ? state_.Index[storedSeq_].MailBox : MailBoxNumber::Outbox;
  // A stored mail the window has not changed is on disk as it stands: storing
  // it again would only rewrite the same file (the date of the send is
  // recorded with its move to the sent mailbox).
  bool stored = true;
  if (dataChanged_ || storedSeq_ < 0) {
    // The store itself must not take this send for a close of the window.
    sending_ = false;
    stored = StoreMail(mailBox);
    sending_ = true;
  }
  if (!stored) {
    if (interactive) CallBack_SendMail(0, QString(), 2);
    return false;
  }
  if (interactive) CallBack_SendMail(35);

  const MailSender::Result result = MailSender::SendMail(*smtp_, state_, storedSeq_, record_, TOEMode(),
                                                         chkTOEMailSelf_->isChecked(), [&](int value) {
                                                           if (interactive) CallBack_SendMail(value);
                                                         });
  const bool sent = result.Sent;
  const bool recorded = result.Recorded;
  unrecorded_ = sent && !recorded;
  if (!isEnabled()) setEnabled(true);
  if (interactive) {
    CallBack_SendMail(sent ? 100 : 0, QString(), 2);
    QCoreApplication::processEvents();
    if (!sent) {
      const SmtpDialogue::Outcome& o = result.Failure;
      const QString error = o.NotRecorded        ? StoreFailedMessage()
                            : o.ConnectionFailed ? ConnectErrorMessage(o.ErrorNumber, o.ErrorDescription)
                                                 : SendErrorMessage(o.ServerReply);
      ui().Message(result.EachAddress ? PartlySentMessage(result.Delivered, result.Missed, error) : error,
                   AppState::ProgramTitle(), Dialogs::Icon::Exclamation);
    } else if (!recorded) {
      ui().Message(SentNotRecordedMessage(), AppState::ProgramTitle(), Dialogs::Icon::Exclamation);
    }
  }
  sending_ = false;
  if (!sent) {
    if (bSendAllMode) {
      // Nothing of a batch window is the user's to keep: the mail is stored.
      dataChanged_ = false;
      close();
    }
    return false;
  }
  if (host_ != nullptr && interactive) host_->RefreshMailList();
  close();
  return true;
}

QString frmMessage::SentNotRecordedMessage() {
  return QStringLiteral("メールは送信しましたが、送信済みであることを記録できませんでした。") + kCrLf +
         QStringLiteral("ディスクの空きと MailBox フォルダへの書き込みを確かめてください。") + kCrLf +
         QStringLiteral(
             "記録は次の保存のときと終了のときにもう一度書き込みます。このメールを送り直す必要はありません。");
}

QString frmMessage::PartlySentMessage(const QStringList& delivered, const QStringList& missed, const QString& error) {
  const QString none = QStringLiteral("（なし）");
  return QStringLiteral("TOEﾓｰﾄﾞの送信で、送れなかった宛先があります。") + kCrLf + kCrLf +
         QStringLiteral("送信済み: ") + (delivered.isEmpty() ? none : delivered.join(QStringLiteral(", "))) + kCrLf +
         QStringLiteral("未送信: ") + (missed.isEmpty() ? none : missed.join(QStringLiteral(", "))) + kCrLf + kCrLf +
         error + kCrLf + QStringLiteral("もう一度送信すると、未送信の宛先にだけ送ります。");
}
