#include "support/Cp932.h"
#include "support/IniFile.h"
#include "tests/testsupport/TempProgramFolder.h"

#include <gtest/gtest.h>

namespace {

class IniFileTest : public ::testing::Test {
 protected:
  QString path() const { return folder.File(QStringLiteral("test.ini")); }
  void write(const QString& text) { ASSERT_TRUE(folder.WriteBytes(QStringLiteral("test.ini"), Cp932::Encode(text))); }
  QString read() const { return Cp932::Decode(folder.ReadBytes(QStringLiteral("test.ini"))); }
  QString get(const QString& section, const QString& key, const QString& def = QString()) {
    QString v;
    IniFile::GetString(section, key, def, v, 10240, path());
    return v;
  }
  TempProgramFolder folder;
};

TEST_F(IniFileTest, NamesCompareWithoutCaseAndSpacesAroundEqualsAreIgnored) {
  write(QStringLiteral("[Setting]\r\nSmtpServer = mail.example.jp \r\n  Title=題名\r\n"));
  EXPECT_EQ(get(QStringLiteral("setting"), QStringLiteral("SMTPSERVER")), QStringLiteral("mail.example.jp"));
  EXPECT_EQ(get(QStringLiteral("SETTING"), QStringLiteral("title")), QStringLiteral("題名"));
  EXPECT_EQ(get(QStringLiteral("Setting"), QStringLiteral("Missing"), QStringLiteral("def")), QStringLiteral("def"));
}

TEST_F(IniFileTest, EmptyValueReadsAsNothing) {
  write(QStringLiteral("[Setting]\r\nPopServer=\r\nPopPort =  \r\n"));
  QString v = QStringLiteral("x");
  EXPECT_EQ(IniFile::GetString(QStringLiteral("Setting"), QStringLiteral("PopServer"), QString(), v, 10240, path()), 0);
  EXPECT_TRUE(v.isEmpty());
  EXPECT_EQ(IniFile::GetString(QStringLiteral("Setting"), QStringLiteral("PopPort"), QString(), v, 10240, path()), 0);
}

TEST_F(IniFileTest, MissingFileReadsAsEmptyAndFirstWriteCreatesIt) {
  QString v;
  EXPECT_EQ(IniFile::GetString(QStringLiteral("A"), QStringLiteral("k"), QString(), v, 100, path()), 0);
  EXPECT_EQ(IniFile::GetSection(QStringLiteral("A"), v, 100, path()), 0);
  ASSERT_TRUE(IniFile::WriteString(QStringLiteral("A"), QStringLiteral("k"), QStringLiteral("v"), path()));
  EXPECT_EQ(folder.ReadBytes(QStringLiteral("test.ini")), QByteArray("[A]\r\nk=v\r\n"));
}

TEST_F(IniFileTest, PlainLinesBelongToTheirSectionButAreNoKeys) {
  write(QStringLiteral("[Separator]\r\n－－－\r\n\r\n＊＊＊ここまで＊＊＊\r\nkey=value\r\n[Other]\r\nx\r\n"));
  QString v;
  const qsizetype n = IniFile::GetSection(QStringLiteral("separator"), v, 10240, path());
  const QString expected = QStringLiteral("－－－") + QChar(0) + QStringLiteral("＊＊＊ここまで＊＊＊") + QChar(0) +
                           QStringLiteral("key=value") + QChar(0);
  EXPECT_EQ(n, expected.size());
  EXPECT_EQ(v, expected + QChar(0));
  EXPECT_EQ(get(QStringLiteral("Separator"), QStringLiteral("－－－"), QStringLiteral("none")), QStringLiteral("none"));
}

TEST_F(IniFileTest, KeyWriteReplacesTheLineOrAddsAfterTheLastLineOfTheSection) {
  write(QStringLiteral("[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n"));
  ASSERT_TRUE(IniFile::WriteString(QStringLiteral("a"), QStringLiteral("X"), QStringLiteral("10"), path()));
  ASSERT_TRUE(IniFile::WriteString(QStringLiteral("A"), QStringLiteral("z"), QStringLiteral("3"), path()));
  ASSERT_TRUE(IniFile::WriteString(QStringLiteral("C"), QStringLiteral("w"), QStringLiteral("日本"), path()));
  EXPECT_EQ(read(), QStringLiteral("[A]\r\nX=10\r\nz=3\r\n\r\n[B]\r\ny=2\r\n[C]\r\nw=日本\r\n"));
}

TEST_F(IniFileTest, SectionWriteReplacesEveryLineOfTheSection) {
  write(QStringLiteral("[Setting]\r\nk=v\r\n[Separator]\r\nold1\r\nold2\r\n[Tail]\r\nt=1\r\n"));
  const QString lines = QStringLiteral("new1") + QChar(0) + QStringLiteral("new2") + QChar(0) + QStringLiteral("new3");
  ASSERT_TRUE(IniFile::WriteSection(QStringLiteral("SEPARATOR"), lines, path()));
  EXPECT_EQ(read(), QStringLiteral("[Setting]\r\nk=v\r\n[Separator]\r\nnew1\r\nnew2\r\nnew3\r\n[Tail]\r\nt=1\r\n"));
  // An empty text empties the section; text after a double NUL is not part of it.
  ASSERT_TRUE(IniFile::WriteSection(QStringLiteral("Separator"),
                                    QStringLiteral("a") + QChar(0) + QChar(0) + QStringLiteral("b"), path()));
  EXPECT_EQ(read(), QStringLiteral("[Setting]\r\nk=v\r\n[Separator]\r\na\r\n[Tail]\r\nt=1\r\n"));
}

TEST_F(IniFileTest, ReadsCopyAtMostTheBuffer) {
  write(QStringLiteral("[A]\r\nk=abcdefgh\r\nline1\r\nline2\r\n"));
  QString v;
  EXPECT_EQ(IniFile::GetString(QStringLiteral("A"), QStringLiteral("k"), QString(), v, 5, path()), 4);
  EXPECT_EQ(v, QStringLiteral("abcd"));
  EXPECT_EQ(IniFile::GetSection(QStringLiteral("A"), v, 8, path()), 7);
  EXPECT_EQ(v, QStringLiteral("k=abcd") + QChar(0) + QChar(0));
}

TEST_F(IniFileTest, TheFirstSectionOfANameIsTheOneUsed) {
  write(QStringLiteral("[A]\r\nk=first\r\n[a]\r\nk=second\r\n"));
  EXPECT_EQ(get(QStringLiteral("A"), QStringLiteral("k")), QStringLiteral("first"));
  ASSERT_TRUE(IniFile::WriteString(QStringLiteral("A"), QStringLiteral("k"), QStringLiteral("new"), path()));
  EXPECT_EQ(read(), QStringLiteral("[A]\r\nk=new\r\n[a]\r\nk=second\r\n"));
}

TEST_F(IniFileTest, LfOnlyFilesAreReadToo) {
  write(QStringLiteral("[A]\nk=v\n"));
  EXPECT_EQ(get(QStringLiteral("A"), QStringLiteral("k")), QStringLiteral("v"));
}

}  // namespace
