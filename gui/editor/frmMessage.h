#pragma once

#include "gui/editor/AttachmentRows.h"
#include "gui/mainwindow/EditorWindow.h"
#include "gui/meter/MeterDriver.h"
#include "store/MailStore.h"

#include <QList>
#include <QSet>
#include <QString>

#include <array>
#include <memory>

struct AppState;
class Dialogs;
class MyTategakiEngine;
class PopBeforeSmtp;
class SmtpDialogue;
class QAction;
class QCheckBox;
class QFrame;
class QGridLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QMenuBar;
class QMimeData;
class QPlainTextEdit;
class QStatusBar;
class QTabWidget;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;
class QVBoxLayout;
namespace Separators {
class ListHandler;
}

// The window in which one mail is written, converted to vertical text, stored
// and reopened.
class frmMessage : public EditorWindow {
  Q_OBJECT
 public:
  frmMessage(AppState& state, Dialogs& dialogs, EditorHost* host, QWidget* parent = nullptr);
  ~frmMessage() override;

  // Fills the window with a new mail (nSeq -1) or stored mail nSeq. With
  // bAutoShow the window is placed and shown. False when the stored mail
  // cannot be read; the window has then closed itself.
  bool Constructor(int nSeq, bool bAutoShow);

  bool DataChanged() const override { return dataChanged_; }
  bool KeepAsDraft() override;
  int StoredSeq() const { return storedSeq_; }
  void SetMeCaption();

  // Stores the mail into mailbox mailBox (2 for a new mail); see the window's
  // messages for what the user is told on each refusal.
  bool StoreMail(int mailBox);

  // The files of a drop become new attachment rows.
  void GetAttachFile(const QMimeData* data);

  // Runs the conversion of the horizontal body into the vertical tab.
  void RunConversion();

  // The characters of the mail (fields, bodies, attachment names) that would
  // not arrive as typed, shown with what each becomes: Yes replaces them,
  // No keeps the mail as it is, Cancel stops. False when the user stops.
  // A character the user chose to keep is not asked about again.
  bool CheckCharacters();
  static QString CharacterCheckMessage(const QString& list);

  Q_INVOKABLE void CallBack_TategakiEngine(int nValue, const QString& szCallBackFrom = QString(), int nOperate = 0);

  // Sends the mail: stored first, then one SMTP dialogue (one per To address
  // in TOE mode). True when it went out and the mail is in the sent mailbox;
  // the window has then closed. bSendAllMode asks and shows nothing.
  bool SendMail(bool bSendAllMode);
  // The send command of the menu: asks about an empty subject first.
  void mnuSendMail_Click();
  Q_INVOKABLE void CallBack_SendMail(int nValue, const QString& szCallBackFrom = QString(), int nOperate = 0);
  void mnuTOEMode_Click();
  bool TOEMode() const;
  // Every message and question of the window is left out (sending a whole outbox).
  void SetQuiet(bool quiet) { quiet_ = quiet; }
  QCheckBox* TOEMailSelf() const { return chkTOEMailSelf_; }
  SmtpDialogue& Smtp() const { return *smtp_; }
  PopBeforeSmtp& Pop() const { return *pop_; }

  // The controls, by the names the window gives them.
  QLineEdit* Upper(int i) const { return txtUpper_[i]; }
  QPlainTextEdit* Body(int i) const { return txtBody_[i]; }
  QTabWidget* Tabs() const { return sstBody_; }
  QLineEdit* PageLinesField() const { return txtPageLines_; }
  QLineEdit* LineCharsField() const { return txtLineChars_; }
  QLineEdit* LineSpaceField() const { return txtLineSpace_; }
  QListWidget* SeparatorListWidget() const { return lstSeparator_; }
  QTreeWidget* FileList() const { return lvFile_; }
  QLabel* Panel(int n) const { return panels_[n - 1]; }
  QLabel* GuideLabel(int i) const;
  QFrame* GuidePanel() const { return picGuide0_; }
  QMenu* PickerMenu() const { return mnuAddrRoot_; }
  QList<QAction*> PickerItems() const { return mnuShowAddr_; }
  QAction* FindAction(const QString& objectName) const;
  QList<AttachmentRow> AttachmentRowsShown() const;
  const MailRecord& Record() const { return record_; }
  MyTategakiEngine& Engine() const { return *engine_; }

