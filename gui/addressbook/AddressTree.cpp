#include "gui/addressbook/AddressTree.h"

#include <QHash>
#include <QTreeWidget>

#include <algorithm>

namespace AddressBook {

// --- The tree ---------------------------------------------------------------

QString NodeKind(const QTreeWidgetItem* item) {
  return item == nullptr ? QString() : item->data(0, KindRole).toString();
}

QTreeWidgetItem* AddNode(QTreeWidget* tree, QTreeWidgetItem* parent, const QString& key, const QString& text,
                         const QString& kind, const QString& addresses) {
  auto* item = new QTreeWidgetItem(QStringList{text});
  item->setData(0, KeyRole, key);
  item->setData(0, KindRole, kind);
  if (kind == QLatin1String(kPersonImage)) item->setData(0, AddressesRole, addresses);
  const int order = tree->property("tallpostNextOrder").toInt();
  tree->setProperty("tallpostNextOrder", order + 1);
  item->setData(0, OrderRole, order);
  if (parent != nullptr)
    parent->addChild(item);
  else
    tree->addTopLevelItem(item);
  return item;
}

void BuildTree(QTreeWidget* tree, const AddressList& list) {
  tree->setSortingEnabled(false);
  tree->clear();
  tree->setProperty("tallpostNextOrder", 0);
  QTreeWidgetItem* root = AddNode(tree, nullptr, RootKey(), RootText(), QLatin1String(kMailboxImage));

  // First pass: every node, so that parents may come anywhere in the list.
  QHash<QString, QTreeWidgetItem*> byKey;
  byKey.insert(RootKey(), root);
  QList<QTreeWidgetItem*> nodes;
  for (const AddressEntry& e : list.Entries()) {
    QTreeWidgetItem* item = AddNode(tree, nullptr, e.EntryKey, e.DisplayName,
                                    QLatin1String(e.IsPerson ? kPersonImage : kGroupImage), e.Addresses);
    nodes.append(item);
    if (!byKey.contains(e.EntryKey)) byKey.insert(e.EntryKey, item);
  }
  // Second pass: attach each node to its parent in list order.
  const QList<AddressEntry>& entries = list.Entries();
  for (qsizetype i = 0; i < entries.size(); ++i) {
    QTreeWidgetItem* item = nodes[i];
    QTreeWidgetItem* parent = byKey.value(entries[i].ParentKey, nullptr);
    // A parent that is missing, or that is this node or lies below it, would
    // lose the node: it goes to the top of the book instead.
    for (QTreeWidgetItem* p = parent; p != nullptr; p = p->parent())
      if (p == item) parent = nullptr;
    if (parent == nullptr || parent == item) parent = root;
    tree->takeTopLevelItem(tree->indexOfTopLevelItem(item));
    if (item->parent() != nullptr) item->parent()->removeChild(item);
    parent->addChild(item);
  }
  root->setExpanded(true);
  for (QTreeWidgetItem* item : nodes)
    if (NodeKind(item) == QLatin1String(kGroupImage)) item->setExpanded(false);
  // The top level holds the root alone, so it needs no sorting; Qt's sorting
  // would also reorder the children, which keep their list order.
}

QList<AddressEntry> ListFromTree(const QTreeWidget* tree) {
  QList<QTreeWidgetItem*> all;
  QList<QTreeWidgetItem*> stack;
  for (int i = 0; i < tree->topLevelItemCount(); ++i) stack.append(tree->topLevelItem(i));
  while (!stack.isEmpty()) {
    QTreeWidgetItem* item = stack.takeLast();
    all.append(item);
    for (int i = 0; i < item->childCount(); ++i) stack.append(item->child(i));
  }
  std::sort(all.begin(), all.end(), [](const QTreeWidgetItem* a, const QTreeWidgetItem* b) {
    return a->data(0, OrderRole).toInt() < b->data(0, OrderRole).toInt();
  });
  QList<AddressEntry> out;
  for (const QTreeWidgetItem* item : all) {
    if (NodeKind(item) == QLatin1String(kMailboxImage)) continue;
    AddressEntry e;
    e.EntryKey = item->data(0, KeyRole).toString();
    e.IsPerson = NodeKind(item) == QLatin1String(kPersonImage);
    e.ParentKey = item->parent() != nullptr ? item->parent()->data(0, KeyRole).toString() : RootKey();
    e.Addresses = e.IsPerson ? item->data(0, AddressesRole).toString() : QString();
    e.DisplayName = item->text(0);
    out.append(e);
  }
  return out;
}

}  // namespace AddressBook
