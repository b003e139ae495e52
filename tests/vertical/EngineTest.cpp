#include "vertical/MyTategakiEngine.h"

#include <QCoreApplication>
#include <QObject>
#include <QRandomGenerator>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

const QChar kSp(0x3000);

// Output as one line: U+3000 as "_", each CR LF as "|".
QString show(QString text) {
  text.replace(kSp, QLatin1Char('_'));
  text.replace(QStringLiteral("\r\n"), QStringLiteral("|"));
  return text;
}

QString s(const char* utf8) { return QString::fromUtf8(utf8); }

class Recorder : public QObject {
  Q_OBJECT
 public:
  MyTategakiEngine* engine = nullptr;
  int stopAt = -1;
  int sleepMs = 0;
  QList<int> values;
  Q_INVOKABLE void CallBack_TategakiEngine(int value) {
    values << value;
    if (sleepMs) QThread::msleep(static_cast<unsigned long>(sleepMs));
    if (stopAt >= 0 && value >= stopAt) engine->StopConversion();
  }
};

class Engine : public ::testing::Test {
 protected:
  QString convert(const QString& body, int pageLines, int lineChars, const QString& separator = {}, int lineSpace = 1,
                  bool quote = true, int mode = MyTategakiEngine::kWideMode) {
    return engine.ConvertToVertical(body, pageLines, lineChars, separator, table, mode, lineSpace, quote,
                                    QStringLiteral(">"));
  }
  QString shown(const char* body, int pageLines, int lineChars, const char* separator = "") {
    return show(convert(s(body), pageLines, lineChars, s(separator)));
  }
  MyTategakiEngine engine;
  GlyphSwapTable table;
};

// ---- Worked examples and page layout ----

TEST_F(Engine, OneCharacterOnOnePage) { EXPECT_EQ(shown("あ", 2, 3), s("__|__|__|あ_|__|__|")); }

TEST_F(Engine, TwoPagesWithSeparatorAndTheLastPageFilled) {
  EXPECT_EQ(shown("あいうえお", 2, 2, "－"), s("－___|____|い___|う_あ_|____|－___||__え_|__お_|____|"));
}

TEST_F(Engine, EmptyBodyGivesNothingAndReportsNothing) {
  Recorder r;
  engine.SetProgressReceiver(&r);
  engine.SetProgressMethod(QStringLiteral("CallBack_TategakiEngine"));
  EXPECT_EQ(convert(QString(), 2, 2), QString());
  EXPECT_TRUE(r.values.isEmpty());
  EXPECT_EQ(convert(s("\t\n\t"), 2, 2), QString());
}

TEST_F(Engine, SeparatorIsCutOrFilledToThePageWidthAndNeverRepeated) {
  // Page width 4: "1234567890" widened and cut to four characters.
  const QString cut = convert(s("あいうえお"), 2, 2, s("1234567890"));
  EXPECT_TRUE(cut.startsWith(s("１２３４\r\n"))) << show(cut).toStdString();
  const QString filled = convert(s("あいうえお"), 2, 2, s("*"));
  EXPECT_TRUE(filled.startsWith(s("＊　　　\r\n")));
  // Line space 2: cells three wide, the separator keeps one space at its end.
  const QString wide = convert(s("あいうえお"), 2, 2, s("1234567890"), 2);
  EXPECT_TRUE(wide.startsWith(s("１２３４５　\r\n"))) << show(wide).toStdString();
}

TEST_F(Engine, OnePageTextIsNotFilledToFullWidth) {
  EXPECT_EQ(shown("あいう", 5, 2), s("____|____|い___|う_あ_|____|"));
}

TEST_F(Engine, TabModeSpacesWithTabsAndKeepsCharacters) {
  const QString out = convert(s("ab"), 2, 2, {}, 1, true, MyTategakiEngine::kTabMode);
  EXPECT_EQ(show(out), s("___|___|b\t\t|\ta\t|\t\t|"));
}

