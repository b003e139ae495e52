#include "gui/meter/MeterDriver.h"
#include "gui/meter/frmSimpleMeter.h"
#include "store/AppSettings.h"
#include "tests/testsupport/ScriptedDialogs.h"

#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QPalette>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

class Owner : public QWidget {
  Q_OBJECT
 public:
  struct Call {
    int value;
    QString from;
    int operate;
  };
  QList<Call> calls;
  Q_INVOKABLE void CallBack_TategakiEngine(int nValue, const QString& szCallBackFrom = QString(), int nOperate = 0) {
    calls.append({nValue, szCallBackFrom, nOperate});
  }
};

class Meter : public ::testing::Test {
 protected:
  void SetUp() override {
    owner.show();
    meter.CallBackReceiver(&owner);
    meter.CallBackMethodName(QStringLiteral("CallBack_TategakiEngine"));
    meter.HoldForm(&owner);
  }
  QRgb pixelAt(const QImage& bar, int percent) const {
    return bar.pixel(bar.width() * percent / 100, 1);  // the top row: no text there
  }
  ScriptedDialogs dialogs;
  Owner owner;
  frmSimpleMeter meter{dialogs};
};

TEST_F(Meter, StartsWithItsDefaults) {
  frmSimpleMeter fresh(dialogs);
  EXPECT_EQ(fresh.objectName(), QStringLiteral("frmSimpleMeter"));
  EXPECT_EQ(fresh.Value(), 0);
  EXPECT_EQ(fresh.Max(), 100);
  EXPECT_EQ(fresh.UserStopValue(), -1);
  EXPECT_FALSE(fresh.UserStop());
  EXPECT_TRUE(fresh.HaltConfirm());
  EXPECT_TRUE(fresh.GargeText().isEmpty());
  EXPECT_FALSE(fresh.Calc100());
  EXPECT_EQ(fresh.LevelStyle(), 0);
  EXPECT_EQ(fresh.SleepBeforeUnload(), 0);
  EXPECT_EQ(fresh.SplitPercValues(), QStringLiteral("50:&H0000C000&|80:&H0000FFFF&|100:&H000000FF&"));
  EXPECT_EQ(fresh.BarForeColor(), fresh.palette().color(QPalette::Highlight));
  EXPECT_EQ(fresh.BarBackColor(), fresh.palette().color(QPalette::Base));
  EXPECT_TRUE(fresh.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_TRUE(fresh.CallBackMethodName().isEmpty());
}

TEST_F(Meter, LevelTableIsReadFromItsText) {
  QPalette p;
  p.setColor(QPalette::Highlight, QColor(1, 2, 3));
  using L = frmSimpleMeter::Level;
  EXPECT_EQ(frmSimpleMeter::ParseLevels(frmSimpleMeter::DefaultSplitPercValues(), p),
            (QList<L>{{50, QColor(0, 0xC0, 0)}, {80, QColor(255, 255, 0)}, {100, QColor(255, 0, 0)}}));
  EXPECT_EQ(frmSimpleMeter::ParseLevels(QStringLiteral("10:&H80000002&|no colon||20:65536|30:&HFF|x:1"), p),
            (QList<L>{{10, QColor(1, 2, 3)}, {20, QColor(0, 0, 1)}, {30, QColor(255, 0, 0)}}));
}

TEST_F(Meter, GradientHasAHundredStepsAndBecomesTheTable) {
  const QString text = meter.GetLMSVG(QColor(100, 255, 100), QColor(255, 255, 255));
  EXPECT_TRUE(text.endsWith(QLatin1Char('|')));
  const QStringList items = text.split(QLatin1Char('|'), Qt::SkipEmptyParts);
  ASSERT_EQ(items.size(), 100);
  // Step 1: 100 + 1.55 rounds to 102; step 100 is the end colour.
  EXPECT_EQ(items[0], QStringLiteral("1:") + QString::number(102 + 255 * 256 + 102 * 65536));
  EXPECT_EQ(items[99], QStringLiteral("100:") + QString::number(0xFFFFFF));
  EXPECT_EQ(meter.SplitPercValues(), text);
  ASSERT_EQ(meter.Levels().size(), 100);
  EXPECT_EQ(meter.Levels()[99].Colour, QColor(255, 255, 255));
}

TEST_F(Meter, BarShowsTheBandsInTheirColours) {
  meter.show();
  meter.LevelStyle(1);
  const QRgb green = qRgb(0, 0xC0, 0), yellow = qRgb(255, 255, 0), red = qRgb(255, 0, 0), white = qRgb(255, 255, 255);
  meter.Value(30);
  QImage bar = meter.RenderBar();
  EXPECT_EQ(pixelAt(bar, 5), green);
  EXPECT_EQ(pixelAt(bar, 28), green);
  EXPECT_EQ(pixelAt(bar, 32), white);
  meter.Value(60);
  bar = meter.RenderBar();
  EXPECT_EQ(pixelAt(bar, 45), green);
  EXPECT_EQ(pixelAt(bar, 55), yellow);
  EXPECT_EQ(pixelAt(bar, 65), white);
  meter.Value(90);
  bar = meter.RenderBar();
  EXPECT_EQ(pixelAt(bar, 45), green);
  EXPECT_EQ(pixelAt(bar, 75), yellow);
  EXPECT_EQ(pixelAt(bar, 85), red);
  EXPECT_EQ(pixelAt(bar, 95), white);
  // The percentage stands in the middle of the bar.
  bool textDrawn = false;
  for (int x = bar.width() * 40 / 100; x < bar.width() * 60 / 100; ++x)
    for (int y = 0; y < bar.height(); ++y)
      if (bar.pixel(x, y) != green && bar.pixel(x, y) != yellow) textDrawn = true;
  EXPECT_TRUE(textDrawn);
  EXPECT_EQ(meter.BarText(), QStringLiteral("90%"));

  meter.LevelStyle(0);
  meter.BarForeColor(QColor(10, 20, 30));
  bar = meter.RenderBar();
  EXPECT_EQ(pixelAt(bar, 10), qRgb(10, 20, 30));
  EXPECT_EQ(pixelAt(bar, 85), qRgb(10, 20, 30));
  EXPECT_EQ(pixelAt(bar, 95), white);

  meter.LevelStyle(1);
  meter.Value(60);
  QDir().mkpath(QStringLiteral(TALLPOST_TEST_OUTPUT_DIR));
  meter.grab().save(QStringLiteral(TALLPOST_TEST_OUTPUT_DIR "/meter-60-levels.png"));
}

TEST_F(Meter, TextFollowsCalc100AndGargeText) {
  meter.show();
  meter.Max(200);
  meter.Value(50);
  EXPECT_EQ(meter.BarText(), QStringLiteral("50%"));
  meter.Calc100(true);
  EXPECT_EQ(meter.BarText(), QStringLiteral("25%"));
  meter.GargeText(QStringLiteral("処理中"));
  EXPECT_EQ(meter.BarText(), QStringLiteral("処理中"));
}

TEST_F(Meter, ValuesAreToldToTheOwnerAndHoldItsWindowUntilTheEnd) {
  meter.Value(10);
  EXPECT_TRUE(owner.calls.isEmpty()) << "not shown yet";
  meter.show();
  meter.Value(10);
  EXPECT_FALSE(owner.isEnabled());
  meter.Value(40);
  ASSERT_EQ(owner.calls.size(), 2);
  EXPECT_EQ(owner.calls[1].value, 40);
  EXPECT_EQ(owner.calls[1].from, QStringLiteral("frmSimpleMeter"));
  EXPECT_EQ(owner.calls[1].operate, 0);
  meter.Value(100);
  EXPECT_FALSE(meter.isVisible()) << "reaching Max closes the meter";
  EXPECT_TRUE(owner.isEnabled());
  EXPECT_TRUE(dialogs.messages.isEmpty()) << "no question at the end";
}

TEST_F(Meter, AValueAboveMaxCompletesTheBarAndCloses) {
  meter.show();
  meter.Value(20);
  meter.Value(150);
  EXPECT_EQ(meter.Value(), 100);
  EXPECT_FALSE(meter.isVisible());
  EXPECT_TRUE(owner.isEnabled());
}

TEST_F(Meter, SleepBeforeUnloadDelaysTheClose) {
  meter.show();
  meter.SleepBeforeUnload(150);
  QElapsedTimer t;
  t.start();
  meter.Value(100);
  EXPECT_GE(t.elapsed(), 140);
  EXPECT_FALSE(meter.isVisible());
}

TEST_F(Meter, UserStopAskedAnsweredNoKeepsRunning) {
  meter.UserStopValue(-9999);
  meter.show();
  meter.Value(30);
  dialogs.AnswerNext(Dialogs::Answer::No);
  EXPECT_FALSE(meter.close());
  ASSERT_EQ(dialogs.messages.size(), 1);
  EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("中断してよろしいですか？"));
  EXPECT_EQ(dialogs.messages[0].buttons, Dialogs::Buttons::YesNo);
  EXPECT_EQ(dialogs.messages[0].icon, Dialogs::Icon::Question);
  EXPECT_TRUE(meter.isVisible());
  EXPECT_FALSE(meter.UserStop());
  EXPECT_FALSE(owner.isEnabled());
  EXPECT_EQ(owner.calls.last().value, 30);
}

