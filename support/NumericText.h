#pragma once

#include <QString>

#include <cstdint>
#include <optional>

// Numbers typed by the user or stored as text.
namespace NumericText {

// The text with the full-width forms a Japanese input method types for numbers
// (digits, ＋, －, the minus sign, ．, ｅ, Ｅ, the ideographic space) in ASCII.
QString AsciiForm(const QString& text);

// The platform's numeric test: optional sign, digits with an optional decimal
// point, optional exponent (e or E, optional sign, digits); spaces around are
// allowed, and the full-width forms stand for their ASCII ones. "12", "-3",
// "+4.5", ".5", "1e3", "２０" are numeric; "", "1a", "1,000", "二十" are not.
bool IsNumeric(const QString& text);

// The text as a whole number, rounded half to even ("2.5" -> 2, "3.5" -> 4),
// or nothing when it is not numeric or falls outside [min, max].
std::optional<std::int64_t> ToInteger(const QString& text, std::int64_t min, std::int64_t max);

inline std::optional<std::int32_t> ToInt32(const QString& text) {
  const auto v = ToInteger(text, INT32_MIN, INT32_MAX);
  if (!v) return std::nullopt;
  return static_cast<std::int32_t>(*v);
}

inline std::optional<std::int16_t> ToInt16(const QString& text) {
  const auto v = ToInteger(text, INT16_MIN, INT16_MAX);
  if (!v) return std::nullopt;
  return static_cast<std::int16_t>(*v);
}

// A single-precision number as the platform prints it: the shortest text of at
// most 7 significant digits, in exponent form ("4.529612E+07") from 10,000,000 up
// and below 0.0001.
QString SingleText(float value);

}  // namespace NumericText
