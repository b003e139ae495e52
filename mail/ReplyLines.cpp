#include "mail/ReplyLines.h"

#include "support/Cp932.h"

bool ReplyLines::Next(QString& reply) {
  if (overflowed_) return false;
  for (;;) {
    const qsizetype lf = buffer_.indexOf('\n');
    if (lf < 0) {
      // A line that never ends is not kept growing.
      if (buffer_.size() > kMaxLineBytes) overflowed_ = true;
      return false;
    }
    if (lf > kMaxLineBytes) {
      overflowed_ = true;
      return false;
    }
    QByteArrayView line = QByteArrayView(buffer_).first(lf);
    if (line.endsWith('\r')) line.chop(1);
    const QString text = Cp932::Decode(line);
    buffer_.remove(0, lf + 1);
    reply_ += text + QStringLiteral("\r\n");
    const bool last = kind_ == Kind::Pop || text.size() < 4 || text[3] != u'-';
    if (last) {
      reply = reply_;
      reply_.clear();
      lines_ = 0;
      return true;
    }
    if (++lines_ >= kMaxReplyLines) {
      overflowed_ = true;
      return false;
    }
  }
}
