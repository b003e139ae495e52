#pragma once

#include <QDialog>

// The about window: the program's title and its version in formal kanji numerals.
class AboutWindow : public QDialog {
  Q_OBJECT
 public:
  AboutWindow(const QString& programTitle, const QString& version, QWidget* parent = nullptr);

  // "形式 " followed by the version written in formal kanji numerals.
  static QString VersionLine(const QString& version);
};
