#include "gui/settings/frmOption.h"

#include "gui/settings/SeparatorList.h"
#include "store/AppSettings.h"
#include "store/AppState.h"
#include "support/Dialogs.h"
#include "support/NumericText.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {
const QString kCrLf = QStringLiteral("\r\n");
}

frmOption::frmOption(AppState& state, Dialogs& dialogs, QWidget* parent)
    : QDialog(parent), state_(state), dialogs_(dialogs) {
  setObjectName(QStringLiteral("frmOption"));
  setWindowTitle(QStringLiteral("ｵﾌﾟｼｮﾝ"));
  setModal(true);
  auto* layout = new QVBoxLayout(this);
  sstOption_ = new QTabWidget(this);
  sstOption_->setObjectName(QStringLiteral("sstOption"));
  layout->addWidget(sstOption_);

  const QStringList tabs{QStringLiteral("アカウント"), QStringLiteral("縦書設定"), QStringLiteral("その他")};
  const QStringList titles{QStringLiteral("メール送信の設定"), QStringLiteral("デフォルト値を設定してください"),
                           QStringLiteral("その他の設定")};
  QList<QFormLayout*> forms;
  for (int t = 0; t < 3; ++t) {
    auto* page = new QWidget;
    auto* pageLayout = new QVBoxLayout(page);
    auto* frame = new QGroupBox(titles[t], page);
    frame->setObjectName(QStringLiteral("fraTitle_%1").arg(t));
    pageLayout->addWidget(frame);
    forms.append(new QFormLayout(frame));
    fraTitle_.append(frame);
    sstOption_->addTab(page, tabs[t]);
  }

  addField(fraTitle_[0], 0, "txtAccount", QStringLiteral("ユーザアカウント(&U)"), -1);
  addField(fraTitle_[0], 0, "txtPasswd", QStringLiteral("パスワード(&P)"), -1)->setEchoMode(QLineEdit::Password);
  addField(fraTitle_[0], 0, "txtMailAddr", QStringLiteral("メールアドレス(&A)"), -1);
  addField(fraTitle_[0], 0, "txtFullName", QStringLiteral("フルネーム(&F)"), -1);
  addField(fraTitle_[0], 0, "txtSmtpServer", QStringLiteral("SMTPサーバ(&S)"), -1);
  addField(fraTitle_[0], 0, "txtSmtpPort", QStringLiteral("SMTPポート(&R)"), -1);
  cboSecurity_ = new QComboBox(fraTitle_[0]);
  cboSecurity_->setObjectName(QStringLiteral("cboSecurity"));
  cboSecurity_->setProperty("Tag", 0);
  cboSecurity_->addItems({QStringLiteral("なし"), QStringLiteral("STARTTLS"), QStringLiteral("SSL/TLS")});
  auto* securityLabel = new QLabel(QStringLiteral("接続の保護(&E)"), fraTitle_[0]);
  securityLabel->setBuddy(cboSecurity_);
  forms[0]->addRow(securityLabel, cboSecurity_);
  chkSmtpAuth_ = new QCheckBox(QStringLiteral("SMTP認証を行う(&H)"), fraTitle_[0]);
  chkSmtpAuth_->setObjectName(QStringLiteral("chkSmtpAuth"));
  chkSmtpAuth_->setProperty("Tag", 0);
  forms[0]->addRow(chkSmtpAuth_);
  chkPopBefore_ = new QCheckBox(QStringLiteral("POP-BEFOREを試みる(&B)"), fraTitle_[0]);
  chkPopBefore_->setObjectName(QStringLiteral("chkPopBefore"));
  chkPopBefore_->setProperty("Tag", 0);
  forms[0]->addRow(chkPopBefore_);
  addField(fraTitle_[0], 0, "txtPopServer", QStringLiteral("POPサーバ(&O)"), -1);
  addField(fraTitle_[0], 0, "txtPopPort", QStringLiteral("POPポート(&T)"), -1);
  lblPopServer_ = qobject_cast<QLabel*>(forms[0]->labelForField(Field(QStringLiteral("txtPopServer"))));
  lblPopPort_ = qobject_cast<QLabel*>(forms[0]->labelForField(Field(QStringLiteral("txtPopPort"))));
  connect(chkPopBefore_, &QCheckBox::toggled, this, &frmOption::popBeforeChanged);
  connect(cboSecurity_, &QComboBox::currentIndexChanged, this, &frmOption::securityChanged);

  addField(fraTitle_[1], 1, "txtPageLines", QStringLiteral("行/頁(&G)"), -1);
  addField(fraTitle_[1], 1, "txtLineChars", QStringLiteral("文字/行(&M)"), -1);
  addField(fraTitle_[1], 1, "txtLineSpace", QStringLiteral("行間(&L)"), -1)->setProperty("NumericBits", 16);
  auto* separatorLabel =
      new QLabel(QStringLiteral("区切線(&S) (追加・削除・修正は右クリックより行ってください)"), fraTitle_[1]);
  lstSeparator_ = new QListWidget(fraTitle_[1]);
  lstSeparator_->setObjectName(QStringLiteral("lstSeparator"));
  lstSeparator_->setProperty("Tag", 1);
  separatorLabel->setBuddy(lstSeparator_);
  forms[1]->addRow(separatorLabel);
  forms[1]->addRow(lstSeparator_);
  forms[1]->addRow(new QLabel(QStringLiteral("先頭のチェックボックスで指定してください"), fraTitle_[1]));
  separatorHandler_ = new Separators::ListHandler(lstSeparator_, dialogs_);

  addField(fraTitle_[2], 2, "txtTitle", QStringLiteral("タイトル(&T)"), -1);
  chkSaveBcc_ = new QCheckBox(QStringLiteral("送信メールを自分にBCCする(&B)"), fraTitle_[2]);
  chkSaveBcc_->setObjectName(QStringLiteral("chkSaveBcc"));
  forms[2]->addRow(chkSaveBcc_);
  chkShowMeter_ = new QCheckBox(QStringLiteral("処理中メータを表示する(&M)"), fraTitle_[2]);
  chkShowMeter_->setObjectName(QStringLiteral("chkShowMeter"));
  forms[2]->addRow(chkShowMeter_);
  forms[2]->addRow(new QLabel(QStringLiteral("（メータを非表示すると高速になる場合があります）"), fraTitle_[2]));

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  for (const QString& caption : {QStringLiteral("OK(&O)"), QStringLiteral("ｷｬﾝｾﾙ(&C)")}) {
    auto* button = new QPushButton(caption, this);
    button->setObjectName(QStringLiteral("btnAction_%1").arg(btnAction_.size()));
    button->setAutoDefault(false);
    buttons->addWidget(button);
    btnAction_.append(button);
  }
  layout->addLayout(buttons);
  connect(btnAction_[0], &QPushButton::clicked, this, &frmOption::ok);
  connect(btnAction_[1], &QPushButton::clicked, this, [this] {
    if (mayClose()) QDialog::reject();
  });

  load();
}

