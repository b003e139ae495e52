// The tategaki command, run as a separate process.
#include "support/Cp932.h"
#include "tests/testsupport/TempProgramFolder.h"
#include "vertical/AppGlyphSwapAccess.h"
#include "vertical/MyTategakiEngine.h"

#include <QObject>
#include <QProcess>

#include <gtest/gtest.h>

namespace {

struct Result {
  int exitCode = -1;
  QByteArray out;
  QByteArray err;
};

Result tategaki(const QStringList& args, const QByteArray& input = {}) {
  QProcess p;
  p.start(QStringLiteral(TALLPOST_BIN_DIR "/tategaki"), args);
  Result r;
  if (!p.waitForStarted(10000)) return r;
  p.write(input);
  p.closeWriteChannel();
  if (!p.waitForFinished(60000)) {
    p.kill();
    p.waitForFinished();
    return r;
  }
  r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
  r.out = p.readAllStandardOutput();
  r.err = p.readAllStandardError();
  return r;
}

class ProgressRecorder : public QObject {
  Q_OBJECT
 public:
  QList<int> values;
  Q_INVOKABLE void Record(int value) { values << value; }
};

class TategakiCommand : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(GetGlyphSwapData(QStringLiteral(TALLPOST_DEFAULT_TABLE), table)); }

  QString engineOutput(const QString& body, int pl, int lc, int ls, const QString& sep, int mode, bool quote,
                       const QString& marker = QStringLiteral(">")) {
    return engine.ConvertToVertical(body, pl, lc, sep, table, mode, ls, quote, marker);
  }

  MyTategakiEngine engine;
  GlyphSwapTable table;
  TempProgramFolder folder;
  // Quoting, a prohibited character at a line end, ASCII, half-width kana and a blank line.
  const QString body = QString::fromUtf8(
      "> 引用された行です。\r\n本文は縦書きで送ります、よろしく。\r\n\r\nTallpost ﾃｽﾄ「かぎ」ー終わり");
};

TEST_F(TategakiCommand, WritesWhatTheEngineLaysOut) {
  ASSERT_TRUE(folder.WriteBytes(QStringLiteral("body.txt"), body.toUtf8()));
  const QString file = folder.File(QStringLiteral("body.txt"));

  Result r = tategaki({file});  // the defaults: 20 x 20, line space 1, wide mode, quotes
  ASSERT_EQ(r.exitCode, 0) << r.err.constData();
  EXPECT_EQ(r.out, engineOutput(body, 20, 20, 1, {}, MyTategakiEngine::kWideMode, true).toUtf8());
  EXPECT_TRUE(r.err.isEmpty());

  r = tategaki({QStringLiteral("--page-lines"), QStringLiteral("3"), QStringLiteral("--line-chars=5"),
                QStringLiteral("--line-space"), QStringLiteral("2"), QStringLiteral("--separator"),
                QString::fromUtf8("－"), QStringLiteral("--tab-mode"), QStringLiteral("--no-quote"), file});
  ASSERT_EQ(r.exitCode, 0) << r.err.constData();
  EXPECT_EQ(r.out, engineOutput(body, 3, 5, 2, QString::fromUtf8("－"), MyTategakiEngine::kTabMode, false).toUtf8());

  r = tategaki({QStringLiteral("--quote-marker"), QStringLiteral("|"), QStringLiteral("--line-chars"),
                QStringLiteral("7"), file});
  ASSERT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, engineOutput(body, 20, 7, 1, {}, MyTategakiEngine::kWideMode, true, QStringLiteral("|")).toUtf8());
  // With another marker the ">" line is an ordinary line.
  EXPECT_NE(r.out, engineOutput(body, 20, 7, 1, {}, MyTategakiEngine::kWideMode, true).toUtf8());
}