TEST_F(Engine, LongSubstitutesGetNoPaddingInsteadOfANegativeCount) {
  table = {{s("A"), s("ABC"), false}};
  EXPECT_EQ(shown("A", 2, 1), s("_____|_____|ＡＢＣ__|____|"));
  // One position and one line a page: the indent fills page 1, the character page 2.
  EXPECT_EQ(shown("A", 1, 1), s("__|__|__|__|__||ＡＢＣ|__|"));
}

// ---- Line breaks, blanks, TABs ----

TEST_F(Engine, TrailingBlanksMakeNoEmptyVerticalLines) {
  EXPECT_EQ(convert(s("あい\r\n\r\n　 \t\r\n"), 5, 2), convert(s("あい"), 5, 2));
  EXPECT_EQ(engine.TrimTrailingBlanks(s("ab \t\r\n")), s("ab"));
  EXPECT_EQ(engine.TrimTrailingBlanks(s("\r\n\r\n")), s("\r"));
  EXPECT_EQ(engine.TrimTrailingBlanks(QStringLiteral("x") + QChar(0) + kSp), s("x"));
  EXPECT_EQ(engine.TrimTrailingBlanks(QString()), QString());
}

TEST_F(Engine, TwoLineBreaksStartAParagraphAndThreeLeaveAnEmptyLine) {
  EXPECT_EQ(shown("あ\r\nい", 5, 3), s("____|____|____|い_あ_|____|____|"));
  EXPECT_EQ(convert(s("あ\r\n\r\nい"), 5, 3), convert(s("あ\r\nい"), 5, 3));
  EXPECT_EQ(shown("あ\r\n\r\n\r\nい", 5, 3), s("______|______|______|い___あ_|______|______|"));
}

TEST_F(Engine, LoneLfIsIgnoredLoneCrBreaksTabIsDropped) {
  EXPECT_EQ(convert(s("あ\nい"), 5, 3), convert(s("あい"), 5, 3));
  EXPECT_EQ(convert(s("あ\rい"), 5, 3), convert(s("あ\r\nい"), 5, 3));
  EXPECT_EQ(convert(s("あ\tい"), 5, 3), convert(s("あい"), 5, 3));
}

TEST_F(Engine, AVerticalLineNeverStartsWithASpace) {
  // い fills the first line; the spaces after it are dropped.
  EXPECT_EQ(shown("あい 　う", 5, 3), s("____|____|う___|__あ_|__い_|____|"));
}

// ---- Line-head prohibition ----

class Prohibition : public Engine {
 protected:
  void SetUp() override { table = {{s("、"), {}, true}}; }
};

TEST_F(Prohibition, HangsInTheFootRowOfAFilledLine) {
  EXPECT_EQ(shown("あい、う", 5, 3), s("____|____|う___|__あ_|__い_|__、_|"));
}

TEST_F(Prohibition, HangsAfterALineBreakToo) {
  EXPECT_EQ(shown("あ\r\n、い", 5, 3), s("____|____|____|い_あ_|____|__、_|"));
}

TEST_F(Prohibition, OnlyOneTokenHangs) {
  EXPECT_EQ(shown("あい、、う", 5, 3), s("____|____|、___|う_あ_|__い_|__、_|"));
}

TEST_F(Prohibition, ASpaceBetweenLetsTheCharacterBeginTheNextLine) {
  EXPECT_EQ(shown("あい　、", 5, 3), s("____|____|、___|__あ_|__い_|____|"));
}

TEST_F(Prohibition, TableKeysMatchBothFormsOfACp932Pair) {
  table = {{QString(QChar(0xFF5E)), s("X"), true}, {QString(QChar(0x2016)), s("Y"), false}};
  const auto wave = engine.MapCharacter(QString(QChar(0x301C)), table, MyTategakiEngine::kWideMode);
  ASSERT_TRUE(wave.has_value());
  EXPECT_EQ(wave->Text, s("Ｘ"));
  EXPECT_TRUE(wave->LineHeadProhibited);
  const auto bars = engine.MapCharacter(QString(QChar(0x2225)), table, MyTategakiEngine::kWideMode);
  EXPECT_EQ(bars->Text, s("Ｙ"));
  EXPECT_EQ(convert(QString(QChar(0x301C)), 1, 1), convert(QString(QChar(0xFF5E)), 1, 1));
}

