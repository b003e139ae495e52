#pragma once

#include "gui/addressbook/frmAddress.h"
#include "gui/mainwindow/EditorWindow.h"
#include "gui/meter/MeterDriver.h"
#include "store/IndexJournal.h"

#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QSet>
#include <QStringList>

#include <array>
#include <functional>
#include <memory>

struct AppState;
class ApiIniFileAccess;
class Dialogs;
class MailListModel;
class QLabel;
class QStackedWidget;
class QTreeView;
class QTreeWidget;
class QTimer;
class QTreeWidgetItem;

// The main window: the mailbox tree, the list of the selected mailbox, the menus,
// the registry of open editors and the orderly shut-down.
class QSplitter;
class WindowPlaces;

class frmCenter : public QMainWindow, public EditorHost {
  Q_OBJECT
 public:
  frmCenter(AppState& state, ApiIniFileAccess& ini, Dialogs& dialogs, QWidget* parent = nullptr);
  ~frmCenter() override;

  // Creates the MailBox folder, builds the tree, reads the index, lists the
  // outbox, shows the window and runs the first-run check.
  void Load();

  // Open editors by mail number.
  void RegisterMessage(int nSeq, EditorWindow* oForm) override;
  void TerminateMessage(int nSeq) override;
  void RefreshMailList() override;
  void ShowAddressBook() override;
  WindowPlaces* Places() override { return places_.get(); }
  // A second start of the program asked for this window.
  void BringForward();
  frmAddress* AddressBookWindow() const { return addressBook_; }
  const QList<QPointer<EditorWindow>>& OpenEditors() const { return openEditors_; }

  // The mailbox node at tree position (1 root, 2 outbox ... 5 trash).
  QTreeWidgetItem* MailBoxNode(int position) const;
  // Lists the mails of a node, as a click on it does.
  void SelectMailBox(int position);
  int SelectedMailBox() const;
  // Opens the selected mail in an editor, or brings its editor forward.
  void OpenSelectedMail();
  // A new mail in a new editor.
  EditorWindow* MakeNewMail();
  // Moves the mails to a mailbox, as a drop of their numbers on its node does.
  // False when the text is not a list of mail numbers of the index.
  bool DropMails(const QString& numbers, int position);
  void ShowOption();
  // Sends every outbox mail that is not open in an editor, silently, under one
  // meter, and reports once at the end.
  void mnuSendMails_Click();
  Q_INVOKABLE void CallBack_SendMails(int nValue, const QString& szCallBackFrom = QString(), int nOperate = 0);
  static QString BatchQuestion(bool editing);
  static QString BatchErrorMessage();
  static QString GlyphSwapStartFailedMessage(const QString& program);
  void EditGlyphSwap();
  // The list's header was clicked.
  void SortByColumn(int column);
  QString HeaderMark(int column) const { return marks_[static_cast<size_t>(column)]; }

  QTreeWidget* MailBoxTree() const { return tvMailBox_; }
  QTreeView* MailList() const { return lvMailList_; }
  MailListModel* MailListData() const { return model_; }
  QLabel* Panel(int n) const { return panels_[static_cast<size_t>(n - 1)]; }
  QWidget* Logo() const { return picLogo_; }

  // The character table editor's program (GlyphSwap beside Tallpost); tests
  // put another program here.
  void SetGlyphSwapProgram(const QString& path) { glyphSwapProgram_ = path; }

  // A signal asks the program to end: unsaved mails go to 下書き, then the
  // close proceeds as a normal one, without its question.
  void CloseForSignal();

  static QString FirstRunMessage();
  static QString ShutDownQuestion();
  static QString MoveFailedMessage();
  static QString RecoveredMessage(int count);
  QString InDoubtMessage(const IndexJournal::Replay& replay) const;
  static QString BatchUnrecordedMessage(int count);

 Q_SIGNALS:
  // The settings are written and the program may end.
  void ShutDownComplete();

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildMenus();
  void buildTree();
  void nodeClicked(QTreeWidgetItem* node);
  void fillList(int position);
  // The rows of the mails changed since the list was last brought in step,
  // but for those already taken out of it.
  void refreshRows(const QSet<int>& gone);
  void selectFirstRow();  // as the current and only selected row
  void updateCounts(int position);
  void deleteSelectedMails();
  bool moveMails(const QList<int>& seqs, int mailBox);
  void selectAllMails();
  void showAbout();
  // Folds the index journal into MailIndex.dat when nothing is going on.
  void foldWhenQuiet();

  AppState& state_;
  ApiIniFileAccess& ini_;
  Dialogs& dialogs_;
  QTreeWidget* tvMailBox_ = nullptr;
  QStackedWidget* listArea_ = nullptr;
  QTreeView* lvMailList_ = nullptr;
  MailListModel* model_ = nullptr;
  QWidget* picLogo_ = nullptr;
  std::array<QLabel*, 3> panels_{};
  std::array<QString, 4> marks_{};
  QList<QPointer<EditorWindow>> openEditors_;
  // New mails not stored yet: not in openEditors_, but asked about at shut-down.
  QList<QPointer<EditorWindow>> newEditors_;
  QString glyphSwapProgram_;
  QTimer* quiet_ = nullptr;
  QPointer<frmAddress> addressBook_;
  std::unique_ptr<WindowPlaces> places_;
  QSplitter* splitter_ = nullptr;
  // The list's columns keep the widths the user gave them (or had kept);
  // until then they fit their contents at every fill.
  bool columnsKept_ = false;
  bool fittingColumns_ = false;
  bool closingForSignal_ = false;
  MeterDriver batchMeter_;
};
