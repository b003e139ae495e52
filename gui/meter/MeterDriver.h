#pragma once

#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

class Dialogs;
class frmSimpleMeter;
class QWidget;
struct AppSettings;

// The call-back convention of the long jobs, kept once for every owner: the
// owner's call-back method hands each call to its driver.
//   nOperate 1: make, set up and show the meter;
//   nOperate 2: close it at once and let it go;
//   otherwise:  progress from the job (shown only when ShowMeter is 1), or a
//               report from the meter itself (its name in szCallBackFrom).
class MeterDriver {
 public:
  struct Setup {
    QString Caption;
    QWidget* Owner = nullptr;  // receiver and hold form; the meter is centred over it
    bool AllowUserStop = true;
    QString CallBackMethodName;  // set only where the owner wants the meter's reports
    int UserStopValue = -1;
    std::function<void(frmSimpleMeter&)> More;  // anything else the job wants
  };
  // The three jobs of the program.
  static Setup BatchSending(QWidget* mainWindow);
  static Setup SendingOne(QWidget* editor);
  static Setup Conversion(QWidget* editor);
  static constexpr int kConversionStopValue = -9999;
  static QString WorkingText();  // "処理中"

  enum class Call { Opened, Closed, Progress, FromMeter };

  MeterDriver(const AppSettings& settings, Dialogs& dialogs);
  ~MeterDriver();
  Call Handle(int nValue, const QString& szCallBackFrom, int nOperate, const Setup& setup);
  frmSimpleMeter* Meter() const { return meter_.get(); }

 private:
  const AppSettings& settings_;
  Dialogs& dialogs_;
  std::unique_ptr<frmSimpleMeter> meter_;
};
