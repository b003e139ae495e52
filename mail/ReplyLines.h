#pragma once

#include <QByteArray>
#include <QString>

// Gathers a server's bytes, however they are split into arrivals, into whole
// lines, and lines into whole replies: an SMTP reply ends at its line of the
// form "NNN text" (its lines before read "NNN-text"); a POP3 reply is one line.
class ReplyLines {
 public:
  enum class Kind { Smtp, Pop };
  explicit ReplyLines(Kind kind) : kind_(kind) {}

  void Add(const QByteArray& bytes) { buffer_ += bytes; }
  // The next complete reply, all its lines with their CR LF, or false.
  bool Next(QString& reply);
  void Clear() {
    buffer_.clear();
    reply_.clear();
  }

 private:
  Kind kind_;
  QByteArray buffer_;
  QString reply_;
};