// ---- Quoted lines ----

TEST_F(Engine, QuotedParagraphIsHeadedByTheQuoteCellOnEveryLine) {
  EXPECT_EQ(shown(">あいうえ", 3, 3), s("______|______|▼_▼_▼_|え_い___|__う_あ_|______|"));
}

TEST_F(Engine, SpaceAfterTheMarkerIsDropped) {
  EXPECT_EQ(shown("> あい", 1, 3), s("__|__|▼_|__|あ_|__|__||▼_|い_|__|__|"));
}

TEST_F(Engine, BlankQuotedLineDisappears) {
  EXPECT_EQ(shown("あ\r\n>  \r\nい", 3, 2), s("____|____|____|い_あ_|____|"));
}

TEST_F(Engine, MarkerAtTheStartOfAWrappedLineStartsAQuote) {
  EXPECT_EQ(shown("あい>うえお", 3, 3), s("______|______|▼_▼___|お_う_あ_|__え_い_|______|"));
}

TEST_F(Engine, QuoteEndsWithItsBodyLineEvenWhenTheLineBreakFallsAfterAFullLine) {
  EXPECT_EQ(shown(">あいう\r\nえお", 3, 3), s("______|______|__▼_▼_|え_い___|お_う_あ_|______|"));
}

TEST_F(Engine, QuoteHandlingOffPrintsTheMarker) {
  EXPECT_EQ(show(convert(s(">あ"), 2, 3, {}, 1, false)), s("__|__|__|＞_|あ_|__|"));
}

TEST_F(Engine, QuotedTextWithOnePositionPerLineEnds) {
  // With one position a line there is no room for the quote cell: the markers
  // are dropped, the text is laid out and the conversion ends.
  EXPECT_EQ(shown(">あい\r\n>う\r\nえ", 10, 1), s("______________|______________|え___う___い_あ___|______________|"));
}

// ---- Input checks ----

TEST_F(Engine, LayoutValuesBelowOneAreRefusedNotLoopedOn) {
  for (auto [pl, lc, ls] : {std::tuple{0, 2, 1}, {2, 0, 1}, {2, 2, 0}, {-1, 2, 1}, {2, 2, 40000}}) {
    EXPECT_EQ(engine.ConvertToVertical(s("あいう"), pl, lc, {}, table, 1, ls, true, s(">")), QString());
    EXPECT_TRUE(engine.ConversionRefused());
  }
  EXPECT_FALSE(convert(s("あ"), 1, 1).isEmpty());
  EXPECT_FALSE(engine.ConversionRefused());
}

// ---- Width conversion ----

TEST_F(Engine, ALayoutWhoseTextWouldNotFitInMemoryIsRefusedBeforeAnythingIsMade) {
  // One page of 1000 lines of 4,000,000 characters, and a line space of
  // 32767 on 40,000 characters: both far past 256 MiB of text.
  const QString body = QString(40000, QChar(u'字'));
  EXPECT_TRUE(MyTategakiEngine::LayoutAccepted(1000, 4000000, 1)) << "each value on its own is not absurd";
  EXPECT_FALSE(MyTategakiEngine::OutputAccepted(u"縦", 1000, 4000000, 1, 1, 0));
  EXPECT_FALSE(MyTategakiEngine::OutputAccepted(body, 20, 20, 32767, 1, 0));
  EXPECT_TRUE(convert(QStringLiteral("縦"), 1000, 4000000).isEmpty());
  EXPECT_TRUE(engine.ConversionRefused());
  EXPECT_TRUE(convert(body, 20, 20, QString(), 32767).isEmpty());
  EXPECT_TRUE(engine.ConversionRefused());
  // An ordinary layout of a long text stays well inside, and is exact enough
  // to be an upper bound of what is made.
  const QString big = QString(200000, QChar(u'字'));
  const QString out = convert(big, 20, 20);
  EXPECT_FALSE(engine.ConversionRefused());
  EXPECT_LE(out.size(), MyTategakiEngine::OutputBound(big, 20, 20, 1, 1, 0));
  EXPECT_TRUE(MyTategakiEngine::OutputAccepted(QString(1 << 20, QChar(u'字')), 40, 40, 2, 1, 0));
}

