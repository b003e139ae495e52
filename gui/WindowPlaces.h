#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

class QWidget;

// Where the user left the windows: sizes and places, the main window's
// splitter and list columns. Kept in a file of its own beside Tallpost.ini
// ("TallpostWindows.ini", one "name=base64" line each), never in the settings
// the old program shares; a missing or damaged file only means the windows
// open where they would have opened anyway.
class WindowPlaces {
 public:
  explicit WindowPlaces(QString path);

  static QString FileName() { return QStringLiteral("TallpostWindows.ini"); }

  // Puts the window where it was kept under name, inside the screens as they
  // are now. False when nothing is kept (the window is left alone).
  bool Restore(QWidget* window, const QString& name) const;
  // Keeps the window's size and place under name and writes the file.
  void Keep(const QWidget* window, const QString& name);

  QByteArray Value(const QString& name) const { return values_.value(name); }
  void SetValue(const QString& name, const QByteArray& value) { values_.insert(name, value); }
  bool Write() const;

  // Moves the window, as little as it takes, so that its frame lies within
  // the available area of the screen it is on (or the primary one).
  static void KeepInsideScreen(QWidget* window);

 private:
  QString path_;
  QMap<QString, QByteArray> values_;
};
