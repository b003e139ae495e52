#pragma once

#include "mail/SmtpDialogue.h"
#include "store/MailStore.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class PopBeforeSmtp;
struct AppSettings;
struct AppState;

// What sending one stored mail takes besides its window: the messages it goes
// out as, one message built, committed and sent, and the mail filed as sent.
namespace MailSender {

struct Message {
  MailRecord Record;
  // The address this copy is for in TOE mode; empty for the mail itself.
  QString Key;
};

// The mail itself, or in TOE mode one message per To address with that
// address alone (Cc and Bcc unused), plus one to the sender when asked. A mail
// some of whose addresses already got their copy goes out in TOE mode to the
// others only, whatever the mode: sending it again never repeats a copy.
QList<Message> Messages(const MailRecord& record, bool toeMode, bool toeMailSelf, const AppSettings& settings);

// The file in the program folder where the user puts server certificates
// (PEM) to trust besides the system's: a server with a self-signed one.
QString TrustFilePath(const AppState& state);
// How the dialogues protect themselves, from the settings: the SMTP
// connection and login, and the POP login (secure whenever the SMTP
// connection is).
SmtpDialogue::Security SecurityOf(const AppState& state);
void Secure(SmtpDialogue& smtp, const AppState& state);
void Secure(PopBeforeSmtp& pop, const AppState& state);

// The To addresses of a field, as the message's envelope names them.
QStringList Recipients(const QString& to);

// Builds the message and sends it over smtp to the server of the settings. The
// journal records the commit just before the message's final "." and, once
// the server has answered, a copy's acceptance or refusal (the mail's own
// acceptance goes with RecordSent). progress hears 45 and 65.
SmtpDialogue::Outcome SendMessage(SmtpDialogue& smtp, AppState& state, std::int32_t seq, const Message& message,
                                  const std::function<void(int)>& progress = {});

// Mail seq is in 送信済み from now on, dated when: in memory at once, and on
// disk when the journal can be written (false otherwise; it is written with
// the next change).
bool RecordSent(AppState& state, std::int32_t seq, const QDateTime& when);

// The copies of a TOE mail that went out, kept in its mail file.
bool RecordDelivered(AppState& state, std::int32_t seq, MailRecord& record, const QStringList& delivered);

// Blank as far as a vertical text goes: nothing left once line breaks, tabs
// and ASCII spaces are taken away (a full-width space is text).
bool VerticalTextBlank(const QString& text);

struct Result {
  bool Sent = false;     // every message went out: the mail is in 送信済み
  bool Recorded = true;  // ... and that is on disk
  bool EachAddress = false;
  QStringList Delivered;          // TOE: the addresses that have their copy now
  QStringList Missed;             // TOE: the addresses that have none
  SmtpDialogue::Outcome Failure;  // the first message that did not go out
};

// Sends stored mail seq (its record as stored): every message it goes out
// as, the copies that went out kept, the mail filed as sent when all did.
Result SendMail(SmtpDialogue& smtp, AppState& state, std::int32_t seq, MailRecord& record, bool toeMode,
                bool toeMailSelf, const std::function<void(int)>& progress = {});

// One mail of a batch, silently: read from its file, refused when it names
// nobody or has no vertical text, POP-before-SMTP first, then sent as
// SendMail does (never in TOE mode unless some copies already went out).
Result SendStored(SmtpDialogue& smtp, PopBeforeSmtp& pop, AppState& state, std::int32_t seq);

}  // namespace MailSender
