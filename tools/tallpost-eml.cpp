// tallpost-eml: builds the message a stored mail would be sent as.
#include "mail/OutgoingMail.h"
#include "mail/TextCheck.h"
#include "mail/clsMakeMail.h"
#include "store/ApiIniFileAccess.h"
#include "store/AppSettings.h"
#include "store/MailStore.h"
#include "support/Cp932.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

namespace {

const char kHelp[] =
    "Usage: tallpost-eml [--from \"NAME <ADDR>\"] [--data] [--envelope] MAILFILE\n"
    "       tallpost-eml --check MAILFILE\n"
    "Builds the message that sending the Tallpost mail file MAILFILE (.vml) makes\n"
    "and writes it to standard output.\n"
    "\n"
    "  --from TEXT   the sender (default: FullName and Email of Tallpost.ini\n"
    "                beside this program)\n"
    "  --data        write exactly the text sent after DATA, with the final \".\" line\n"
    "                (default: an .eml file, without it)\n"
    "  --envelope    first write one MAIL FROM line, one RCPT TO line per recipient\n"
    "                and an empty line\n"
    "  --check       list the characters of the mail that will not arrive as\n"
    "                typed (a line each: the character, its code, where, what it\n"
    "                becomes) instead of writing the message\n"
    "  --help        show this help\n"
    "Exit status: 0 done (with --check: nothing found), 1 the mail file could not\n"
    "be read (with --check: characters found), 2 wrong usage.\n"
    "\n"
    "使い方: tallpost-eml [--from \"名前 <アドレス>\"] [--data] [--envelope] メールファイル\n"
    "保存されたメール（.vml）を送信するときのメッセージを作り、標準出力に書き出します。\n"
    "--check では、そのままでは届かない文字を一覧にします。\n";

int usage(const char* message) {
  std::fprintf(stderr, "tallpost-eml: %s (see tallpost-eml --help)\n", message);
  return 2;
}

int failure(const QString& message) {
  std::fprintf(stderr, "tallpost-eml: %s\n", message.toLocal8Bit().constData());
  return 1;
}

bool writeOut(const QByteArray& bytes) {
  return std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout) ==
         static_cast<size_t>(bytes.size());
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  QStringList args = app.arguments();
  args.removeFirst();

  QString from;
  bool haveFrom = false;
  bool data = false;
  bool envelope = false;
  bool check = false;
  QString path;
  for (qsizetype i = 0; i < args.size(); ++i) {
    const QString& a = args[i];
    if (a == QStringLiteral("--help")) {
      std::fputs(kHelp, stdout);
      return 0;
    } else if (a == QStringLiteral("--data")) {
      data = true;
    } else if (a == QStringLiteral("--envelope")) {
      envelope = true;
    } else if (a == QStringLiteral("--check")) {
      check = true;
    } else if (a == QStringLiteral("--from")) {
      if (++i >= args.size()) return usage("--from needs a value");
      from = args[i];
      haveFrom = true;
    } else if (a.startsWith(QStringLiteral("--from="))) {
      from = a.mid(7);
      haveFrom = true;
    } else if (a.startsWith(QStringLiteral("--")) && a.size() > 2) {
      return usage("unknown option");
    } else if (path.isEmpty()) {
      path = a;
    } else {
      return usage("only one mail file");
    }
  }
  if (path.isEmpty()) return usage("no mail file given");

  QFile file(path);
  if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
    return failure(QStringLiteral("cannot read %1").arg(path));
  const QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError) return failure(QStringLiteral("cannot read %1").arg(path));
  MailRecord record;
  if (!ParseMailFile(bytes, record)) return failure(QStringLiteral("%1 is not a Tallpost mail file").arg(path));

  if (check) {
    QList<TextCheck::Finding> findings;
    const std::pair<const char*, const QString*> fields[] = {
        {"宛先", &record.To},      {"CC", &record.Cc},         {"BCC", &record.Bcc},
        {"件名", &record.Subject}, {"本文", &record.BodyText}, {"縦書き", &record.VerticalText}};
    for (const auto& [place, text] : fields) TextCheck::Scan(*text, QString::fromUtf8(place), findings);
    for (const AttachmentRecord& a : record.Attachments)
      TextCheck::Scan(a.Name, QStringLiteral("添付ﾌｧｲﾙ名"), findings);
    if (findings.isEmpty()) return 0;
    const QString list = TextCheck::Describe(findings) + QStringLiteral("\n");
    writeOut(list.toUtf8().replace("\r\n", "\n"));
    std::fflush(stdout);
    return 1;
  }

  if (!haveFrom) {
    AppSettings settings;
    ApiIniFileAccess ini(QDir(app.applicationDirPath()).filePath(QStringLiteral("Tallpost.ini")), nullptr);
    ini.ReadIni(QStringLiteral("Setting"), settings.FullName, QStringLiteral("FullName"));
    ini.ReadIni(QStringLiteral("Setting"), settings.Email, QStringLiteral("Email"));
    from = SenderText(settings);
  }

  clsMakeMail mail;
  FillOutgoingMail(mail, record, from);
  QByteArray message = mail.MailData();
  // The end-of-data line belongs to the SMTP dialogue, not to the message.
  if (!data) message.chop(3);

  QByteArray out;
  if (envelope) {
    out += "MAIL FROM:<" + Cp932::Encode(mail.SmtpFrom()) + ">\r\n";
    for (std::int32_t i = 0; i <= mail.SmtpRcptNum(); ++i) {
      const QString rcpt = mail.SmtpRcpt(static_cast<std::int16_t>(i));
      if (!rcpt.isEmpty() || mail.SmtpRcptNum() > 0) out += "RCPT TO:<" + Cp932::Encode(rcpt) + ">\r\n";
    }
    out += "\r\n";
  }
  out += message;
  if (!writeOut(out) || std::fflush(stdout) != 0) return failure(QStringLiteral("cannot write the message"));
  return 0;
}
