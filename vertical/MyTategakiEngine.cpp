#include "vertical/MyTategakiEngine.h"

#include "support/Cp932.h"
#include "support/EventLoopTurn.h"
#include "vertical/WidthConversion.h"

#include <QHash>

#include <algorithm>
#include <new>

namespace {

constexpr std::uint32_t kProhibitedBit = 0x80000000u;
constexpr std::uint32_t kPooledBit = 0x40000000u;
constexpr std::uint32_t kValueMask = 0x3FFFFFFFu;
constexpr char32_t kCr = 0x0D;
constexpr char32_t kIdeographicSpace = 0x3000;

// Cells of the page grid: a token index, or one of these.
constexpr std::int32_t kBlankCell = -1;
constexpr std::int32_t kQuoteCell = -2;

constexpr std::int64_t kMaxLineSpace = 32767;
constexpr std::int64_t kMaxCharactersPerLine = 16 * 1024 * 1024;

// N(num / den): the nearest integer, ties to even, in exact integer arithmetic.
std::int64_t roundHalfEven(std::int64_t num, std::int64_t den) {
  std::int64_t q = num / den;
  const std::int64_t r2 = 2 * (num % den);
  if (r2 > den || (r2 == den && (q & 1))) ++q;
  return q;
}

bool isSpace(char32_t c) { return c == 0x20 || c == kIdeographicSpace; }

// Characters as the engine reads them: a surrogate pair is one, and so is an
// unpaired surrogate of either kind.
qsizetype codePointCount(QStringView s) {
  qsizetype n = 0;
  for (qsizetype i = 0; i < s.size(); ++i) {
    if (s[i].isHighSurrogate() && i + 1 < s.size() && s[i + 1].isLowSurrogate()) ++i;
    ++n;
  }
  return n;
}

void appendCodePoint(QString& out, char32_t c) {
  if (c < 0x10000) {
    out += QChar(static_cast<char16_t>(c));
  } else {
    out += QChar::highSurrogate(c);
    out += QChar::lowSurrogate(c);
  }
}

}  // namespace

// The character table prepared for lookups: the first row of every one-character
// key. CP932 stores a few pairs of characters under one code; both members of a
// pair find the same row, so a body converts alike before and after a trip
// through a mail file.
struct MyTategakiEngine::TableIndex {
  struct Row {
    bool hasVertical = false;
    bool prohibited = false;
    QString text;  // the Vertical text, widened in wide mode
  };
  std::vector<std::int32_t> bmp = std::vector<std::int32_t>(0x10000, -1);  // code unit -> row, -1 for none
  std::vector<char16_t> used;                                              // the entries of bmp that are set
  QHash<char32_t, std::int32_t> astral;
  std::vector<Row> rows;

  // Indexes table, forgetting the table indexed before.
  void build(const GlyphSwapTable& table, bool wide) {
    for (char16_t c : used) bmp[c] = -1;
    used.clear();
    astral.clear();
    rows.clear();
    for (const GlyphSwapEntry& e : table) {
      const QList<uint> key = e.Horizontal.toUcs4();
      if (key.size() != 1) continue;  // only a one-character key can equal a character
      const char32_t c = fold(key[0]);
      if (find(c) >= 0) continue;  // a later duplicate is never used
      Row row;
      row.prohibited = e.LineHeadProhibited;
      row.hasVertical = !e.Vertical.isEmpty();
      row.text = wide ? WidthConversion::ToWide(e.Vertical) : e.Vertical;
      const auto number = static_cast<std::int32_t>(rows.size());
      rows.push_back(std::move(row));
      set(c, number);
    }
    // The first form of a folded pair finds the row of the second.
    for (const Cp932::FoldedPair& pair : Cp932::kFoldedPairs)
      if (bmp[pair.to] >= 0) set(pair.from, bmp[pair.to]);
  }

  static char32_t fold(char32_t c) { return c < 0x10000 ? Cp932::FoldToCp932Form(static_cast<char16_t>(c)) : c; }

  // The row of a character, folded or not.
  std::int32_t find(char32_t c) const {
    if (c < 0x10000) return bmp[c];
    return astral.value(c, -1);
  }

