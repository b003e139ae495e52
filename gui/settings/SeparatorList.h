#pragma once

#include <QList>
#include <QObject>
#include <QStringList>

class Dialogs;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QTabWidget;
class QWidget;

// The page separators of a window's check-box list "lstSeparator" and the input
// checks of the layout fields, shared by the editor and the settings window.
namespace Separators {

QString AddPrompt();       // "区切線を入力してください"
QString UpdatePrompt();    // "区切線を修正入力してください"
QString DeleteQuestion();  // "この区切線を削除してよろしいですか？"
QString TwoCheckedMessage();
// Why a separator text cannot be kept (it would read back as a section header of
// the settings file, holds a control character or a character the settings file
// cannot hold), or an empty string when it can.
QString RefusalOf(const QString& text);

// Fills the list with the entries, one check box each; checkedIndex is checked.
void Fill(QListWidget* list, const QStringList& entries, int checkedIndex);
QStringList Entries(const QListWidget* list);
// The first checked entry, or -1.
int CheckedIndex(const QListWidget* list);

// Entry 0 ("not used") can be neither changed nor removed.
void AddSeparator(QListWidget* list, Dialogs& dialogs);
void UpdateSeparator(QListWidget* list, Dialogs& dialogs);
void DeleteSeparator(QListWidget* list, Dialogs& dialogs);
// After a check box changed: at most one entry stays checked, and a new check
// next to an existing one is undone with a message.
void ItemCheck(QListWidget* list, QListWidgetItem* clicked, Dialogs& dialogs);

// Wires a window's list: the context menu "mnuSeparator", the keys (Insert adds,
// Delete removes, Enter changes) and the one-checked rule. Edited() tells the
// window that the list or its keys were used, for its changed-flag.
class ListHandler : public QObject {
  Q_OBJECT
 public:
  ListHandler(QListWidget* list, Dialogs& dialogs);
  QMenu* Menu() const { return menu_; }

 Q_SIGNALS:
  void Edited();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void checkChanged(QListWidgetItem* item);
  QListWidget* list_;
  Dialogs& dialogs_;
  QMenu* menu_;
};

}  // namespace Separators

// Checks run before layout values are used. Each returns true when every
// control passes; on the first failure it brings forward the tab page whose
// index the control carries in its "Tag" property, shows the message, puts the
// focus on the control and returns false.
namespace InputChecks {

QString NotFilledMessage();    // "値が入力されていません"
QString NotNumericMessage();   // "不正な値が入力されています"
QString NoSeparatorMessage();  // "区切線の選択がされていません。"

// The text of a line edit, text box or combo box.
QString ControlText(const QWidget* control);
bool CheckFilled(QTabWidget* tabs, const QList<QWidget*>& controls, Dialogs& dialogs);
bool CheckFilledQuiet(QTabWidget* tabs, bool show, const QList<QWidget*>& controls, Dialogs& dialogs);
// Empty passes; otherwise the text must be a number that fits the field: a
// 32-bit integer, or 16-bit for a control whose "NumericBits" property is 16.
bool CheckNumeric(QTabWidget* tabs, const QList<QWidget*>& controls, Dialogs& dialogs);
bool CheckSeparatorChosen(QTabWidget* tabs, QListWidget* list, Dialogs& dialogs);

}  // namespace InputChecks
