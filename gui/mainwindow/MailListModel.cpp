#include "gui/mainwindow/MailListModel.h"

#include "store/AppState.h"

#include <QHash>
#include <QMimeData>
#include <QSet>

#include <algorithm>

MailListModel::MailListModel(QObject* parent) : QAbstractTableModel(parent) {}

QString MailListModel::AttachmentToolTip() { return QStringLiteral("添付ﾌｧｲﾙあり"); }
QString MailListModel::MimeType() { return QStringLiteral("text/plain"); }

QString MailListModel::DateText(const QDateTime& date) {
  if (!date.isValid()) return QString();
  // Written by hand: a hundred thousand QDateTime::toString calls are felt.
  const QDate d = date.date();
  const QTime t = date.time();
  const auto two = [](int v, QChar* out) {
    out[0] = QChar(u'0' + (v / 10) % 10);
    out[1] = QChar(u'0' + v % 10);
  };
  QString s(14, Qt::Uninitialized);
  QChar* p = s.data();
  two(d.year() % 100, p);
  p[2] = u'/';
  two(d.month(), p + 3);
  p[5] = u'/';
  two(d.day(), p + 6);
  p[8] = u' ';
  two(t.hour(), p + 9);
  p[11] = u':';
  two(t.minute(), p + 12);
  return s;
}

MailListModel::Row MailListModel::rowOf(const MailIndexEntry& e) {
  return {e.Seq, e.HasAttachment, {QStringLiteral(":") + QString::number(e.Seq), DateText(e.Date), e.To, e.Subject}};
}

void MailListModel::Fill(const MailIndex& index, int mailBox) {
  beginResetModel();
  mailBox_ = mailBox;
  rows_.clear();
  for (const MailIndexEntry& e : index) {
    if (e.MailBox != mailBox) continue;
    rows_.push_back(rowOf(e));
  }
  sortRows();
  endResetModel();
}

bool MailListModel::before(const Row& a, const Row& b) const {
  const size_t c = static_cast<size_t>(sortColumn_);
  const int order = a.text[c].compare(b.text[c], Qt::CaseInsensitive);
  if (order != 0) return order_ == Qt::AscendingOrder ? order < 0 : order > 0;
  return a.seq < b.seq;
}

void MailListModel::Update(const MailIndex& index, const QList<std::int32_t>& seqs) {
  for (std::int32_t seq : seqs) {
    const auto at = std::find_if(rows_.begin(), rows_.end(), [seq](const Row& r) { return r.seq == seq; });
    if (at != rows_.end()) {
      const int row = static_cast<int>(at - rows_.begin());
      beginRemoveRows(QModelIndex(), row, row);
      rows_.erase(at);
      endRemoveRows();
    }
    if (seq < 0 || seq >= index.size() || index[seq].MailBox != mailBox_) continue;
    Row fresh = rowOf(index[seq]);
    const auto place = std::upper_bound(rows_.begin(), rows_.end(), fresh,
                                        [this](const Row& a, const Row& b) { return before(a, b); });
    const int row = static_cast<int>(place - rows_.begin());
    beginInsertRows(QModelIndex(), row, row);
    rows_.insert(place, std::move(fresh));
    endInsertRows();
  }
}

bool MailListModel::Remove(const QList<std::int32_t>& seqs, int maxRuns) {
  const QSet<std::int32_t> gone(seqs.cbegin(), seqs.cend());
  // The runs as [first, last] pairs, from the end of the list: each removal
  // leaves the rows before it where they are.
  std::vector<std::pair<int, int>> runs;
  for (int row = static_cast<int>(rows_.size()) - 1; row >= 0; --row) {
    if (!gone.contains(rows_[static_cast<size_t>(row)].seq)) continue;
    const int last = row;
    while (row > 0 && gone.contains(rows_[static_cast<size_t>(row - 1)].seq)) --row;
    runs.emplace_back(row, last);
    if (static_cast<int>(runs.size()) > maxRuns) return false;
  }
  for (const auto& [first, last] : runs) {
    beginRemoveRows(QModelIndex(), first, last);
    rows_.erase(rows_.begin() + first, rows_.begin() + last + 1);
    endRemoveRows();
  }
  return true;
}

void MailListModel::Clear() {
  beginResetModel();
  rows_.clear();
  endResetModel();
}

void MailListModel::Sort(int column, Qt::SortOrder order) {
  if (column < 0 || column > 3) return;
  sortColumn_ = column;
  order_ = order;
  Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  // The selection and the current row follow their mails, not their places.
  const QModelIndexList before = persistentIndexList();
  QList<std::int32_t> seqs;
  seqs.reserve(before.size());
  for (const QModelIndex& i : before) seqs.append(rows_[static_cast<size_t>(i.row())].seq);
  sortRows();
  QHash<std::int32_t, int> rowOfSeq;
  if (!before.isEmpty()) {
    rowOfSeq.reserve(static_cast<qsizetype>(rows_.size()));
    for (size_t r = 0; r < rows_.size(); ++r) rowOfSeq.insert(rows_[r].seq, static_cast<int>(r));
  }
  QModelIndexList after;
  after.reserve(before.size());
  for (qsizetype k = 0; k < before.size(); ++k) after.append(index(rowOfSeq.value(seqs[k]), before[k].column()));
  changePersistentIndexList(before, after);
  Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void MailListModel::sortRows() {
  const size_t c = static_cast<size_t>(sortColumn_);
  // Stable: mails with the same text stay in index order.
  if (order_ == Qt::AscendingOrder)
    std::stable_sort(rows_.begin(), rows_.end(),
                     [c](const Row& a, const Row& b) { return a.text[c].compare(b.text[c], Qt::CaseInsensitive) < 0; });
  else
    std::stable_sort(rows_.begin(), rows_.end(),
                     [c](const Row& a, const Row& b) { return a.text[c].compare(b.text[c], Qt::CaseInsensitive) > 0; });
}

int MailListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int MailListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 4; }

QVariant MailListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const Row& r = rows_[static_cast<size_t>(index.row())];
  switch (role) {
    case Qt::DisplayRole:
      return r.text[static_cast<size_t>(index.column())];
    case Qt::UserRole:
      return r.seq;
    case Qt::DecorationRole:
      if (index.column() == 0 && r.attachment) return attachmentIcon_;
      return {};
    case Qt::ToolTipRole:
      if (r.attachment) return AttachmentToolTip();
      return {};
    default:
      return {};
  }
}

QVariant MailListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  switch (section) {
    case 0:
      return QString();
    case 1:
      return mailBox_ == MailBoxNumber::Sent ? QStringLiteral("送信日時") : QStringLiteral("作成日時");
    case 2:
      return QStringLiteral("宛先");
    case 3:
      return QStringLiteral("件名");
    default:
      return {};
  }
}

Qt::ItemFlags MailListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
}

QStringList MailListModel::mimeTypes() const { return {MimeType()}; }

QMimeData* MailListModel::mimeData(const QModelIndexList& indexes) const {
  std::vector<int> rows;
  for (const QModelIndex& i : indexes)
    if (i.isValid()) rows.push_back(i.row());
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  QStringList numbers;
  for (int row : rows) numbers << QString::number(Seq(row));
  auto* data = new QMimeData;
  data->setText(numbers.join(u','));
  return data;
}
