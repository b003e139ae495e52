#include "mail/MailSender.h"

#include "mail/OutgoingMail.h"
#include "mail/PopBeforeSmtp.h"
#include "mail/clsMakeMail.h"
#include "store/AppSettings.h"
#include "store/AppState.h"

namespace MailSender {

QString TrustFilePath(const AppState& state) { return state.FilePath(QStringLiteral("TrustedCertificates.pem")); }

SmtpDialogue::Security SecurityOf(const AppState& state) {
  const AppSettings& s = state.Settings;
  SmtpDialogue::Security security;
  security.Connection = s.Security == SecurityTls        ? SmtpDialogue::Security::Mode::Tls
                        : s.Security == SecurityStartTls ? SmtpDialogue::Security::Mode::StartTls
                                                         : SmtpDialogue::Security::Mode::None;
  security.Login = s.SmtpAuth == 1;
  security.User = s.Account;
  security.Password = s.Passwd;
  security.TrustFile = TrustFilePath(state);
  return security;
}

namespace {
QList<QSslCertificate> trusted(const AppState& state) {
  return QSslCertificate::fromPath(TrustFilePath(state), QSsl::Pem, QSslCertificate::PatternSyntax::FixedString);
}
}  // namespace

void Secure(SmtpDialogue& smtp, const AppState& state) {
  smtp.SetSecurity(SecurityOf(state));
  smtp.SetTrusted(state.Settings.Security != SecurityNone ? trusted(state) : QList<QSslCertificate>{});
}

void Secure(PopBeforeSmtp& pop, const AppState& state) {
  pop.SetSecure(state.Settings.Security != SecurityNone);
  pop.SetTrusted(state.Settings.Security != SecurityNone ? trusted(state) : QList<QSslCertificate>{});
}

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
  Secure(smtp, state);
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
  // A refusal is synced: lost, it would leave the commit begun, and the
  // address would count as having its copy.
  const auto kind = outcome.Sent ? JournalRecord::Kind::Accepted : JournalRecord::Kind::Refused;
  state.Keeper.Record(state.Index, {}, {JournalRecord::Commit(kind, seq, message.Key)}, !outcome.Sent);
  return outcome;
}

bool RecordSent(AppState& state, std::int32_t seq, const QDateTime& when) {
  if (seq < 0 || seq >= state.Index.size()) return false;
  state.Index[seq].MailBox = MailBoxNumber::Sent;
  state.Index[seq].Date = QDateTime(when.date(), QTime(when.time().hour(), when.time().minute(), when.time().second()));
  // Sent is sent: memory says so at once, whatever the disk does.
  // Not synced: lost in a crash, the commit stays begun and the mail counts
  // as sent all the same.
  return state.Keeper.Record(state.Index, {seq}, {JournalRecord::Commit(JournalRecord::Kind::Accepted, seq)}, false);
}

bool RecordDelivered(AppState& state, std::int32_t seq, MailRecord& record, const QStringList& delivered) {
  record.Delivered = delivered;
  return state.Store().WriteMailFile(seq, record);
}

bool VerticalTextBlank(const QString& text) {
  for (QChar c : text)
    if (c != u'\r' && c != u'\n' && c != u'\t' && c != u' ') return false;
  return true;
}

Result SendMail(SmtpDialogue& smtp, AppState& state, std::int32_t seq, MailRecord& record, bool toeMode,
                bool toeMailSelf, const std::function<void(int)>& progress) {
  Result result;
  // While the journal holds this send's commits, the index is not folded.
  state.Keeper.SendStarted();
  const QList<Message> messages = Messages(record, toeMode, toeMailSelf, state.Settings);
  result.EachAddress = !messages.isEmpty() && !messages.front().Key.isEmpty();
  result.Delivered = record.Delivered;
  result.Sent = true;
  for (const Message& message : messages) {
    const SmtpDialogue::Outcome outcome = SendMessage(smtp, state, seq, message, progress);
    if (outcome.Sent) {
      if (result.EachAddress) result.Delivered.append(message.Key);
      continue;
    }
    if (result.Sent) result.Failure = outcome;
    result.Sent = false;
    // Every address gets its chance: one refusal does not hold back the others.
    if (!result.EachAddress) break;
    result.Missed.append(message.Key);
  }
  // The copies that went out stay on record, so a second send skips them.
  if (!result.Sent && result.Delivered != record.Delivered) RecordDelivered(state, seq, record, result.Delivered);
  if (result.Sent) result.Recorded = RecordSent(state, seq, QDateTime::currentDateTime());
  state.Keeper.SendEnded();
  return result;
}

Result SendStored(SmtpDialogue& smtp, PopBeforeSmtp& pop, AppState& state, std::int32_t seq) {
  Result refused;
  MailRecord record;
  if (!state.Store().ReadMailFile(seq, record)) return refused;
  if (Recipients(HeaderFieldText(record.To, true)).isEmpty() || VerticalTextBlank(record.VerticalText)) return refused;
  const AppSettings& s = state.Settings;
  Secure(pop, state);
  pop.Run(s.PopServer, s.PopPort, s.Account, s.Passwd);
  return SendMail(smtp, state, seq, record, false, false);
}

}  // namespace MailSender