TEST_F(Engine, WideModeWidensAsciiSpacesAndHalfWidthKanaOneTokenAtATime) {
  const QList<VerticalToken> t = engine.TokenizeText(s("ｶﾞA ~ｰ｡\r\n"), table, MyTategakiEngine::kWideMode);
  QStringList texts;
  for (const auto& v : t) texts << v.Text;
  EXPECT_EQ(texts, (QStringList{s("カ"), s("゛"), s("Ａ"), s("　"), s("～"), s("ー"), s("。"), s("\r")}));
  const QList<VerticalToken> kept = engine.TokenizeText(s("ｶA"), table, MyTategakiEngine::kTabMode);
  EXPECT_EQ(kept.at(0).Text, s("ｶ"));
  EXPECT_EQ(kept.at(1).Text, s("A"));
  // A substitute from the table is widened as one text: voiced marks join.
  table = {{s("x"), s("ﾊﾟ"), false}};
  EXPECT_EQ(engine.MapCharacter(s("x"), table, MyTategakiEngine::kWideMode)->Text, s("パ"));
  EXPECT_FALSE(engine.MapCharacter(s("\t"), table, MyTategakiEngine::kWideMode).has_value());
  EXPECT_FALSE(engine.MapCharacter(s("\n"), table, MyTategakiEngine::kWideMode).has_value());
}

TEST_F(Engine, FirstRowOfADuplicateKeyWins) {
  table = {{s("a"), s("1"), false}, {s("a"), s("2"), true}};
  const auto t = engine.MapCharacter(s("a"), table, MyTategakiEngine::kWideMode);
  EXPECT_EQ(t->Text, s("１"));
  EXPECT_FALSE(t->LineHeadProhibited);
}

TEST_F(Engine, CharactersOutsideTheBmpStayWhole) {
  const QString c = QString::fromUcs4(U"\U00020B9F");  // 𠮟
  const QString out = convert(c, 1, 1);
  EXPECT_TRUE(out.contains(c + kSp)) << show(out).toStdString();
}

// ---- Progress and stopping ----

class Progress : public Engine {
 protected:
  void SetUp() override {
    recorder.engine = &engine;
    engine.SetProgressReceiver(&recorder);
    engine.SetProgressMethod(QStringLiteral("CallBack_TategakiEngine"));
  }
  Recorder recorder;
};

TEST_F(Progress, ValuesOfTheTwoPageExample) {
  convert(s("あいうえお"), 2, 2, s("－"));
  // Characters read: 20..100; page end: + N(3/4*100) div 4 = 18, not capped;
  // the join adds row by row and is capped at 100.
  EXPECT_EQ(recorder.values, (QList<int>{20, 40, 60, 80, 100, 118, 100}));
  EXPECT_EQ(engine.Progress(), 100);
}

TEST_F(Progress, TiesRoundToEvenOnTheExactFraction) {
  QString body;
  for (int i = 0; i < 40; ++i) body += s("字");
  convert(body, 100, 100);
  // i = 21 is 52.5 -> 52; i = 23 is 57.5 -> 58; i = 25 is 62.5 -> 62.
  EXPECT_TRUE(recorder.values.contains(52));
  EXPECT_TRUE(recorder.values.contains(58));
  EXPECT_TRUE(recorder.values.contains(62));
  EXPECT_FALSE(recorder.values.contains(53));
  EXPECT_FALSE(recorder.values.contains(57));
  EXPECT_FALSE(recorder.values.contains(63));
}

