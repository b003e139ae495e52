#include "gui/AppMain.h"

#include "gui/ShutdownSignals.h"
#include "gui/mainwindow/frmCenter.h"
#include "store/AddressBook.h"
#include "store/AppSettings.h"
#include "support/AtomicFile.h"
#include "support/Dialogs.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>

#include <unistd.h>

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

void AppMain::RemoveCutWrites(const AppState& state) {
  AtomicFile::RemoveLeftovers(state.ProgramFolder,
                              QStringLiteral("Tallpost\\.ini|GlyphSwap\\.dat|address\\.dat|TallpostWindows\\.ini"));
  AtomicFile::RemoveLeftovers(state.FilePath(QStringLiteral("MailBox")),
                              QStringLiteral("MailIndex\\.dat|[0-9]+\\.vml"));
}

QString AppMain::FolderNotWritableMessage(const QString& folder) {
  return QStringLiteral("プログラムフォルダに書き込めないため、起動できません。") + QStringLiteral("\r\n\r\n") +
         folder + QStringLiteral("\r\n\r\n") +
         QStringLiteral(
             "メール・設定・アドレス帳はこのフォルダに保存されます。書き込みの権限とディスクの空きを確かめてください"
             "。");
}

QString AppMain::ForwardServerName(const QString& programFolder) {
  const QString folder = QFileInfo(programFolder).canonicalFilePath();
  const QByteArray hash =
      QCryptographicHash::hash((folder.isEmpty() ? programFolder : folder).toUtf8(), QCryptographicHash::Sha256);
  return QStringLiteral("tallpost-%1-%2").arg(getuid()).arg(QString::fromLatin1(hash.toHex().left(16)));
}

AppMain::StartResult AppMain::Start() {
  if (!lock_.tryLock(0)) {
    // Only a lock held by a running copy means another copy; a folder the
    // program cannot write in is a reason to stop that the user must hear.
    if (lock_.error() == QLockFile::LockFailedError) {
      // The running copy brings its window forward: a second start from the
      // desktop's menu does not end without a sign.
      QLocalSocket running;
      running.connectToServer(ForwardServerName(state_.ProgramFolder));
      if (running.waitForConnected(2000)) {
        running.write("show\n");
        running.waitForBytesWritten(2000);
        running.disconnectFromServer();
      }
      return StartResult::SecondInstance;
    }
    dialogs_.Message(FolderNotWritableMessage(QDir::toNativeSeparators(state_.ProgramFolder)), AppState::ProgramTitle(),
                     Dialogs::Icon::Error);
    return StartResult::FolderNotWritable;
  }
  RemoveCutWrites(state_);
  // There is no registry to record the installation in.
  if (!LoadSettings(state_, ini_)) {
    dialogs_.Message(TableFailedMessage(), AppState::ProgramTitle(), Dialogs::Icon::Error);
    return StartResult::TableFailed;
  }
  AddressBook::ReadAddressBook(state_.ProgramFolder, state_.Addresses);
  center_ = std::make_unique<frmCenter>(state_, ini_, dialogs_);
  // A logout or a closed terminal closes the program as the user would.
  QObject::connect(&ShutdownSignals::Instance(), &ShutdownSignals::Received, center_.get(), &frmCenter::CloseForSignal);
  center_->Load();
  listenForSecondStarts();
  return StartResult::Running;
}

void AppMain::listenForSecondStarts() {
  const QString name = ForwardServerName(state_.ProgramFolder);
  forward_ = std::make_unique<QLocalServer>();
  forward_->setSocketOptions(QLocalServer::UserAccessOption);
  // A socket left by a copy that crashed; this copy holds the lock now.
  QLocalServer::removeServer(name);
  if (!forward_->listen(name)) return;
  QObject::connect(forward_.get(), &QLocalServer::newConnection, center_.get(), [this] {
    while (QLocalSocket* socket = forward_->nextPendingConnection()) {
      QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
      QObject::connect(socket, &QLocalSocket::readyRead, center_.get(), [this, socket] {
        // Only the one request there is; anything else is ignored.
        if (socket->readAll().startsWith("show") && center_) center_->BringForward();
      });
      if (socket->bytesAvailable() > 0) Q_EMIT socket->readyRead();
    }
  });
}
