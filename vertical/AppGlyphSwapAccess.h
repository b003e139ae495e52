#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>

// One row of the character table: what a character becomes in vertical text and
// whether it may begin a vertical line.
struct GlyphSwapEntry {
  QString Horizontal;               // the key: the character as written horizontally
  QString Vertical;                 // its vertical form; empty keeps the character
  bool LineHeadProhibited = false;  // 行頭禁則: hangs below the previous line instead

  bool operator==(const GlyphSwapEntry&) const = default;
};

// In file order; the first row of a key is the one that counts.
using GlyphSwapTable = QList<GlyphSwapEntry>;

// GlyphSwap.dat: CP932 text, every field followed by one NUL, three fields a row
// (Horizontal, Vertical, flag "FFFF" or "0").

// Replaces table with the rows of the file. Rows read before a damaged row stay
// in the table; a file whose first field is empty leaves the table as it was.
bool GetGlyphSwapData(const QString& path, GlyphSwapTable& table);

// Replaces the existing file at path with the rows of table. Fails, and creates
// nothing, when there is no file at path. The old file is replaced atomically, so
// a failed store leaves it as it was.
bool PutGlyphSwapData(const QString& path, const GlyphSwapTable& table);

// The reading of GetGlyphSwapData, apart from the disk.
bool DecodeGlyphSwapData(QByteArrayView bytes, GlyphSwapTable& table);

// The bytes PutGlyphSwapData writes for table.
QByteArray EncodeGlyphSwapData(const GlyphSwapTable& table);
