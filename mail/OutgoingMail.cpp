#include "mail/OutgoingMail.h"

#include "mail/clsMakeMail.h"
#include "store/AppSettings.h"
#include "support/TextForm.h"
#include "support/VersionText.h"

QString SenderText(const AppSettings& settings) {
  return settings.FullName + QStringLiteral(" <") + settings.Email + QLatin1Char('>');
}

QByteArray SendableContent(const QByteArray& stored) { return TrimmedContent(stored); }

QString HeaderFieldText(const QString& text, bool addressList) {
  QString out;
  out.reserve(text.size());
  for (QChar c : text) {
    if (c == u'\r' || c == u'\n') {
      // A line break parts two addresses, or two words of a subject.
      const QChar separator = addressList ? u',' : u' ';
      if (!out.endsWith(separator)) out.append(separator);
    } else if (!TextForm::IsControl(c)) {
      out.append(c);
    }
  }
  return out;
}

void FillOutgoingMail(clsMakeMail& mail, const MailRecord& record, const QString& from) {
  // A stored mail may come from a file this program did not write: its fields
  // are cleaned as a typed one's are, so none adds a header or a command.
  mail.MailTo(HeaderFieldText(record.To, true));
  mail.MailCc(HeaderFieldText(record.Cc, true));
  mail.MailBcc(HeaderFieldText(record.Bcc, true));
  mail.Subject(HeaderFieldText(record.Subject, false));
  mail.PlainText(record.VerticalText);
  mail.X_Mailer(QStringLiteral("Tallpost ") + VersionText::VersionString());
  mail.MailFrom(HeaderFieldText(from, true));
  mail.HtmlText(BuildHtmlBody(record.VerticalText));
  for (const AttachmentRecord& a : record.Attachments)
    mail.AddAttachFile(HeaderFieldText(a.Name, false), SendableContent(a.Content));
}
