#pragma once

#include "store/MailStore.h"

#include <QByteArray>
#include <QString>

class clsMakeMail;
struct AppSettings;

// The sender as the message names it: "FullName <Email>".
QString SenderText(const AppSettings& settings);

// text as one header line: a line break parts two entries of an address list
// (two words elsewhere), and no other control character stays.
QString HeaderFieldText(const QString& text, bool addressList);

// Fills a new message builder from a stored mail, in the order the send uses:
// recipients, subject, the vertical text as plain text, the mailer name, the
// sender, the HTML alternative and the attachments in list order.
void FillOutgoingMail(clsMakeMail& mail, const MailRecord& record, const QString& from);

// An attachment's stored base64 lines without the blank lines the mail file
// keeps around them.
QByteArray SendableContent(const QByteArray& stored);
