#pragma once

#include <QString>
#include <QTemporaryDir>

// A throw-away program folder for one test.
class TempProgramFolder {
 public:
  TempProgramFolder();
  QString Path() const { return dir_.path(); }
  QString File(const QString& name) const;
  // Copies the default character table of the build into the folder.
  bool InstallDefaultTable() const;
  bool WriteBytes(const QString& name, const QByteArray& bytes) const;
  QByteArray ReadBytes(const QString& name) const;

 private:
  QTemporaryDir dir_;
};

// Runs the rest of a scope with a file-size limit, so that writes past it fail
// as on a full disk.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(long long bytes);
  ~FileSizeLimit();

 private:
  long long oldSoft_ = 0;
  long long oldHard_ = 0;
};

// True when the tests run with a user who can be refused a write by
// permissions (root is not).
bool PermissionsApply();
