#include "mail/OutgoingMail.h"

#include "mail/clsMakeMail.h"
#include "store/AppSettings.h"
#include "support/VersionText.h"

QString SenderText(const AppSettings& settings) {
  return settings.FullName + QStringLiteral(" <") + settings.Email + QLatin1Char('>');
}

QByteArray SendableContent(const QByteArray& stored) { return TrimmedContent(stored); }

void FillOutgoingMail(clsMakeMail& mail, const MailRecord& record, const QString& from) {
  mail.MailTo(record.To);
  mail.MailCc(record.Cc);
  mail.MailBcc(record.Bcc);
  mail.Subject(record.Subject);
  mail.PlainText(record.VerticalText);
  mail.X_Mailer(QStringLiteral("Tallpost ") + VersionText::VersionString());
  mail.MailFrom(from);
  mail.HtmlText(BuildHtmlBody(record.VerticalText));
  for (const AttachmentRecord& a : record.Attachments) mail.AddAttachFile(a.Name, SendableContent(a.Content));
}
