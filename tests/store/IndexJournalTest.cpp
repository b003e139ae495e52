#include "store/AppState.h"
#include "store/IndexJournal.h"
#include "support/Cp932.h"
#include "tests/testsupport/TempProgramFolder.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

QDateTime at(int y, int mo, int d) { return QDateTime(QDate(y, mo, d), QTime(10, 0)); }

MailIndexEntry entry(int seq, int box, const QString& subject = QStringLiteral("件名")) {
  return {seq, QStringLiteral("hanako@example.jp"), subject, at(2026, 1, 1 + seq % 28), box, false};
}

class Journal : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(QDir().mkpath(mailBox())); }
  QString mailBox() const { return folder.File(QStringLiteral("MailBox")); }
  QString journalPath() const { return mailBox() + QStringLiteral("/MailIndex.jnl"); }
  void appendRaw(const QByteArray& bytes) {
    QFile f(journalPath());
    ASSERT_TRUE(f.open(QIODevice::Append));
    f.write(bytes);
  }
  TempProgramFolder folder;
  MailStore store{mailBox()};
  IndexJournal journal{mailBox()};
};

TEST_F(Journal, ChangesReplayOverTheIndexFileAndACutOrDamagedLineIsPassedOver) {
  ASSERT_TRUE(store.WriteMailIndex({entry(0, MailBoxNumber::Outbox), entry(1, MailBoxNumber::Outbox)}));
  ASSERT_TRUE(journal.Append({JournalRecord::Of(entry(1, MailBoxNumber::Trash)),
                              JournalRecord::Of(entry(2, MailBoxNumber::Drafts, QStringLiteral("新しい")))}));
  // A line whose checksum does not match, and the start of a line a crash cut.
  QByteArray damaged = IndexJournal::EncodeRecord(JournalRecord::Of(entry(0, MailBoxNumber::Trash)));
  damaged[3] = 'X';
  appendRaw(damaged);
  appendRaw(IndexJournal::EncodeRecord(JournalRecord::Of(entry(0, MailBoxNumber::Sent))).left(20));

  MailIndex index;
  ASSERT_TRUE(store.ReadMailIndex(index));
  const IndexJournal::Replay replay = journal.ApplyTo(index);
  EXPECT_EQ(replay.Entries, 2);
  ASSERT_EQ(index.size(), 3);
  EXPECT_EQ(index[0].MailBox, MailBoxNumber::Outbox);
  EXPECT_EQ(index[1].MailBox, MailBoxNumber::Trash);
  EXPECT_EQ(index[2].Subject, QStringLiteral("新しい"));
  EXPECT_TRUE(replay.InDoubt.isEmpty());
}

TEST_F(Journal, ACommitThatBeganAndNeverEndedCountsAsSentAndIsReported) {
  ASSERT_TRUE(store.WriteMailIndex(
      {entry(0, MailBoxNumber::Outbox), entry(1, MailBoxNumber::Outbox), entry(2, MailBoxNumber::Outbox)}));
  using K = JournalRecord::Kind;
  ASSERT_TRUE(journal.Append({JournalRecord::Commit(K::CommitBegun, 0)}));
  ASSERT_TRUE(
      journal.Append({JournalRecord::Of(entry(0, MailBoxNumber::Sent)), JournalRecord::Commit(K::Accepted, 0)}));
  ASSERT_TRUE(journal.Append({JournalRecord::Commit(K::CommitBegun, 1)}));
  ASSERT_TRUE(journal.Append({JournalRecord::Commit(K::Refused, 1)}));
  // Mail 2's run was cut off while the server decided; a TOE copy of mail 1 too.
  ASSERT_TRUE(journal.Append({JournalRecord::Commit(K::CommitBegun, 2)}));
  ASSERT_TRUE(journal.Append({JournalRecord::Commit(K::CommitBegun, 1, QStringLiteral("a@example.jp"))}));
  ASSERT_TRUE(journal.Append({JournalRecord::Commit(K::Accepted, 1, QStringLiteral("a@example.jp"))}));
  ASSERT_TRUE(journal.Append({JournalRecord::Commit(K::CommitBegun, 1, QStringLiteral("b \"x\"@example.jp"))}));

  MailIndex index;
  ASSERT_TRUE(store.ReadMailIndex(index));
  const IndexJournal::Replay replay = journal.ApplyTo(index);
  EXPECT_EQ(index[0].MailBox, MailBoxNumber::Sent);
  EXPECT_EQ(index[1].MailBox, MailBoxNumber::Outbox) << "refused: still to be sent";
  EXPECT_EQ(index[2].MailBox, MailBoxNumber::Sent) << "in doubt: never sent again";
  EXPECT_EQ(replay.InDoubt, QList<std::int32_t>{2});
  EXPECT_EQ(replay.Delivered.value(1),
            (QStringList{QStringLiteral("a@example.jp"), QStringLiteral("b \"x\"@example.jp")}));
  EXPECT_EQ(replay.DeliveredInDoubt.value(1), QStringList{QStringLiteral("b \"x\"@example.jp")});
}

