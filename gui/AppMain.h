#pragma once

#include "store/ApiIniFileAccess.h"
#include "store/AppState.h"

#include <QLockFile>

#include <memory>

class Dialogs;
class QLocalServer;
class frmCenter;

// Start-up of Tallpost and the application-wide state it owns.
class AppMain {
 public:
  enum class StartResult { Running, SecondInstance, TableFailed, FolderNotWritable };

  AppMain(const QString& programFolder, Dialogs& dialogs);
  ~AppMain();

  // Refuses a second copy, loads the settings and the character table, and
  // loads and shows the main window.
  StartResult Start();

  AppState& State() { return state_; }
  ApiIniFileAccess& Ini() { return ini_; }
  frmCenter* MainWindow() const { return center_.get(); }

  // The local socket through which a second start asks the running copy
  // of the same program folder to bring its window forward.
  static QString ForwardServerName(const QString& programFolder);

  // Removes the temporary files that writes cut short by a crash left in the
  // program folder and the mail folder (no write runs before start-up).
  static void RemoveCutWrites(const AppState& state);

  static QString TableFailedMessage();
  static QString FolderNotWritableMessage(const QString& folder);

 private:
  void listenForSecondStarts();

  Dialogs& dialogs_;
  QLockFile lock_;
  AppState state_;
  ApiIniFileAccess ini_;
  std::unique_ptr<frmCenter> center_;
  std::unique_ptr<QLocalServer> forward_;
};
