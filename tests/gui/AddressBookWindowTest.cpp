#include "gui/AppMain.h"
#include "gui/addressbook/AddressTree.h"
#include "gui/addressbook/frmAddress.h"
#include "gui/editor/AddressPicker.h"
#include "gui/mainwindow/frmCenter.h"
#include "store/AddressBook.h"
#include "store/AppState.h"
#include "support/Cp932.h"
#include "tests/testsupport/ScriptedDialogs.h"
#include "tests/testsupport/TempProgramFolder.h"
#include "tests/testsupport/WhenModal.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QSet>
#include <QUrl>

#include <functional>

#include <gtest/gtest.h>

namespace {

const QString kPython = QStringLiteral("/usr/bin/python3");
const QString kVCards = QStringLiteral(TALLPOST_INTEGRATION_DIR "/vcards.py");

AddressEntry person(const char* key, const char* parent, const QString& name, const QString& addresses) {
  return {QString::fromLatin1(key), QString::fromLatin1(parent), name, addresses, true};
}
AddressEntry group(const char* key, const char* parent, const QString& name) {
  return {QString::fromLatin1(key), QString::fromLatin1(parent), name, QString(), false};
}

class AddressWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    main.resize(800, 600);
    main.move(100, 80);
  }
  void TearDown() override {
    if (window) {
      window->setAttribute(Qt::WA_DeleteOnClose, false);
      delete window.data();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  frmAddress* open() {
    window = new frmAddress(state, dialogs, &main);
    window->show();
    return window;
  }
  void trigger(const char* name) {
    QAction* a = window->FindAction(QString::fromLatin1(name));
    ASSERT_NE(a, nullptr) << name;
    a->trigger();
  }
  QTreeWidgetItem* node(const char* key) const { return window->NodeByKey(QString::fromLatin1(key)); }
  QString key(const QTreeWidgetItem* item) const { return item->data(0, AddressBook::KeyRole).toString(); }
  // A drag of a node dropped on another, through the tree's own drop handling.
  void dragOnto(QTreeWidgetItem* dragged, QTreeWidgetItem* target) {
    QMimeData data;
    data.setData(AddressTreeWidget::NodeMimeType(), key(dragged).toUtf8());
    QWidget* viewport = window->Tree()->viewport();
    const QPoint at = window->Tree()->visualItemRect(target).center();
    QDragEnterEvent enter(at, Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDragMoveEvent move(at, Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &move);
    EXPECT_TRUE(move.isAccepted());
    EXPECT_EQ(window->DropHighlight(), target);
    QDropEvent drop(QPointF(at), Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &drop);
  }
  void dropFiles(const QStringList& paths) {
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& p : paths) urls << QUrl::fromLocalFile(p);
    data.setUrls(urls);
    QWidget* viewport = window->Tree()->viewport();
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &enter);
    EXPECT_EQ(enter.dropAction(), Qt::CopyAction) << "files are only copied in";
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &drop);
  }
  QStringList shape(QTreeWidgetItem* item, int depth = 0) const {
    QStringList out{QString(depth * 2, u' ') + item->text(0) + u'[' + key(item) + u']'};
    for (int i = 0; i < item->childCount(); ++i) out += shape(item->child(i), depth + 1);
    return out;
  }

  TempProgramFolder folder;
  AppState state{folder.Path()};
  ScriptedDialogs dialogs;
  QWidget main;
  QPointer<frmAddress> window;
};

