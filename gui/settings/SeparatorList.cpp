#include "gui/settings/SeparatorList.h"

#include "store/AppState.h"
#include "support/Cp932.h"
#include "support/Dialogs.h"
#include "support/NumericText.h"
#include "support/TextForm.h"

#include <QComboBox>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTextEdit>

namespace Separators {

QString AddPrompt() { return QStringLiteral("区切線を入力してください"); }
QString UpdatePrompt() { return QStringLiteral("区切線を修正入力してください"); }
QString DeleteQuestion() { return QStringLiteral("この区切線を削除してよろしいですか？"); }
QString TwoCheckedMessage() { return QStringLiteral("2つ以上の区切線を同時に選択することはできません。"); }

QString RefusalOf(const QString& text) {
  // The list is kept one entry to a line in a section of Tallpost.ini: a line
  // read back as a section header would end the list there.
  const QString trimmed = text.trimmed();
  if (trimmed.startsWith(u'[') && trimmed.indexOf(u']') > 0)
    return QStringLiteral("「[」で始まり「]」を含む区切線は保存できません。") + QStringLiteral("\r\n") +
           QStringLiteral("先頭の「[」を全角の「［」などに替えてください。");
  if (TextForm::HasControl(text)) return QStringLiteral("区切線に改行やタブなどの制御文字は使えません。");
  if (!Cp932::CanEncode(text)) {
    QString missing;
    for (qsizetype i = 0; i < text.size(); ++i) {
      const qsizetype n = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
      const QString one = text.mid(i, n);
      if (!Cp932::CanEncode(one) && !missing.contains(one)) missing += one;
      i += n - 1;
    }
    return QStringLiteral("区切線に保存できない文字があります：") + missing;
  }
  return QString();
}

namespace {

QListWidgetItem* newEntry(const QString& text) {
  auto* item = new QListWidgetItem(text);
  item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
  item->setCheckState(Qt::Unchecked);
  return item;
}

}  // namespace

void Fill(QListWidget* list, const QStringList& entries, int checkedIndex) {
  const QSignalBlocker quiet(list);
  list->clear();
  for (const QString& e : entries) list->addItem(newEntry(e));
  if (QListWidgetItem* item = list->item(checkedIndex)) item->setCheckState(Qt::Checked);
}

QStringList Entries(const QListWidget* list) {
  QStringList out;
  for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
  return out;
}

int CheckedIndex(const QListWidget* list) {
  for (int i = 0; i < list->count(); ++i)
    if (list->item(i)->checkState() == Qt::Checked) return i;
  return -1;
}

namespace {

// Asks until the text can be kept (or the user cancels); a refused text is
// offered again for correction.
std::optional<QString> askText(Dialogs& dialogs, const QString& prompt, QString text) {
  for (;;) {
    std::optional<QString> answer = dialogs.Input(prompt, AppState::ProgramTitle(), text);
    if (!answer || answer->isEmpty()) return std::nullopt;
    const QString refusal = RefusalOf(*answer);
    if (refusal.isEmpty()) return answer;
    dialogs.Message(refusal, AppState::ProgramTitle(), Dialogs::Icon::Exclamation);
    text = *answer;
  }
}

}  // namespace

void AddSeparator(QListWidget* list, Dialogs& dialogs) {
  const std::optional<QString> text = askText(dialogs, AddPrompt(), QString());
  if (!text) return;
  const QSignalBlocker quiet(list);
  list->addItem(newEntry(*text));
}

void UpdateSeparator(QListWidget* list, Dialogs& dialogs) {
  QListWidgetItem* item = list->currentRow() > 0 ? list->currentItem() : nullptr;
  if (item == nullptr) return;
  const std::optional<QString> text = askText(dialogs, UpdatePrompt(), item->text());
  if (!text) return;
  const QSignalBlocker quiet(list);
  item->setText(*text);
}

void DeleteSeparator(QListWidget* list, Dialogs& dialogs) {
  const int row = list->currentRow();
  if (row <= 0) return;
  if (dialogs.Message(DeleteQuestion(), AppState::ProgramTitle(), Dialogs::Icon::Question, Dialogs::Buttons::YesNo) !=
      Dialogs::Answer::Yes)
    return;
  const QSignalBlocker quiet(list);
  delete list->takeItem(row);
}

void ItemCheck(QListWidget* list, QListWidgetItem* clicked, Dialogs& dialogs) {
  const QSignalBlocker quiet(list);
  int checked = 0;
  for (int i = 0; i < list->count(); ++i) {
    QListWidgetItem* item = list->item(i);
    if (item->checkState() != Qt::Checked) continue;
    ++checked;
    if (checked == 2) {
      dialogs.Message(TwoCheckedMessage(), AppState::ProgramTitle(), Dialogs::Icon::Exclamation);
      if (clicked != nullptr) clicked->setCheckState(Qt::Unchecked);
      // The entry met here stays checked unless it was the one just clicked.
      if (item != clicked) continue;
    } else if (checked > 2) {
      item->setCheckState(Qt::Unchecked);
    }
  }
}

ListHandler::ListHandler(QListWidget* list, Dialogs& dialogs)
    : QObject(list), list_(list), dialogs_(dialogs), menu_(new QMenu(list)) {
  menu_->setObjectName(QStringLiteral("mnuSeparator"));
  struct Item {
    const char* name;
    QString text;
    void (*run)(QListWidget*, Dialogs&);
  };
  for (const Item& i : {Item{"mnuAddSeparator", QStringLiteral("区切線追加(&A)..."), &AddSeparator},
                        Item{"mnuUpdSeparator", QStringLiteral("区切線修正(&U)..."), &UpdateSeparator},
                        Item{"mnuDelSeparator", QStringLiteral("区切線削除(&D)..."), &DeleteSeparator}}) {
    if (QLatin1String(i.name) == QLatin1String("mnuDelSeparator")) menu_->addSeparator();
    QAction* action = menu_->addAction(i.text);
    action->setObjectName(QString::fromLatin1(i.name));
    auto run = i.run;
    connect(action, &QAction::triggered, this, [this, run] {
      run(list_, dialogs_);
      Q_EMIT Edited();
    });
  }
  list->setContextMenuPolicy(Qt::DefaultContextMenu);
  list->installEventFilter(this);
  list->viewport()->installEventFilter(this);
  connect(list, &QListWidget::itemChanged, this, &ListHandler::checkChanged);
}

void ListHandler::checkChanged(QListWidgetItem* item) {
  ItemCheck(list_, item, dialogs_);
  Q_EMIT Edited();
}

bool ListHandler::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::ContextMenu) {
    menu_->popup(static_cast<QContextMenuEvent*>(event)->globalPos());
    return true;
  }
  if (watched == list_ && event->type() == QEvent::KeyPress && list_->currentRow() > 0) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    bool handled = true;
    switch (key) {
      case Qt::Key_Insert:
        AddSeparator(list_, dialogs_);
        break;
      case Qt::Key_Delete:
        DeleteSeparator(list_, dialogs_);
        break;
      case Qt::Key_Return:
      case Qt::Key_Enter:
        UpdateSeparator(list_, dialogs_);
        break;
      default:
        handled = false;
    }
    // Any key on an entry of the user's counts as an edit of the list.
    Q_EMIT Edited();
    return handled;
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace Separators

