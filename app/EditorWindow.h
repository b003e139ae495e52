#pragma once

#include <QWidget>

// What the main window needs of an open editor window.
class EditorWindow : public QWidget {
  Q_OBJECT
 public:
  using QWidget::QWidget;
  // The mail in the window has changes that are not stored.
  virtual bool DataChanged() const = 0;
};
