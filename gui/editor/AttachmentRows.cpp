#include "gui/editor/AttachmentRows.h"

#include <QLocale>

int AttachmentRow::StoredPosition() const {
  if (!Key.startsWith(u':')) return -1;
  bool ok = false;
  const int n = Key.mid(1).toInt(&ok);
  return ok && n >= 0 ? n : -1;
}

AttachmentRow AttachmentRow::NewFile(const QString& path) {
  return {QString(), AttachmentRows::FileNameOf(path), path};
}

AttachmentRow AttachmentRow::Stored(int position, const QString& name) {
  return {QStringLiteral(":") + QString::number(position), name, QString()};
}

namespace AttachmentRows {

QString StoredStateText() { return QStringLiteral("添付済み"); }

QString SizeText(qint64 bytes) {
  // Grouped in threes with a comma, as on the Japanese system, whatever the
  // locale the program runs under.
  QLocale c(QLocale::C);
  c.setNumberOptions(QLocale::DefaultNumberOptions);
  return QStringLiteral("(") + c.toString(bytes) + QStringLiteral(" byte)");
}

QString FileNameOf(const QString& path) {
  // Only "/" parts folders here: a backslash is a character of the name.
  const qsizetype slash = path.lastIndexOf(u'/');
  return slash < 0 ? path : path.mid(slash + 1);
}

QList<AttachmentRecord> KeptAttachments(const QList<AttachmentRow>& rows, const MailRecord& stored) {
  QList<AttachmentRecord> kept;
  for (const AttachmentRow& row : rows) {
    if (!row.IsStored()) continue;
    const int n = row.StoredPosition();
    if (n < 0 || n >= stored.Attachments.size()) continue;
    // Under the name the row shows (the character check may have changed it).
    AttachmentRecord a = stored.Attachments[n];
    a.Name = row.Text;
    kept.append(a);
  }
  return kept;
}

QList<AttachmentRow> RowsOf(const MailRecord& record) {
  QList<AttachmentRow> rows;
  for (qsizetype i = 0; i < record.Attachments.size(); ++i)
    rows.append(AttachmentRow::Stored(static_cast<int>(i), record.Attachments[i].Name));
  return rows;
}

}  // namespace AttachmentRows
