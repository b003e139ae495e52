#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <QTreeWidget>

#include <array>

struct AppState;
class Dialogs;
class QAction;
class QLabel;
class QMenu;
class QMimeData;
class QPlainTextEdit;
class WindowPlaces;

class frmAddress;

// The tree of the address book window: a node dragged inside it moves where
// the window says, and files dropped on it are imported.
class AddressTreeWidget : public QTreeWidget {
  Q_OBJECT
 public:
  explicit AddressTreeWidget(frmAddress* window);
  static QString NodeMimeType();  // what a dragged node carries: its key

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dragLeaveEvent(QDragLeaveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // A drag of one of the tree's own nodes moves it; files are copied in.
  void takeDrag(QDragMoveEvent* event, bool highlight);
  QTreeWidgetItem* ownNode(const QMimeData* data) const;

  frmAddress* window_;
  QPoint pressedAt_;
};

// The address book window: groups and persons under "アドレス帳", the
// addresses of the selected person below, edits kept in the window until
// "保存して終了(&S)" puts them into the program's address list.
class frmAddress : public QMainWindow {
  Q_OBJECT
 public:
  // places: where the user left the window before (may be null).
  frmAddress(AppState& state, Dialogs& dialogs, QWidget* mainWindow, WindowPlaces* places = nullptr);
  ~frmAddress() override;

  QTreeWidget* Tree() const { return tvAddr_; }
  QPlainTextEdit* EmailBox() const { return txtEmail_; }
  QLabel* Panel(int n) const { return panels_[static_cast<size_t>(n - 1)]; }
  QAction* FindAction(const QString& objectName) const;
  bool Dirty() const { return dirty_; }
  QTreeWidgetItem* Root() const;
  QTreeWidgetItem* NodeByKey(const QString& key) const;
  int NodeCount() const;
  QTreeWidgetItem* DropHighlight() const { return highlight_; }

  // A click on a node (with the mouse the addresses follow on release).
  void SelectNode(QTreeWidgetItem* node);
  // A node dropped on target, as a drag inside the tree ends.
  void MoveNode(QTreeWidgetItem* dragged, QTreeWidgetItem* target);
  // Files dropped on the tree: each an Outlook Express vCard, one person.
  void ImportDroppedFiles(const QStringList& paths);
  // "vCardﾌｧｲﾙ(&V)...": today's vCards, one person per card.
  void ImportVCardFiles();
  // "ｴｸｽﾎﾟｰﾄ(&E)...": the book as one vCard 4.0 file.
  void ExportVCard();
  void SaveAndExit();

  // While the mouse holds a node that may be moved.
  void SetDragNode(QTreeWidgetItem* node) { dragNode_ = node; }
  QTreeWidgetItem* DragNode() const { return dragNode_; }
  void SetMouseDown(bool down) { mouseIsDown_ = down; }
  void SetDropHighlight(QTreeWidgetItem* node);
  void ShowEmail();
  void ShowEditMenu(const QPoint& globalPos);

  static QString OutlookExplanation();
  static QString DeleteAddressQuestion();  // "アドレスを削除してよろしいですか？"
  static QString DeleteGroupQuestion();    // "グループを削除してよろしいですか？"
  static QString GroupNotEmptyMessage();
  static QString CannotMoveMessage();  // "この操作はできません"
  static QString DiscardQuestion();    // "変更を破棄して、終了してよろしいですか？"
  static QString NewAddressText();     // "新規アドレス"
  static QString NewGroupText();       // "新規グループ"
  static QString Caption();            // "ｱﾄﾞﾚｽ帳"

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void buildMenus();
  void load();
  QString newKey() const;
  void updatePersonCount();
  void addAddress();
  void addGroup();
  void changeName();
  void deleteAddress();
  void deleteGroup();
  // Asks the question; on Yes removes the node (a person or an empty group).
  void removeAfterAsking(QTreeWidgetItem* node, const QString& question);
  void emailEdited();
  void nameEdited(QTreeWidgetItem* item);
  QTreeWidgetItem* addPerson(const QString& name, const QStringList& addresses);
  QStringList categoriesOf(const QTreeWidgetItem* node) const;

  AppState& state_;
  Dialogs& dialogs_;
  QPointer<QWidget> mainWindow_;
  WindowPlaces* places_ = nullptr;
  AddressTreeWidget* tvAddr_ = nullptr;
  QWidget* picEmail_ = nullptr;
  QLabel* lblGuide_ = nullptr;
  QPlainTextEdit* txtEmail_ = nullptr;
  std::array<QLabel*, 2> panels_{};
  QMenu* mnuEdit_ = nullptr;
  QTreeWidgetItem* dragNode_ = nullptr;
  QTreeWidgetItem* highlight_ = nullptr;
  bool dirty_ = false;
  bool mouseIsDown_ = false;
  bool loadingEmail_ = false;
  bool building_ = false;
  bool saved_ = false;
};
