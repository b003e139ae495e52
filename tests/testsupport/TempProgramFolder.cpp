#include "tests/testsupport/TempProgramFolder.h"

#include <QDir>
#include <QFile>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

TempProgramFolder::TempProgramFolder() : dir_(QDir::tempPath() + QStringLiteral("/tallpost-XXXXXX")) {}

QString TempProgramFolder::File(const QString& name) const { return QDir(Path()).filePath(name); }

bool TempProgramFolder::InstallDefaultTable() const {
  return QFile::copy(QStringLiteral(TALLPOST_DEFAULT_TABLE), File(QStringLiteral("GlyphSwap.dat")));
}

bool TempProgramFolder::WriteBytes(const QString& name, const QByteArray& bytes) const {
  QFile f(File(name));
  return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray TempProgramFolder::ReadBytes(const QString& name) const {
  QFile f(File(name));
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

FileSizeLimit::FileSizeLimit(long long bytes) {
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  oldSoft_ = static_cast<long long>(old.rlim_cur);
  oldHard_ = static_cast<long long>(old.rlim_max);
  rlimit lim = old;
  lim.rlim_cur = static_cast<rlim_t>(bytes);
  setrlimit(RLIMIT_FSIZE, &lim);
}

FileSizeLimit::~FileSizeLimit() {
  rlimit lim{static_cast<rlim_t>(oldSoft_), static_cast<rlim_t>(oldHard_)};
  setrlimit(RLIMIT_FSIZE, &lim);
}

bool PermissionsApply() { return geteuid() != 0; }
