#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

// Code page 932 (Shift_JIS with the Microsoft extensions), the encoding of every
// file Tallpost keeps. The mapping is Microsoft's: 0x8160 reads as U+FF5E and
// both U+301C and U+FF5E are written as 0x8160.
namespace Cp932 {

// Characters CP932 cannot hold are written as "?", as the platform does, or
// as "〓" (GetaMark), a full-width cell like most of them: a vertical text
// keeps its columns.
enum class Missing { Question, GetaMark };
QByteArray Encode(QStringView text, Missing missing = Missing::Question);

// Bytes that are not valid CP932 read as "?".
QString Decode(QByteArrayView bytes);

// True when every character of text survives a trip through CP932 unchanged
// (up to the pairs CP932 stores as one code, see FoldToCp932Form).
bool CanEncode(QStringView text);

// The form a character takes after a trip through CP932. For the few pairs that
// CP932 stores under one code (〜/～, ‖/∥, −/－, ¢/￠, £/￡, ¬/￢, —/―) this is the
// second form; every other character is returned unchanged.
char16_t FoldToCp932Form(char16_t c);

// The CP932 code of one UTF-16 unit: a byte value below 0x100, a two-byte code
// as lead * 256 + trail, or kNoCode (surrogates and characters CP932 lacks).
// Table-driven: the table is built once, on first use.
inline constexpr std::uint16_t kNoCode = 0xFFFF;
std::uint16_t CodeOf(char16_t c);

// Those pairs: the first form and the form it comes back as.
struct FoldedPair {
  char16_t from;
  char16_t to;
};
inline constexpr FoldedPair kFoldedPairs[] = {
    {0x301C, 0xFF5E},  // 〜 -> ～
    {0x2016, 0x2225},  // ‖ -> ∥
    {0x2212, 0xFF0D},  // − -> －
    {0x00A2, 0xFFE0},  // ¢ -> ￠
    {0x00A3, 0xFFE1},  // £ -> ￡
    {0x00AC, 0xFFE2},  // ¬ -> ￢
    {0x2014, 0x2015},  // — -> ―
};

}  // namespace Cp932
