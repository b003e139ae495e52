// Tallpost started on a program folder, sending its whole outbox at once as
// "一括送信(&S)" answered Yes would, then closing: the run the kill tests cut
// short at random moments.
//
//   batch_child PROGRAM_FOLDER
#include "gui/AppMain.h"
#include "gui/mainwindow/frmCenter.h"
#include "support/LocalTimeZone.h"
#include "tests/testsupport/YesDialogs.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char* argv[]) {
  SettleLocalTimeZone();
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: batch_child PROGRAM_FOLDER\n");
    return 2;
  }
  YesDialogs dialogs;
  AppMain program(QString::fromLocal8Bit(argv[1]), dialogs);
  if (program.Start() != AppMain::StartResult::Running) return 1;
  program.MainWindow()->mnuSendMails_Click();
  return program.MainWindow()->close() ? 0 : 1;
}
