#pragma once

#include "mail/SmtpDialogue.h"
#include "store/MailStore.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>

struct AppSettings;
struct AppState;

// What sending one stored mail takes besides its window: the messages it goes
// out as, one message built and sent, and the mail filed as sent.
namespace MailSender {

// The mail itself, or in TOE mode one message per To address with that
// address alone (Cc and Bcc unused), plus one to the sender when asked.
QList<MailRecord> Messages(const MailRecord& record, bool toeMode, bool toeMailSelf, const QString& sender);

// Builds message and sends it over smtp to the server of the settings.
// progress hears 45 once the builder is filled and 65 once the text is made.
SmtpDialogue::Outcome SendMessage(SmtpDialogue& smtp, const AppSettings& settings, const MailRecord& message,
                                  const std::function<void(int)>& progress = {});

// Mail seq is in 送信済み from now on, dated when: in memory at once, and on
// disk when the index can be written (false otherwise).
bool RecordSent(AppState& state, int seq, const QDateTime& when);

}  // namespace MailSender