TEST_F(AddressWindow, OpensOnTheListCentredWithItsMenusAndCounts) {
  state.Addresses.Replace(
      {group(":2", ":1", QStringLiteral("友人")),
       person(":3", ":2", QStringLiteral("山田 花子"), QStringLiteral("h@example.jp,h2@example.jp")),
       person(":4", ":1", QStringLiteral("佐藤"), QStringLiteral("s@example.jp"))});
  frmAddress* w = open();
  EXPECT_EQ(w->windowTitle(), QStringLiteral("ｱﾄﾞﾚｽ帳"));
  EXPECT_EQ(shape(w->Root()), (QStringList{QStringLiteral("アドレス帳[:1]"), QStringLiteral("  友人[:2]"),
                                           QStringLiteral("    山田 花子[:3]"), QStringLiteral("  佐藤[:4]")}));
  EXPECT_EQ(w->Panel(2)->text(), QStringLiteral("全 2件"));
  EXPECT_FALSE(w->EmailBox()->isEnabled()) << "nothing selected yet";
  EXPECT_FALSE(w->Dirty());
  const QRect m = main.frameGeometry();
  EXPECT_NEAR(w->frameGeometry().left(), m.left() + (m.width() - w->frameGeometry().width()) / 2, 4);
  EXPECT_NEAR(w->frameGeometry().top(), m.top() + (m.height() - w->frameGeometry().height()) / 2, 4);
  // The menus as the window's table has them, separators where they stand.
  QStringList items;
  for (QAction* a : w->findChild<QMenu*>(QStringLiteral("mnuEdit"))->actions())
    items << (a->isSeparator() ? QStringLiteral("-") : a->text());
  EXPECT_EQ(items, (QStringList{QStringLiteral("名称変更(&N)"), QStringLiteral("-"), QStringLiteral("ｱﾄﾞﾚｽ追加(&A)"),
                                QStringLiteral("ｱﾄﾞﾚｽ削除(&D)"), QStringLiteral("-"), QStringLiteral("ｸﾞﾙｰﾌﾟ追加(&G)"),
                                QStringLiteral("ｸﾞﾙｰﾌﾟ削除(&E)")}));
  // A person's addresses one to a line; the root gets no label edit.
  w->SelectNode(node(":3"));
  EXPECT_EQ(w->Panel(1)->text(), QStringLiteral("山田 花子"));
  EXPECT_TRUE(w->EmailBox()->isEnabled());
  EXPECT_EQ(w->EmailBox()->toPlainText(), QStringLiteral("h@example.jp,\nh2@example.jp"));
  EXPECT_FALSE(w->Root()->flags() & Qt::ItemIsEditable);
  EXPECT_TRUE(node(":3")->flags() & Qt::ItemIsEditable);
  trigger("mnuImpOeAddr");
  ASSERT_EQ(dialogs.messages.size(), 1);
  EXPECT_EQ(dialogs.messages[0].text,
            QStringLiteral("OUTLOOK EXPRESSからのｱﾄﾞﾚｽのｲﾝﾎﾟｰﾄの説明\r\n\r\n"
                           "１. OUTLOOK EXPRESSのｱﾄﾞﾚｽ帳を開きます。\r\n"
                           "２. ｲﾝﾎﾟｰﾄを行うｱﾄﾞﾚｽを選択してﾃﾞｽｸﾄｯﾌﾟにﾄﾞﾛｯﾌﾟしてください。\r\n"
                           "\u3000\u3000（複数ﾌｧｲﾙを選択すれば一度に多数ｱﾄﾞﾚｽをｲﾝﾎﾟｰﾄできます）\r\n"
                           "３. vcf形式でﾌｧｲﾙが作成されていることを確認してください。\r\n"
                           "４．そのvcfﾌｧｲﾙを今度は、本ｱﾌﾟﾘのｱﾄﾞﾚｽ帳の画面にﾄﾞﾛｯﾌﾟしてください。\r\n"
                           "\u3000\u3000（複数ﾌｧｲﾙの一括登録も可能です）\r\n"
                           "５．ｲﾝﾎﾟｰﾄが確認できた場合は、vcfﾌｧｲﾙは削除して構いません。\r\n"));
  EXPECT_EQ(dialogs.messages[0].icon, Dialogs::Icon::Information);

  // A picture of the window as the user sees it.
  QDir().mkpath(QStringLiteral(TALLPOST_TEST_OUTPUT_DIR));
  w->Root()->setExpanded(true);
  node(":2")->setExpanded(true);
  EXPECT_TRUE(w->grab().save(QStringLiteral(TALLPOST_TEST_OUTPUT_DIR "/address-book.png")));
}

