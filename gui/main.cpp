#include "gui/AppMain.h"
#include "gui/QtDialogs.h"
#include "gui/mainwindow/frmCenter.h"
#include "support/LocalTimeZone.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[]) {
  SettleLocalTimeZone();
  QApplication app(argc, argv);
  LoadJapaneseTranslations(app);
  // The desktop entry and icon installed with the program.
  QGuiApplication::setDesktopFileName(QStringLiteral("tallpost"));
  QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("tallpost")));
  QApplication::setQuitOnLastWindowClosed(false);
  QtDialogs dialogs;
  AppMain program(QCoreApplication::applicationDirPath(), dialogs);
  program.State().Arguments = QCoreApplication::arguments().mid(1);
  switch (program.Start()) {
    case AppMain::StartResult::SecondInstance:
      return 0;
    case AppMain::StartResult::TableFailed:
    case AppMain::StartResult::FolderNotWritable:
      return 1;
    case AppMain::StartResult::Running:
      break;
  }
  QObject::connect(program.MainWindow(), &frmCenter::ShutDownComplete, &app, &QCoreApplication::quit,
                   Qt::QueuedConnection);
  return app.exec();
}
