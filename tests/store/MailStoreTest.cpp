#include "store/AppState.h"
#include "store/MailStore.h"
#include "support/Cp932.h"
#include "tests/testsupport/TempProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <sys/stat.h>
#include <time.h>

#include <gtest/gtest.h>

namespace {

const QString kB = QStringLiteral("0__=123");

QDateTime at(int y, int mo, int d, int h, int mi, int s) { return QDateTime(QDate(y, mo, d), QTime(h, mi, s)); }

MailRecord sampleRecord() {
  MailRecord r;
  r.Seq = 7;
  r.MailBox = MailBoxNumber::Drafts;
  r.To = QStringLiteral("山田 <y@example.jp>");
  r.Cc = QStringLiteral("c@example.jp");
  r.Bcc = QStringLiteral("b@example.jp");
  r.Subject = QStringLiteral("お知らせ");
  r.Date = at(2003, 8, 6, 2, 11, 7);
  r.BodyText = QStringLiteral("a\r\nb");
  r.VerticalText = QStringLiteral("ｂａ\r\n　　");
  r.Separator = 1;
  r.PageLines = 20;
  r.LineChars = 18;
  r.LineSpace = 2;
  return r;
}

QString headerText(const MailRecord& r) {
  return QStringLiteral("To: ") + r.To + QStringLiteral("\r\nCc: ") + r.Cc + QStringLiteral("\r\nBcc: ") + r.Bcc +
         QStringLiteral("\r\nDate: 2003/08/06 02:11:07\r\nSubject: ") + r.Subject +
         QStringLiteral(
             "\r\nX-Tallpost-Seq: 7\r\nX-Tallpost-PageLines: 20\r\nX-Tallpost-LineChars: 18\r\n"
             "X-Tallpost-LineSpace: 2\r\nX-Tallpost-MailBox: 4\r\nX-Tallpost-Separator: 1\r\n"
             "Boundary=\"0__=123\"\r\n\r\n");
}

class Store : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(QDir().mkpath(folder.File(QStringLiteral("MailBox")))); }
  QString box(const QString& name) const { return QStringLiteral("MailBox/") + name; }
  MailRecord roundTrip(const MailRecord& r) {
    EXPECT_TRUE(store.WriteMailFile(r.Seq, r));
    MailRecord back;
    EXPECT_TRUE(store.ReadMailFile(r.Seq, back));
    return back;
  }
  TempProgramFolder folder;
  MailStore store{folder.File(QStringLiteral("MailBox"))};
};

// --- the mail file --------------------------------------------------------

TEST(MailFileLayout, IsWrittenLineForLine) {
  MailRecord r = sampleRecord();
  r.Attachments = {{QStringLiteral("図.png"), QByteArray("QUJD\r\nREVG")},
                   {QStringLiteral("b.bin"), QByteArray("AA==")}};
  const QString expected =
      headerText(r) + QStringLiteral(
                          "a\r\nb\r\n\r\n--0__=123\r\n\r\nｂａ\r\n　　\r\n\r\n"
                          "--0__=123\r\nContent-type: application/octet-stream; Name = \"図.png\"\r\n"
                          "Content-Disposition: attachment; filename=\"図.png\"\r\n\r\nQUJD\r\nREVG\r\n\r\n"
                          "--0__=123\r\nContent-type: application/octet-stream; Name = \"b.bin\"\r\n"
                          "Content-Disposition: attachment; filename=\"b.bin\"\r\n\r\nAA==\r\n\r\n\r\n");
  EXPECT_EQ(EncodeMailFile(r, kB), Cp932::Encode(expected));
}

TEST(MailFileLayout, EmptyMailHasHeadersBoundaryAndFinalLineEnd) {
  MailRecord r = sampleRecord();
  r.BodyText.clear();
  r.VerticalText.clear();
  const QByteArray bytes = EncodeMailFile(r, kB);
  EXPECT_EQ(bytes, Cp932::Encode(headerText(r) + QStringLiteral("--0__=123\r\n\r\n\r\n")));
  MailRecord back;
  back.BodyText = QStringLiteral("old");
  back.VerticalText = QStringLiteral("old");
  ASSERT_TRUE(ParseMailFile(bytes, back));
  EXPECT_EQ(back.BodyText, QString());
  EXPECT_EQ(back.VerticalText, QString());
  EXPECT_TRUE(back.Attachments.isEmpty());
}

