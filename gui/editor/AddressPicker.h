#pragma once

#include "store/AddressBook.h"

#include <QList>
#include <QString>

// The pop-up that fills To, Cc or Bcc from the address book: one item per
// person, in list order.
namespace AddressPicker {

struct Item {
  QString Caption;  // the display name
  QString Tag;      // the addresses joined by ",", line breaks removed
};

constexpr int kTwoColumnsFrom = 15;

QList<Item> Items(const AddressList& list);
// The position of the first item of the second column, or -1 for one column.
int SecondColumnStart(int count);
// "Name<a@x>,<b@y>"
QString InsertText(const Item& item);
// The field's text with the picked text appended after a comma when the field
// already holds something.
QString Append(const QString& field, const QString& picked);

}  // namespace AddressPicker