TEST_F(Progress, EveryValueIsReportedOnceAndInOrderWhileReading) {
  QString body;
  for (int i = 0; i < 100000; ++i) body += s("あ");
  convert(body, 20, 20);
  const QList<int> reading = recorder.values.mid(0, 101);
  for (int v = 0; v <= 100; ++v) EXPECT_EQ(reading.value(v, -1), v);
  // Pages: 100000 characters of 20 a line and 20 lines a page; page ends keep adding.
  EXPECT_GT(recorder.values.size(), 200);
  EXPECT_EQ(recorder.values.last(), 100);
}

TEST_F(Progress, UnpairedSurrogatesAreCharactersOfTheirOwn) {
  // Lone halves of a pair, in either order and at either end: each is read as
  // one character, and reading reaches exactly 100 without a fault.
  const QString lowFirst = QString(QChar(0xDC00)) + QChar(0xD800) + s("あ") + QChar(0xD800);
  const QString out = convert(lowFirst, 3, 3);
  EXPECT_FALSE(out.isEmpty());
  EXPECT_EQ(recorder.values.mid(0, 4), (QList<int>{25, 50, 75, 100}));
}

TEST_F(Progress, StopFromTheReceiverReturnsNothing) {
  recorder.stopAt = 50;
  QString body;
  for (int i = 0; i < 1000; ++i) body += s("あい\r\n");
  EXPECT_EQ(convert(body, 20, 20), QString());
  EXPECT_TRUE(engine.ConversionStopped());
  EXPECT_EQ(recorder.values.last(), 50);
  // The next conversion starts afresh.
  recorder.stopAt = -1;
  EXPECT_FALSE(convert(s("あ"), 2, 2).isEmpty());
  EXPECT_FALSE(engine.ConversionStopped());
}

TEST_F(Progress, StopFromAnEventHandledDuringTheConversion) {
  recorder.sleepMs = 2;  // a receiver that repaints slowly
  QString body;
  for (int i = 0; i < 200000; ++i) body += s("縦書");
  bool fired = false;
  QTimer::singleShot(0, qApp, [&] {
    fired = true;
    engine.StopConversion();
  });
  EXPECT_EQ(convert(body, 20, 20), QString());
  EXPECT_TRUE(fired);
  EXPECT_TRUE(engine.ConversionStopped());
  EXPECT_LT(recorder.values.size(), 101);
}

TEST_F(Progress, AReceiverWithoutTheMethodIsNotCalled) {
  engine.SetProgressMethod(QStringLiteral("NoSuchMethod"));
  EXPECT_FALSE(convert(s("あい"), 2, 2).isEmpty());
  EXPECT_TRUE(recorder.values.isEmpty());
  engine.SetProgressMethod(QString());
  engine.NotifyProgress(5);
  EXPECT_TRUE(recorder.values.isEmpty());
  engine.SetProgressMethod(QStringLiteral("CallBack_TategakiEngine"));
  engine.NotifyProgress(5);
  EXPECT_EQ(recorder.values, QList<int>{5});
}

// ---- One engine used for many conversions ----

