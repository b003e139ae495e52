// GlyphSwap: the character table editor Tallpost starts and waits for.
#include "glyphswap/GlyphSwapCommandLine.h"
#include "glyphswap/frmGlyphSwap.h"
#include "gui/QtDialogs.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QLockFile>

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  LoadJapaneseTranslations(app);
  // The desktop entry and icon installed with the program.
  QGuiApplication::setDesktopFileName(QStringLiteral("tallpost"));
  QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("tallpost")));
  const GlyphSwapCommandLine line = GlyphSwapCommandLine::FromArguments(QCoreApplication::arguments().mid(1));
  // Started with nothing to edit, or a second time: nothing to say.
  if (line.Empty) return 0;
  QLockFile lock(QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("GlyphSwap.lock")));
  lock.setStaleLockTime(0);
  if (!lock.tryLock(0) && lock.error() == QLockFile::LockFailedError) return 0;
  QtDialogs dialogs;
  frmGlyphSwap window(line.Path, line.Title, dialogs);
  if (!window.Load()) return 1;
  window.show();
  return app.exec();
}
