#pragma once

#include "support/Dialogs.h"

#include <QList>
#include <QStringList>

#include <deque>
#include <utility>

// Dialogs for tests: records every message and input box and answers from a
// script. Unscripted questions are answered No (OK for an OK box, Cancel for an
// input box), the answer that changes nothing.
class ScriptedDialogs final : public Dialogs {
 public:
  struct Asked {
    QString text;
    QString title;
    Icon icon;
    Buttons buttons;
  };

  Answer Message(const QString& text, const QString& title, Icon icon, Buttons buttons) override;
  std::optional<QString> Input(const QString& prompt, const QString& title, const QString& defaultText) override;
  QStringList OpenFiles(const QString& title, const QString&) override {
    fileTitles << title;
    return std::exchange(openNext, {});
  }
  std::optional<QString> SaveFile(const QString& title, const QString&, const QString&) override {
    fileTitles << title;
    return std::exchange(saveNext, std::nullopt);
  }

  void AnswerNext(Answer a) { answers_.push_back(a); }
  // What the next file dialog gives (once).
  QStringList openNext;
  std::optional<QString> saveNext;
  QStringList fileTitles;
  void InputNext(std::optional<QString> text) { inputs_.push_back(std::move(text)); }

  QList<Asked> messages;
  QStringList prompts;
  QStringList defaults;  // the text each input box was offered with

 private:
  std::deque<Answer> answers_;
  std::deque<std::optional<QString>> inputs_;
};
