#include "support/AtomicFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace AtomicFile {
namespace {

bool writeAll(int fd, const char* data, qsizetype size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, static_cast<size_t>(size));
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= n;
  }
  return true;
}

}  // namespace

bool IsReadOnly(const QString& path) {
  struct stat st {};
  if (::stat(QFile::encodeName(path).constData(), &st) != 0) return false;
  return (st.st_mode & S_IWUSR) == 0;
}

bool Write(const QString& path, const QByteArray& data, Existing existing, unsigned newFileMode) {
  const QByteArray target = QFile::encodeName(path);
  struct stat st {};
  const bool exists = ::stat(target.constData(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) return false;
  if (!exists && existing == Existing::MustExist) return false;
  if (exists && (st.st_mode & S_IWUSR) == 0) return false;

  const mode_t mode = exists ? (st.st_mode & 07777) : static_cast<mode_t>(newFileMode);
  const QFileInfo info(path);
  QByteArray temp =
      QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".XXXXXX"));
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return false;
  // A write past a file-size limit must fail like a full disk, not kill the program.
  std::signal(SIGXFSZ, SIG_IGN);
  bool ok = ::fchmod(fd, mode) == 0;
  ok = ok && writeAll(fd, data.constData(), data.size());
  ok = ok && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok) ok = ::rename(temp.constData(), target.constData()) == 0;
  if (!ok) ::unlink(temp.constData());
  return ok;
}

}  // namespace AtomicFile