TEST_F(TategakiCommand, ReadsStandardInputAndAnotherTable) {
  const QByteArray expected = engineOutput(body, 4, 6, 1, {}, MyTategakiEngine::kWideMode, true).toUtf8();
  Result r = tategaki(
      {QStringLiteral("--page-lines"), QStringLiteral("4"), QStringLiteral("--line-chars"), QStringLiteral("6")},
      body.toUtf8());
  ASSERT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, expected);
  r = tategaki({QStringLiteral("--page-lines=4"), QStringLiteral("--line-chars=6"), QStringLiteral("-")},
               body.toUtf8());
  EXPECT_EQ(r.out, expected);
  // A byte-order mark does not become a character of the body.
  r = tategaki({QStringLiteral("--page-lines=4"), QStringLiteral("--line-chars=6")},
               QByteArray("\xEF\xBB\xBF") + body.toUtf8());
  EXPECT_EQ(r.out, expected);

  // A table of one row: "ー" stays as it is instead of becoming "｜".
  GlyphSwapTable one{{QStringLiteral("x"), QStringLiteral("y"), false}};
  ASSERT_TRUE(folder.WriteBytes(QStringLiteral("one.dat"), EncodeGlyphSwapData(one)));
  r = tategaki({QStringLiteral("--table"), folder.File(QStringLiteral("one.dat"))}, QString::fromUtf8("xー").toUtf8());
  ASSERT_EQ(r.exitCode, 0) << r.err.constData();
  EXPECT_EQ(r.out, engine
                       .ConvertToVertical(QString::fromUtf8("xー"), 20, 20, {}, one, MyTategakiEngine::kWideMode, 1,
                                          true, QStringLiteral(">"))
                       .toUtf8());
  EXPECT_TRUE(r.out.contains(QString::fromUtf8("ｙ").toUtf8()));
  EXPECT_TRUE(r.out.contains(QString::fromUtf8("ー").toUtf8()));
}

TEST_F(TategakiCommand, LfAndCp932) {
  // --lf: LF line ends read as CR LF, the output written with LF.
  QString lfBody = body;
  lfBody.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  Result r = tategaki({QStringLiteral("--lf"), QStringLiteral("--line-chars=6")}, lfBody.toUtf8());
  ASSERT_EQ(r.exitCode, 0);
  QString expected = engineOutput(body, 20, 6, 1, {}, MyTategakiEngine::kWideMode, true);
  expected.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  EXPECT_EQ(r.out, expected.toUtf8());
  EXPECT_FALSE(r.out.contains('\r'));
  // Without --lf a lone LF is not a line break.
  r = tategaki({QStringLiteral("--line-chars=6")}, lfBody.toUtf8());
  EXPECT_EQ(r.out, engineOutput(lfBody, 20, 6, 1, {}, MyTategakiEngine::kWideMode, true).toUtf8());

  // --cp932 on both sides.
  const QString japanese = QString::fromUtf8("縦書きのメール、です。\r\n〜と～");
  r = tategaki({QStringLiteral("--cp932"), QStringLiteral("--line-chars=4")}, Cp932::Encode(japanese));
  ASSERT_EQ(r.exitCode, 0);
  const QString converted =
      engineOutput(Cp932::Decode(Cp932::Encode(japanese)), 20, 4, 1, {}, MyTategakiEngine::kWideMode, true);
  EXPECT_EQ(r.out, Cp932::Encode(converted));
  EXPECT_EQ(Cp932::Decode(r.out), converted);
  EXPECT_NE(r.out, converted.toUtf8());
}

TEST_F(TategakiCommand, ProgressLinesAreTheEngineValues) {
  const QString longer = body.repeated(8);
  ProgressRecorder recorder;
  engine.SetProgressReceiver(&recorder);
  engine.SetProgressMethod(QStringLiteral("Record"));
  const QString expected = engineOutput(longer, 3, 5, 1, {}, MyTategakiEngine::kWideMode, true);
  ASSERT_GT(recorder.values.size(), 10);

  const Result r =
      tategaki({QStringLiteral("--progress"), QStringLiteral("--page-lines=3"), QStringLiteral("--line-chars=5")},
               longer.toUtf8());
  ASSERT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, expected.toUtf8());
  QList<int> printed;
  for (const QByteArray& line : r.err.split('\n')) {
    if (line.isEmpty()) continue;
    bool ok = false;
    printed << line.toInt(&ok);
    EXPECT_TRUE(ok) << line.constData();
  }
  EXPECT_EQ(printed, recorder.values);
}