TEST_F(Meter, UserStopAnsweredYesTellsTheOwnerAndEnablesItsWindow) {
  meter.UserStopValue(-9999);
  int stops = 0;
  QObject::connect(&meter, &frmSimpleMeter::OnUserStop, &meter, [&](bool&) { ++stops; });
  meter.show();
  meter.Value(30);
  dialogs.AnswerNext(Dialogs::Answer::Yes);
  EXPECT_TRUE(meter.close());
  EXPECT_EQ(owner.calls.last().value, -9999);
  EXPECT_EQ(owner.calls.last().from, QStringLiteral("frmSimpleMeter"));
  EXPECT_TRUE(meter.UserStop());
  EXPECT_EQ(stops, 1);
  EXPECT_FALSE(meter.isVisible());
  EXPECT_TRUE(owner.isEnabled());
}

TEST_F(Meter, TheOwnerMayCancelAStopAndAStopMayBeForbidden) {
  QObject::connect(&meter, &frmSimpleMeter::OnUserStop, &meter, [](bool& cancel) { cancel = true; });
  meter.HaltConfirm(false);
  meter.show();
  meter.Value(30);
  EXPECT_FALSE(meter.close());
  EXPECT_TRUE(meter.UserStop());
  EXPECT_TRUE(meter.isVisible());
  EXPECT_TRUE(dialogs.messages.isEmpty());

  frmSimpleMeter locked(dialogs);
  locked.AllowUserStop(false);
  locked.show();
  locked.Value(30);
  EXPECT_FALSE(locked.close());
  EXPECT_TRUE(locked.isVisible());
  EXPECT_FALSE(locked.UserStop());
  locked.Halt();
  EXPECT_FALSE(locked.isVisible()) << "the owner can always end it";
}

