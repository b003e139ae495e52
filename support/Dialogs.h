#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// Every question and message a window puts to the user goes through this
// interface, so that tests can answer them. The Qt implementation shows message
// and input boxes; the test implementation records what was asked.
class Dialogs {
 public:
  enum class Icon { None, Information, Exclamation, Question, Error };
  enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel };
  enum class Answer { Ok, Cancel, Yes, No };

  virtual ~Dialogs() = default;

  virtual Answer Message(const QString& text, const QString& title, Icon icon, Buttons buttons = Buttons::Ok) = 0;

  // The text typed, or nothing when the user cancelled.
  virtual std::optional<QString> Input(const QString& prompt, const QString& title,
                                       const QString& defaultText = QString()) = 0;

  // Files chosen to open (filter as "vCard (*.vcf)"); none when cancelled.
  virtual QStringList OpenFiles(const QString& title, const QString& filter) = 0;
  // A file to write, or nothing when cancelled.
  virtual std::optional<QString> SaveFile(const QString& title, const QString& filter,
                                          const QString& suggestedName) = 0;
};

// Asks nothing and shows nothing: every question is answered No, every input
// cancelled. For work that must stay silent (sending a whole outbox).
class NoDialogs final : public Dialogs {
 public:
  Answer Message(const QString&, const QString&, Icon, Buttons) override { return Answer::No; }
  std::optional<QString> Input(const QString&, const QString&, const QString&) override { return std::nullopt; }
  QStringList OpenFiles(const QString&, const QString&) override { return {}; }
  std::optional<QString> SaveFile(const QString&, const QString&, const QString&) override { return std::nullopt; }
};
