#include "gui/meter/frmSimpleMeter.h"

#include "store/AppState.h"
#include "support/Dialogs.h"

#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QScreen>
#include <QThread>

#include <cmath>

namespace {

// The system colours a stored colour may name, by index, as this desktop's
// palette has them.
QColor systemColour(quint32 index, const QPalette& p) {
  switch (index) {
    case 0:
      return p.color(QPalette::Button);  // scroll bar
    case 1:
      return p.color(QPalette::Window);  // desktop
    case 2:
      return p.color(QPalette::Highlight);  // active caption
    case 3:
      return p.color(QPalette::Mid);  // inactive caption
    case 4:
      return p.color(QPalette::Window);  // menu
    case 5:
      return p.color(QPalette::Base);  // window background
    case 6:
      return p.color(QPalette::Shadow);  // window frame
    case 7:
      return p.color(QPalette::WindowText);  // menu text
    case 8:
      return p.color(QPalette::Text);  // window text
    case 9:
      return p.color(QPalette::HighlightedText);  // caption text
    case 10:                                      // active border
    case 11:
      return p.color(QPalette::Button);  // inactive border
    case 12:
      return p.color(QPalette::Dark);  // application workspace
    case 13:
      return p.color(QPalette::Highlight);  // highlight
    case 14:
      return p.color(QPalette::HighlightedText);  // highlighted text
    case 15:
      return p.color(QPalette::Button);  // button face
    case 16:
      return p.color(QPalette::Dark);  // button shadow
    case 17:
      return p.color(QPalette::PlaceholderText);  // grey text
    case 18:
      return p.color(QPalette::ButtonText);  // button text
    case 19:
      return p.color(QPalette::Mid);  // inactive caption text
    case 20:
      return p.color(QPalette::Light);  // 3D highlight
    case 21:
      return p.color(QPalette::Shadow);  // 3D dark shadow
    case 22:
      return p.color(QPalette::Midlight);  // 3D light
    case 23:
      return p.color(QPalette::ToolTipText);  // tooltip text
    case 24:
      return p.color(QPalette::ToolTipBase);  // tooltip background
    default:
      return p.color(QPalette::Window);
  }
}

// A colour number as stored: "&H…&" is hexadecimal (the closing "&" may be
// missing), anything else decimal.
std::optional<quint32> colourNumber(QString text) {
  text = text.trimmed();
  bool ok = false;
  qulonglong v = 0;
  if (text.startsWith(QLatin1String("&H"), Qt::CaseInsensitive)) {
    text = text.mid(2);
    if (text.endsWith(QLatin1Char('&'))) text.chop(1);
    v = text.toULongLong(&ok, 16);
  } else {
    if (text.endsWith(QLatin1Char('&'))) text.chop(1);
    const qlonglong s = text.toLongLong(&ok);
    // A negative Long is the same 32 bits as its unsigned reading.
    v = static_cast<qulonglong>(static_cast<quint32>(s));
    if (ok && (s < INT32_MIN || s > UINT32_MAX)) ok = false;
  }
  if (!ok || v > 0xFFFFFFFFull) return std::nullopt;
  return static_cast<quint32>(v);
}

}  // namespace

frmSimpleMeter::frmSimpleMeter(Dialogs& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::CustomizeWindowHint),
      dialogs_(dialogs) {
  setObjectName(MeterName());
  setWindowTitle(AppState::ProgramTitle());
  setFixedSize(320, 36);
  const QPalette p = palette();
  foreColor_ = StoredColour(0x80000002u, p);
  backColor_ = StoredColour(0x80000005u, p);
  SplitPercValues(DefaultSplitPercValues());
}

frmSimpleMeter::~frmSimpleMeter() { setHoldFormsEnabled(true); }

QString frmSimpleMeter::MeterName() { return QStringLiteral("frmSimpleMeter"); }
QString frmSimpleMeter::StopQuestion() { return QStringLiteral("中断してよろしいですか？"); }
QString frmSimpleMeter::DefaultSplitPercValues() {
  return QStringLiteral("50:&H0000C000&|80:&H0000FFFF&|100:&H000000FF&");
}

QColor frmSimpleMeter::StoredColour(quint32 value, const QPalette& palette) {
  if (value >= 0x80000000u) return systemColour(value - 0x80000000u, palette);
  return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                static_cast<int>((value >> 16) & 0xFF));
}

QList<frmSimpleMeter::Level> frmSimpleMeter::ParseLevels(const QString& text, const QPalette& palette) {
  QList<Level> out;
  for (const QString& item : text.split(QLatin1Char('|'))) {
    const qsizetype colon = item.indexOf(QLatin1Char(':'));
    if (item.isEmpty() || colon < 0) continue;
    bool ok = false;
    const int percent = item.left(colon).trimmed().toInt(&ok);
    const std::optional<quint32> colour = colourNumber(item.mid(colon + 1));
    if (!ok || !colour) continue;
    out.append({percent, StoredColour(*colour, palette)});
  }
  return out;
}

QString frmSimpleMeter::GradientText(const QColor& s, const QColor& e) {
  QString out;
  auto step = [](int from, int to, int i) { return static_cast<long>(std::nearbyint(from + (to - from) / 100.0 * i)); };
  for (int i = 1; i <= 100; ++i) {
    const long r = step(s.red(), e.red(), i);
    const long g = step(s.green(), e.green(), i);
    const long b = step(s.blue(), e.blue(), i);
    out += QString::number(i) + QLatin1Char(':') + QString::number(r + g * 256 + b * 65536) + QLatin1Char('|');
  }
  return out;
}

QString frmSimpleMeter::GetLMSVG(const QColor& startColor, const QColor& endColor) {
  const QString text = GradientText(startColor, endColor);
  SplitPercValues(text);
  return text;
}

