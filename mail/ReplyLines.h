#pragma once

#include <QByteArray>
#include <QString>

// Gathers a server's bytes, however they are split into arrivals, into whole
// lines, and lines into whole replies: an SMTP reply ends at its line of the
// form "NNN text" (its lines before read "NNN-text"); a POP3 reply is one line.
// A line or a reply past the limits is not waited for: the server is broken
// or hostile, and Overflowed() says so.
class ReplyLines {
 public:
  enum class Kind { Smtp, Pop };
  static constexpr qsizetype kMaxLineBytes = 4096;
  static constexpr int kMaxReplyLines = 100;

  explicit ReplyLines(Kind kind) : kind_(kind) {}

  void Add(const QByteArray& bytes) { buffer_ += bytes; }
  // The next complete reply, all its lines with their CR LF, or false.
  bool Next(QString& reply);
  bool Overflowed() const { return overflowed_; }
  // Nothing is held back, not even part of a line.
  bool Empty() const { return buffer_.isEmpty() && reply_.isEmpty(); }
  void Clear() {
    buffer_.clear();
    reply_.clear();
    lines_ = 0;
    overflowed_ = false;
  }

 private:
  Kind kind_;
  QByteArray buffer_;
  QString reply_;
  int lines_ = 0;
  bool overflowed_ = false;
};