 private:
  void set(char32_t c, std::int32_t number) {
    if (c < 0x10000) {
      bmp[c] = number;
      used.push_back(static_cast<char16_t>(c));
    } else {
      astral.insert(c, number);
    }
  }
};

// The tokens of a body, with the pool of texts longer than one code point.
struct MyTategakiEngine::Tokens {
  std::vector<Token> list;
  std::vector<QString> pool;
  std::vector<std::int32_t> poolLength;  // in characters (code points)

  void clear() {
    list.clear();
    pool.clear();
    poolLength.clear();
  }
  void add(char32_t c, bool prohibited) {
    list.push_back({static_cast<std::uint32_t>(c) | (prohibited ? kProhibitedBit : 0u)});
  }
  void add(const QString& text, bool prohibited) {
    const QList<uint> cps = text.toUcs4();
    if (cps.size() == 1) {
      add(cps[0], prohibited);
      return;
    }
    const auto n = static_cast<std::uint32_t>(pool.size());
    pool.push_back(text);
    poolLength.push_back(static_cast<std::int32_t>(cps.size()));
    list.push_back({n | kPooledBit | (prohibited ? kProhibitedBit : 0u)});
  }

  bool pooled(Token t) const { return (t.bits & kPooledBit) != 0; }
  bool prohibited(Token t) const { return (t.bits & kProhibitedBit) != 0; }
  char32_t code(Token t) const { return pooled(t) ? 0 : (t.bits & kValueMask); }
  bool isCr(Token t) const { return !pooled(t) && code(t) == kCr; }
  // A single U+0020 or U+3000.
  bool isSpaceToken(Token t) const { return !pooled(t) && isSpace(code(t)); }
  // Made only of U+0020 and U+3000.
  bool allSpaces(Token t) const {
    if (!pooled(t)) return isSpace(code(t));
    const QString& s = pool[t.bits & kValueMask];
    return std::all_of(s.begin(), s.end(), [](QChar c) { return isSpace(c.unicode()); });
  }
  std::int64_t length(Token t) const { return pooled(t) ? poolLength[t.bits & kValueMask] : 1; }
  std::int64_t units(Token t) const {
    return pooled(t) ? pool[t.bits & kValueMask].size() : (code(t) >= 0x10000 ? 2 : 1);
  }
  // True when t is the token of text, whose code points are cps.
  bool equals(Token t, const QString& text, const QList<uint>& cps) const {
    if (pooled(t)) return pool[t.bits & kValueMask] == text;
    return cps.size() == 1 && cps[0] == code(t);
  }
  VerticalToken toPublic(Token t) const {
    VerticalToken v;
    v.LineHeadProhibited = prohibited(t);
    if (pooled(t))
      v.Text = pool[t.bits & kValueMask];
    else
      appendCodePoint(v.Text, code(t));
    return v;
  }
};

// One vertical line of the layout (see ConvertToVertical).
struct MyTategakiEngine::Line {
  std::int64_t first = 0;          // the token at its first character position
  std::int32_t count = 0;          // how many tokens follow from there
  std::int32_t foot = kBlankCell;  // the token hanging in the foot row
  bool quote = false;              // a quote cell at its head
  bool indent = false;             // an indent after that
};

// What a conversion works in. It is kept between conversions, so that a body
// converted again does not pay for fresh memory, and the table index is built
// again only when the table or the width mode changed.
struct MyTategakiEngine::Work {
  GlyphSwapTable table;
  bool wide = false;
  bool indexed = false;
  TableIndex index;
  Tokens tokens;
  std::vector<Line> lines;

  const TableIndex& indexFor(const GlyphSwapTable& t, bool w) {
    if (!indexed || w != wide || t != table) {
      index.build(t, w);
      table = t;
      wide = w;
      indexed = true;
    }
    return index;
  }

  // Buffers grown by a very long body are given back rather than kept.
  void release() {
    constexpr size_t kKeep = 16 * 1024 * 1024;
    if (lines.capacity() > kKeep / 4) std::vector<Line>().swap(lines);
    if (tokens.list.capacity() > kKeep) std::vector<Token>().swap(tokens.list);
    tokens.pool.clear();
    tokens.poolLength.clear();
  }
};

MyTategakiEngine::MyTategakiEngine() : work_(std::make_unique<Work>()) {}