TEST_F(TategakiCommand, WrongUsageExitsWithTwoAndWritesNothing) {
  const QList<QStringList> wrong = {
      {QStringLiteral("--page-lines"), QStringLiteral("0")},
      {QStringLiteral("--line-chars=-3")},
      {QStringLiteral("--line-space"), QStringLiteral("1.5")},
      {QStringLiteral("--line-chars"), QStringLiteral("abc")},
      {QStringLiteral("--page-lines"), QStringLiteral("99999999999")},
      {QStringLiteral("--line-space"), QStringLiteral("40000")},
      {QStringLiteral("--line-chars"), QStringLiteral("20000000")},
      {QStringLiteral("--separator")},
      {QStringLiteral("--frobnicate")},
      {QStringLiteral("--tab-mode=yes")},
      {QStringLiteral("a.txt"), QStringLiteral("b.txt")},
  };
  for (const QStringList& args : wrong) {
    const Result r = tategaki(args, body.toUtf8());
    EXPECT_EQ(r.exitCode, 2) << args.join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(r.out.isEmpty()) << args.join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(r.err.startsWith("tategaki: ")) << r.err.constData();
  }
}

TEST_F(TategakiCommand, ALayoutTooLargeForMemoryIsRefusedUnderAMemoryLimit) {
#if defined(__SANITIZE_ADDRESS__) || (defined(__has_feature) && __has_feature(address_sanitizer))
  GTEST_SKIP() << "AddressSanitizer reserves terabytes of address space: no program of this build runs under ulimit -v";
#endif
  // 1 GiB of address space: what the command would need for these layouts is
  // far beyond it, and it must say so instead of dying.
  const QString program = QStringLiteral(TALLPOST_BIN_DIR "/tategaki");
  const auto limited = [&](const QStringList& args, const QByteArray& input) {
    QProcess p;
    p.start(QStringLiteral("/bin/sh"),
            QStringList{QStringLiteral("-c"), QStringLiteral("ulimit -v 1048576; exec \"$0\" \"$@\""), program} + args);
    p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(60000);
    return std::pair{p.exitCode(), p.readAllStandardError()};
  };
  const auto [pages, pagesErr] = limited({QStringLiteral("--page-lines"), QStringLiteral("1000"),
                                          QStringLiteral("--line-chars"), QStringLiteral("4000000")},
                                         QByteArray("縦書きのメール。\n"));
  EXPECT_EQ(pages, 2);
  EXPECT_TRUE(pagesErr.contains("256 MiB")) << pagesErr.toStdString();
  QByteArray long40k;
  for (int i = 0; i < 4000; ++i) long40k += "十文字の縦書き文章。";
  const auto [space, spaceErr] = limited({QStringLiteral("--line-space"), QStringLiteral("32767")}, long40k);
  EXPECT_EQ(space, 2);
  EXPECT_TRUE(spaceErr.contains("256 MiB")) << spaceErr.toStdString();
  // The same text with an ordinary layout still converts under the limit.
  const auto [ok, okErr] = limited({}, long40k);
  EXPECT_EQ(ok, 0) << okErr.toStdString();
}

TEST_F(TategakiCommand, UnreadableFilesExitWithOne) {
  Result r = tategaki({folder.File(QStringLiteral("missing.txt"))});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(r.out.isEmpty());
  EXPECT_TRUE(r.err.contains("missing.txt"));

  r = tategaki({QStringLiteral("--table"), folder.File(QStringLiteral("none.dat"))}, body.toUtf8());
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(r.out.isEmpty());
  EXPECT_TRUE(r.err.contains("character table"));
}

TEST_F(TategakiCommand, HelpInBothLanguages) {
  const Result r = tategaki({QStringLiteral("--help")});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_TRUE(r.out.startsWith("Usage: tategaki [OPTIONS] [FILE]\n"));
  EXPECT_TRUE(r.out.contains(QString::fromUtf8("使い方: tategaki").toUtf8()));
  EXPECT_TRUE(r.out.contains("--quote-marker TEXT"));
}

}  // namespace

#include "TategakiCommandTest.moc"
