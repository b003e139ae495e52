#include "support/AtomicFile.h"
#include "tests/testsupport/TempProgramFolder.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>

#include <gtest/gtest.h>

namespace {

unsigned modeOf(const QString& path) {
  struct stat st {};
  stat(QFile::encodeName(path).constData(), &st);
  return st.st_mode & 0777;
}

TEST(AtomicFile, NewFilesGetTheRequestedModeAndReplacedFilesKeepTheirs) {
  TempProgramFolder folder;
  const QString secret = folder.File(QStringLiteral("secret.ini"));
  ASSERT_TRUE(AtomicFile::Write(secret, "a", AtomicFile::Existing::MayCreate, 0600));
  EXPECT_EQ(modeOf(secret), 0600u);
  ASSERT_EQ(chmod(QFile::encodeName(secret).constData(), 0640), 0);
  ASSERT_TRUE(AtomicFile::Write(secret, "bb"));
  EXPECT_EQ(modeOf(secret), 0640u);
  EXPECT_EQ(folder.ReadBytes(QStringLiteral("secret.ini")), QByteArray("bb"));
}

TEST(AtomicFile, MustExistCreatesNothing) {
  TempProgramFolder folder;
  EXPECT_FALSE(AtomicFile::Write(folder.File(QStringLiteral("none")), "x", AtomicFile::Existing::MustExist));
  EXPECT_FALSE(QFile::exists(folder.File(QStringLiteral("none"))));
}

TEST(AtomicFile, ReadOnlyFilesAndFoldersAreNotReplaced) {
  TempProgramFolder folder;
  const QString path = folder.File(QStringLiteral("ro.dat"));
  ASSERT_TRUE(AtomicFile::Write(path, "old"));
  ASSERT_EQ(chmod(QFile::encodeName(path).constData(), 0444), 0);
  EXPECT_TRUE(AtomicFile::IsReadOnly(path));
  EXPECT_FALSE(AtomicFile::Write(path, "new"));
  EXPECT_EQ(folder.ReadBytes(QStringLiteral("ro.dat")), QByteArray("old"));
  ASSERT_TRUE(QDir(folder.Path()).mkdir(QStringLiteral("sub")));
  EXPECT_FALSE(AtomicFile::Write(folder.File(QStringLiteral("sub")), "x"));
}

TEST(AtomicFile, AFailedWriteLeavesTheOldFileAndNoTemporaryBehind) {
  TempProgramFolder folder;
  const QString path = folder.File(QStringLiteral("mail.dat"));
  ASSERT_TRUE(AtomicFile::Write(path, "the old content"));
  {
    FileSizeLimit limit(1024);  // a disk that fills up after 1 KiB
    EXPECT_FALSE(AtomicFile::Write(path, QByteArray(64 * 1024, 'x')));
  }
  EXPECT_EQ(folder.ReadBytes(QStringLiteral("mail.dat")), QByteArray("the old content"));
  EXPECT_EQ(QDir(folder.Path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

}  // namespace