MyTategakiEngine::~MyTategakiEngine() = default;

MyTategakiEngine& MyTategakiEngine::Instance() {
  static MyTategakiEngine engine;
  return engine;
}

void MyTategakiEngine::SetProgressReceiver(QObject* object) { receiver_ = object; }

void MyTategakiEngine::SetProgressMethod(const QString& name) { method_ = name; }

void MyTategakiEngine::NotifyProgress(int value) {
  QObject* receiver = receiver_.data();
  if (receiver == nullptr || method_.isEmpty()) return;
  // The method is looked up once per receiver class and name, not per call.
  if (resolvedFor_ != receiver->metaObject() || resolvedName_ != method_) {
    resolvedFor_ = receiver->metaObject();
    resolvedName_ = method_;
    resolved_ = QMetaMethod();
    for (const char* type : {"int", "qint32"}) {
      const QByteArray signature =
          QMetaObject::normalizedSignature((method_.toLatin1() + '(' + type + ')').constData());
      const int i = resolvedFor_->indexOfMethod(signature.constData());
      if (i >= 0) {
        resolved_ = resolvedFor_->method(i);
        break;
      }
    }
  }
  if (resolved_.isValid()) resolved_.invoke(receiver, Qt::DirectConnection, Q_ARG(int, value));
}

void MyTategakiEngine::setProgressAndNotify(int value) {
  progress_ = value;
  lastNotified_ = value;
  NotifyProgress(value);
}

bool MyTategakiEngine::LayoutAccepted(std::int64_t pageLines, std::int64_t lineChars, std::int64_t lineSpace) {
  if (pageLines < 1 || lineChars < 1 || lineSpace < 1 || lineSpace > kMaxLineSpace) return false;
  return (lineChars + 1) * (lineSpace + 1) <= kMaxCharactersPerLine;
}

std::int64_t MyTategakiEngine::OutputBound(QStringView body, std::int64_t pageLines, std::int64_t lineChars,
                                           std::int64_t lineSpace, std::int64_t longestSubstitute,
                                           std::int64_t separatorUnits) {
  if (pageLines < 1 || lineChars < 1 || lineSpace < 1) return 0;
  // Only CR breaks a line (LF is passed over); a surrogate pair takes two
  // units in its cell.
  std::int64_t breaks = 0;
  std::int64_t longest = longestSubstitute;
  for (QChar c : body) {
    if (c == u'\r') ++breaks;
    if (c.isSurrogate()) longest = std::max<std::int64_t>(longest, 2);
  }
  // Vertical lines: a line holds lineChars characters (one less under a
  // quote cell) and ends early only at a line break.
  const std::int64_t perLine = std::max<std::int64_t>(1, lineChars - 1);
  const std::int64_t lines = body.size() / perLine + breaks + 2;
  // Reckoned in whole pages: a layout whose one page alone would not fit is
  // refused whatever the text (a text of one page is narrower, but such a
  // layout serves nobody).
  const std::int64_t pages = (lines + pageLines - 1) / pageLines;
  const std::int64_t columns = pages * pageLines;
  const std::int64_t cell = std::max<std::int64_t>(lineSpace + 1, longest + lineSpace);
  const std::int64_t pageWidth = std::min(columns, pageLines) * cell;
  // Every row of a page (the foot row too) ends with CR LF; a separator line
  // as wide as the page stands between pages.
  return (lineChars + 2) * (columns * cell + 2 * pages) + pages * (std::max(pageWidth, separatorUnits) + 4);
}

bool MyTategakiEngine::OutputAccepted(QStringView body, std::int64_t pageLines, std::int64_t lineChars,
                                      std::int64_t lineSpace, std::int64_t longestSubstitute,
                                      std::int64_t separatorUnits) {
  return LayoutAccepted(pageLines, lineChars, lineSpace) &&
         OutputBound(body, pageLines, lineChars, lineSpace, longestSubstitute, separatorUnits) <= kMaxOutputUnits;
}

std::int64_t MyTategakiEngine::LongestSubstitute(const GlyphSwapTable& table) {
  std::int64_t longest = 1;
  for (const GlyphSwapEntry& e : table) longest = std::max<std::int64_t>(longest, e.Vertical.size());
  return longest;
}

