#include "gui/AppMain.h"

#include "gui/mainwindow/frmCenter.h"
#include "store/AddressBook.h"
#include "store/AppSettings.h"
#include "gui/ShutdownSignals.h"
#include "support/AtomicFile.h"
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

QString AppMain::FolderNotWritableMessage(const QString& folder) {
  return QStringLiteral("プログラムフォルダに書き込めないため、起動できません。") + QStringLiteral("\r\n\r\n") + folder +
         QStringLiteral("\r\n\r\n") +
         QStringLiteral("メール・設定・アドレス帳はこのフォルダに保存されます。書き込みの権限とディスクの空きを確かめてください。");
}

AppMain::StartResult AppMain::Start() {
  if (!lock_.tryLock(0)) {
    // Only a lock held by a running copy means another copy; a folder the
    // program cannot write in is a reason to stop that the user must hear.
    if (lock_.error() == QLockFile::LockFailedError) return StartResult::SecondInstance;
    dialogs_.Message(FolderNotWritableMessage(QDir::toNativeSeparators(state_.ProgramFolder)),
                     AppState::ProgramTitle(), Dialogs::Icon::Error);
    return StartResult::FolderNotWritable;
  }
  // Temporary files of writes a crash cut short: no write runs now.
  AtomicFile::RemoveLeftovers(state_.ProgramFolder, QStringLiteral("Tallpost\\.ini|GlyphSwap\\.dat|address\\.dat"));
  AtomicFile::RemoveLeftovers(state_.FilePath(QStringLiteral("MailBox")),
                              QStringLiteral("MailIndex\\.dat|[0-9]+\\.vml"));
  // There is no registry to record the installation in.
  if (!LoadSettings(state_, ini_)) {
    dialogs_.Message(TableFailedMessage(), AppState::ProgramTitle(), Dialogs::Icon::Error);
    return StartResult::TableFailed;
  }
  AddressBook::ReadAddressBook(state_.ProgramFolder, state_.Addresses);
  center_ = std::make_unique<frmCenter>(state_, ini_, dialogs_);
  // A logout or a closed terminal closes the program as the user would.
  QObject::connect(&ShutdownSignals::Instance(), &ShutdownSignals::Received, center_.get(),
                   &frmCenter::CloseForSignal);
  center_->Load();
  return StartResult::Running;
}
