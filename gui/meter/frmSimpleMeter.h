#pragma once

#include <QColor>
#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>

class Dialogs;
class QPainter;
class QPalette;

// The progress meter of a long job: a bar with a percentage or a fixed text,
// other windows disabled while it runs, a stop by the user after a question,
// and progress told to the owner by a call of its method by name.
class frmSimpleMeter : public QWidget {
  Q_OBJECT
 public:
  struct Level {
    int Percent = 0;
    QColor Colour;
    bool operator==(const Level&) const = default;
  };

  explicit frmSimpleMeter(Dialogs& dialogs, QWidget* parent = nullptr);
  ~frmSimpleMeter() override;

  static QString MeterName();     // the window's name, given with every call-back
  static QString StopQuestion();  // "中断してよろしいですか？"
  static QString DefaultSplitPercValues();

  int Value() const { return value_; }
  // Ignored while the meter is not shown.
  void Value(int n);
  int Max() const { return max_; }
  void Max(int max) {
    max_ = max;
    update();
  }
  int Position() const { return position_; }
  void Position(int position) { position_ = position; }
  QObject* CallBackReceiver() const { return receiver_.data(); }
  void CallBackReceiver(QObject* receiver) { receiver_ = receiver; }
  QString CallBackMethodName() const { return methodName_; }
  void CallBackMethodName(const QString& name) { methodName_ = name; }
  int UserStopValue() const { return userStopValue_; }
  void UserStopValue(int value) { userStopValue_ = value; }
  bool UserStop() const { return userStop_; }
  // False disables the meter, so that the user cannot close it.
  void AllowUserStop(bool allow);
  bool HaltConfirm() const { return haltConfirm_; }
  void HaltConfirm(bool confirm) { haltConfirm_ = confirm; }
  // Appends a window; nullptr empties the list.
  void HoldForm(QWidget* window);
  QList<QWidget*> HoldForms() const;
  QString GargeText() const { return gargeText_; }
  void GargeText(const QString& text) {
    gargeText_ = text;
    update();
  }
  bool Calc100() const { return calc100_; }
  void Calc100(bool on) {
    calc100_ = on;
    update();
  }
  int LevelStyle() const { return levelStyle_; }
  void LevelStyle(int style);
  QColor BarForeColor() const { return foreColor_; }
  void BarForeColor(const QColor& c) {
    foreColor_ = c;
    update();
  }
  QColor BarBackColor() const { return backColor_; }
  void BarBackColor(const QColor& c) { backColor_ = c; }
  QString SplitPercValues() const { return splitPercValues_; }
  void SplitPercValues(const QString& text);
  int SleepBeforeUnload() const { return sleepMs_; }
  void SleepBeforeUnload(int ms) { sleepMs_ = ms; }
  const QList<Level>& Levels() const { return levels_; }

  // Closes at once: no question, no stop call-back.
  void Halt();
  // Draws every value up to Max, then closes as complete.
  void TerminateFullGarge();
  // Installs a 100-step gradient as the level table and returns its text.
  QString GetLMSVG(const QColor& startColor, const QColor& endColor);

  // Window-free pieces.
  static QString GradientText(const QColor& startColor, const QColor& endColor);
  static QList<Level> ParseLevels(const QString& text, const QPalette& palette);
  // A stored colour: 0x00BBGGRR, or from 0x80000000 up a system colour.
  static QColor StoredColour(quint32 value, const QPalette& palette);
  QString BarText() const;
  QRect BarRect() const;
  // Draws the bar into the painter's device over rect.
  void DrawBar(QPainter& painter, const QRect& rect) const;
  QImage RenderBar() const;

 Q_SIGNALS:
  // The user stopped the meter; set Cancel to keep it running.
  void OnUserStop(bool& Cancel);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void callBack(int value);
  void setHoldFormsEnabled(bool enabled);
  void finish();

  Dialogs& dialogs_;
  int value_ = 0;
  int max_ = 100;
  int position_ = 0;
  QPointer<QObject> receiver_;
  QString methodName_;
  int userStopValue_ = -1;
  bool userStop_ = false;
  bool haltConfirm_ = true;
  QList<QPointer<QWidget>> holdForms_;
  QString gargeText_;
  bool calc100_ = false;
  int levelStyle_ = 0;
  QColor foreColor_;
  QColor backColor_;
  QString splitPercValues_;
  QString parsedLevelsText_;
  QList<Level> levels_;
  int sleepMs_ = 0;
  bool halted_ = false;
  bool closing_ = false;
};