TEST_F(Journal, TheKeeperFoldsAtLoadIntoAnIndexFileOfTheUsualFormAndKeepsCopiesInTheMailFile) {
  ASSERT_TRUE(store.WriteMailIndex({entry(0, MailBoxNumber::Outbox)}));
  MailRecord mail;
  mail.To = QStringLiteral("a@example.jp, b@example.jp");
  mail.MailBox = MailBoxNumber::Outbox;
  ASSERT_TRUE(store.WriteMailFile(0, mail));
  ASSERT_TRUE(journal.Append({JournalRecord::Commit(JournalRecord::Kind::Accepted, 0, QStringLiteral("a@example.jp")),
                              JournalRecord::Of(entry(1, MailBoxNumber::Drafts))}));

  IndexKeeper keeper(mailBox());
  MailIndex index;
  int recovered = -1;
  keeper.Load(index, &recovered);
  EXPECT_EQ(recovered, 0);
  ASSERT_EQ(index.size(), 2);
  EXPECT_FALSE(journal.Exists()) << "folded";
  EXPECT_FALSE(keeper.Unfolded());
  EXPECT_EQ(folder.ReadBytes(QStringLiteral("MailBox/MailIndex.dat")), EncodeMailIndex(index));
  MailRecord back;
  ASSERT_TRUE(store.ReadMailFile(0, back));
  EXPECT_EQ(back.Delivered, QStringList{QStringLiteral("a@example.jp")});
}

TEST_F(Journal, AChangeThatCannotBeWrittenStaysInMemoryAndGoesWithTheNextOne) {
  IndexKeeper keeper(mailBox());
  MailIndex index{entry(0, MailBoxNumber::Outbox), entry(1, MailBoxNumber::Outbox)};
  ASSERT_TRUE(store.WriteMailIndex(index));
  ASSERT_TRUE(keeper.Record(index, {0}));
  const qint64 size = QFileInfo(journalPath()).size();
  index[1].MailBox = MailBoxNumber::Sent;
  {
    FileSizeLimit full(size + 10);
    EXPECT_FALSE(keeper.Record(index, {1}));
  }
  EXPECT_EQ(QFileInfo(journalPath()).size(), size) << "no half line left behind";
  EXPECT_TRUE(keeper.Unsaved());
  index[0].MailBox = MailBoxNumber::Trash;
  ASSERT_TRUE(keeper.Record(index, {0}));
  EXPECT_FALSE(keeper.Unsaved());
  MailIndex durable;
  ASSERT_TRUE(keeper.ReadDurable(durable));
  EXPECT_EQ(durable[1].MailBox, MailBoxNumber::Sent);
  EXPECT_EQ(durable[0].MailBox, MailBoxNumber::Trash);
  // No fold while a send runs: its commit records must stay.
  keeper.SendStarted();
  EXPECT_FALSE(keeper.Fold(index));
  keeper.SendEnded();
  EXPECT_TRUE(keeper.Fold(index));
  EXPECT_FALSE(journal.Exists());
}

TEST(JournalRecordText, ReadsBackWhatItWrites) {
  for (const JournalRecord& r :
       {JournalRecord::Of(entry(7, MailBoxNumber::Sent, QStringLiteral("「引用」 \"x\", y"))),
        JournalRecord::Commit(JournalRecord::Kind::CommitBegun, 12, QStringLiteral("山田 <y@example.jp>")),
        JournalRecord::Commit(JournalRecord::Kind::Refused, 2147483647)}) {
    QByteArray line = IndexJournal::EncodeRecord(r);
    ASSERT_TRUE(line.endsWith("\r\n"));
    line.chop(2);
    JournalRecord back;
    ASSERT_TRUE(IndexJournal::DecodeRecord(line, back)) << line.toStdString();
    EXPECT_EQ(back.Type, r.Type);
    EXPECT_EQ(back.Seq, r.Seq);
    EXPECT_EQ(back.Address, r.Address);
    EXPECT_EQ(back.Entry.Subject, r.Entry.Subject);
  }
}

}  // namespace
