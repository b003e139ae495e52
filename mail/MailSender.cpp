#include "mail/MailSender.h"

#include "mail/OutgoingMail.h"
#include "mail/clsMakeMail.h"
#include "store/AppSettings.h"
#include "store/AppState.h"

namespace MailSender {

QList<MailRecord> Messages(const MailRecord& record, bool toeMode, bool toeMailSelf, const QString& sender) {
  if (!toeMode) return {record};
  QList<MailRecord> messages;
  auto alone = [&record](const QString& to) {
    MailRecord one = record;
    one.To = to;
    one.Cc.clear();
    one.Bcc.clear();
    return one;
  };
  for (const QString& piece : record.To.split(u',')) {
    if (piece.trimmed().isEmpty()) continue;
    messages.append(alone(piece.trimmed()));
  }
  if (toeMailSelf) messages.append(alone(sender));
  return messages;
}

SmtpDialogue::Outcome SendMessage(SmtpDialogue& smtp, const AppSettings& settings, const MailRecord& message,
                                  const std::function<void(int)>& progress) {
  clsMakeMail mail;
  FillOutgoingMail(mail, message, SenderText(settings));
  if (progress) progress(45);
  const QByteArray data = mail.MailData();
  if (progress) progress(65);
  QStringList recipients;
  for (std::int32_t i = 0; i <= mail.SmtpRcptNum(); ++i) recipients.append(mail.SmtpRcpt(static_cast<std::int16_t>(i)));
  return smtp.Run(settings.SmtpServer, settings.SmtpPort, mail.SmtpFrom(), recipients, data);
}

bool RecordSent(AppState& state, int seq, const QDateTime& when) {
  if (seq < 0 || seq >= state.Index.size()) return false;
  MailIndex index = state.Index;
  index[seq].MailBox = MailBoxNumber::Sent;
  index[seq].Date = QDateTime(when.date(), QTime(when.time().hour(), when.time().minute(), when.time().second()));
  const bool recorded = state.Store().WriteMailIndex(index);
  // Sent is sent: the program shows it so even when the index could not be written.
  state.Index = index;
  return recorded;
}

}  // namespace MailSender
