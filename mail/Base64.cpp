#include "mail/Base64.h"

#include "support/EventLoopTurn.h"

#include <QFile>
#include <QMetaMethod>
#include <QObject>

#include <algorithm>
#include <cstring>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

qsizetype encodedLength(qsizetype n) { return 4 * (n / 3) + (n % 3 ? 4 : 0); }

// Encodes the whole groups of [p, p + 3 * groups) to out; returns the end of the output.
inline char* encodeGroups(const unsigned char* p, qsizetype groups, char* out) {
  for (qsizetype g = 0; g < groups; ++g, p += 3) {
    const unsigned v = (unsigned(p[0]) << 16) | (unsigned(p[1]) << 8) | p[2];
    out[0] = kAlphabet[v >> 18];
    out[1] = kAlphabet[(v >> 12) & 63];
    out[2] = kAlphabet[(v >> 6) & 63];
    out[3] = kAlphabet[v & 63];
    out += 4;
  }
  return out;
}

// The last one or two bytes with their padding.
inline char* encodeTail(const unsigned char* p, qsizetype left, char* out) {
  if (left == 0) return out;
  const unsigned b1 = p[0];
  const unsigned b2 = left > 1 ? p[1] : 0;
  *out++ = kAlphabet[b1 >> 2];
  *out++ = kAlphabet[((b1 & 3) << 4) | (b2 >> 4)];
  *out++ = left > 1 ? kAlphabet[(b2 & 15) << 2] : '=';
  *out++ = '=';
  return out;
}

// Cuts the unbroken encoding in place into lines of span characters.
QByteArray cutLines(QByteArray flat, int span) {
  const qsizetype n = flat.size();
  if (n <= span) return flat;
  const qsizetype breaks = (n - 1) / span;
  QByteArray out(n + 2 * breaks, Qt::Uninitialized);
  const char* in = flat.constData();
  char* w = out.data();
  for (qsizetype at = 0; at < n; at += span) {
    const qsizetype len = std::min<qsizetype>(span, n - at);
    if (at > 0) {
      *w++ = '\r';
      *w++ = '\n';
    }
    std::memcpy(w, in + at, static_cast<size_t>(len));
    w += len;
  }
  return out;
}

}  // namespace

QByteArray Base64Bytes(QByteArrayView bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const qsizetype n = bytes.size();
  QByteArray out(encodedLength(n), Qt::Uninitialized);
  char* w = encodeGroups(p, n / 3, out.data());
  encodeTail(p + (n / 3) * 3, n % 3, w);
  return out;
}

QByteArray Base64Bits(QByteArrayView text) {
  // Six bits at a time from a bit accumulator, padded with zero bits and "=".
  QByteArray out;
  out.reserve(encodedLength(text.size()));
  unsigned acc = 0;
  int bits = 0;
  for (char ch : text) {
    acc = (acc << 8) | static_cast<unsigned char>(ch);
    bits += 8;
    while (bits >= 6) {
      bits -= 6;
      out.append(kAlphabet[(acc >> bits) & 63]);
    }
  }
  if (bits > 0) out.append(kAlphabet[(acc << (6 - bits)) & 63]);
  while (out.size() % 4) out.append('=');
  return out;
}

QByteArray Base64Lines(QByteArrayView bytes, int span) {
  return cutLines(Base64Bytes(bytes), span >= 1 ? span : 72);
}

bool clsBase64::GetEncoded(QByteArray& encoded) {
  QFile file(path_);
  if (path_.isEmpty() || !file.open(QIODevice::ReadOnly)) return false;
  const QByteArray data = file.readAll();
  if (file.error() != QFileDevice::NoError) return false;
  file.close();

  QObject* receiver = receiver_.data();
  QMetaMethod method;
  if (receiver != nullptr && !method_.isEmpty()) {
    const QByteArray signature =
        QMetaObject::normalizedSignature((method_.toLatin1() + "(int)").constData());
    const int index = receiver->metaObject()->indexOfMethod(signature.constData());
    if (index >= 0) method = receiver->metaObject()->method(index);
  }

  const qsizetype n = data.size();
  const auto* p = reinterpret_cast<const unsigned char*>(data.constData());
  QByteArray flat(encodedLength(n), Qt::Uninitialized);
  char* w = flat.data();
  EventLoopTurn turn;
  // Groups are encoded in blocks between which the interface gets its turn
  // and the receiver hears the percentage done. The receiver is told every
  // value a group would report, once each and in order: a call per three
  // bytes would only repeat the same number.
  constexpr qsizetype kBlock = 16 * 1024;  // groups
  const qsizetype groups = n / 3;
  int lastValue = -1;
  for (qsizetype g = 0; g < groups;) {
    qsizetype count = std::min(kBlock, groups - g);
    if (method.isValid()) {
      // End the block at the group that reaches the next value, so that every
      // value is reported right after the group that reached it.
      const qsizetype next =
          lastValue < 0 ? g + 1 : std::max<qsizetype>(g + 1, ((lastValue + 1) * n + 299) / 300);
      count = std::min(count, next - g);
    }
    w = encodeGroups(p + g * 3, count, w);
    g += count;
    if (method.isValid()) {
      const int value = static_cast<int>(g * 3 * 100 / n);
      if (value != lastValue) {
        lastValue = value;
        method.invoke(receiver, Qt::DirectConnection, Q_ARG(int, value));
      }
    }
    turn.Step();
  }
  encodeTail(p + groups * 3, n % 3, w);
  encoded = cutLines(std::move(flat), span_);
  return true;
}
