#pragma once

#include "store/AddressBook.h"

class QTreeWidget;
class QTreeWidgetItem;

namespace AddressBook {

// The tree of the address book window: the root, then every entry attached to
// its parent in list order. An entry whose parent is missing (or would make a
// loop) stands at the top level under the root. Items carry their key, kind and
// addresses in the roles below; their creation order is kept for the save.
enum Role { KeyRole = 0x0100 + 1, KindRole, AddressesRole, OrderRole };
inline constexpr char kMailboxImage[] = "mailbox";
inline constexpr char kPersonImage[] = "person";
inline constexpr char kGroupImage[] = "group";

void BuildTree(QTreeWidget* tree, const AddressList& list);
// A new node of the tree, last in creation order.
QTreeWidgetItem* AddNode(QTreeWidget* tree, QTreeWidgetItem* parent, const QString& key, const QString& text,
                         const QString& kind, const QString& addresses = QString());
// The entries of every node but the root, in creation order.
QList<AddressEntry> ListFromTree(const QTreeWidget* tree);
QString NodeKind(const QTreeWidgetItem* item);

}  // namespace AddressBook