QString frmOption::MissingQuestion() {
  return QStringLiteral("データを入力してください。設定が不足しています。") + kCrLf +
         QStringLiteral(
             "不足分のデータの設定を行う場合は「はい」を、設定画面を終了する場合は「いいえ」を選択してください。");
}

QLineEdit* frmOption::addField(QWidget* frame, int tab, const char* name, const QString& label, int) {
  auto* form = qobject_cast<QFormLayout*>(frame->layout());
  auto* field = new QLineEdit(frame);
  field->setObjectName(QString::fromLatin1(name));
  field->setProperty("Tag", tab);
  field->installEventFilter(this);
  auto* caption = new QLabel(label, frame);
  caption->setBuddy(field);
  form->addRow(caption, field);
  fields_.append(field);
  return field;
}

QLineEdit* frmOption::Field(const QString& objectName) const {
  for (QLineEdit* f : fields_)
    if (f->objectName() == objectName) return f;
  return nullptr;
}

void frmOption::load() {
  for (QLineEdit* f : fields_) f->clear();
  sstOption_->setCurrentIndex(0);
  const AppSettings& s = state_.Settings;
  Field(QStringLiteral("txtAccount"))->setText(s.Account);
  Field(QStringLiteral("txtPasswd"))->setText(s.Passwd);
  Field(QStringLiteral("txtMailAddr"))->setText(s.Email);
  Field(QStringLiteral("txtFullName"))->setText(s.FullName);
  Field(QStringLiteral("txtSmtpServer"))->setText(s.SmtpServer);
  Field(QStringLiteral("txtSmtpPort"))->setText(QString::number(s.SmtpPort));
  Field(QStringLiteral("txtPopServer"))->setText(s.PopServer);
  Field(QStringLiteral("txtPopPort"))->setText(s.PopPort == -1 ? QString() : QString::number(s.PopPort));
  Field(QStringLiteral("txtPageLines"))->setText(QString::number(s.PageLines));
  Field(QStringLiteral("txtLineChars"))->setText(QString::number(s.LineChars));
  Field(QStringLiteral("txtLineSpace"))->setText(QString::number(s.LineSpace));
  Field(QStringLiteral("txtTitle"))->setText(s.Title);
  {
    // Loading is no choice of the user's: the ports stay as stored.
    const QSignalBlocker quiet(cboSecurity_);
    cboSecurity_->setCurrentIndex(std::clamp<int>(s.Security, SecurityNone, SecurityTls));
  }
  chkSmtpAuth_->setChecked(s.SmtpAuth == 1);
  chkSaveBcc_->setChecked(s.SaveBcc == 1);
  chkShowMeter_->setChecked(s.ShowMeter == 1);
  const bool pop = !s.PopServer.isEmpty() && s.PopPort != -1;
  chkPopBefore_->setChecked(pop);
  if (!pop) Field(QStringLiteral("txtPopPort"))->setText(QStringLiteral("110"));
  popBeforeChanged();
  Separators::Fill(lstSeparator_, state_.SeparatorList, s.Separator);
}

