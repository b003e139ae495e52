#include "support/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <csignal>
#include <dirent.h>
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

bool Append(const QString& path, const QByteArray& data, unsigned newFileMode, bool sync) {
  const QByteArray target = QFile::encodeName(path);
  const int fd =
      ::open(target.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, static_cast<mode_t>(newFileMode));
  if (fd < 0) return false;
  std::signal(SIGXFSZ, SIG_IGN);
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0;
  const off_t before = st.st_size;
  ok = ok && writeAll(fd, data.constData(), data.size());
  if (sync) ok = ok && ::fdatasync(fd) == 0;
  if (!ok && before >= 0) {
    // What did get written would run into the next append.
    if (::ftruncate(fd, before) == 0) ::fdatasync(fd);
  }
  ok = (::close(fd) == 0) && ok;
  return ok;
}

int RemoveLeftovers(const QString& folder, const QString& namePattern) {
  // Write's temporary files: "." + the file's name + "." + six characters.
  const QRegularExpression temporary(QStringLiteral("^\\.(?:") + namePattern + QStringLiteral(")\\.[A-Za-z0-9]{6}$"));
  int removed = 0;
  // Read straight from the directory, and the pattern tried on hidden names
  // only: the mail folder of a large store holds a hundred thousand files,
  // and this runs at start-up.
  DIR* dir = ::opendir(QFile::encodeName(folder).constData());
  if (dir == nullptr) return 0;
  const QDir here(folder);
  while (const dirent* entry = ::readdir(dir)) {
    if (entry->d_name[0] != '.') continue;
    const QString name = QFile::decodeName(entry->d_name);
    if (!temporary.match(name).hasMatch()) continue;
    if (QFileInfo(here.filePath(name)).isFile() && QFile::remove(here.filePath(name))) ++removed;
  }
  ::closedir(dir);
  return removed;
}

}  // namespace AtomicFile
