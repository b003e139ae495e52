#pragma once

#include "store/MailStore.h"

#include <QAbstractTableModel>
#include <QIcon>
#include <QString>

#include <array>
#include <vector>

// The mails of one mailbox as the main window lists them: ":" + number, the
// date "YY/MM/DD HH:NN", To and Subject, always kept sorted by the text of the
// sort column. Built for stores of a hundred thousand mails: the texts are
// made once per fill and a sort moves only row records.
class MailListModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit MailListModel(QObject* parent = nullptr);

  static QString DateText(const QDateTime& date);  // "YY/MM/DD HH:NN"
  static QString AttachmentToolTip();              // "添付ﾌｧｲﾙあり"
  static QString MimeType();

  // The mails of mailBox in index order, then sorted as the list is sorted.
  void Fill(const MailIndex& index, int mailBox);
  void Clear();
  // Brings the rows of the listed mailbox in step with the entries of seqs,
  // each row added, changed or taken away where the sort puts it.
  void Update(const MailIndex& index, const QList<std::int32_t>& seqs);
  // Takes the rows of seqs away, a run of neighbouring rows at a time, the
  // others staying in their order. False, with nothing taken away, when the
  // rows lie in more than maxRuns runs (a fill is cheaper then).
  bool Remove(const QList<std::int32_t>& seqs, int maxRuns);
  int MailBox() const { return mailBox_; }
  void Sort(int column, Qt::SortOrder order);
  int SortColumn() const { return sortColumn_; }
  Qt::SortOrder SortOrder() const { return order_; }

  int Seq(int row) const { return rows_[static_cast<size_t>(row)].seq; }
  QString Text(int row, int column) const { return rows_[static_cast<size_t>(row)].text[static_cast<size_t>(column)]; }
  void SetAttachmentIcon(const QIcon& icon) { attachmentIcon_ = icon; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QStringList mimeTypes() const override;
  // The numbers of the dragged mails joined by "," ("3,7,12"), in list order.
  QMimeData* mimeData(const QModelIndexList& indexes) const override;
  Qt::DropActions supportedDragActions() const override { return Qt::MoveAction | Qt::CopyAction; }

 private:
  struct Row {
    std::int32_t seq;
    bool attachment;
    std::array<QString, 4> text;
  };
  void sortRows();
  // Row a goes before row b in the list's order (the text of the sort
  // column, mails of the same text in index order).
  bool before(const Row& a, const Row& b) const;
  static Row rowOf(const MailIndexEntry& e);

  std::vector<Row> rows_;
  int mailBox_ = 0;
  int sortColumn_ = 1;
  Qt::SortOrder order_ = Qt::AscendingOrder;
  QIcon attachmentIcon_;
};