namespace InputChecks {
namespace {

QString trimSpaces(const QString& text) {
  qsizetype b = 0;
  qsizetype e = text.size();
  while (b < e && text[b] == QLatin1Char(' ')) ++b;
  while (e > b && text[e - 1] == QLatin1Char(' ')) --e;
  return text.mid(b, e - b);
}

bool fail(QTabWidget* tabs, QWidget* control, const QString& message, Dialogs& dialogs) {
  if (tabs != nullptr && control != nullptr) {
    bool ok = false;
    const int page = control->property("Tag").toInt(&ok);
    if (ok && page >= 0 && page < tabs->count()) tabs->setCurrentIndex(page);
  }
  dialogs.Message(message, AppState::ProgramTitle(), Dialogs::Icon::Exclamation);
  if (control != nullptr) control->setFocus(Qt::OtherFocusReason);
  return false;
}

}  // namespace

QString NotFilledMessage() { return QStringLiteral("値が入力されていません"); }
QString NotNumericMessage() { return QStringLiteral("不正な値が入力されています"); }
QString NoSeparatorMessage() { return QStringLiteral("区切線の選択がされていません。"); }

QString ControlText(const QWidget* control) {
  if (auto* e = qobject_cast<const QLineEdit*>(control)) return e->text();
  if (auto* p = qobject_cast<const QPlainTextEdit*>(control)) return p->toPlainText();
  if (auto* t = qobject_cast<const QTextEdit*>(control)) return t->toPlainText();
  if (auto* c = qobject_cast<const QComboBox*>(control)) return c->currentText();
  return QString();
}

bool CheckFilledQuiet(QTabWidget* tabs, bool show, const QList<QWidget*>& controls, Dialogs& dialogs) {
  for (QWidget* c : controls) {
    if (!trimSpaces(ControlText(c)).isEmpty()) continue;
    if (show) return fail(tabs, c, NotFilledMessage(), dialogs);
    return false;
  }
  return true;
}

bool CheckFilled(QTabWidget* tabs, const QList<QWidget*>& controls, Dialogs& dialogs) {
  return CheckFilledQuiet(tabs, true, controls, dialogs);
}

bool CheckNumeric(QTabWidget* tabs, const QList<QWidget*>& controls, Dialogs& dialogs) {
  for (QWidget* c : controls) {
    const QString text = ControlText(c);
    if (text.isEmpty()) continue;
    const bool narrow = c->property("NumericBits").toInt() == 16;
    const bool fits = narrow ? NumericText::ToInt16(text).has_value() : NumericText::ToInt32(text).has_value();
    if (!fits) return fail(tabs, c, NotNumericMessage(), dialogs);
  }
  return true;
}

bool CheckSeparatorChosen(QTabWidget* tabs, QListWidget* list, Dialogs& dialogs) {
  if (Separators::CheckedIndex(list) >= 0) return true;
  return fail(tabs, list, NoSeparatorMessage(), dialogs);
}

}  // namespace InputChecks
