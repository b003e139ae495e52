#pragma once

#include <QWidget>

class WindowPlaces;

// What the main window needs of an open editor window.
class EditorWindow : public QWidget {
  Q_OBJECT
 public:
  using QWidget::QWidget;
  // The mail in the window has changes that are not stored.
  virtual bool DataChanged() const = 0;
  // The program is being ended without a question (a signal): changes are
  // stored in 下書き rather than lost. False when they could not be.
  virtual bool KeepAsDraft() = 0;
};

// What an editor window needs of the main window that opened it.
class EditorHost {
 public:
  virtual ~EditorHost() = default;
  // The editor now holds mail nSeq (its first store) / lets it go (its close).
  virtual void RegisterMessage(int nSeq, EditorWindow* oForm) = 0;
  virtual void TerminateMessage(int nSeq) = 0;
  // The mail index changed: list it again.
  virtual void RefreshMailList() = 0;
  virtual void ShowAddressBook() = 0;
  // Where the user left the windows, or nothing.
  virtual WindowPlaces* Places() { return nullptr; }
};
