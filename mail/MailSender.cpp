#include "mail/MailSender.h"

#include "mail/OutgoingMail.h"
#include "mail/clsMakeMail.h"
#include "store/AppSettings.h"
#include "store/AppState.h"

namespace MailSender {

QStringList Recipients(const QString& to) {
  QStringList addresses;
  clsMakeMail::ParseAddressList(to, addresses);
  return addresses;
}

QList<Message> Messages(const MailRecord& record, bool toeMode, bool toeMailSelf, const AppSettings& settings) {
  if (!toeMode && record.Delivered.isEmpty()) return {{record, QString()}};
  QList<Message> messages;
  const auto alone = [&](const QString& to, const QString& key) {
    if (record.Delivered.contains(key, Qt::CaseInsensitive)) return;
    MailRecord one = record;
    one.To = to;
    one.Cc.clear();
    one.Bcc.clear();
    messages.append({one, key});
  };
  for (const QString& piece : record.To.split(u',')) {
    if (piece.trimmed().isEmpty()) continue;
    // The address is the copy's name: a piece the envelope makes nothing of gets none.
    const QStringList address = Recipients(piece);
    if (address.isEmpty() || address.front().isEmpty()) continue;
    alone(piece.trimmed(), address.front());
  }
  if (toeMailSelf && !settings.Email.isEmpty()) alone(SenderText(settings), settings.Email);
  return messages;
}

SmtpDialogue::Outcome SendMessage(SmtpDialogue& smtp, AppState& state, std::int32_t seq, const Message& message,
                                  const std::function<void(int)>& progress) {
  clsMakeMail mail;
  FillOutgoingMail(mail, message.Record, SenderText(state.Settings));
  if (progress) progress(45);
  const QByteArray data = mail.MailData();
  if (progress) progress(65);
  QStringList recipients;
  for (std::int32_t i = 0; i <= mail.SmtpRcptNum(); ++i) recipients.append(mail.SmtpRcpt(static_cast<std::int16_t>(i)));
  recipients.removeAll(QString());
  bool committing = false;
  smtp.BeforeCommit = [&] {
    committing = state.Keeper.BeginCommit(seq, message.Key);
    return committing;
  };
  const SmtpDialogue::Outcome outcome =
      smtp.Run(state.Settings.SmtpServer, state.Settings.SmtpPort, mail.SmtpFrom(), recipients, data);
  smtp.BeforeCommit = nullptr;
  if (!committing) return outcome;
  // The mail's own acceptance is recorded with its move to 送信済み.
  if (outcome.Sent && message.Key.isEmpty()) return outcome;
  const auto kind = outcome.Sent ? JournalRecord::Kind::Accepted : JournalRecord::Kind::Refused;
  state.Keeper.Record(state.Index, {}, {JournalRecord::Commit(kind, seq, message.Key)});
  return outcome;
}

bool RecordSent(AppState& state, std::int32_t seq, const QDateTime& when) {
  if (seq < 0 || seq >= state.Index.size()) return false;
  state.Index[seq].MailBox = MailBoxNumber::Sent;
  state.Index[seq].Date =
      QDateTime(when.date(), QTime(when.time().hour(), when.time().minute(), when.time().second()));
  // Sent is sent: memory says so at once, whatever the disk does.
  return state.Keeper.Record(state.Index, {seq}, {JournalRecord::Commit(JournalRecord::Kind::Accepted, seq)});
}

bool RecordDelivered(AppState& state, std::int32_t seq, MailRecord& record, const QStringList& delivered) {
  record.Delivered = delivered;
  return state.Store().WriteMailFile(seq, record);
}

}  // namespace MailSender