  static QString ReadFailedMessage();
  static QString CloseQuestion();
  static QString AttachFailedMessage(const QString& name, const QString& path);
  static QString AttachHelpMessage();
  static QString StoreFailedMessage();
  static QString NewMailCaption();  // "メッセージの作成"
  static QString NoSubjectQuestion();
  static QString NoVerticalQuestion();
  static QString SendErrorMessage(const QString& reply);
  static QString ConnectErrorMessage(int number, const QString& description);
  static QString TOEExplanation();
  static QString SentNotRecordedMessage();
  static QString PartlySentMessage(const QStringList& delivered, const QStringList& missed, const QString& error);
  // The last send went out but could not be recorded on disk.
  bool LastSendUnrecorded() const { return unrecorded_; }

 Q_SIGNALS:
  // The conversion put a new vertical text into the window.
  void Converted();

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildControls();
  void buildMenus(QVBoxLayout* layout);
  QAction* addItem(QMenu* menu, const QString& name, const QString& caption, const QKeySequence& shortcut = {});
  void clearControls();
  void setChanged() { dataChanged_ = true; }
  void refreshPanels();
  void panelClicked(int panel);
  void showTab(int index);
  bool checkLayoutFields(bool forConversion);
  QString separatorText() const;
  void addRow(const AttachmentRow& row, const QString& state);
  void setRows(const QList<AttachmentRow>& rows);
  void rowsChanged();
  void sortFiles(int column);
  void resortFiles();
  void deleteSelectedFile();
  void openPicker(int field);
  void pick(int k);
  void selectAll();
  void wrapFancy();
  void saveAndExit();
  void showAttachHelp();
  Dialogs& ui();

  AppState& state_;
  Dialogs& dialogs_;
  EditorHost* host_;

  std::array<QLineEdit*, 4> txtUpper_{};
  QList<QLabel*> lblGuide_;
  QTabWidget* sstBody_ = nullptr;
  std::array<QPlainTextEdit*, 2> txtBody_{};
  QFrame* picGuide0_ = nullptr;
  QTimer* tmrGuide_ = nullptr;
  QWidget* fraSetting_ = nullptr;
  QLineEdit* txtPageLines_ = nullptr;
  QLineEdit* txtLineChars_ = nullptr;
  QLineEdit* txtLineSpace_ = nullptr;
  QListWidget* lstSeparator_ = nullptr;
  Separators::ListHandler* separatorHandler_ = nullptr;
  QTreeWidget* lvFile_ = nullptr;
  QStatusBar* sbMessage_ = nullptr;
  std::array<QLabel*, 6> panels_{};
  QMenuBar* menuBar_ = nullptr;
  QMenu* mnuAddrRoot_ = nullptr;
  QList<QAction*> mnuShowAddr_;
  QAction* xSeparator8_ = nullptr;
  QAction* mnuFancy_ = nullptr;

  bool dataChanged_ = false;
  int storedSeq_ = -1;
  bool constructing_ = false;
  bool engineRunning_ = false;
  bool sending_ = false;
  bool quiet_ = false;
  bool unrecorded_ = false;
  QSet<QString> keptCharacters_;  // the characters the user chose to keep as they were
  bool stopRequested_ = false;
  std::int16_t pickerField_ = -1;
  bool filesSorted_ = false;
  int sortColumn_ = 0;
  QStringList sortTags_{QString(), QString()};
  MailRecord record_;

  QGridLayout* header_ = nullptr;
  QCheckBox* chkTOEMailSelf_ = nullptr;
  QAction* mnuTOEMode_ = nullptr;
  SmtpDialogue* smtp_ = nullptr;
  PopBeforeSmtp* pop_ = nullptr;
  std::unique_ptr<Dialogs> silent_;

  std::unique_ptr<MyTategakiEngine> engine_;
  MeterDriver meter_;
};