qsizetype MyTategakiEngine::trimmedLength(QStringView text) {
  EventLoopTurn turn;
  qsizetype end = text.size();
  while (end > 1) {
    const char16_t c = text[end - 1].unicode();
    if (c != u'\r' && c != u'\n' && c != u' ' && c != 0x3000 && c != u'\t' && c != 0) break;
    --end;
    turn.Step();
    if (stopped_) return 0;
  }
  return end;
}

QString MyTategakiEngine::TrimTrailingBlanks(const QString& text) {
  const qsizetype end = trimmedLength(text);
  return stopped_ ? QString() : text.left(end);
}

bool MyTategakiEngine::tokenize(QStringView text, const TableIndex& index, bool wide, Tokens& out) {
  EventLoopTurn turn;
  const std::int64_t n = codePointCount(text);
  out.clear();
  out.list.reserve(static_cast<size_t>(n));
  const char16_t* p = text.utf16();
  const char16_t* const end = p + text.size();
  std::int64_t i = 0;
  std::int64_t nextChange = 1;
  // The token of each table row, made once per conversion on its first use.
  std::vector<std::int64_t> rowToken(index.rows.size(), -1);
  while (p < end) {
    if (stopped_) return false;
    char32_t c = *p++;
    if (QChar::isHighSurrogate(c) && p < end && QChar::isLowSurrogate(*p))
      c = QChar::surrogateToUcs4(static_cast<char16_t>(c), *p++);
    ++i;
    if (c == u'\r') {
      out.add(kCr, false);
    } else if (c != u'\t' && c != u'\n') {
      const std::int32_t row = index.find(c);
      if (row >= 0 && index.rows[row].hasVertical) {
        if (rowToken[row] < 0) {
          out.add(index.rows[row].text, index.rows[row].prohibited);
          rowToken[row] = out.list.back().bits;
        } else {
          out.list.push_back({static_cast<std::uint32_t>(rowToken[row])});
        }
      } else {
        out.add(wide ? WidthConversion::ToWide(c) : c, row >= 0 && index.rows[row].prohibited);
      }
    }
    // Progress is a percentage of the characters read. Between two changes of
    // the value the receiver would only hear the same number again, so it is
    // told each new value once, and the value is worked out again only where
    // it next changes.
    if (i >= nextChange) {
      const std::int64_t value = roundHalfEven(i * 100, n);
      if (value != lastNotified_)
        setProgressAndNotify(static_cast<int>(value));
      else
        progress_ = static_cast<int>(value);
      std::int64_t k = std::max(i + 1, (2 * value + 1) * n / 200);  // at or before the next change
      while (k <= n && roundHalfEven(k * 100, n) <= value) ++k;
      nextChange = k;
    }
    turn.Step();
  }
  return !stopped_;
}

std::optional<VerticalToken> MyTategakiEngine::MapCharacter(QStringView character, const GlyphSwapTable& table,
                                                            int widthMode) {
  if (character.isEmpty()) return std::nullopt;
  const bool wide = widthMode == kWideMode;
  const TableIndex& index = work_->indexFor(table, wide);
  Tokens tokens;
  const int saved = lastNotified_;
  const QPointer<QObject> receiver = receiver_;
  receiver_ = nullptr;  // mapping one character reports no progress
  tokenize(character.left(QChar::isHighSurrogate(character[0].unicode()) ? 2 : 1), index, wide, tokens);
  receiver_ = receiver;
  lastNotified_ = saved;
  if (tokens.list.empty()) return std::nullopt;
  return tokens.toPublic(tokens.list.front());
}

QList<VerticalToken> MyTategakiEngine::TokenizeText(const QString& text, const GlyphSwapTable& table, int widthMode) {
  const bool wide = widthMode == kWideMode;
  const TableIndex& index = work_->indexFor(table, wide);
  Tokens tokens;
  lastNotified_ = -1;
  QList<VerticalToken> out;
  if (!tokenize(text, index, wide, tokens)) return out;
  out.reserve(static_cast<qsizetype>(tokens.list.size()));
  for (Token t : tokens.list) out.append(tokens.toPublic(t));
  return out;
}