TEST_F(AddressWindow, NewNodesGoWhereTheSelectionSaysWithKeysThatStayUnique) {
  state.Addresses.Replace({person(":2", ":1", QStringLiteral("一郎"), QStringLiteral("a@example.jp")),
                           group(":3", ":1", QStringLiteral("仕事")),
                           person(":4", ":3", QStringLiteral("二郎"), QStringLiteral("b@example.jp"))});
  frmAddress* w = open();
  // A person selected: a new address goes to the top, a new group beside it.
  w->SelectNode(node(":4"));
  trigger("mnuAddAddr");
  trigger("mnuAddGroup");
  EXPECT_EQ(shape(w->Root()),
            (QStringList{QStringLiteral("アドレス帳[:1]"), QStringLiteral("  一郎[:2]"), QStringLiteral("  仕事[:3]"),
                         QStringLiteral("    二郎[:4]"), QStringLiteral("    新規グループ[:6]"),
                         QStringLiteral("  新規アドレス[:5]")}));
  EXPECT_EQ(w->Panel(2)->text(), QStringLiteral("全 3件"));
  EXPECT_TRUE(w->Dirty());
  // After a deletion the node count gives a key that is taken: the next free one.
  w->SelectNode(node(":2"));
  dialogs.AnswerNext(Dialogs::Answer::Yes);
  trigger("mnuDelAddr");
  EXPECT_EQ(dialogs.messages.last().text, frmAddress::DeleteAddressQuestion());
  EXPECT_EQ(node(":2"), nullptr);
  trigger("mnuAddAddr");  // 5 nodes: ":6" is taken, and ":7"? free
  QStringList keys;
  std::function<void(QTreeWidgetItem*)> all = [&](QTreeWidgetItem* n) {
    keys << key(n);
    for (int i = 0; i < n->childCount(); ++i) all(n->child(i));
  };
  all(w->Root());
  EXPECT_EQ(keys.size(), QSet<QString>(keys.begin(), keys.end()).size()) << keys.join(u' ').toStdString();
  EXPECT_NE(node(":7"), nullptr);
  // A group with something in it is not deleted; an empty one after Yes.
  w->SelectNode(node(":3"));
  trigger("mnuDelGroup");
  EXPECT_EQ(dialogs.messages.last().text, frmAddress::GroupNotEmptyMessage());
  EXPECT_NE(node(":3"), nullptr);
  w->SelectNode(node(":6"));
  dialogs.AnswerNext(Dialogs::Answer::Yes);
  trigger("mnuDelGroup");
  EXPECT_EQ(dialogs.messages.last().text, frmAddress::DeleteGroupQuestion());
  EXPECT_EQ(node(":6"), nullptr);
  // The root is never deleted or renamed.
  w->SelectNode(w->Root());
  const int asked = static_cast<int>(dialogs.messages.size());
  trigger("mnuDelAddr");
  trigger("mnuDelGroup");
  trigger("mnuChangeName");
  EXPECT_EQ(dialogs.messages.size(), asked);
  EXPECT_EQ(w->Root()->text(0), QStringLiteral("アドレス帳"));
}

TEST_F(AddressWindow, DraggingMovesNodesWithTheirChildrenButNeverUnderThemselves) {
  state.Addresses.Replace({group(":2", ":1", QStringLiteral("友人")), group(":3", ":2", QStringLiteral("学校")),
                           person(":4", ":3", QStringLiteral("太郎"), QStringLiteral("t@example.jp")),
                           person(":5", ":2", QStringLiteral("花子"), QStringLiteral("h@example.jp"))});
  frmAddress* w = open();
  w->Root()->setExpanded(true);
  node(":2")->setExpanded(true);
  node(":3")->setExpanded(true);
  const QStringList before = shape(w->Root());
  // A group dropped on a person inside itself.
  dragOnto(node(":2"), node(":4"));
  ASSERT_FALSE(dialogs.messages.isEmpty());
  EXPECT_EQ(dialogs.messages.last().text, frmAddress::CannotMoveMessage());
  EXPECT_EQ(dialogs.messages.last().icon, Dialogs::Icon::Exclamation);
  EXPECT_EQ(shape(w->Root()), before);
  EXPECT_TRUE(w->Dirty()) << "a refused move counts as a change too";
  // The group "学校" onto the root: to the top, with its child.
  dragOnto(node(":3"), w->Root());
  EXPECT_EQ(shape(w->Root()),
            (QStringList{QStringLiteral("アドレス帳[:1]"), QStringLiteral("  友人[:2]"), QStringLiteral("    花子[:5]"),
                         QStringLiteral("  学校[:3]"), QStringLiteral("    太郎[:4]")}));
  // A person onto a person: beside it; onto a group: into it.
  dragOnto(node(":4"), node(":5"));
  EXPECT_EQ(node(":4")->parent(), node(":2"));
  dragOnto(node(":5"), node(":3"));
  EXPECT_EQ(node(":5")->parent(), node(":3"));
  EXPECT_EQ(w->DropHighlight(), nullptr);
}

