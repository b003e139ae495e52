#include "tests/testsupport/ScriptedDialogs.h"

Dialogs::Answer ScriptedDialogs::Message(const QString& text, const QString& title, Icon icon, Buttons buttons) {
  messages.append({text, title, icon, buttons});
  if (!answers_.empty()) {
    const Answer a = answers_.front();
    answers_.pop_front();
    return a;
  }
  return buttons == Buttons::Ok ? Answer::Ok : Answer::No;
}

std::optional<QString> ScriptedDialogs::Input(const QString& prompt, const QString&, const QString& defaultText) {
  prompts << prompt;
  defaults << defaultText;
  if (inputs_.empty()) return std::nullopt;
  const bool cancelled = !inputs_.front().has_value();
  const QString text = inputs_.front().value_or(QString());
  inputs_.pop_front();
  if (cancelled) return std::nullopt;
  return text;
}
