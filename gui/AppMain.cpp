#include "gui/AppMain.h"

#include "gui/mainwindow/frmCenter.h"
#include "store/AddressBook.h"
#include "store/AppSettings.h"
#include "support/Dialogs.h"

#include <QDir>

AppMain::AppMain(const QString& programFolder, Dialogs& dialogs)
    : dialogs_(dialogs),
      lock_(QDir(programFolder).filePath(QStringLiteral("Tallpost.lock"))),
      state_(programFolder),
      ini_(state_.IniPath, &dialogs) {
  // A lock stays held for as long as its process lives; only a lock left by a
  // process that no longer runs is taken over.
  lock_.setStaleLockTime(0);
}

AppMain::~AppMain() = default;

QString AppMain::TableFailedMessage() { return QStringLiteral("初期化情報取得に失敗しました。"); }

AppMain::StartResult AppMain::Start() {
  if (!lock_.tryLock(0)) return StartResult::SecondInstance;
  // There is no registry to record the installation in.
  if (!LoadSettings(state_, ini_)) {
    dialogs_.Message(TableFailedMessage(), AppState::ProgramTitle(), Dialogs::Icon::Error);
    return StartResult::TableFailed;
  }
  AddressBook::ReadAddressBook(state_.ProgramFolder, state_.Addresses);
  center_ = std::make_unique<frmCenter>(state_, ini_, dialogs_);
  center_->Load();
  return StartResult::Running;
}
