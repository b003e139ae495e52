#pragma once

#include "store/AddressBook.h"
#include "store/AppSettings.h"
#include "store/IndexJournal.h"
#include "store/MailStore.h"
#include "vertical/AppGlyphSwapAccess.h"

#include <QList>
#include <QString>
#include <QStringList>

// One mailbox of the main window's tree.
struct MailBoxRecord {
  QString Tag;
  QString Name;
  std::int16_t Image = 0;
  std::int16_t SelectedImage = 0;
};

// Mailbox numbers as stored in the mail index: the position of the mailbox's
// node in the tree, the root being 1.
namespace MailBoxNumber {
constexpr int Root = 1;
constexpr int Outbox = 2;
constexpr int Sent = 3;
constexpr int Drafts = 4;
constexpr int Trash = 5;
}  // namespace MailBoxNumber

// The application-wide state: from start-up to the end of the process, read and
// changed in place by the windows.
struct AppState {
  explicit AppState(QString programFolder);

  static QString ProgramTitle();  // "たかぽすと"

  // A file of the program folder.
  QString FilePath(const QString& name) const;

  QString ProgramFolder;
  QString GlyphSwapPath;  // ProgramFolder/GlyphSwap.dat
  QString IniPath;        // ProgramFolder/Tallpost.ini
  AppSettings Settings;
  QStringList SeparatorList;
  GlyphSwapTable GlyphSwap;
  // The address book: read at start-up, written back at the end of the run.
  AddressList Addresses;
  // Index 1 to 4; element 0 is unused so that the index reads as in the tree.
  QList<MailBoxRecord> MailBoxTable;
  // The mail index, element i for mail i; empty until an index was read or a
  // mail stored.
  MailIndex Index;
  // The program's command-line arguments after the program name.
  QStringList Arguments;

  // The mails of the MailBox folder.
  MailStore Store() const;
  // Every change of Index goes to disk through here.
  IndexKeeper Keeper;
};
