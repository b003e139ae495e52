#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>

class Dialogs;
class QInputMethodEvent;
class QWidget;

// What the table editor needs of the platform's input method (fcitx, IBus and
// the like, through Qt's input-method support), for one target widget: whether
// a composition is open, the word it committed, and the candidate window
// placed at a point of the target.
class clsIME : public QObject {
  Q_OBJECT
 public:
  explicit clsIME(Dialogs& dialogs, QObject* parent = nullptr);

  // The widget the input method works for; a null one is refused with the
  // message "指定されたﾊﾝﾄﾞﾙは無効です".
  void Target(QWidget* target);
  QWidget* Target() const { return target_; }

  // The composition window (and its candidates) at this rectangle of the
  // target, in the target's coordinates.
  void SetImeWindow(const QRect& at);
  QRect ImeWindow() const { return at_; }

  // A composition is under way, or has just committed a word the target has
  // not taken yet.
  bool IMEOpen() const { return composing_ || !result_.isEmpty(); }
  // The word the last composition committed; taking it clears it.
  QString ResultWord() const { return result_; }
  QString TakeResultWord();

  // The target's input-method events pass through here.
  void Observe(const QInputMethodEvent* event);

  static QString InvalidTargetMessage();  // "指定されたﾊﾝﾄﾞﾙは無効です"
  static QString MessageTitle();          // "IMEOperation Class"

 private:
  Dialogs& dialogs_;
  QPointer<QWidget> target_;
  QRect at_;
  bool composing_ = false;
  QString result_;
};
