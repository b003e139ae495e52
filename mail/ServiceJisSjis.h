#pragma once

#include <QByteArray>
#include <QStringView>

#include <cstdint>

// Shift_JIS (CP932) to ISO-2022-JP ("JIS"), by arithmetic on the two-byte codes.
// Results are byte strings of 7-bit characters.
namespace ServiceJisSjis {

// Replaces a Shift_JIS pair by its JIS X 0208 pair, or by 0, 0 when the pair
// has no place in JIS X 0208.
void PairToJis(std::uint8_t& lead, std::uint8_t& trail);

// The text in ISO-2022-JP: runs of two-byte characters share one ESC "$B" ...
// ESC "(B" bracket. Half-width katakana are made full-width first; a character
// without a JIS code becomes the geta mark 〓.
QByteArray ToJis(QStringView text);

}  // namespace ServiceJisSjis
