#include "store/AppState.h"

#include <QDir>

AppState::AppState(QString programFolder)
    : ProgramFolder(std::move(programFolder)), Keeper(QDir(ProgramFolder).filePath(QStringLiteral("MailBox"))) {
  GlyphSwapPath = FilePath(QStringLiteral("GlyphSwap.dat"));
  IniPath = FilePath(QStringLiteral("Tallpost.ini"));
  MailBoxTable = {
      {},
      {QString(), QStringLiteral("送信箱"), 2, 3},
      {QString(), QStringLiteral("送信済み"), 2, 3},
      {QString(), QStringLiteral("下書き"), 2, 3},
      {QString(), QStringLiteral("ごみ箱"), 4, 4},
  };
}

QString AppState::ProgramTitle() { return QStringLiteral("たかぽすと"); }

QString AppState::FilePath(const QString& name) const { return QDir(ProgramFolder).filePath(name); }

MailStore AppState::Store() const { return MailStore(FilePath(QStringLiteral("MailBox"))); }