TEST_F(AddressWindow, AddressesAreEditedOneToALineAndOnlyCommasPartThem) {
  state.Addresses.Replace({person(":2", ":1", QStringLiteral("一郎"), QStringLiteral("a@example.jp"))});
  frmAddress* w = open();
  w->SelectNode(node(":2"));
  w->EmailBox()->setPlainText(QStringLiteral("a@example.jp,\nb@example.jp\nc@example.jp"));
  EXPECT_TRUE(w->Dirty());
  w->SelectNode(w->Root());
  EXPECT_FALSE(w->EmailBox()->isEnabled());
  w->SelectNode(node(":2"));
  EXPECT_EQ(w->EmailBox()->toPlainText(), QStringLiteral("a@example.jp,\nb@example.jpc@example.jp"));
}

TEST_F(AddressWindow, CloseAsksAboutUnsavedChangesAndSaveReplacesTheList) {
  state.Addresses.Replace({person(":2", ":1", QStringLiteral("一郎"), QStringLiteral("a@example.jp"))});
  frmAddress* w = open();
  w->SelectNode(node(":2"));
  dialogs.AnswerNext(Dialogs::Answer::Yes);
  trigger("mnuDelAddr");
  dialogs.AnswerNext(Dialogs::Answer::No);
  trigger("mnuQuit");
  EXPECT_EQ(dialogs.messages.last().text, frmAddress::DiscardQuestion());
  EXPECT_TRUE(w->isVisible()) << "No keeps the window";
  EXPECT_EQ(state.Addresses.Entries().size(), 1) << "nothing saved yet";
  trigger("mnuSaveExit");
  EXPECT_TRUE(state.Addresses.IsPresent());
  EXPECT_TRUE(state.Addresses.Entries().isEmpty());
  EXPECT_FALSE(w->isVisible());
}

TEST_F(AddressWindow, DroppedFilesBecomePersonsWithConsecutiveKeysAndUnreadableOnesAreNamed) {
  state.Addresses.Replace({person(":2", ":1", QStringLiteral("一郎"), QStringLiteral("a@example.jp"))});
  const QByteArray twoCards =
      Cp932::Encode(QStringLiteral("BEGIN:VCARD\r\nFN:山田 花子\r\nEMAIL;PREF;INTERNET:h@example.jp\r\nEND:VCARD\r\n"
                                   "BEGIN:VCARD\r\nfn:小文字\rFN;CHARSET=x:引数つき\rEMAIL;INTERNET:h2@example.jp\r\n"
                                   "EMAIL;TYPE=INTERNET:new@example.jp\r\nFN:最後の名前\nで続く\r\nEND:VCARD\r\n"));
  ASSERT_TRUE(folder.WriteBytes(QStringLiteral("a.vcf"), twoCards));
  ASSERT_TRUE(folder.WriteBytes(QStringLiteral("b.vcf"), "FN:\r\n"));
  ASSERT_TRUE(folder.WriteBytes(QStringLiteral("c.txt"), "nothing here"));
  ASSERT_TRUE(QDir(folder.Path()).mkdir(QStringLiteral("folder.vcf")));
  frmAddress* w = open();
  dropFiles({folder.File(QStringLiteral("a.vcf")), folder.File(QStringLiteral("folder.vcf")),
             folder.File(QStringLiteral("b.vcf")), folder.File(QStringLiteral("c.txt"))});
  EXPECT_EQ(shape(w->Root()), (QStringList{QStringLiteral("アドレス帳[:1]"), QStringLiteral("  一郎[:2]"),
                                           QStringLiteral("  最後の名前\nで続く[:3]"), QStringLiteral("  [:4]"),
                                           QStringLiteral("  インポートアドレス[:5]")}));
  EXPECT_EQ(node(":3")->data(0, AddressBook::AddressesRole).toString(), QStringLiteral("h@example.jp,h2@example.jp"));
  EXPECT_EQ(w->Panel(2)->text(), QStringLiteral("全 4件"));
  EXPECT_TRUE(w->Dirty());
  ASSERT_EQ(dialogs.messages.size(), 1) << "one message for what was skipped";
  EXPECT_TRUE(dialogs.messages[0].text.contains(QStringLiteral("folder.vcf")));
}

