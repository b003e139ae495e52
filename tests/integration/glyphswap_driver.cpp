// Stands in for the user at GlyphSwap: started by Tallpost's main window as
// GlyphSwap itself would be, it opens the real editor window on the path and
// title of its command line, types a character into the cell the environment
// names (TALLPOST_DRIVE_CELL="row,column,text"), presses OK and ends. What it
// received goes to TALLPOST_DRIVE_SEEN, one argument to a line.
#include "glyphswap/GlyphSwapCommandLine.h"
#include "glyphswap/frmGlyphSwap.h"
#include "support/Dialogs.h"

#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  const QStringList arguments = QCoreApplication::arguments().mid(1);
  QFile seen(qEnvironmentVariable("TALLPOST_DRIVE_SEEN"));
  if (seen.open(QIODevice::WriteOnly)) seen.write(arguments.join(u'\n').toUtf8());
  seen.close();
  const GlyphSwapCommandLine line = GlyphSwapCommandLine::FromArguments(arguments);
  if (line.Empty) return 0;
  NoDialogs dialogs;
  frmGlyphSwap window(line.Path, line.Title, dialogs);
  if (!window.Load()) return 1;
  window.show();
  const QStringList cell = qEnvironmentVariable("TALLPOST_DRIVE_CELL").split(u',');
  if (cell.size() != 3) return 3;
  window.SetCurrentCell(cell[0].toInt(), cell[1].toInt());
  // Typed on the grid, then Enter in the box: as a user would.
  QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, cell[2]);
  QApplication::sendEvent(window.Grid(), &press);
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(window.Input(), &enter);
  window.OkButton()->click();
  return window.isVisible() ? 4 : 0;
}
