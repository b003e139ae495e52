#pragma once

#include "support/Dialogs.h"

// Says Yes to a question (the batch question) and OK to everything else;
// asks for nothing. For runs without anyone at the keys.
class YesDialogs final : public Dialogs {
 public:
  Answer Message(const QString&, const QString&, Icon, Buttons buttons) override {
    return buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;
  }
  std::optional<QString> Input(const QString&, const QString&, const QString&) override { return std::nullopt; }
  QStringList OpenFiles(const QString&, const QString&) override { return {}; }
  std::optional<QString> SaveFile(const QString&, const QString&, const QString&) override { return std::nullopt; }
};
