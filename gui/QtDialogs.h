#pragma once

#include "support/Dialogs.h"

class QCoreApplication;
class QTranslator;
class QWidget;

// Installs Qt's own Japanese translations (qtbase_ja from Qt's translations
// folder), so that standard buttons (はい, いいえ, キャンセル) and the standard
// dialogs speak Japanese whatever the user's locale. The translator (owned by
// app), or null when they are not installed: Qt's English texts then stay.
QTranslator* LoadJapaneseTranslations(QCoreApplication& app);

// Dialogs shown with QMessageBox, QInputDialog and QFileDialog, parented to
// the active window.
class QtDialogs final : public Dialogs {
 public:
  Answer Message(const QString& text, const QString& title, Icon icon, Buttons buttons) override;
  std::optional<QString> Input(const QString& prompt, const QString& title, const QString& defaultText) override;
  QStringList OpenFiles(const QString& title, const QString& filter) override;
  std::optional<QString> SaveFile(const QString& title, const QString& filter, const QString& suggestedName) override;
};