TEST_F(Meter, HaltClosesWithoutQuestionOrCallBack) {
  meter.show();
  meter.Value(30);
  const qsizetype calls = owner.calls.size();
  meter.Halt();
  EXPECT_FALSE(meter.isVisible());
  EXPECT_EQ(owner.calls.size(), calls);
  EXPECT_TRUE(dialogs.messages.isEmpty());
  EXPECT_TRUE(owner.isEnabled());
  meter.HoldForm(nullptr);
  EXPECT_TRUE(meter.HoldForms().isEmpty());
}

// --- the driver ---------------------------------------------------------------

TEST(MeterDriverTest, LiveProgressWhenShowMeterIsOne) {
  ScriptedDialogs dialogs;
  AppSettings settings;
  settings.ShowMeter = 1;
  Owner editor;
  editor.show();
  MeterDriver driver(settings, dialogs);
  const MeterDriver::Setup setup = MeterDriver::Conversion(&editor);
  EXPECT_EQ(driver.Handle(0, QString(), 1, setup), MeterDriver::Call::Opened);
  frmSimpleMeter* m = driver.Meter();
  ASSERT_NE(m, nullptr);
  EXPECT_TRUE(m->isVisible());
  EXPECT_EQ(m->windowTitle(), QStringLiteral("たかぽすと - 縦書変換中"));
  EXPECT_EQ(m->UserStopValue(), -9999);
  EXPECT_EQ(m->CallBackMethodName(), QStringLiteral("CallBack_TategakiEngine"));
  EXPECT_EQ(driver.Handle(40, QString(), 0, setup), MeterDriver::Call::Progress);
  EXPECT_EQ(m->Value(), 40);
  EXPECT_FALSE(editor.isEnabled());
  // The meter reports back through the owner's method; the driver recognises it.
  ASSERT_FALSE(editor.calls.isEmpty());
  EXPECT_EQ(editor.calls.last().value, 40);
  EXPECT_EQ(driver.Handle(40, frmSimpleMeter::MeterName(), 0, setup), MeterDriver::Call::FromMeter);
  EXPECT_EQ(driver.Handle(100, QString(), 2, setup), MeterDriver::Call::Closed);
  EXPECT_EQ(driver.Meter(), nullptr);
  EXPECT_TRUE(editor.isEnabled());
}

TEST(MeterDriverTest, WorkingTextOnAnEmptyBarOtherwise) {
  ScriptedDialogs dialogs;
  AppSettings settings;
  settings.ShowMeter = 0;
  QWidget editor;
  editor.show();
  MeterDriver driver(settings, dialogs);
  const MeterDriver::Setup setup = MeterDriver::SendingOne(&editor);
  driver.Handle(0, QString(), 1, setup);
  frmSimpleMeter* m = driver.Meter();
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->BarText(), QStringLiteral("処理中"));
  EXPECT_EQ(m->LevelStyle(), 1);
  EXPECT_EQ(m->Levels().size(), 100);
  EXPECT_FALSE(editor.isEnabled());
  for (int v : {35, 45, 65, 98}) driver.Handle(v, QString(), 0, setup);
  EXPECT_EQ(m->Value(), 0) << "the bar stays empty";
  EXPECT_TRUE(m->isVisible());
  EXPECT_FALSE(m->close()) << "sending cannot be stopped";
  EXPECT_TRUE(dialogs.messages.isEmpty());
  driver.Handle(100, QString(), 2, setup);
  EXPECT_TRUE(editor.isEnabled());
  EXPECT_EQ(MeterDriver::BatchSending(&editor).Caption, QStringLiteral("たかぽすと - 一括送信処理中"));
  EXPECT_FALSE(MeterDriver::BatchSending(&editor).AllowUserStop);
}

}  // namespace

#include "MeterTest.moc"
