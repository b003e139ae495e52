#include "gui/AboutWindow.h"

#include "support/VersionText.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

AboutWindow::AboutWindow(const QString& programTitle, const QString& version, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmAbout"));
  setWindowTitle(programTitle);
  auto* layout = new QVBoxLayout(this);
  auto* title = new QLabel(programTitle, this);
  title->setObjectName(QStringLiteral("lblTitle"));
  QFont big = title->font();
  big.setPointSizeF(big.pointSizeF() * 1.8);
  big.setBold(true);
  title->setFont(big);
  title->setAlignment(Qt::AlignCenter);
  auto* versionLabel = new QLabel(VersionLine(version), this);
  versionLabel->setObjectName(QStringLiteral("lblVersion"));
  versionLabel->setAlignment(Qt::AlignCenter);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addWidget(title);
  layout->addWidget(versionLabel);
  layout->addWidget(buttons);
}

QString AboutWindow::VersionLine(const QString& version) {
  return QStringLiteral("形式 ") + VersionText::ToFormalKanji(version);
}
