#include "mail/Base64.h"

#include "support/EventLoopTurn.h"

#include <QFile>
#include <QMetaMethod>
#include <QObject>

#include <algorithm>
#include <cstring>
#include <sys/mman.h>
#include <sys/stat.h>

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

QByteArray Base64Lines(QByteArrayView bytes, int span) { return cutLines(Base64Bytes(bytes), span >= 1 ? span : 72); }

namespace {

// A file's bytes: mapped and read in ahead when the system allows it (no copy,
// no page-by-page faults), otherwise read into memory.
class FileBytes {
 public:
  explicit FileBytes(const QString& path) : file_(path) {}
  ~FileBytes() {
    if (map_ != nullptr) ::munmap(map_, size_);
  }
  bool Open() {
    if (!file_.open(QIODevice::ReadOnly)) return false;
    struct stat st {};
    if (::fstat(file_.handle(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
      size_ = static_cast<size_t>(st.st_size);
      void* m = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE | MAP_POPULATE, file_.handle(), 0);
      if (m != MAP_FAILED) {
        map_ = m;
        return true;
      }
    }
    data_ = file_.readAll();
    return file_.error() == QFileDevice::NoError;
  }
  QByteArrayView Bytes() const {
    if (map_ != nullptr) return QByteArrayView(static_cast<const char*>(map_), static_cast<qsizetype>(size_));
    return data_;
  }

 private:
  QFile file_;
  void* map_ = nullptr;
  size_t size_ = 0;
  QByteArray data_;
};

// Fresh memory is expensive to touch page by page (much more so under a
// hypervisor); a large output buffer asks for huge pages where the system
// offers them on request.
void prepareForWriting(QByteArray& buffer) {
#ifdef MADV_HUGEPAGE
  constexpr quintptr kHuge = quintptr(2) << 20;
  if (buffer.size() < 2 * qsizetype(kHuge)) return;
  const auto begin = (reinterpret_cast<quintptr>(buffer.data()) + kHuge - 1) & ~(kHuge - 1);
  const auto end = (reinterpret_cast<quintptr>(buffer.data()) + buffer.size()) & ~(kHuge - 1);
  if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)buffer;
#endif
}

// Writes groups straight into lines of 4 * groupsPerLine characters.
class LineEncoder {
 public:
  LineEncoder(char* out, qsizetype groupsPerLine) : w_(out), perLine_(groupsPerLine) {}
  void Groups(const unsigned char* p, qsizetype count) {
    while (count > 0) {
      if (column_ == perLine_) {
        *w_++ = '\r';
        *w_++ = '\n';
        column_ = 0;
      }
      const qsizetype now = std::min(count, perLine_ - column_);
      w_ = encodeGroups(p, now, w_);
      p += 3 * now;
      count -= now;
      column_ += now;
    }
  }
  void Tail(const unsigned char* p, qsizetype left) {
    if (left == 0) return;
    if (column_ == perLine_) {
      *w_++ = '\r';
      *w_++ = '\n';
    }
    w_ = encodeTail(p, left, w_);
  }

 private:
  char* w_;
  qsizetype perLine_;
  qsizetype column_ = 0;
};

}  // namespace

bool clsBase64::GetEncoded(QByteArray& encoded) {
  if (path_.isEmpty()) return false;
  FileBytes file(path_);
  if (!file.Open()) return false;
  const QByteArrayView data = file.Bytes();

  QObject* receiver = receiver_.data();
  QMetaMethod method;
  if (receiver != nullptr && !method_.isEmpty()) {
    const QByteArray signature = QMetaObject::normalizedSignature((method_.toLatin1() + "(int)").constData());
    const int index = receiver->metaObject()->indexOfMethod(signature.constData());
    if (index >= 0) method = receiver->metaObject()->method(index);
  }

  const qsizetype n = data.size();
  const auto* p = reinterpret_cast<const unsigned char*>(data.data());
  // Lines of whole groups are written directly; any other span is cut afterwards.
  const bool direct = span_ % 4 == 0;
  const qsizetype flatLength = encodedLength(n);
  const qsizetype breaks = flatLength > span_ ? (flatLength - 1) / span_ : 0;
  QByteArray out(direct ? flatLength + 2 * breaks : flatLength, Qt::Uninitialized);
  prepareForWriting(out);
  LineEncoder lines(out.data(), span_ / 4);
  char* flat = out.data();
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
      const qsizetype next = lastValue < 0 ? g + 1 : std::max<qsizetype>(g + 1, ((lastValue + 1) * n + 299) / 300);
      count = std::min(count, next - g);
    }
    if (direct)
      lines.Groups(p + g * 3, count);
    else
      flat = encodeGroups(p + g * 3, count, flat);
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
  if (direct) {
    lines.Tail(p + groups * 3, n % 3);
    encoded = std::move(out);
  } else {
    encodeTail(p + groups * 3, n % 3, flat);
    encoded = cutLines(std::move(out), span_);
  }
  return true;
}