TEST_F(AddressWindow, TodaysVCardsComeInWholeAndTheBookGoesOutAsVCard4) {
  if (QProcess::execute(kPython, {QStringLiteral("-c"), QStringLiteral("import vobject")}) != 0)
    GTEST_SKIP() << "python3-vobject is not installed";
  // Cards written by another program: 3.0, UTF-8, folded, several addresses.
  QProcess write;
  write.start(kPython, {kVCards, QStringLiteral("write"), folder.Path()});
  ASSERT_TRUE(write.waitForFinished(30000));
  const QJsonArray written = QJsonDocument::fromJson(write.readAllStandardOutput()).array();
  ASSERT_EQ(written.size(), 3);
  state.Addresses.Replace({group(":2", ":1", QStringLiteral("友人"))});
  frmAddress* w = open();
  dialogs.openNext = {folder.File(QStringLiteral("people.vcf"))};
  trigger("mnuImpVCard");
  ASSERT_EQ(w->Root()->childCount(), 4);
  for (int i = 0; i < 3; ++i) {
    const QJsonObject want = written[i].toObject();
    const QTreeWidgetItem* got = w->Root()->child(i + 1);
    EXPECT_EQ(got->text(0), want[QStringLiteral("name")].toString());
    QStringList emails;
    for (const QJsonValue& e : want[QStringLiteral("emails")].toArray()) emails << e.toString();
    EXPECT_EQ(got->data(0, AddressBook::AddressesRole).toString(), emails.join(u','));
  }
  // The imported persons, one moved into the group, out as one vCard 4.0 file.
  dragOnto(w->Root()->child(1), node(":2"));
  dialogs.saveNext = folder.File(QStringLiteral("out.vcf"));
  trigger("mnuExport");
  QProcess read;
  read.start(kPython, {kVCards, QStringLiteral("read"), folder.File(QStringLiteral("out.vcf"))});
  ASSERT_TRUE(read.waitForFinished(30000));
  const QJsonArray back = QJsonDocument::fromJson(read.readAllStandardOutput()).array();
  ASSERT_EQ(back.size(), 3) << read.readAllStandardError().toStdString();
  for (const QJsonValue& v : back) {
    const QJsonObject card = v.toObject();
    bool found = false;
    for (const QJsonValue& w2 : written) {
      if (w2.toObject()[QStringLiteral("name")] != card[QStringLiteral("name")]) continue;
      found = true;
      EXPECT_EQ(card[QStringLiteral("emails")], w2.toObject()[QStringLiteral("emails")]);
    }
    EXPECT_TRUE(found) << card[QStringLiteral("name")].toString().toStdString();
  }
  EXPECT_EQ(back[0].toObject()[QStringLiteral("categories")].toArray(), QJsonArray{QStringLiteral("友人")});
  // The long name does not fit the book's 128-byte records: named, not lost.
  trigger("mnuSaveExit");
  EXPECT_TRUE(w->isVisible());
  EXPECT_TRUE(dialogs.messages.last().text.contains(QStringLiteral("長谷川")));
}

TEST(AddressBookOfTheProgram, OneWindowForAllAndThePickerSeesWhatItSaved) {
  TempProgramFolder folder;
  ASSERT_TRUE(folder.InstallDefaultTable());
  ASSERT_TRUE(folder.WriteBytes(
      QStringLiteral("address.dat"),
      *AddressBook::EncodeRecord(person(":2", ":1", QStringLiteral("佐藤"), QStringLiteral("s@example.jp")))));
  ScriptedDialogs dialogs;
  ModalCloser closer;
  AppMain program(folder.Path(), dialogs);
  ASSERT_EQ(program.Start(), AppMain::StartResult::Running);
  frmCenter* center = program.MainWindow();
  center->findChild<QAction*>(QStringLiteral("mnuAddr"))->trigger();
  QPointer<frmAddress> w = center->AddressBookWindow();
  ASSERT_TRUE(w);
  center->ShowAddressBook();
  EXPECT_EQ(center->AddressBookWindow(), w.data()) << "one window, shared";
  // Everything deleted and saved: the picker lists nobody, the file is emptied at the end.
  w->SelectNode(w->NodeByKey(QStringLiteral(":2")));
  dialogs.AnswerNext(Dialogs::Answer::Yes);
  w->FindAction(QStringLiteral("mnuDelAddr"))->trigger();
  w->FindAction(QStringLiteral("mnuAddAddr"))->trigger();
  w->FindAction(QStringLiteral("mnuSaveExit"))->trigger();
  const QList<AddressPicker::Item> items = AddressPicker::Items(program.State().Addresses);
  ASSERT_EQ(items.size(), 1);
  EXPECT_EQ(items[0].Caption, frmAddress::NewAddressText());
  program.State().Addresses.Replace({});
  ASSERT_TRUE(center->close());
  EXPECT_EQ(QFileInfo(folder.File(QStringLiteral("address.dat"))).size(), 0);
}

}  // namespace