void frmOption::securityChanged(int security) {
  // The port that goes with the choice, unless the user typed one of their
  // own (one that is not the usual port of another choice).
  static const QStringList smtpPorts{QStringLiteral("25"), QStringLiteral("587"), QStringLiteral("465")};
  QLineEdit* smtp = Field(QStringLiteral("txtSmtpPort"));
  const QString typed = NumericText::AsciiForm(smtp->text()).trimmed();
  if (typed.isEmpty() || smtpPorts.contains(typed)) smtp->setText(smtpPorts.value(security));
  QLineEdit* pop = Field(QStringLiteral("txtPopPort"));
  const QString popTyped = NumericText::AsciiForm(pop->text()).trimmed();
  if (popTyped.isEmpty() || popTyped == QStringLiteral("110") || popTyped == QStringLiteral("995"))
    pop->setText(security == SecurityTls ? QStringLiteral("995") : QStringLiteral("110"));
}

QString frmOption::ClearPasswordMessage() {
  return QStringLiteral("接続の保護が「なし」のため、SMTP認証のパスワードは暗号化されずに送られます。") + kCrLf +
         QStringLiteral("プロバイダのサーバでは「STARTTLS」（ポート587）か「SSL/TLS」（ポート465）を選んでください。");
}

void frmOption::popBeforeChanged() {
  const bool on = chkPopBefore_->isChecked();
  Field(QStringLiteral("txtPopServer"))->setEnabled(on);
  Field(QStringLiteral("txtPopPort"))->setEnabled(on);
  if (lblPopServer_ != nullptr) lblPopServer_->setEnabled(on);
  if (lblPopPort_ != nullptr) lblPopPort_->setEnabled(on);
}

bool frmOption::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusIn)
    if (auto* edit = qobject_cast<QLineEdit*>(watched)) QTimer::singleShot(0, edit, &QLineEdit::selectAll);
  return QDialog::eventFilter(watched, event);
}

void frmOption::ok() {
  const auto f = [this](const char* name) -> QWidget* { return Field(QString::fromLatin1(name)); };
  if (!InputChecks::CheckFilled(sstOption_,
                                {f("txtTitle"), f("txtAccount"), f("txtPasswd"), f("txtMailAddr"), f("txtSmtpPort"),
                                 f("txtSmtpServer"), f("txtPageLines"), f("txtLineChars"), f("txtLineSpace")},
                                dialogs_))
    return;
  QList<QWidget*> numbers{f("txtSmtpPort"), f("txtPageLines"), f("txtLineChars"), f("txtLineSpace")};
  // The POP port is only stored, and only editable, with the box checked.
  if (chkPopBefore_->isChecked()) numbers.append(f("txtPopPort"));
  if (!InputChecks::CheckNumeric(sstOption_, numbers, dialogs_)) return;
  // Numbers the program cannot use: a port outside 1..65535, a layout value
  // below 1 (every new mail would start with a layout that converts nothing).
  for (QWidget* w : numbers) {
    auto* field = static_cast<QLineEdit*>(w);
    // A blank POP port is no number to judge: POP is then left off (below).
    if (field->text().trimmed().isEmpty()) continue;
    const QString name = field->objectName();
    const bool port = name.endsWith(QStringLiteral("Port"));
    const std::int64_t value = NumericText::ToInt32(field->text()).value_or(0);
    if (port ? (value < 1 || value > 65535) : value < 1) {
      sstOption_->setCurrentIndex(field->property("Tag").toInt());
      dialogs_.Message(InputChecks::NotNumericMessage(), AppState::ProgramTitle(), Dialogs::Icon::Exclamation);
      field->setFocus();
      return;
    }
  }
  if (!InputChecks::CheckSeparatorChosen(sstOption_, lstSeparator_, dialogs_)) return;
  // A login without protection sends the password as it is: the user is told
  // so once, when choosing it.
  const bool clearLogin = chkSmtpAuth_->isChecked() && cboSecurity_->currentIndex() == SecurityNone;
  const bool wasClear = state_.Settings.SmtpAuth == 1 && state_.Settings.Security == SecurityNone;
  if (clearLogin && !wasClear)
    dialogs_.Message(ClearPasswordMessage(), AppState::ProgramTitle(), Dialogs::Icon::Exclamation);
  // POP-before-SMTP needs both fields; the box checked with one of them blank
  // would be stored as no POP at all, which the user is told and may correct.
  if (chkPopBefore_->isChecked()) {
    QLineEdit* blank = nullptr;
    for (const char* name : {"txtPopServer", "txtPopPort"})
      if (blank == nullptr && Field(QString::fromLatin1(name))->text().trimmed().isEmpty())
        blank = Field(QString::fromLatin1(name));
    if (blank != nullptr && dialogs_.Message(PopOffQuestion(), AppState::ProgramTitle(), Dialogs::Icon::Question,
                                             Dialogs::Buttons::YesNo) != Dialogs::Answer::Yes) {
      sstOption_->setCurrentIndex(0);
      blank->setFocus();
      return;
    }
  }
  store();
  if (mayClose()) QDialog::accept();
}

