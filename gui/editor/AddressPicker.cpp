#include "gui/editor/AddressPicker.h"

namespace AddressPicker {

QList<Item> Items(const AddressList& list) {
  QList<Item> items;
  if (!list.IsPresent()) return items;
  for (const AddressEntry& e : list.Entries()) {
    if (!e.IsPerson) continue;
    QString tag = e.Addresses;
    tag.remove(QStringLiteral("\r\n"));
    items.append({e.DisplayName, tag});
  }
  return items;
}

int SecondColumnStart(int count) {
  if (count < kTwoColumnsFrom) return -1;
  return (count + 1) / 2;
}

QString InsertText(const Item& item) {
  QString addresses = item.Tag;
  addresses.replace(u',', QStringLiteral(">,<"));
  return item.Caption + u'<' + addresses + u'>';
}

QString Append(const QString& field, const QString& picked) { return field.isEmpty() ? picked : field + u',' + picked; }

}  // namespace AddressPicker