TEST_F(Engine, AReusedEngineConvertsAsAFreshOne) {
  // The engine keeps its table index and buffers between conversions: a
  // changed table, another width mode, a shorter body or a stopped conversion
  // before must not show in the next result.
  const GlyphSwapTable dashes = {{s("ー"), s("｜"), false}};
  const GlyphSwapTable bars = {{s("ー"), s("┃"), true}, {s("あ"), s("ア"), false}};
  const QString longBody = s("ああーいい、うう\r\n> 引用ー\r\nええ").repeated(50);
  const QString shortBody = s("あーい");
  struct Case {
    const GlyphSwapTable* table;
    const QString* body;
    int mode;
  };
  const Case cases[] = {
      {&dashes, &longBody, MyTategakiEngine::kWideMode}, {&bars, &shortBody, MyTategakiEngine::kWideMode},
      {&bars, &shortBody, MyTategakiEngine::kTabMode},   {&dashes, &shortBody, MyTategakiEngine::kTabMode},
      {&dashes, &longBody, MyTategakiEngine::kWideMode}, {&bars, &longBody, MyTategakiEngine::kWideMode}};
  for (const Case& c : cases) {
    MyTategakiEngine fresh;
    const QString expected =
        fresh.ConvertToVertical(*c.body, 3, 4, s("－"), *c.table, c.mode, 1, true, QStringLiteral(">"));
    table = *c.table;
    EXPECT_EQ(convert(*c.body, 3, 4, s("－"), 1, true, c.mode), expected);
  }
  EXPECT_TRUE(convert(shortBody, 3, 4).contains(s("ア")));

  // After a stop in the middle of a long body.
  Recorder recorder;
  recorder.engine = &engine;
  recorder.stopAt = 30;
  engine.SetProgressReceiver(&recorder);
  engine.SetProgressMethod(QStringLiteral("CallBack_TategakiEngine"));
  EXPECT_EQ(convert(longBody, 3, 4), QString());
  engine.SetProgressReceiver(nullptr);
  MyTategakiEngine fresh;
  EXPECT_EQ(convert(shortBody, 2, 2), fresh.ConvertToVertical(shortBody, 2, 2, {}, table, MyTategakiEngine::kWideMode,
                                                              1, true, QStringLiteral(">")));
}

// ---- Invariants over many generated bodies ----

TEST_F(Engine, GeneratedBodiesAlwaysEndAndLineUp) {
  table = {{s("、"), {}, true}, {s("。"), {}, true}, {s("ー"), s("｜"), true}, {s("「"), s("┐"), false}};
  const QStringList pieces = {s("あ"), s("漢"),   s("、"),       s("。"), s("ー"), s("「"), s(">"), s(" "),
                              s("　"), s("\r\n"), s("\r\n\r\n"), s("\n"), s("\t"), s("a"),  s("ｶ")};
  QRandomGenerator rng(20261207);
  for (int round = 0; round < 400; ++round) {
    QString body;
    const int length = static_cast<int>(rng.bounded(60));
    for (int i = 0; i < length; ++i) body += pieces[static_cast<int>(rng.bounded(pieces.size()))];
    const int pl = 1 + static_cast<int>(rng.bounded(5));
    const int lc = 1 + static_cast<int>(rng.bounded(6));
    const int ls = 1 + static_cast<int>(rng.bounded(3));
    const bool quote = rng.bounded(2) == 0;
    const QString out = convert(body, pl, lc, s("－"), ls, quote);
    const QString context = QStringLiteral("body=") + show(body) +
                            QStringLiteral(" pl=%1 lc=%2 ls=%3 q=%4").arg(pl).arg(lc).arg(ls).arg(quote);
    if (out.isEmpty()) continue;  // a body of blanks only
    QStringList lines = out.split(QStringLiteral("\r\n"));
    ASSERT_TRUE(lines.last().isEmpty()) << context.toStdString();
    lines.removeLast();
    const qsizetype width = lines.first().size();
    for (qsizetype i = 0; i < lines.size(); ++i) {
      // Every row is as wide as the separator line; only the row after each
      // separator is empty.
      if (lines[i].isEmpty()) {
        EXPECT_TRUE(i > 0 && lines[i - 1].startsWith(s("－"))) << context.toStdString();
        continue;
      }
      EXPECT_EQ(lines[i].size(), width) << context.toStdString() << " line " << i;
    }
    if (!quote) {
      // Nothing is lost: every character that is not a blank or a break is there.
      QString expected = body;
      for (const char* blank : {"\r", "\n", "\t", " ", "　"}) expected.remove(s(blank));
      QString got = out;
      got.remove(kSp).remove(QStringLiteral("\r\n")).remove(s("－"));
      EXPECT_EQ(got.size(), expected.size()) << context.toStdString();
    }
  }
}

}  // namespace

#include "EngineTest.moc"