QString frmOption::PopOffQuestion() {
  return QStringLiteral("POPサーバまたはPOPポートが入力されていないため、POP-BEFOREは行いません。") +
         QStringLiteral("\r\n") + QStringLiteral("よろしいですか？") + QStringLiteral("\r\n") +
         QStringLiteral("（入力する場合は「いいえ」を選択してください）");
}

void frmOption::store() {
  AppSettings& s = state_.Settings;
  const auto text = [this](const char* name) { return Field(QString::fromLatin1(name))->text(); };
  s.Title = text("txtTitle");
  s.Account = text("txtAccount");
  s.Passwd = text("txtPasswd");
  s.Email = text("txtMailAddr");
  s.FullName = text("txtFullName");
  s.SmtpPort = NumericText::ToInt32(text("txtSmtpPort")).value_or(s.SmtpPort);
  s.SmtpServer = text("txtSmtpServer");
  if (!text("txtPopServer").isEmpty() && !text("txtPopPort").isEmpty() && chkPopBefore_->isChecked()) {
    s.PopPort = NumericText::ToInt32(text("txtPopPort")).value_or(-1);
    s.PopServer = text("txtPopServer");
  } else {
    s.PopPort = -1;
    s.PopServer = QString();
  }
  s.PageLines = NumericText::ToInt32(text("txtPageLines")).value_or(s.PageLines);
  s.LineChars = NumericText::ToInt32(text("txtLineChars")).value_or(s.LineChars);
  s.LineSpace = NumericText::ToInt16(text("txtLineSpace")).value_or(s.LineSpace);
  s.Security = cboSecurity_->currentIndex();
  s.SmtpAuth = chkSmtpAuth_->isChecked() ? 1 : 0;
  s.SaveBcc = chkSaveBcc_->isChecked() ? 1 : 0;
  s.ShowMeter = chkShowMeter_->isChecked() ? 1 : 0;
  CleanSettings(s);

  // The list as edited here becomes the program's list. Empty entries are left
  // out: the file's list ends at its first empty entry, so anything after one
  // would be lost at the next start.
  QStringList entries{NoSeparatorText()};
  int separator = 0;
  for (int i = 1; i < lstSeparator_->count(); ++i) {
    const QListWidgetItem* item = lstSeparator_->item(i);
    if (item->text().isEmpty()) continue;
    if (item->checkState() == Qt::Checked && separator == 0) separator = static_cast<int>(entries.size());
    entries.append(item->text());
  }
  state_.SeparatorList = entries;
  s.Separator = separator;
}

bool frmOption::mayClose() {
  const AppSettings& s = state_.Settings;
  int problem = -1;
  if (s.Account.isEmpty() || s.Email.isEmpty() || s.Passwd.isEmpty() || s.SmtpServer.isEmpty())
    problem = 0;
  else if (s.LineChars == 0 || s.PageLines == 0)
    problem = 1;
  else if (s.Title.isEmpty())
    problem = 2;
  if (problem < 0) return true;
  sstOption_->setCurrentIndex(problem);
  return dialogs_.Message(MissingQuestion(), AppState::ProgramTitle(), Dialogs::Icon::Exclamation,
                          Dialogs::Buttons::YesNo) != Dialogs::Answer::Yes;
}

void frmOption::reject() {
  // The window's own close button closes without the check; Esc is Cancel.
  if (closeBox_) {
    QDialog::reject();
    return;
  }
  if (mayClose()) QDialog::reject();
}

void frmOption::closeEvent(QCloseEvent* event) {
  closeBox_ = true;
  QDialog::closeEvent(event);
  closeBox_ = false;
}
