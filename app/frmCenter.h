#pragma once

#include "app/EditorWindow.h"

#include <QList>
#include <QMainWindow>
#include <QPointer>

struct AppState;
class ApiIniFileAccess;
class Dialogs;
class QTreeWidget;
class QTreeWidgetItem;
class QStatusBar;

// The main window: the mailbox tree, the list of the selected mailbox, the menus,
// the registry of open editors and the orderly shut-down.
class frmCenter : public QMainWindow, public EditorHost {
  Q_OBJECT
 public:
  frmCenter(AppState& state, ApiIniFileAccess& ini, Dialogs& dialogs, QWidget* parent = nullptr);
  ~frmCenter() override;

  // Creates the MailBox folder, builds the tree, shows the window and runs the
  // first-run check.
  void Load();

  // Open editors by mail number.
  void RegisterMessage(int nSeq, EditorWindow* oForm) override;
  void TerminateMessage(int nSeq) override;
  void RefreshMailList() override;
  void ShowAddressBook() override;
  const QList<QPointer<EditorWindow>>& OpenEditors() const { return openEditors_; }

  QTreeWidget* MailBoxTree() const { return tvMailBox_; }

  static QString FirstRunMessage();
  static QString ShutDownQuestion();

 Q_SIGNALS:
  // The settings are written and the program may end.
  void ShutDownComplete();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void buildMenus();
  void buildTree();
  void showAbout();

  AppState& state_;
  ApiIniFileAccess& ini_;
  Dialogs& dialogs_;
  QTreeWidget* tvMailBox_ = nullptr;
  QTreeWidget* lvMailList_ = nullptr;
  QList<QPointer<EditorWindow>> openEditors_;
};
