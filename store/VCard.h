#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

// vCard files: the persons of the address book in and out.
namespace VCard {

struct Person {
  QString Name;
  QStringList Addresses;
  QStringList Categories;  // the groups the person stands in, outermost first

  bool operator==(const Person&) const = default;
};

// The import of a file dropped on the address book, as Outlook Express wrote
// vCards: CP932 lines ending at CR LF or a lone CR (a lone LF stays in its
// line), "FN:" the name (the last one counts), "EMAIL;PREF;INTERNET:" and
// "EMAIL;INTERNET:" the addresses in file order, case-sensitive, nothing
// unfolded or decoded. One person per file, named "インポートアドレス"
// until an FN: line names it.
Person ReadDropped(QByteArrayView bytes);
QString ImportedName();  // "インポートアドレス"

// Today's vCards (2.1, 3.0, 4.0, several in one file): one person per card,
// the name from FN (or N), every EMAIL in order, lines unfolded, quoted-
// printable and base64 values decoded, escapes undone, the character set
// from the card (UTF-8 by default for 3.0 and 4.0, CP932 for 2.1 without
// CHARSET). A card without a name but with an address takes the address.
QList<Person> ReadCards(QByteArrayView bytes);

// The persons as vCard 4.0 (UTF-8, CR LF, lines folded at 75 octets), each
// group it stands in named by CATEGORIES.
QByteArray WriteCards(const QList<Person>& people);

}  // namespace VCard