TEST(MailFileLayout, HeaderValuesStayOnOneLine) {
  MailRecord r = sampleRecord();
  r.Subject = QStringLiteral("a\r\nTo: evil");
  MailRecord back;
  ASSERT_TRUE(ParseMailFile(EncodeMailFile(r, kB), back));
  EXPECT_EQ(back.Subject, QStringLiteral("aTo: evil"));
  EXPECT_EQ(back.To, r.To);
}

TEST(MailFileLayout, BoundaryIsThreeClockReadings) {
  // Milliseconds since midnight as single-precision text: up to 7 digits
  // plainly, from 10,000,000 up in exponent form.
  static const QRegularExpression reading(QStringLiteral("(?:[0-9]{1,7}|[0-9](?:\\.[0-9]{1,6})?E\\+0[78])"));
  static const QRegularExpression form(QStringLiteral("^0__=") + reading.pattern() + reading.pattern() +
                                       reading.pattern() + QLatin1Char('$'));
  const QString b = MailFileBoundary();
  EXPECT_TRUE(form.match(b).hasMatch()) << b.toStdString();
}

TEST_F(Store, EverythingReadsBackAsWritten) {
  MailRecord r = sampleRecord();
  r.Attachments = {{QStringLiteral("日本語の名前.txt"), QByteArray("QUJD")}};
  const MailRecord back = roundTrip(r);
  EXPECT_EQ(back.Seq, 7);
  EXPECT_EQ(back.MailBox, MailBoxNumber::Drafts);
  EXPECT_EQ(back.To, r.To);
  EXPECT_EQ(back.Cc, r.Cc);
  EXPECT_EQ(back.Bcc, r.Bcc);
  EXPECT_EQ(back.Subject, r.Subject);
  EXPECT_EQ(back.Date, r.Date);
  EXPECT_EQ(back.BodyText, r.BodyText);
  EXPECT_EQ(back.VerticalText, r.VerticalText);
  EXPECT_EQ(back.Separator, 1);
  EXPECT_EQ(back.PageLines, 20);
  EXPECT_EQ(back.LineChars, 18);
  EXPECT_EQ(back.LineSpace, 2);
  ASSERT_EQ(back.Attachments.size(), 1);
  EXPECT_EQ(back.Attachments[0].Name, r.Attachments[0].Name);
  // The empty line after the part header comes first, the blank lines before
  // the next part (here the final line end) after.
  EXPECT_EQ(back.Attachments[0].Content, QByteArray("\r\nQUJD\r\n\r\n\r\n"));
}

TEST_F(Store, TextsReadBackExactlyWithOrWithoutAttachments) {
  const QStringList texts = {QStringLiteral("x"), QStringLiteral("x\r\n"), QStringLiteral("\r\nx\r\n\r\n"),
                             QStringLiteral("行1\r\n行2"), QStringLiteral("a\nb\rc")};
  for (const QString& t : texts) {
    for (bool attach : {false, true}) {
      MailRecord r = sampleRecord();
      r.BodyText = t;
      r.VerticalText = t;
      if (attach) r.Attachments = {{QStringLiteral("a"), QByteArray("AA==")}};
      const MailRecord back = roundTrip(r);
      EXPECT_EQ(back.BodyText, t) << t.toStdString() << attach;
      EXPECT_EQ(back.VerticalText, t) << t.toStdString() << attach;
    }
  }
}

