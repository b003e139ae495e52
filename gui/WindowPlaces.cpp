#include "gui/WindowPlaces.h"

#include "support/AtomicFile.h"

#include <QEvent>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

WindowPlaces::WindowPlaces(QString path) : path_(std::move(path)) {
  QFile file(path_);
  if (!file.open(QIODevice::ReadOnly)) return;
  // A small file of our own; anything longer than a few lines is not it.
  const QByteArray data = file.read(1 << 20);
  for (const QByteArray& line : data.split('\n')) {
    const qsizetype eq = line.indexOf('=');
    if (eq <= 0) continue;
    const QString name = QString::fromUtf8(line.left(eq)).trimmed();
    const QByteArray value = QByteArray::fromBase64(line.mid(eq + 1).trimmed());
    if (!name.isEmpty() && !value.isEmpty()) values_.insert(name, value);
  }
}

namespace {

// Its frame is known only once a window is shown: the check runs again then.
class InsideWhenShown : public QObject {
 public:
  explicit InsideWhenShown(QWidget* window) : QObject(window) { window->installEventFilter(this); }
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show) {
      WindowPlaces::KeepInsideScreen(static_cast<QWidget*>(watched));
      deleteLater();
    }
    return false;
  }
};

}  // namespace

bool WindowPlaces::Restore(QWidget* window, const QString& name) const {
  const QByteArray kept = values_.value(name);
  if (kept.isEmpty() || !window->restoreGeometry(kept)) return false;
  KeepInsideScreen(window);
  if (!window->isVisible()) new InsideWhenShown(window);
  return true;
}

void WindowPlaces::Keep(const QWidget* window, const QString& name) {
  values_.insert(name, window->saveGeometry());
  Write();
}

bool WindowPlaces::Write() const {
  QByteArray data;
  for (auto it = values_.cbegin(); it != values_.cend(); ++it)
    data += it.key().toUtf8() + '=' + it.value().toBase64() + '\n';
  return AtomicFile::Write(path_, data, AtomicFile::Existing::MayCreate, 0600);
}

void WindowPlaces::KeepInsideScreen(QWidget* window) {
  QScreen* screen = QGuiApplication::screenAt(window->frameGeometry().center());
  if (screen == nullptr) screen = window->screen();
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QRect area = screen->availableGeometry();
  // Larger than the screen: as large as it is.
  QRect frame = window->frameGeometry();
  const QSize extra = frame.size() - window->size();
  if (frame.width() > area.width() || frame.height() > area.height()) {
    window->resize(std::min(frame.width(), area.width()) - extra.width(),
                   std::min(frame.height(), area.height()) - extra.height());
    frame = window->frameGeometry();
  }
  QPoint at = frame.topLeft();
  at.setX(std::clamp(at.x(), area.left(), area.right() + 1 - frame.width()));
  at.setY(std::clamp(at.y(), area.top(), area.bottom() + 1 - frame.height()));
  if (at != frame.topLeft()) window->move(at);
}