void frmSimpleMeter::SplitPercValues(const QString& text) {
  splitPercValues_ = text;
  if (text == parsedLevelsText_ || (text.isEmpty() && levelStyle_ == 0)) return;
  parsedLevelsText_ = text;
  levels_ = ParseLevels(text, palette());
  update();
}

void frmSimpleMeter::LevelStyle(int style) {
  levelStyle_ = style;
  update();
}

void frmSimpleMeter::AllowUserStop(bool allow) { setEnabled(allow); }

void frmSimpleMeter::HoldForm(QWidget* window) {
  if (window == nullptr)
    holdForms_.clear();
  else
    holdForms_.append(window);
}

QList<QWidget*> frmSimpleMeter::HoldForms() const {
  QList<QWidget*> out;
  for (const QPointer<QWidget>& w : holdForms_)
    if (w) out.append(w.data());
  return out;
}

void frmSimpleMeter::setHoldFormsEnabled(bool enabled) {
  for (const QPointer<QWidget>& w : holdForms_)
    if (w) w->setEnabled(enabled);
}

QString frmSimpleMeter::BarText() const {
  if (!gargeText_.isEmpty()) return gargeText_;
  const int shown = calc100_ ? (max_ != 0 ? value_ * 100 / max_ : 0) : value_;
  return QString::number(shown) + QLatin1Char('%');
}

QRect frmSimpleMeter::BarRect() const { return rect().adjusted(3, 3, -3, -3); }

void frmSimpleMeter::DrawBar(QPainter& painter, const QRect& r) const {
  if (max_ == 0) return;
  const int v = std::clamp(value_, 0, max_);
  painter.fillRect(r, Qt::white);
  const int p = static_cast<int>(static_cast<qint64>(v) * 100 / max_);
  auto widthOf = [&](int percent) { return r.width() * percent / 100; };
  if (levelStyle_ == 1) {
    // From the last band to the first: each band keeps its own colour and the
    // lower bands show theirs up to p.
    for (qsizetype i = levels_.size() - 1; i >= 0; --i) {
      const int upTo = std::min(levels_[i].Percent, p);
      if (upTo > 0) painter.fillRect(QRect(r.left(), r.top(), widthOf(upTo), r.height()), levels_[i].Colour);
    }
  } else {
    painter.fillRect(QRect(r.left(), r.top(), widthOf(p), r.height()), foreColor_);
  }
  painter.save();
  if (levelStyle_ == 1) painter.setCompositionMode(QPainter::RasterOp_NotSourceXorDestination);
  painter.setPen(foreColor_);
  painter.drawText(r, Qt::AlignCenter, BarText());
  painter.restore();
}

QImage frmSimpleMeter::RenderBar() const {
  QImage image(BarRect().size(), QImage::Format_RGB32);
  image.fill(Qt::black);
  QPainter painter(&image);
  painter.setFont(font());
  DrawBar(painter, image.rect());
  return image;
}

void frmSimpleMeter::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  DrawBar(painter, BarRect());
}

void frmSimpleMeter::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  halted_ = false;
  closing_ = false;
  QRect over;
  auto* owner = qobject_cast<QWidget*>(receiver_.data());
  if (position_ == 1 && owner != nullptr && owner->isVisible())
    over = owner->frameGeometry();
  else if (QScreen* screen = this->screen())
    over = screen->availableGeometry();
  if (over.isValid()) move(over.center() - QPoint(width() / 2, height() / 2));
}

void frmSimpleMeter::callBack(int value) {
  if (!receiver_ || methodName_.isEmpty()) return;
  QMetaObject::invokeMethod(receiver_.data(), methodName_.toLatin1().constData(), Qt::DirectConnection,
                            Q_ARG(int, value), Q_ARG(QString, MeterName()));
}

void frmSimpleMeter::Value(int n) {
  if (!isVisible()) return;
  if (value_ == 0) {
    setHoldFormsEnabled(false);
    update();
    activateWindow();
  }
  if (n > max_) {
    TerminateFullGarge();
    return;
  }
  value_ = n;
  repaint();
  callBack(value_);
  if (value_ >= max_) {
    if (sleepMs_ > 0) {
      // Keep painting while waiting, but take no input.
      QElapsedTimer t;
      t.start();
      while (t.elapsed() < sleepMs_) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
        QThread::msleep(5);
      }
    }
    close();
  }
}

void frmSimpleMeter::TerminateFullGarge() {
  for (int v = std::max(value_, 0); v < max_; ++v) {
    value_ = v;
    repaint();
  }
  value_ = max_;
  repaint();
  close();
}

void frmSimpleMeter::Halt() {
  halted_ = true;
  close();
}

void frmSimpleMeter::finish() {
  setHoldFormsEnabled(true);
  hide();
}

void frmSimpleMeter::closeEvent(QCloseEvent* event) {
  // A close that arrives while the stop question is open is the same close.
  if (closing_) {
    event->ignore();
    return;
  }
  if (halted_ || value_ >= max_) {
    event->accept();
    finish();
    return;
  }
  if (!isEnabled()) {  // the job may not be stopped
    event->ignore();
    return;
  }
  closing_ = true;
  if (haltConfirm_) {
    const Dialogs::Answer answer =
        dialogs_.Message(StopQuestion(), windowTitle(), Dialogs::Icon::Question, Dialogs::Buttons::YesNo);
    if (answer != Dialogs::Answer::Yes) {
      closing_ = false;
      event->ignore();
      return;
    }
  }
  callBack(userStopValue_);
  userStop_ = true;
  bool cancel = false;
  Q_EMIT OnUserStop(cancel);
  closing_ = false;
  if (cancel) {
    event->ignore();
    return;
  }
  event->accept();
  finish();
}
