#include "mail/Base64.h"
#include "tests/testsupport/TempProgramFolder.h"

#include <QObject>
#include <QRandomGenerator>

#include <gtest/gtest.h>

namespace {

class Percentages : public QObject {
  Q_OBJECT
 public:
  QList<int> values;
  Q_INVOKABLE void Progress(int value) { values << value; }
};

QByteArray randomBytes(qsizetype n, quint32 seed) {
  QByteArray b(n, Qt::Uninitialized);
  QRandomGenerator rng(seed);
  for (char& c : b) c = static_cast<char>(rng.bounded(256));
  return b;
}

TEST(Base64, AllThreeEncodersAgreeWithTheStandard) {
  for (qsizetype n : {0, 1, 2, 3, 4, 5, 54, 55, 1000, 65537}) {
    const QByteArray bytes = randomBytes(n, static_cast<quint32>(n) + 1);
    const QByteArray standard = bytes.toBase64();
    EXPECT_EQ(Base64Bytes(bytes), standard) << n;
    EXPECT_EQ(Base64Bits(bytes), standard) << n;
    EXPECT_EQ(Base64Lines(bytes, 100000), standard) << n;
  }
  EXPECT_EQ(Base64Bytes("a"), QByteArray("YQ=="));
  EXPECT_EQ(Base64Bytes("ab"), QByteArray("YWI="));
  EXPECT_EQ(Base64Bits("abc"), QByteArray("YWJj"));
}

class AttachmentEncoding : public ::testing::Test {
 protected:
  QByteArray encode(const QByteArray& content, int span = 0, Percentages* receiver = nullptr) {
    EXPECT_TRUE(folder.WriteBytes(QStringLiteral("f.bin"), content));
    clsBase64 b;
    b.AttachFile(folder.File(QStringLiteral("f.bin")));
    if (span) b.Span(span);
    if (receiver) {
      b.CallBackObject(receiver);
      b.CallBackMethod(QStringLiteral("Progress"));
    }
    QByteArray out = "unchanged";
    EXPECT_TRUE(b.GetEncoded(out));
    return out;
  }
  TempProgramFolder folder;
};

TEST_F(AttachmentEncoding, LinesOfSpanCharactersJoinedByCrLf) {
  EXPECT_EQ(encode({}), QByteArray());
  EXPECT_EQ(encode("x"), QByteArray("eA=="));
  EXPECT_EQ(encode(QByteArray(54, 'a')).size(), 72);
  const QByteArray two = encode(QByteArray(55, 'a'));
  ASSERT_EQ(two.size(), 72 + 2 + 4);
  EXPECT_EQ(two.mid(72, 2), QByteArray("\r\n"));
  EXPECT_FALSE(two.endsWith("\r\n"));
  const QByteArray bytes = randomBytes(1000, 9);
  const QByteArray wide = encode(bytes, 76);
  const QList<QByteArray> lines = wide.split('\n');
  for (qsizetype i = 0; i + 1 < lines.size(); ++i) EXPECT_EQ(lines[i].size(), 77);  // with the CR
  QByteArray joined = wide;
  joined.replace("\r\n", "");
  EXPECT_EQ(joined, bytes.toBase64());
  EXPECT_EQ(encode(bytes, -5), encode(bytes, 72));  // no span below 1
}

// The standard encoding cut by hand into lines of span characters.
QByteArray referenceLines(const QByteArray& bytes, int span) {
  const QByteArray flat = bytes.toBase64();
  QList<QByteArray> lines;
  for (qsizetype at = 0; at < flat.size(); at += span) lines << flat.mid(at, span);
  return lines.join("\r\n");
}

TEST_F(AttachmentEncoding, EverySpanAndSizeMatchesTheStandardCutIntoLines) {
  // Sizes around a full last line (54 bytes fill 72 characters), around the
  // encoder's blocks of 16 Ki groups, and large enough for a big output buffer.
  const QList<qsizetype> sizes = {
      53, 54, 55, 56, 108, 109, 3 * 16384 - 1, 3 * 16384, 3 * 16384 + 2, 3 * 1024 * 1024 + 1};
  for (int span : {1, 3, 4, 8, 72, 76, 77}) {
    for (qsizetype n : sizes) {
      if (span < 8 && n > 100000) continue;
      const QByteArray bytes = randomBytes(n, static_cast<quint32>(n * 31 + span));
      EXPECT_EQ(encode(bytes, span), referenceLines(bytes, span)) << "span " << span << " size " << n;
    }
  }
  Percentages p;
  const QByteArray bytes = randomBytes(3 * 16384 * 3 + 7, 5);
  EXPECT_EQ(encode(bytes, 72, &p), referenceLines(bytes, 72)) << "with a receiver";
  EXPECT_EQ(p.values.last(), 99);
}

TEST_F(AttachmentEncoding, AMissingFileLeavesTheTextAlone) {
  clsBase64 b;
  b.AttachFile(folder.File(QStringLiteral("none.bin")));
  QByteArray out = "kept";
  EXPECT_FALSE(b.GetEncoded(out));
  EXPECT_EQ(out, QByteArray("kept"));
  clsBase64 unset;
  EXPECT_FALSE(unset.GetEncoded(out));
}

TEST_F(AttachmentEncoding, ProgressIsEveryValueOfTheGroupsOnceAndInOrder) {
  Percentages p;
  encode("abc", 0, &p);
  EXPECT_EQ(p.values, QList<int>{100});
  p.values.clear();
  encode("abcd", 0, &p);  // the last complete group: 3 of 4 bytes
  EXPECT_EQ(p.values, QList<int>{75});
  p.values.clear();
  encode({}, 0, &p);
  EXPECT_TRUE(p.values.isEmpty());

  // What a call per group would report, without the repeats.
  for (qsizetype n : {10, 299, 300, 301, 1000, 100000}) {
    p.values.clear();
    const QByteArray bytes = randomBytes(n, 3);
    EXPECT_EQ(encode(bytes, 0, &p).replace("\r\n", ""), bytes.toBase64());
    QList<int> expected;
    for (qsizetype pos = 1; pos + 2 <= n; pos += 3) {
      const int v = static_cast<int>((pos + 2) * 100 / n);
      if (expected.isEmpty() || expected.last() != v) expected << v;
    }
    EXPECT_EQ(p.values, expected) << n;
  }
}

}  // namespace

#include "Base64Test.moc"
