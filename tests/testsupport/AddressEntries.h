#pragma once

#include "store/AddressBook.h"

// Address book entries as the tests write them: key, parent key, name.
inline AddressEntry person(const char* key, const char* parent, const QString& name, const QString& addresses) {
  return {QString::fromLatin1(key), QString::fromLatin1(parent), name, addresses, true};
}
inline AddressEntry group(const char* key, const char* parent, const QString& name) {
  return {QString::fromLatin1(key), QString::fromLatin1(parent), name, QString(), false};
}