QString MyTategakiEngine::separatorLine(const QString& separator, std::int64_t width, int lineSpace) const {
  const QList<uint> s = WidthConversion::ToWide(separator).toUcs4();
  const std::int64_t n = std::max<std::int64_t>(0, width - (lineSpace - 1));
  QString line;
  for (std::int64_t k = 0; k < n; ++k) appendCodePoint(line, k < s.size() ? s[k] : kIdeographicSpace);
  for (std::int64_t k = 0; k < lineSpace - 1; ++k) line += QChar(kIdeographicSpace);
  return line;
}

QString MyTategakiEngine::MakeSeparatorLine(const QString& separator, const QStringList& rows, int lineSpace) {
  std::int64_t width = 0;
  for (const QString& row : rows) width = std::max<std::int64_t>(width, codePointCount(row));
  return separatorLine(separator, width, lineSpace);
}

QString MyTategakiEngine::ConvertToVertical(const QString& body, int pageLines, int lineChars, const QString& separator,
                                            const GlyphSwapTable& table, int widthMode, int lineSpace,
                                            bool quoteHandling, const QString& quoteMarker) {
  progress_ = 0;
  lastNotified_ = -1;
  stopped_ = false;
  refused_ = false;
  // A layout whose text could not be held in memory is refused before
  // anything is allocated for it.
  if (!OutputAccepted(body, pageLines, lineChars, lineSpace, LongestSubstitute(table), separator.size())) {
    refused_ = true;
    return QString();
  }
  try {
    return convert(body, pageLines, lineChars, separator, table, widthMode, lineSpace, quoteHandling, quoteMarker);
  } catch (const std::bad_alloc&) {
    // Memory ran out all the same: a failed conversion, not a lost program.
    work_->release();
    refused_ = true;
    return QString();
  }
}

