#include "support/Cp932.h"

#include <cerrno>
#include <iconv.h>
#include <mutex>
#include <vector>

namespace Cp932 {
namespace {

// One converter per direction, opened once; conversions run on the interface
// thread only, the mutex just keeps a stray second thread from corrupting them.
struct Converter {
  iconv_t cd = reinterpret_cast<iconv_t>(-1);
  std::mutex lock;
  Converter(const char* to, const char* from) { cd = iconv_open(to, from); }
  ~Converter() {
    if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
  }
  bool ok() const { return cd != reinterpret_cast<iconv_t>(-1); }
};

Converter& fromCp932() {
  static Converter c("UTF-16LE", "CP932");
  return c;
}

bool isAscii(QStringView text) {
  for (QChar ch : text)
    if (ch.unicode() >= 0x80) return false;
  return true;
}

bool isAscii(QByteArrayView bytes) {
  for (char b : bytes)
    if (static_cast<unsigned char>(b) >= 0x80) return false;
  return true;
}

}  // namespace

namespace {
char* writeMissing(char* w, Missing missing) {
  if (missing == Missing::Question) {
    *w++ = '?';
  } else {
    *w++ = static_cast<char>(0x81);  // 〓
    *w++ = static_cast<char>(0xAC);
  }
  return w;
}
}  // namespace

QByteArray Encode(QStringView text, Missing missing) {
  if (isAscii(text)) {
    QByteArray out(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) out[i] = static_cast<char>(text[i].unicode());
    return out;
  }
  // Through the code table (made from the system converter once), not the
  // converter per call: the index and the mail files are written often.
  QByteArray out(text.size() * 2, Qt::Uninitialized);
  char* w = out.data();
  const char16_t* p = text.utf16();
  const char16_t* const end = p + text.size();
  for (; p < end; ++p) {
    const char16_t c = *p;
    if (QChar::isSurrogate(c)) {
      // A character CP932 cannot hold: one "?" for the pair.
      if (QChar::isHighSurrogate(c) && p + 1 < end && QChar::isLowSurrogate(p[1])) ++p;
      w = writeMissing(w, missing);
      continue;
    }
    const std::uint16_t code = CodeOf(c);
    if (code == kNoCode) {
      w = writeMissing(w, missing);
    } else if (code < 0x100) {
      *w++ = static_cast<char>(code);
    } else {
      *w++ = static_cast<char>(code >> 8);
      *w++ = static_cast<char>(code & 0xFF);
    }
  }
  out.truncate(w - out.constData());
  return out;
}

QString Decode(QByteArrayView bytes) {
  if (isAscii(bytes)) return QString::fromLatin1(bytes.data(), bytes.size());
  Converter& c = fromCp932();
  std::lock_guard guard(c.lock);
  QString out(bytes.size() + 8, Qt::Uninitialized);
  char* in = const_cast<char*>(bytes.data());
  size_t inLeft = static_cast<size_t>(bytes.size());
  char* outBase = reinterpret_cast<char*>(out.data());
  char* outPtr = outBase;
  size_t outLeft = static_cast<size_t>(out.size()) * 2;
  iconv(c.cd, nullptr, nullptr, nullptr, nullptr);
  while (inLeft > 0) {
    if (iconv(c.cd, &in, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) {
      const qsizetype used = outPtr - outBase;
      out.resize(out.size() * 2);
      outBase = reinterpret_cast<char*>(out.data());
      outPtr = outBase + used;
      outLeft = static_cast<size_t>(out.size()) * 2 - static_cast<size_t>(used);
      continue;
    }
    // An invalid or truncated sequence: one "?" for its first byte.
    if (outLeft < 2) {
      const qsizetype used = outPtr - outBase;
      out.resize(out.size() * 2);
      outBase = reinterpret_cast<char*>(out.data());
      outPtr = outBase + used;
      outLeft = static_cast<size_t>(out.size()) * 2 - static_cast<size_t>(used);
    }
    outPtr[0] = '?';
    outPtr[1] = 0;
    outPtr += 2;
    outLeft -= 2;
    ++in;
    --inLeft;
    iconv(c.cd, nullptr, nullptr, nullptr, nullptr);
  }
  out.resize((outPtr - outBase) / 2);
  return out;
}

bool CanEncode(QStringView text) {
  const QByteArray bytes = Encode(text);
  const QString back = Decode(bytes);
  if (back.size() != text.size()) return false;
  for (qsizetype i = 0; i < text.size(); ++i)
    if (FoldToCp932Form(text[i].unicode()) != back[i].unicode()) return false;
  return true;
}

std::uint16_t CodeOf(char16_t c) {
  static const std::vector<std::uint16_t> table = [] {
    std::vector<std::uint16_t> t(0x10000, kNoCode);
    iconv_t cd = iconv_open("CP932", "UTF-16LE");
    if (cd == reinterpret_cast<iconv_t>(-1)) return t;
    for (std::uint32_t u = 0; u < 0x10000; ++u) {
      if (u >= 0xD800 && u <= 0xDFFF) continue;
      char in[2] = {static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
      unsigned char out[4];
      char* inPtr = in;
      char* outPtr = reinterpret_cast<char*>(out);
      size_t inLeft = 2;
      size_t outLeft = sizeof out;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1)) continue;
      const size_t n = sizeof out - outLeft;
      if (n == 1) t[u] = out[0];
      if (n == 2) t[u] = static_cast<std::uint16_t>(out[0] << 8 | out[1]);
    }
    iconv_close(cd);
    return t;
  }();
  return table[c];
}

char16_t FoldToCp932Form(char16_t c) {
  for (const FoldedPair& pair : kFoldedPairs)
    if (pair.from == c) return pair.to;
  return c;
}

}  // namespace Cp932
