#include "gui/meter/MeterDriver.h"

#include "gui/meter/frmSimpleMeter.h"
#include "store/AppSettings.h"
#include "store/AppState.h"

#include <QCoreApplication>
#include <QWidget>

MeterDriver::MeterDriver(const AppSettings& settings, Dialogs& dialogs) : settings_(settings), dialogs_(dialogs) {}

MeterDriver::~MeterDriver() = default;

QString MeterDriver::WorkingText() { return QStringLiteral("処理中"); }

MeterDriver::Setup MeterDriver::BatchSending(QWidget* mainWindow) {
  Setup s;
  s.Caption = AppState::ProgramTitle() + QStringLiteral(" - 一括送信処理中");
  s.Owner = mainWindow;
  s.AllowUserStop = false;
  return s;
}

MeterDriver::Setup MeterDriver::SendingOne(QWidget* editor) {
  Setup s;
  s.Caption = AppState::ProgramTitle() + QStringLiteral(" - 送信処理中");
  s.Owner = editor;
  s.AllowUserStop = false;
  s.More = [](frmSimpleMeter& m) {
    m.LevelStyle(1);
    m.GetLMSVG(QColor(100, 255, 100), QColor(255, 255, 255));
  };
  return s;
}

MeterDriver::Setup MeterDriver::Conversion(QWidget* editor) {
  Setup s;
  s.Caption = AppState::ProgramTitle() + QStringLiteral(" - 縦書変換中");
  s.Owner = editor;
  s.CallBackMethodName = QStringLiteral("CallBack_TategakiEngine");
  s.UserStopValue = kConversionStopValue;
  return s;
}

MeterDriver::Call MeterDriver::Handle(int nValue, const QString& szCallBackFrom, int nOperate, const Setup& setup) {
  if (nOperate == 1) {
    meter_ = std::make_unique<frmSimpleMeter>(dialogs_);
    frmSimpleMeter& m = *meter_;
    m.CallBackReceiver(setup.Owner);
    if (!setup.CallBackMethodName.isEmpty()) m.CallBackMethodName(setup.CallBackMethodName);
    m.UserStopValue(setup.UserStopValue);
    m.HoldForm(setup.Owner);
    m.Position(1);
    m.setWindowTitle(setup.Caption);
    m.AllowUserStop(setup.AllowUserStop);
    if (setup.More) setup.More(m);
    m.show();
    QCoreApplication::processEvents();
    if (settings_.ShowMeter != 1) {
      m.GargeText(WorkingText());
      m.Value(0);
    }
    return Call::Opened;
  }
  if (nOperate == 2) {
    if (meter_) {
      meter_->Halt();
      // The meter may be inside its own call-back right now.
      meter_.release()->deleteLater();
    }
    return Call::Closed;
  }
  if (szCallBackFrom == frmSimpleMeter::MeterName()) return Call::FromMeter;
  if (settings_.ShowMeter == 1 && meter_) meter_->Value(nValue);
  return Call::Progress;
}
