#include "glyphswap/clsIME.h"

#include "support/Dialogs.h"

#include <QGuiApplication>
#include <QInputMethod>
#include <QInputMethodEvent>
#include <QWidget>

clsIME::clsIME(Dialogs& dialogs, QObject* parent) : QObject(parent), dialogs_(dialogs) {}

QString clsIME::InvalidTargetMessage() { return QStringLiteral("指定されたﾊﾝﾄﾞﾙは無効です"); }
QString clsIME::MessageTitle() { return QStringLiteral("IMEOperation Class"); }

void clsIME::Target(QWidget* target) {
  if (target == nullptr) {
    target_ = nullptr;
    dialogs_.Message(InvalidTargetMessage(), MessageTitle(), Dialogs::Icon::Error);
    return;
  }
  target_ = target;
  target_->setAttribute(Qt::WA_InputMethodEnabled, true);
}

void clsIME::SetImeWindow(const QRect& at) {
  at_ = at;
  // The input method asks the focused widget where its cursor is and puts its
  // windows there: tell it the answer changed.
  if (target_ && target_->hasFocus()) QGuiApplication::inputMethod()->update(Qt::ImCursorRectangle);
}

void clsIME::Observe(const QInputMethodEvent* event) {
  composing_ = !event->preeditString().isEmpty();
  if (!event->commitString().isEmpty()) result_ += event->commitString();
}

QString clsIME::TakeResultWord() { return std::exchange(result_, QString()); }
