#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

// The hidden frame around the vertical text: an instalment heading on top, a
// line of the user's own and a time stamp below.
namespace FancyMode {

QString Heading();      // "第***回 「」"
QString MenuCaption();  // "空想の住人(&F)"

// Only the exact argument list {"-fancy"} turns the mode on.
bool Enabled(const QStringList& arguments);
// The first line of fancy.dat in the folder (to its first CR LF or CR), or
// nothing when there is no such file or it is empty.
std::optional<QString> FancyLine(const QString& programFolder);
QString Stamp(const QDateTime& when);  // "YY/MM/DD HH:NN:SS"
QString Wrap(const QString& vertical, const std::optional<QString>& line, const QDateTime& when);

}  // namespace FancyMode