TEST_F(Store, CharactersOutsideCp932BecomeAFullWidthMarkNotAHalfWidthQuestionMark) {
  // A vertical text keeps its columns: every cell is full width, 〓 too.
  MailRecord r = sampleRecord();
  r.BodyText = QStringLiteral("漢字😀");
  r.VerticalText = QStringLiteral("縦😀\r\né横");
  r.Subject = QStringLiteral("件名🍣");
  const MailRecord back = roundTrip(r);
  EXPECT_EQ(back.BodyText, QStringLiteral("漢字〓"));
  EXPECT_EQ(back.VerticalText, QStringLiteral("縦〓\r\n〓横"));
  EXPECT_EQ(back.Subject, QStringLiteral("件名〓"));
}

TEST_F(Store, BrokenFilesAreRefused) {
  MailRecord r;
  EXPECT_FALSE(store.ReadMailFile(3, r)) << "missing";
  ASSERT_TRUE(folder.WriteBytes(box(QStringLiteral("3.vml")), QByteArray()));
  EXPECT_FALSE(store.ReadMailFile(3, r)) << "empty";
  ASSERT_TRUE(QDir().mkpath(folder.File(box(QStringLiteral("4.vml")))));
  EXPECT_FALSE(store.ReadMailFile(4, r)) << "a folder";

  QString text = Cp932::Decode(EncodeMailFile(sampleRecord(), kB));
  for (const auto& [good, bad] :
       {std::pair{QStringLiteral("X-Tallpost-PageLines: 20"), QStringLiteral("X-Tallpost-PageLines: x")},
        std::pair{QStringLiteral("X-Tallpost-LineSpace: 2"), QStringLiteral("X-Tallpost-LineSpace: 40000")}}) {
    QString broken = text;
    broken.replace(good, bad);
    EXPECT_FALSE(ParseMailFile(Cp932::Encode(broken), r)) << bad.toStdString();
  }
}

TEST_F(Store, MissingHeaderLeavesTheTextsEmpty) {
  QString text = Cp932::Decode(EncodeMailFile(sampleRecord(), kB));
  text.remove(QStringLiteral("X-Tallpost-Separator: 1\r\n"));
  MailRecord back;
  ASSERT_TRUE(ParseMailFile(Cp932::Encode(text), back));
  EXPECT_EQ(back.To, sampleRecord().To);
  EXPECT_TRUE(back.BodyText.isEmpty());
  EXPECT_TRUE(back.VerticalText.isEmpty());
}

TEST_F(Store, HeadersMayComeInAnyOrderAndUnknownLinesAreIgnored) {
  const QByteArray bytes =
      "X-Other: 1\r\nBoundary=\"B\"\r\nX-Tallpost-Separator: 0\r\nX-Tallpost-LineSpace: 1\r\n"
      "X-Tallpost-LineChars: 5\r\nX-Tallpost-PageLines: 6\r\nX-Tallpost-MailBox: 3\r\n"
      "X-Tallpost-Seq: 9\r\nDate: 2020/1/2 3:04:05\r\nSubject: s\r\nBcc: \r\nCc: \r\nTo: t\r\n"
      "\r\nbody\r\n\r\n--B\r\n\r\nvert\r\n\r\n\r\n";
  MailRecord back;
  ASSERT_TRUE(ParseMailFile(bytes, back));
  EXPECT_EQ(back.Seq, 9);
  EXPECT_EQ(back.Date, at(2020, 1, 2, 3, 4, 5));
  EXPECT_EQ(back.BodyText, QStringLiteral("body"));
  EXPECT_EQ(back.VerticalText, QStringLiteral("vert"));
}

TEST_F(Store, ReplacingAMailKeepsTheOldFileWhenTheWriteFails) {
  MailRecord r = sampleRecord();
  ASSERT_TRUE(store.WriteMailFile(7, r));
  const QByteArray before = folder.ReadBytes(box(QStringLiteral("7.vml")));
  r.BodyText = QString(200000, QChar(u'字'));
  {
    FileSizeLimit limit(before.size() + 100);
    EXPECT_FALSE(store.WriteMailFile(7, r));
  }
  EXPECT_EQ(folder.ReadBytes(box(QStringLiteral("7.vml"))), before);
  EXPECT_EQ(QDir(store.Folder()).entryList(QDir::Files | QDir::Hidden).size(), 1) << "no temporary left";

  ASSERT_EQ(::chmod(QFile::encodeName(store.MailFilePath(7)).constData(), 0444), 0);
  EXPECT_FALSE(store.WriteMailFile(7, sampleRecord())) << "read-only mail file";
  EXPECT_EQ(folder.ReadBytes(box(QStringLiteral("7.vml"))), before);
}

