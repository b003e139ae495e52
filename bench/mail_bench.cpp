// Speed of the mail pieces: base64 of an attachment file (with and without a
// progress receiver), ISO-2022-JP conversion, building a message with a large
// attachment and reading a large mail file.
#include "mail/Base64.h"
#include "mail/ServiceJisSjis.h"
#include "mail/clsMakeMail.h"
#include "store/MailStore.h"
#include "support/Cp932.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

class Receiver : public QObject {
  Q_OBJECT
 public:
  int calls = 0;
  Q_INVOKABLE void Progress(int) { ++calls; }
};

// Best of runs, in seconds.
double best(int runs, const std::function<void()>& job) {
  double t = 1e9;
  for (int i = 0; i < runs; ++i) {
    QElapsedTimer timer;
    timer.start();
    job();
    t = std::min(t, static_cast<double>(timer.nsecsElapsed()) / 1e9);
  }
  return t;
}

void report(const char* what, double bytes, double seconds, const char* target) {
  std::printf("%-48s %8.1f MB/s   (%.2f ms; target %s)\n", what, bytes / seconds / 1e6, seconds * 1e3, target);
}

QByteArray randomBytes(qsizetype n) {
  QByteArray b(n, Qt::Uninitialized);
  QRandomGenerator rng(7);
  rng.fillRange(reinterpret_cast<quint32*>(b.data()), n / 4);
  return b;
}

// Mail text: kanji, kana, full-width and ASCII, in CRLF lines.
QString japaneseText(qsizetype cp932Bytes) {
  const QStringList words = {QStringLiteral("縦書き"),
                             QStringLiteral("メール"),
                             QStringLiteral("です。"),
                             QStringLiteral("Tallpost "),
                             QStringLiteral("ｶﾀｶﾅ"),
                             QStringLiteral("（注）"),
                             QStringLiteral("漢字かな交じり文"),
                             QStringLiteral("ＡＢＣ１２３"),
                             QStringLiteral("、"),
                             QStringLiteral("\r\n")};
  QRandomGenerator rng(11);
  QString t;
  qsizetype bytes = 0;
  while (bytes < cp932Bytes) {
    const QString& w = words[static_cast<int>(rng.bounded(words.size()))];
    t += w;
    bytes += Cp932::Encode(w).size();
  }
  return t;
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  QTemporaryDir dir;
  const int runs = 8;

  // Base64 of a 16 MiB file.
  {
    const QByteArray data = randomBytes(16 << 20);
    const QString path = dir.filePath(QStringLiteral("attach.bin"));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(data) != data.size()) return 1;
    f.close();
    QByteArray out;
    clsBase64 plain;
    plain.AttachFile(path);
    // The first call gets fresh memory from the system, which is slow to touch
    // on a virtual machine; later calls reuse what the allocator kept.
    report("GetEncoded 16 MiB, first call", data.size(), best(1, [&] { plain.GetEncoded(out); }), "-");
    report("GetEncoded 16 MiB, no receiver", data.size(), best(runs, [&] { plain.GetEncoded(out); }), ">= 1000");
    Receiver receiver;
    clsBase64 told;
    told.AttachFile(path);
    told.CallBackObject(&receiver);
    told.CallBackMethod(QStringLiteral("Progress"));
    report("GetEncoded 16 MiB, with a receiver", data.size(), best(runs, [&] { told.GetEncoded(out); }), "-");
    std::printf("    receiver calls per encoding: %d\n", receiver.calls / runs);
    report("Base64Lines 16 MiB (in memory)", data.size(), best(runs, [&] { out = Base64Lines(data, 72); }), "-");
  }

  // ISO-2022-JP of 4 MiB of CP932 text.
  {
    const QString text = japaneseText(4 << 20);
    const double input = static_cast<double>(Cp932::Encode(text).size());
    QByteArray out;
    report("ToJis 4 MiB CP932", input, best(runs, [&] { out = ServiceJisSjis::ToJis(text); }), ">= 100");
    clsMakeMail m;
    report("JisConvEx 4 MiB CP932", input, best(runs, [&] { out = m.JisConvEx(text); }), ">= 100");
  }

  // A message with a 10 MiB attachment.
  {
    const QByteArray content = Base64Lines(randomBytes(10 << 20), 72);
    const QString vertical = japaneseText(64 << 10);
    QByteArray out;
    double bytes = 0;
    const double t = best(runs, [&] {
      clsMakeMail m;
      m.MailTo(QStringLiteral("山田 <y@example.jp>"));
      m.Subject(QStringLiteral("添付ファイル"));
      m.PlainText(vertical);
      m.MailFrom(QStringLiteral("鈴木 <s@example.jp>"));
      m.HtmlText(BuildHtmlBody(vertical));
      m.AddAttachFile(QStringLiteral("大きな.bin"), content);
      out = m.MailData();
      bytes = static_cast<double>(out.size());
    });
    report("MailData, 10 MiB attachment (output)", bytes, t, ">= 200");
  }

  // Reading a 5 MiB mail file: texts and an attachment.
  {
    MailStore store(dir.filePath(QStringLiteral("MailBox")));
    MailRecord r;
    r.To = QStringLiteral("山田 <y@example.jp>");
    r.Subject = QStringLiteral("長いメール");
    r.Date = QDateTime::currentDateTime();
    r.BodyText = japaneseText(1 << 20);
    r.VerticalText = japaneseText(2 << 20);
    r.Attachments = {{QStringLiteral("a.bin"), Base64Lines(randomBytes(1536 << 10), 72)}};
    if (!store.WriteMailFile(0, r)) return 1;
    const double size = static_cast<double>(QFileInfo(store.MailFilePath(0)).size());
    MailRecord back;
    report("ReadMailFile 5 MiB", size, best(runs, [&] { store.ReadMailFile(0, back); }), ">= 50");
    if (back.VerticalText != r.VerticalText) return 1;
  }
  return 0;
}

#include "mail_bench.moc"
