#pragma once

#include "vertical/AppGlyphSwapAccess.h"

#include <QList>
#include <QMetaMethod>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

// One unit of a converted body: normally one character, CR for a line break.
struct VerticalToken {
  QString Text;
  bool LineHeadProhibited = false;
  bool operator==(const VerticalToken&) const = default;
};

// The vertical-writing engine: lays a horizontal body out as pages of vertical
// plain text. It reports progress to a receiver's method, called by name with one
// int argument, and can be stopped from that receiver or from any event handled
// while it gives the event loop a turn.
class MyTategakiEngine {
 public:
  static constexpr int kWideMode = 1;
  static constexpr int kTabMode = 0;

  MyTategakiEngine();
  ~MyTategakiEngine();
  MyTategakiEngine(const MyTategakiEngine&) = delete;
  MyTategakiEngine& operator=(const MyTategakiEngine&) = delete;

  // The engine of the process, shared by every window.
  static MyTategakiEngine& Instance();

  void SetProgressReceiver(QObject* object);
  void SetProgressMethod(const QString& name);
  void NotifyProgress(int value);

  void StopConversion() { stopped_ = true; }
  bool ConversionStopped() const { return stopped_; }

  // True when the last conversion refused its layout: page lines, line chars or
  // line space below 1, a line space above 32767, a vertical line of more
  // than 16M characters, or a text of more than 256 MiB (or memory ran out).
  // A refused conversion returns the empty string.
  bool ConversionRefused() const { return refused_; }
  static bool LayoutAccepted(std::int64_t pageLines, std::int64_t lineChars, std::int64_t lineSpace);
  // The most UTF-16 units the vertical text of body can take with this layout
  // (longestSubstitute: the longest vertical form of the table), reckoned
  // before anything is allocated.
  static std::int64_t OutputBound(QStringView body, std::int64_t pageLines, std::int64_t lineChars,
                                  std::int64_t lineSpace, std::int64_t longestSubstitute, std::int64_t separatorUnits);
  // 256 MiB of text: a larger layout is refused, never tried.
  static constexpr std::int64_t kMaxOutputUnits = 128LL * 1024 * 1024;
  static bool OutputAccepted(QStringView body, std::int64_t pageLines, std::int64_t lineChars, std::int64_t lineSpace,
                             std::int64_t longestSubstitute, std::int64_t separatorUnits);
  static std::int64_t LongestSubstitute(const GlyphSwapTable& table);

  // The progress value as it stands.
  int Progress() const { return progress_; }

  // The vertical text of body, or the empty string when body is empty, the
  // conversion was stopped or the layout was refused.
  QString ConvertToVertical(const QString& body, int pageLines, int lineChars, const QString& separator,
                            const GlyphSwapTable& table, int widthMode, int lineSpace, bool quoteHandling,
                            const QString& quoteMarker);

  // The text without its trailing CR, LF, spaces, TABs and NULs, keeping at
  // least its first character.
  QString TrimTrailingBlanks(const QString& text);

  QList<VerticalToken> TokenizeText(const QString& text, const GlyphSwapTable& table, int widthMode);

  // The token of one character (a surrogate pair counts as one), or nothing for
  // TAB and LF.
  std::optional<VerticalToken> MapCharacter(QStringView character, const GlyphSwapTable& table, int widthMode);

  // The line between two pages, as wide as the widest of rows.
  QString MakeSeparatorLine(const QString& separator, const QStringList& rows, int lineSpace);

  // A token inside the engine: a code point, or a text of the pool; the top bit
  // marks a line-head prohibited token.
  struct Token {
    std::uint32_t bits;
  };

 private:
  struct TableIndex;
  struct Tokens;
  struct Work;
  struct Line;

  qsizetype trimmedLength(QStringView text);
  QString convert(const QString& body, int pageLines, int lineChars, const QString& separator,
                  const GlyphSwapTable& table, int widthMode, int lineSpace, bool quoteHandling,
                  const QString& quoteMarker);
  bool tokenize(QStringView text, const TableIndex& index, bool wide, Tokens& out);
  void setProgressAndNotify(int value);
  QString separatorLine(const QString& separator, std::int64_t width, int lineSpace) const;

  QPointer<QObject> receiver_;
  QString method_;
  QMetaMethod resolved_;
  const QMetaObject* resolvedFor_ = nullptr;
  QString resolvedName_;
  int progress_ = 0;
  int lastNotified_ = -1;
  bool stopped_ = false;
  bool refused_ = false;
  std::unique_ptr<Work> work_;
};