QString MyTategakiEngine::convert(const QString& body, int pageLines, int lineChars, const QString& separator,
                                  const GlyphSwapTable& table, int widthMode, int lineSpace, bool quoteHandling,
                                  const QString& quoteMarker) {
  const bool wide = widthMode == kWideMode;
  const QString marker = wide ? WidthConversion::ToWide(quoteMarker) : quoteMarker;
  const QList<uint> markerCodes = marker.toUcs4();
  if (body.isEmpty()) return QString();

  const qsizetype trimmed = trimmedLength(body);
  if (stopped_) return QString();
  const TableIndex& index = work_->indexFor(table, wide);
  Tokens& tk = work_->tokens;
  // The buffers are given back on every way out.
  struct Release {
    Work& work;
    ~Release() { work.release(); }
  } release{*work_};
  if (!tokenize(QStringView(body).left(trimmed), index, wide, tk)) return QString();
  const std::vector<Token>& toks = tk.list;
  const size_t n = toks.size();
  if (n == 0) return QString();

  EventLoopTurn turn;
  // The grid: every vertical line is lineChars character positions and the foot
  // row; pages hold their vertical lines in order (the first one is written at
  // the right end of each row).
  const size_t cellsPerLine = static_cast<size_t>(lineChars) + 1;
  const size_t foot = static_cast<size_t>(lineChars);
  // A vertical line is kept as what it holds, not as a cell per position: an
  // optional quote cell at its head, an optional indent, a run of consecutive
  // tokens, blanks, and an optional token hanging in the foot row.
  std::vector<Line>& lines = work_->lines;
  lines.clear();
  struct Page {
    size_t firstLine;
    size_t lines;
  };
  std::vector<Page> pages;

  // The cell of a line at row r.
  const auto cellAt = [&](const Line& line, size_t r) -> std::int32_t {
    if (r == foot) return line.foot;
    if (line.quote && r == 0) return kQuoteCell;
    const size_t offset = static_cast<size_t>(line.quote) + static_cast<size_t>(line.indent);
    if (r < offset || r - offset >= static_cast<size_t>(line.count)) return kBlankCell;
    return static_cast<std::int32_t>(line.first + static_cast<std::int64_t>(r - offset));
  };

  const auto cellLength = [&](std::int32_t cell) -> std::int64_t {
    if (cell == kBlankCell) return wide ? lineSpace + 1 : lineSpace;
    if (cell == kQuoteCell) return 1 + lineSpace;
    const std::int64_t len = tk.length(toks[static_cast<size_t>(cell)]);
    return wide ? std::max<std::int64_t>(len, lineSpace + 1) : len + lineSpace;
  };
  // The widest row of the pages built so far.
  const auto widestRow = [&]() -> std::int64_t {
    std::int64_t widest = 0;
    for (const Page& pg : pages) {
      for (size_t r = 0; r < cellsPerLine; ++r) {
        std::int64_t w = 0;
        for (size_t v = 0; v < pg.lines; ++v) w += cellLength(cellAt(lines[pg.firstLine + v], r));
        widest = std::max(widest, w);
      }
    }
    return widest;
  };

  // The length of a cell in the output, in UTF-16 units.
  const auto cellUnits = [&](std::int32_t cell) -> std::int64_t {
    if (cell == kBlankCell) return wide ? lineSpace + 1 : lineSpace;
    if (cell == kQuoteCell) return 1 + lineSpace;
    const Token t = toks[static_cast<size_t>(cell)];
    const std::int64_t pad = wide ? std::max<std::int64_t>(0, lineSpace + 1 - tk.length(t)) : lineSpace;
    return tk.units(t) + pad;
  };
  // What the cells that are not blank take in the output, summed as they are placed.
  std::int64_t filledUnits = 0;
  std::int64_t filledCells = 0;
  const auto count = [&](std::int32_t cell) {
    filledUnits += cellUnits(cell);
    ++filledCells;
  };

  size_t j = 0;
  bool indentDue = true;
  bool inQuote = false;
  bool ended = false;
  bool haveSeparator = false;
  QString sepLine;

  while (!ended) {
    pages.push_back({lines.size(), 0});
    for (int v = 0; v < pageLines && !ended; ++v) {
      lines.push_back(Line{});
      Line& line = lines.back();
      ++pages.back().lines;
      int remaining = lineChars;

      // Quoted line. A blank quoted body line is dropped whole and the vertical
      // line starts over with the next body line.
      bool restart = true;
      while (restart) {
        restart = false;
        if (!((quoteHandling && tk.equals(toks[j], marker, markerCodes)) || inQuote)) break;
        size_t k = inQuote ? j : j + 1;
        bool drop = false;
        while (k < n) {
          if (tk.isCr(toks[k])) {
            drop = k != n - 1;
            break;
          }
          if (!tk.allSpaces(toks[k])) break;
          ++k;
        }
        if (drop) {
          j = k + 1;
          indentDue = true;
          inQuote = false;
          restart = true;
          turn.Step();
          if (stopped_) return QString();
          continue;
        }
        // With one position a line the quote cell would leave no room for any
        // character and the text would never end: the line then has no quote cell.
        if (remaining > 1) {
          line.quote = true;
          count(kQuoteCell);
          --remaining;
        }
        if (!inQuote && ++j == n) {
          ended = true;
          break;
        }
        if (tk.allSpaces(toks[j]) && ++j == n) {
          ended = true;
          break;
        }
        inQuote = true;
      }
      if (ended) break;

      // Paragraph indent, where a position is left for it.
      if (indentDue) {
        if (remaining > 0) {
          line.indent = true;
          --remaining;
        }
        indentDue = false;
      }

      // Characters.
      line.first = static_cast<std::int64_t>(j);
      while (remaining > 0) {
        const Token t = toks[j];
        if (tk.isCr(t)) {
          inQuote = false;
          remaining = 0;
          indentDue = true;
          if (++j == n) ended = true;
          break;
        }
        ++line.count;
        count(static_cast<std::int32_t>(j));
        --remaining;
        turn.Step();
        if (stopped_) return QString();
        if (++j == n) {
          ended = true;
          break;
        }
      }
      if (ended) break;

      // Line complete: one prohibited token hangs in the foot row.
      if (tk.prohibited(toks[j])) {
        line.foot = static_cast<std::int32_t>(j);
        count(line.foot);
        if (++j == n) {
          ended = true;
          break;
        }
      }
      if (tk.isCr(toks[j])) {
        indentDue = true;
        inQuote = false;
        if (++j == n) {
          ended = true;
          break;
        }
      }
      // A vertical line never starts with a space.
      while (tk.isSpaceToken(toks[j])) {
        if (++j == n) {
          ended = true;
          break;
        }
      }
      turn.Step();
      if (stopped_) return QString();
    }
    if (ended) break;

    // Page end: the separator line follows, then an empty row.
    if (!haveSeparator) {
      sepLine = separatorLine(separator, widestRow(), lineSpace);
      haveSeparator = true;
    }
    // With one position a line the first line may hold only the indent, so the
    // page can end before any token was used (and with one token, u is 0).
    const std::int64_t last = static_cast<std::int64_t>(n) - 1;
    if (last > 0) progress_ += static_cast<int>(roundHalfEven(static_cast<std::int64_t>(j) * 100, last) / 4);
    setProgressAndNotify(progress_);
    turn.StepSlow();
    if (stopped_) return QString();
  }

  // A text of several pages has its last page as wide as the others.
  if (pages.size() > 1 && pages.back().lines < static_cast<size_t>(pageLines)) {
    const size_t missing = static_cast<size_t>(pageLines) - pages.back().lines;
    lines.resize(lines.size() + missing);
    pages.back().lines = static_cast<size_t>(pageLines);
  }
  if (!haveSeparator) sepLine = separatorLine(separator, widestRow(), lineSpace);

  // Output, written in one piece: its size is known from the layout.
  const std::int64_t sepLength = codePointCount(sepLine);
  std::int64_t total = sepLine.size() + 2 + sepLength + 2;
  const std::int64_t cellCount = static_cast<std::int64_t>(lines.size() * cellsPerLine);
  total += filledUnits + (cellCount - filledCells) * cellUnits(kBlankCell);
  const std::int64_t rowCount = static_cast<std::int64_t>(pages.size() * cellsPerLine + 2 * (pages.size() - 1));
  total += rowCount * 2 + static_cast<std::int64_t>(pages.size() - 1) * sepLine.size();

  QString out(static_cast<qsizetype>(total), Qt::Uninitialized);
  char16_t* w = reinterpret_cast<char16_t*>(out.data());
  const char16_t padChar = wide ? char16_t(kIdeographicSpace) : u'\t';
  const auto putPad = [&](std::int64_t count) {
    for (std::int64_t k = 0; k < count; ++k) *w++ = padChar;
  };
  const auto putText = [&](const QString& s) {
    std::copy(s.utf16(), s.utf16() + s.size(), w);
    w += s.size();
  };
  const auto putCrLf = [&] {
    *w++ = u'\r';
    *w++ = u'\n';
  };
  const auto putCell = [&](std::int32_t cell) {
    if (cell == kBlankCell) {
      putPad(wide ? lineSpace + 1 : lineSpace);
      return;
    }
    if (cell == kQuoteCell) {
      *w++ = u'▼';
      putPad(lineSpace);
      return;
    }
    const Token t = toks[static_cast<size_t>(cell)];
    if (tk.pooled(t)) {
      putText(tk.pool[t.bits & kValueMask]);
    } else if (const char32_t c = tk.code(t); c < 0x10000) {
      *w++ = static_cast<char16_t>(c);
    } else {
      *w++ = QChar::highSurrogate(c);
      *w++ = QChar::lowSurrogate(c);
    }
    putPad(wide ? std::max<std::int64_t>(0, lineSpace + 1 - tk.length(t)) : lineSpace);
  };

  putText(sepLine);
  putCrLf();
  for (std::int64_t k = 0; k < sepLength; ++k) *w++ = char16_t(kIdeographicSpace);
  putCrLf();
  std::int64_t row = 0;
  const auto rowDone = [&] {
    ++row;
    progress_ = std::min(100, progress_ + static_cast<int>(roundHalfEven(row * 100, rowCount) / 5));
  };
  for (size_t p = 0; p < pages.size(); ++p) {
    const Page& pg = pages[p];
    for (size_t r = 0; r < cellsPerLine; ++r) {
      for (size_t v = pg.lines; v-- > 0;) putCell(cellAt(lines[pg.firstLine + v], r));
      putCrLf();
      rowDone();
      turn.Step();
      if (stopped_) return QString();
    }
    if (p + 1 < pages.size()) {
      putText(sepLine);
      putCrLf();
      rowDone();
      putCrLf();
      rowDone();
    }
  }
  setProgressAndNotify(progress_);
  if (stopped_) return QString();
  return out;
}
