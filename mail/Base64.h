#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QPointer>
#include <QString>

class QObject;

// Standard base64 (RFC 2045 alphabet, "=" padding).

// The bytes in one unbroken line.
QByteArray Base64Bytes(QByteArrayView bytes);

// The same for a byte string of a converted header value.
QByteArray Base64Bits(QByteArrayView text);

// Base64 of a whole file for an attachment, cut into lines of Span characters
// joined by CR LF.
class clsBase64 {
 public:
  void AttachFile(const QString& path) { path_ = path; }
  // Characters per line; a value below 1 keeps the default of 72.
  void Span(int characters) { span_ = characters >= 1 ? characters : 72; }
  // Progress goes to receiver->method(int) as the percentage of bytes done.
  void CallBackObject(QObject* receiver) { receiver_ = receiver; }
  void CallBackMethod(const QString& method) { method_ = method; }

  // False, leaving encoded as it was, when the file cannot be read.
  bool GetEncoded(QByteArray& encoded);

 private:
  QString path_;
  int span_ = 72;
  QPointer<QObject> receiver_;
  QString method_;
};

// Encodes bytes as GetEncoded does (lines of span characters), without progress.
QByteArray Base64Lines(QByteArrayView bytes, int span);