TEST_F(Store, NewFilesAreForTheOwnerOnly) {
  ASSERT_TRUE(store.WriteMailFile(1, sampleRecord()));
  struct stat st {};
  ASSERT_EQ(::stat(QFile::encodeName(store.MailFilePath(1)).constData(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

// --- header lines ---------------------------------------------------------

TEST(HeaderLine, MatchesOnlyItsExactPrefix) {
  QString s = QStringLiteral("keep");
  EXPECT_FALSE(MatchHeaderLine(u"to: x", u"To: ", s));
  EXPECT_FALSE(MatchHeaderLine(u"To:x", u"To: ", s));
  EXPECT_EQ(s, QStringLiteral("keep"));
  EXPECT_TRUE(MatchHeaderLine(u"To: a: b ", u"To: ", s));
  EXPECT_EQ(s, QStringLiteral("a: b "));
  EXPECT_TRUE(MatchHeaderLine(u"To: ", u"To: ", s));
  EXPECT_EQ(s, QString());
}

TEST(HeaderLine, ConvertsNumbersAndDates) {
  std::int32_t n = 5;
  bool ok = false;
  EXPECT_TRUE(MatchHeaderLine(u"N: -12", u"N: ", n, &ok));
  EXPECT_TRUE(ok);
  EXPECT_EQ(n, -12);
  EXPECT_TRUE(MatchHeaderLine(u"N: 1x", u"N: ", n, &ok));
  EXPECT_FALSE(ok);
  EXPECT_EQ(n, -12);
  std::int16_t small = 1;
  EXPECT_TRUE(MatchHeaderLine(u"N: 32768", u"N: ", small, &ok));
  EXPECT_FALSE(ok);
  EXPECT_TRUE(MatchHeaderLine(u"N: 32767", u"N: ", small, &ok));
  EXPECT_TRUE(ok);
  EXPECT_EQ(small, 32767);
  QDateTime d;
  EXPECT_TRUE(MatchHeaderLine(u"D: 2003/08/06", u"D: ", d, &ok));
  EXPECT_TRUE(ok);
  EXPECT_EQ(d, at(2003, 8, 6, 0, 0, 0));
  EXPECT_EQ(MailFileDateText(at(2026, 12, 31, 23, 59, 58)), QStringLiteral("2026/12/31 23:59:58"));
}

TEST(HeaderLine, StripControlCharsRemovesLineBreaksAndTabs) {
  EXPECT_EQ(StripControlChars(u"\ta\r\nb\rc\n "), QStringLiteral("abc "));
  EXPECT_EQ(StripControlChars(u"\r\n\t"), QString());
}

// --- the index ------------------------------------------------------------

MailIndex sampleIndex() {
  return {
      {0, QStringLiteral("y@example.jp"), QStringLiteral("件名"), at(2003, 8, 6, 2, 11, 7), MailBoxNumber::Sent, true},
      {1, QString(), QString(), at(2003, 8, 6, 0, 0, 0), MailBoxNumber::Drafts, false},
      {2, QStringLiteral("\"Sato\" <s@example.jp>"), QStringLiteral("say \"hi\", ok"), at(1999, 12, 31, 23, 59, 59),
       MailBoxNumber::Trash, false}};
}

void expectSameIndex(const MailIndex& a, const MailIndex& b) {
  ASSERT_EQ(a.size(), b.size());
  for (qsizetype i = 0; i < a.size(); ++i) {
    EXPECT_EQ(a[i].Seq, b[i].Seq) << i;
    EXPECT_EQ(a[i].To, b[i].To) << i;
    EXPECT_EQ(a[i].Subject, b[i].Subject) << i;
    EXPECT_EQ(a[i].Date, b[i].Date) << i;
    EXPECT_EQ(a[i].MailBox, b[i].MailBox) << i;
    EXPECT_EQ(a[i].HasAttachment, b[i].HasAttachment) << i;
  }
}

TEST(IndexRecord, HasTheStoredForm) {
  EXPECT_EQ(EncodeMailIndex(sampleIndex()),
            Cp932::Encode(QStringLiteral(
                "0,\"y@example.jp\",\"件名\",#2003-08-06 02:11:07#,3,#TRUE#\r\n"
                "1,\"\",\"\",#2003-08-06#,4,#FALSE#\r\n"
                "2,\"\"\"Sato\"\" <s@example.jp>\",\"say \"\"hi\"\", ok\",#1999-12-31 23:59:59#,5,#FALSE#\r\n")));
}

TEST(IndexRecord, ReadsLeniently) {
  MailIndexEntry e;
  ASSERT_TRUE(ParseMailIndexLine(u" 4 , \"a\" ,\"b\", #2003-8-6 2:11:07# , 2 , #true# ", e));
  EXPECT_EQ(e.Seq, 4);
  EXPECT_EQ(e.Subject, QStringLiteral("b"));
  EXPECT_EQ(e.Date, at(2003, 8, 6, 2, 11, 7));
  EXPECT_TRUE(e.HasAttachment);
  for (const char16_t* damaged : {u"", u"4", u"4,\"a\",\"b\",#2003-08-06#,2", u"4,\"a\",\"b,#2003-08-06#,2,#TRUE#",
                                  u"4,\"a\",\"b\",#2003-13-06#,2,#TRUE#", u"4,\"a\",\"b\",#2003-08-06#,2,#YES#",
                                  u"4,\"a\"x,\"b\",#2003-08-06#,2,#TRUE#", u"4,\"a\",\"b\",#2003-08-06#,2,#TRUE#,5",
                                  u"99999999999,\"a\",\"b\",#2003-08-06#,2,#TRUE#",
                                  u"1,\"a\",\"b\",#10000-08-06#,2,#TRUE#", u"1,\"a\",\"b\",#0000-08-06#,2,#TRUE#"})
    EXPECT_FALSE(ParseMailIndexLine(damaged, e)) << QString::fromUtf16(damaged).toStdString();
}

TEST_F(Store, IndexReadsBackWithQuotesInItsFields) {
  ASSERT_TRUE(store.WriteMailIndex(sampleIndex()));
  MailIndex back;
  int repaired = -1;
  ASSERT_TRUE(store.ReadMailIndex(back, &repaired));
  EXPECT_EQ(repaired, 0);
  expectSameIndex(back, sampleIndex());
}

TEST_F(Store, MissingOrEmptyIndexLeavesTheListAlone) {
  MailIndex index = sampleIndex();
  EXPECT_FALSE(store.ReadMailIndex(index));
  ASSERT_TRUE(folder.WriteBytes(box(QStringLiteral("MailIndex.dat")), QByteArray()));
  EXPECT_FALSE(store.ReadMailIndex(index));
  expectSameIndex(index, sampleIndex());
  EXPECT_FALSE(store.WriteMailIndex({})) << "an empty index is never written";
  EXPECT_TRUE(folder.ReadBytes(box(QStringLiteral("MailIndex.dat"))).isEmpty());
}

TEST_F(Store, DamagedIndexLinesKeepTheirPlaceAndAreRecoveredIntoTheDrafts) {
  // Line 1 is garbage but its mail file exists (and names the outbox, as a
  // stale file may), line 2 is cut short and has no mail file; line 3 must
  // still describe mail 3. Nothing recovered may land in the outbox.
  MailRecord one = sampleRecord();
  one.Seq = 1;
  one.MailBox = MailBoxNumber::Outbox;
  one.Attachments = {{QStringLiteral("a"), QByteArray("AA==")}};
  ASSERT_TRUE(store.WriteMailFile(1, one));
  const QByteArray index = EncodeMailIndex({sampleIndex()[0]}) + "\x81\x40garbage\r\n" + "2,\"x\",\"y" + "\r\n" +
                           EncodeMailIndex({{3, QStringLiteral("t3"), QStringLiteral("s3"), at(2004, 1, 1, 1, 1, 1),
                                             MailBoxNumber::Drafts, false}}) +
                           "4,\"t4\",\"s4\",#2004-01-0";
  ASSERT_TRUE(folder.WriteBytes(box(QStringLiteral("MailIndex.dat")), index));
  MailIndex back;
  int repaired = 0;
  ASSERT_TRUE(store.ReadMailIndex(back, &repaired));
  EXPECT_EQ(repaired, 3);
  ASSERT_EQ(back.size(), 5);
  EXPECT_EQ(back[0].Subject, QStringLiteral("件名"));
  EXPECT_EQ(back[1].Seq, 1);
  EXPECT_EQ(back[1].To, one.To);
  EXPECT_EQ(back[1].Subject, one.Subject);
  EXPECT_EQ(back[1].Date, one.Date);
  EXPECT_EQ(back[1].MailBox, MailBoxNumber::Drafts);
  EXPECT_TRUE(back[1].HasAttachment);
  EXPECT_EQ(back[2].Seq, 2);
  EXPECT_EQ(back[2].MailBox, MailBoxNumber::Drafts);
  EXPECT_TRUE(back[2].To.isEmpty());
  EXPECT_EQ(back[3].Seq, 3);
  EXPECT_EQ(back[3].Subject, QStringLiteral("s3"));
  EXPECT_EQ(back[4].Seq, 4);
  EXPECT_EQ(back[4].MailBox, MailBoxNumber::Drafts);
  for (const MailIndexEntry& e : back) EXPECT_NE(e.MailBox, MailBoxNumber::Outbox);
}

TEST_F(Store, AnOldProgramsIndexReadsWhole) {
  // As the old program wrote it: quotes inside To and Subject unescaped, a
  // number missing (mail 2 lost its line, not its file), an empty line, and a
  // last line without its line end.
  MailRecord two = sampleRecord();
  two.Seq = 2;
  two.MailBox = MailBoxNumber::Outbox;  // stale by design: moves change only the index
  ASSERT_TRUE(store.WriteMailFile(2, two));
  MailRecord three = sampleRecord();
  three.Seq = 3;
  three.To = QStringLiteral("\"a\",\"b\" <ab@example.jp>");
  ASSERT_TRUE(store.WriteMailFile(3, three));
  const QByteArray old =
      Cp932::Encode(QStringLiteral("0,\"hanako@example.jp\",\"こんにちは\",#2003-08-06 02:11:07#,2,#FALSE#\r\n"
                                   "1,\"\"山田 太郎\" <y@example.jp>\",\"件名 \"至急\"\",#2003-08-06#,3,#TRUE#\r\n"
                                   "3,\"\"a\",\"b\" <ab@example.jp>\",\"x\",\"y\",#2003-08-07 10:00:00#,3,#FALSE#\r\n"
                                   "\r\n"
                                   "4,\"c@example.jp\",\"最後\",#2003-08-08 23:59:59#,5,#FALSE#"));
  ASSERT_TRUE(folder.WriteBytes(box(QStringLiteral("MailIndex.dat")), old));
  MailIndex back;
  int recovered = -1;
  ASSERT_TRUE(store.ReadMailIndex(back, &recovered));
  ASSERT_EQ(back.size(), 5);
  EXPECT_EQ(recovered, 1) << "only the mail whose line is missing";
  EXPECT_EQ(back[0].To, QStringLiteral("hanako@example.jp"));
  EXPECT_EQ(back[1].To, QStringLiteral("\"山田 太郎\" <y@example.jp>"));
  EXPECT_EQ(back[1].Subject, QStringLiteral("件名 \"至急\""));
  EXPECT_EQ(back[1].MailBox, MailBoxNumber::Sent) << "a sent mail stays sent";
  EXPECT_TRUE(back[1].HasAttachment);
  EXPECT_EQ(back[2].MailBox, MailBoxNumber::Drafts) << "recovered, never into the outbox";
  EXPECT_EQ(back[2].Subject, two.Subject);
  // Line 3 reads two ways ("," twice): the mail file's To decides.
  EXPECT_EQ(back[3].To, three.To);
  EXPECT_EQ(back[3].Subject, QStringLiteral("x\",\"y"));
  EXPECT_EQ(back[3].MailBox, MailBoxNumber::Sent);
  EXPECT_EQ(back[4].Subject, QStringLiteral("最後"));
  EXPECT_EQ(back[4].MailBox, MailBoxNumber::Trash);
}

TEST_F(Store, EachLineGoesToItsOwnNumberAndNumbersWithoutAMailAreListedNowhere) {
  ASSERT_TRUE(folder.WriteBytes(box(QStringLiteral("MailIndex.dat")),
                                "0,\"a\",\"b\",#2003-08-06#,2,#FALSE#\r\n"
                                "5,\"c\",\"d\",#2003-08-06#,3,#FALSE#\r\n"
                                "2147483000,\"e\",\"f\",#2003-08-06#,2,#FALSE#\r\n"));
  MailIndex back;
  int recovered = -1;
  ASSERT_TRUE(store.ReadMailIndex(back, &recovered));
  ASSERT_EQ(back.size(), 7) << "a number far past every mail is damage, not a gap";
  EXPECT_EQ(back[5].To, QStringLiteral("c"));
  EXPECT_EQ(back[5].MailBox, MailBoxNumber::Sent);
  for (int gap : {1, 2, 3, 4}) EXPECT_EQ(back[gap].MailBox, 0) << gap;
  EXPECT_EQ(back[6].MailBox, MailBoxNumber::Drafts) << "the damaged line takes the place after its neighbour";
  EXPECT_EQ(recovered, 1);
}

TEST_F(Store, MailFileDatesInTheOldProgramsRegionalFormsRead) {
  const QList<std::pair<QString, QDateTime>> forms = {
      {QStringLiteral("03/08/06 2:11:07"), at(2003, 8, 6, 2, 11, 7)},
      {QStringLiteral("2003/08/06 14:11"), at(2003, 8, 6, 14, 11, 0)},
      {QStringLiteral("2003/08/06 午後 2:11:07"), at(2003, 8, 6, 14, 11, 7)},
      {QStringLiteral("2003/08/06 午前 12:05:00"), at(2003, 8, 6, 0, 5, 0)},
      {QStringLiteral("8/6/2003 2:11:07 PM"), at(2003, 8, 6, 14, 11, 7)},
      {QStringLiteral("2003年8月6日 14時11分"), at(2003, 8, 6, 14, 11, 0)},
      {QStringLiteral("99/12/31"), at(1999, 12, 31, 0, 0, 0)},
      {QStringLiteral("2003-08-06 02:11:07"), at(2003, 8, 6, 2, 11, 7)}};
  QString text = Cp932::Decode(EncodeMailFile(sampleRecord(), kB));
  for (const auto& [form, expected] : forms) {
    QString changed = text;
    changed.replace(QStringLiteral("Date: 2003/08/06 02:11:07"), QStringLiteral("Date: ") + form);
    MailRecord r;
    ASSERT_TRUE(ParseMailFile(Cp932::Encode(changed), r)) << form.toStdString();
    EXPECT_EQ(r.Date, expected) << form.toStdString();
  }
  // A date no form reads leaves the mail readable, its date unset.
  text.replace(QStringLiteral("Date: 2003/08/06 02:11:07"), QStringLiteral("Date: yesterday"));
  MailRecord r;
  ASSERT_TRUE(ParseMailFile(Cp932::Encode(text), r));
  EXPECT_FALSE(r.Date.isValid());
  EXPECT_EQ(r.Subject, sampleRecord().Subject);
}

TEST_F(Store, AnUnchangedMailStoredAgainWritesTheSameBytes) {
  MailRecord r = sampleRecord();
  r.Attachments = {{QStringLiteral("a.bin"), QByteArray("QUJD\r\nREVG")}};
  ASSERT_TRUE(store.WriteMailFile(r.Seq, r));
  const QByteArray first = folder.ReadBytes(box(QStringLiteral("7.vml")));
  MailRecord back;
  for (int round = 0; round < 3; ++round) {
    ASSERT_TRUE(store.ReadMailFile(7, back));
    ASSERT_TRUE(store.WriteMailFile(7, back));
  }
  EXPECT_EQ(folder.ReadBytes(box(QStringLiteral("7.vml"))), first);
}

TEST_F(Store, IndexIsReplacedWholeOrNotAtAll) {
  ASSERT_TRUE(store.WriteMailIndex(sampleIndex()));
  const QByteArray before = folder.ReadBytes(box(QStringLiteral("MailIndex.dat")));
  MailIndex big = sampleIndex();
  for (int i = 3; i < 3000; ++i)
    big.append({i, QStringLiteral("someone@example.jp"), QStringLiteral("件名"), at(2005, 1, 1, 1, 1, 1),
                MailBoxNumber::Sent, false});
  {
    FileSizeLimit limit(before.size() + 10);
    EXPECT_FALSE(store.WriteMailIndex(big));
  }
  EXPECT_EQ(folder.ReadBytes(box(QStringLiteral("MailIndex.dat"))), before);
  EXPECT_TRUE(store.WriteMailIndex(big));
  MailIndex back;
  ASSERT_TRUE(store.ReadMailIndex(back));
  EXPECT_EQ(back.size(), 3000);
}

TEST_F(Store, NewNumbersStepOverTheIndexAndEveryMailFile) {
  EXPECT_EQ(store.AllocateMailNumber({}), 0);
  EXPECT_EQ(store.AllocateMailNumber(sampleIndex()), 3);
  // A lost index: the files on disk still count.
  ASSERT_TRUE(folder.WriteBytes(box(QStringLiteral("0.vml")), "x"));
  ASSERT_TRUE(folder.WriteBytes(box(QStringLiteral("11.vml")), "x"));
  for (const QString& other : {QStringLiteral("99.vml.bak"), QStringLiteral("x99.vml"), QStringLiteral("99.VML"),
                               QStringLiteral("MailIndex.dat")})
    ASSERT_TRUE(folder.WriteBytes(box(other), "x"));
  EXPECT_EQ(store.AllocateMailNumber({}), 12);
  EXPECT_EQ(store.AllocateMailNumber(sampleIndex()), 12);
  ASSERT_TRUE(folder.WriteBytes(box(QStringLiteral("2147483647.vml")), "x"));
  EXPECT_EQ(store.AllocateMailNumber({}), -1) << "no number left";
}

}  // namespace

namespace {

// Runs with the machine's zone set to one that has daylight saving.
class InAZoneWithDaylightSaving : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = qgetenv("TZ");
    qputenv("TZ", "America/New_York");
    tzset();
  }
  void TearDown() override {
    if (saved_.isEmpty())
      qunsetenv("TZ");
    else
      qputenv("TZ", saved_);
    tzset();
  }
  QByteArray saved_;
};

TEST_F(InAZoneWithDaylightSaving, ATimeTheClockSkippedReadsAsTheTimeJustPastTheGap) {
  MailIndexEntry e;
  ASSERT_TRUE(ParseMailIndexLine(u"0,\"a\",\"b\",#2021-03-14 02:30:00#,3,#FALSE#", e));
  EXPECT_EQ(e.Date.time(), QTime(3, 30));
  EXPECT_EQ(e.Date.date(), QDate(2021, 3, 14));
  QString text = Cp932::Decode(EncodeMailFile(sampleRecord(), kB));
  text.replace(QStringLiteral("2003/08/06 02:11:07"), QStringLiteral("2021/03/14 02:30:00"));
  MailRecord r;
  ASSERT_TRUE(ParseMailFile(Cp932::Encode(text), r));
  EXPECT_EQ(r.Date, e.Date);
}

}  // namespace
