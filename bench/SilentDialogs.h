#pragma once

#include "support/Dialogs.h"

// Dialogs that never block: a benchmark asks nothing of a user.
class SilentDialogs final : public Dialogs {
 public:
  Answer Message(const QString&, const QString&, Icon, Buttons) override { return Answer::No; }
  std::optional<QString> Input(const QString&, const QString&, const QString&) override { return std::nullopt; }
};
