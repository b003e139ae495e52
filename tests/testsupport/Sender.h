#pragma once

#include "gui/editor/frmMessage.h"
#include "store/AppSettings.h"
#include "store/MailStore.h"

#include <QApplication>
#include <QList>
#include <QPointer>

// A user who can send: 山田太郎 <taro@example.jp>, through an SMTP server on
// 127.0.0.1, with a 20 x 20 layout and the meter showing progress.
inline void FillSender(AppSettings& s, int smtpPort = 25) {
  s.Title = QStringLiteral("たかぽすと");
  s.Account = QStringLiteral("taro");
  s.Passwd = QStringLiteral("secret");
  s.Email = QStringLiteral("taro@example.jp");
  s.FullName = QStringLiteral("山田太郎");
  s.SmtpServer = QStringLiteral("127.0.0.1");
  s.SmtpPort = smtpPort;
  s.PageLines = 20;
  s.LineChars = 20;
  s.LineSpace = 1;
  s.ShowMeter = 1;
}

// A mail as the store keeps it, with a 20 x 20 layout.
inline MailRecord StoredMail(const QString& to, std::int32_t mailBox = 2) {
  MailRecord r;
  r.MailBox = mailBox;
  r.To = to;
  r.Date = QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5));
  r.PageLines = 20;
  r.LineChars = 20;
  r.LineSpace = 1;
  return r;
}

// Every editor window still open, deleted (their menus are windows too and go
// with them, so the list is taken first).
inline void DeleteEditors() {
  QList<QPointer<frmMessage>> editors;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* e = qobject_cast<frmMessage*>(w)) editors.append(e);
  for (const QPointer<frmMessage>& e : editors) delete e.data();
}
