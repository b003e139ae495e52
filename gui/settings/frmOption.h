#pragma once

#include <QDialog>
#include <QList>

struct AppState;
class Dialogs;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTabWidget;
namespace Separators {
class ListHandler;
}

// The settings window: changes the settings in memory (they are written at the
// end of the run) and the page separator list.
class frmOption : public QDialog {
  Q_OBJECT
 public:
  frmOption(AppState& state, Dialogs& dialogs, QWidget* parent = nullptr);

  static QString MissingQuestion();
  // Asked at OK when POP-BEFORE is checked but its server or port is blank.
  static QString PopOffQuestion();
  // Told when a login without protection (security "none") is chosen.
  static QString ClearPasswordMessage();

  QTabWidget* Tabs() const { return sstOption_; }
  QLineEdit* Field(const QString& objectName) const;
  QCheckBox* PopBefore() const { return chkPopBefore_; }
  QComboBox* Security() const { return cboSecurity_; }
  QCheckBox* SmtpAuth() const { return chkSmtpAuth_; }
  QCheckBox* SaveBcc() const { return chkSaveBcc_; }
  QCheckBox* ShowMeter() const { return chkShowMeter_; }
  QListWidget* SeparatorListWidget() const { return lstSeparator_; }
  QPushButton* OkButton() const { return btnAction_[0]; }
  QPushButton* CancelButton() const { return btnAction_[1]; }
  Separators::ListHandler* SeparatorHandler() const { return separatorHandler_; }

  void reject() override;

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QLineEdit* addField(QWidget* frame, int tab, const char* name, const QString& label, int row);
  void load();
  void popBeforeChanged();
  void securityChanged(int security);
  void ok();
  // The closing check on the stored settings; true when the window may close.
  bool mayClose();
  void store();

  AppState& state_;
  Dialogs& dialogs_;
  QTabWidget* sstOption_ = nullptr;
  QList<QGroupBox*> fraTitle_;
  QList<QLineEdit*> fields_;
  QCheckBox* chkPopBefore_ = nullptr;
  QComboBox* cboSecurity_ = nullptr;
  QCheckBox* chkSmtpAuth_ = nullptr;
  QCheckBox* chkSaveBcc_ = nullptr;
  QCheckBox* chkShowMeter_ = nullptr;
  QLabel* lblPopServer_ = nullptr;
  QLabel* lblPopPort_ = nullptr;
  QListWidget* lstSeparator_ = nullptr;
  Separators::ListHandler* separatorHandler_ = nullptr;
  QList<QPushButton*> btnAction_;
  bool closeBox_ = false;
};
