#pragma once

#include "support/Dialogs.h"

class QWidget;

// Dialogs shown with QMessageBox, QInputDialog and QFileDialog, parented to
// the active window.
class QtDialogs final : public Dialogs {
 public:
  Answer Message(const QString& text, const QString& title, Icon icon, Buttons buttons) override;
  std::optional<QString> Input(const QString& prompt, const QString& title, const QString& defaultText) override;
  QStringList OpenFiles(const QString& title, const QString& filter) override;
  std::optional<QString> SaveFile(const QString& title, const QString& filter, const QString& suggestedName) override;
};
