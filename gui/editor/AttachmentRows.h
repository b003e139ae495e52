#pragma once

#include "store/MailStore.h"

#include <QList>
#include <QString>

// One row of the editor's attachment list: a file dropped in this window (no
// key, the path as tag) or an attachment of the stored mail (key ":" + its
// position in the mail record).
struct AttachmentRow {
  QString Key;
  QString Text;
  QString Tag;

  bool IsStored() const { return !Key.isEmpty(); }
  // The stored attachment's position, or -1 when the key names none.
  int StoredPosition() const;

  static AttachmentRow NewFile(const QString& path);
  static AttachmentRow Stored(int position, const QString& name);
};

namespace AttachmentRows {

QString StoredStateText();  // "添付済み"
// "(1,234 byte)": the size with digit grouping.
QString SizeText(qint64 bytes);
// The name shown for a dropped path: what follows its last separator.
QString FileNameOf(const QString& path);

// The stored attachments that the rows keep, in row order: a row whose key
// names no attachment of the record contributes nothing.
QList<AttachmentRecord> KeptAttachments(const QList<AttachmentRow>& rows, const MailRecord& stored);
// The rows of a stored mail's attachments, positions from 0.
QList<AttachmentRow> RowsOf(const MailRecord& record);

}  // namespace AttachmentRows
