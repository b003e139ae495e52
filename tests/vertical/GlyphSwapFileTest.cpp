#include "support/Cp932.h"
#include "tests/testsupport/TempProgramFolder.h"
#include "vertical/AppGlyphSwapAccess.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

const QString kName = QStringLiteral("GlyphSwap.dat");

QByteArray fields(std::initializer_list<const char*> parts) {
  QByteArray out;
  for (const char* p : parts) {
    out += Cp932::Encode(QString::fromUtf8(p));
    out += '\0';
  }
  return out;
}

class GlyphSwapFile : public ::testing::Test {
 protected:
  QString path() const { return folder.File(kName); }
  TempProgramFolder folder;
};

TEST_F(GlyphSwapFile, OneRowStoresAsSixBytes) {
  ASSERT_TRUE(folder.WriteBytes(kName, "old"));
  ASSERT_TRUE(PutGlyphSwapData(path(), {{QStringLiteral("A"), QStringLiteral("B"), false}}));
  EXPECT_EQ(folder.ReadBytes(kName), QByteArray("A\0B\0"
                                                "0\0",
                                                6));
  ASSERT_TRUE(PutGlyphSwapData(path(), {{QStringLiteral("A"), QString(), true}}));
  EXPECT_EQ(folder.ReadBytes(kName), QByteArray("A\0\0FFFF\0", 8));
}

TEST_F(GlyphSwapFile, StoredRowsLoadBackInOrderWithDoubleByteTextAndDuplicates) {
  const GlyphSwapTable table = {{QStringLiteral("ー"), QStringLiteral("｜"), true},
                                {QStringLiteral("、"), QString(), true},
                                {QStringLiteral("「"), QStringLiteral("┐"), false},
                                {QStringLiteral("ー"), QStringLiteral("－"), false}};
  ASSERT_TRUE(folder.WriteBytes(kName, "x"));
  ASSERT_TRUE(PutGlyphSwapData(path(), table));
  GlyphSwapTable loaded;
  ASSERT_TRUE(GetGlyphSwapData(path(), loaded));
  EXPECT_EQ(loaded, table);
}

TEST_F(GlyphSwapFile, FlagFormsTheReaderAccepts) {
  for (const char* flag : {"FFFF", "1", "ffff", "8000"}) {
    ASSERT_TRUE(folder.WriteBytes(kName, fields({"A", "B", flag})));
    GlyphSwapTable t;
    ASSERT_TRUE(GetGlyphSwapData(path(), t)) << flag;
    EXPECT_TRUE(t.at(0).LineHeadProhibited) << flag;
  }
  ASSERT_TRUE(folder.WriteBytes(kName, fields({"A", "B", "0"})));
  GlyphSwapTable t;
  ASSERT_TRUE(GetGlyphSwapData(path(), t));
  EXPECT_FALSE(t.at(0).LineHeadProhibited);
  for (const char* bad : {"G", "", "10000", "-1"}) {
    ASSERT_TRUE(folder.WriteBytes(kName, fields({"A", "B", bad})));
    GlyphSwapTable u;
    EXPECT_FALSE(GetGlyphSwapData(path(), u)) << bad;
  }
}

TEST_F(GlyphSwapFile, ADamagedRowEndsTheLoadAndKeepsTheRowsBeforeIt) {
  ASSERT_TRUE(folder.WriteBytes(kName, fields({"A", "B", "0", "C", "D", "FFFF", "E", "F", "Z"})));
  GlyphSwapTable t;
  EXPECT_FALSE(GetGlyphSwapData(path(), t));
  ASSERT_EQ(t.size(), 2);
  EXPECT_EQ(t[1].Horizontal, QStringLiteral("C"));
  // A row cut short: fewer than three fields left.
  ASSERT_TRUE(folder.WriteBytes(kName, fields({"A", "B", "0", "C"})));
  GlyphSwapTable u;
  EXPECT_FALSE(GetGlyphSwapData(path(), u));
  EXPECT_EQ(u.size(), 1);
}

TEST_F(GlyphSwapFile, LoadingReplacesTheRowsOfTheTable) {
  GlyphSwapTable t = {
      {QStringLiteral("1"), {}, false}, {QStringLiteral("2"), {}, false}, {QStringLiteral("3"), {}, false}};
  ASSERT_TRUE(folder.WriteBytes(kName, fields({"X", "Y", "0"})));
  ASSERT_TRUE(GetGlyphSwapData(path(), t));
  ASSERT_EQ(t.size(), 1);
  EXPECT_EQ(t[0].Horizontal, QStringLiteral("X"));
  // A first field that is empty ends the load at once: success, nothing changed.
  ASSERT_TRUE(folder.WriteBytes(kName, QByteArray("\0\0\0", 3)));
  ASSERT_TRUE(GetGlyphSwapData(path(), t));
  EXPECT_EQ(t.size(), 1);
}

TEST_F(GlyphSwapFile, MissingOrEmptyFilesDoNotLoad) {
  GlyphSwapTable t;
  EXPECT_FALSE(GetGlyphSwapData(path(), t));
  ASSERT_TRUE(folder.WriteBytes(kName, QByteArray()));
  EXPECT_FALSE(GetGlyphSwapData(path(), t));
}

TEST_F(GlyphSwapFile, StoreToAMissingFileFailsAndCreatesNothing) {
  EXPECT_FALSE(PutGlyphSwapData(path(), {{QStringLiteral("A"), QStringLiteral("B"), false}}));
  EXPECT_FALSE(QFile::exists(path()));
}

TEST_F(GlyphSwapFile, AFailedStoreKeepsTheOldTable) {
  ASSERT_TRUE(folder.InstallDefaultTable());
  const QByteArray before = folder.ReadBytes(kName);
  GlyphSwapTable big;
  for (int i = 0; i < 5000; ++i) big.append({QStringLiteral("字"), QStringLiteral("縦"), true});
  {
    FileSizeLimit limit(before.size());  // the new table does not fit on the disk
    EXPECT_FALSE(PutGlyphSwapData(path(), big));
  }
  EXPECT_EQ(folder.ReadBytes(kName), before);
  GlyphSwapTable t;
  EXPECT_TRUE(GetGlyphSwapData(path(), t));
  // An empty table would leave a file that no start could load.
  EXPECT_FALSE(PutGlyphSwapData(path(), GlyphSwapTable()));
  EXPECT_EQ(folder.ReadBytes(kName), before);
}

TEST_F(GlyphSwapFile, CharactersOutsideCp932StoreAsQuestionMarks) {
  ASSERT_TRUE(folder.WriteBytes(kName, "x"));
  ASSERT_TRUE(PutGlyphSwapData(path(), {{QStringLiteral("한"), QStringLiteral("A"), false}}));
  GlyphSwapTable t;
  ASSERT_TRUE(GetGlyphSwapData(path(), t));
  EXPECT_EQ(t.at(0).Horizontal, QStringLiteral("?"));
}

}  // namespace
