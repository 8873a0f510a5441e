#include "console/bus_scan_dialog.h"

#include <QDir>
#include <QFile>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QTableWidget>
#include <QVBoxLayout>
#include <exception>

#include "console/dialogs.h"
#include "console/replace_file.h"

namespace veltra {
namespace {

QSpinBox* Field(const char* name, const QString& caption, int min, int max, int value) {
  auto* box = new QSpinBox;
  box->setObjectName(name);
  box->setAccessibleName(caption);
  box->setRange(min, max);
  box->setValue(value);
  return box;
}

QPushButton* Button(const char* name, const QString& caption) {
  auto* button = new QPushButton(caption);
  button->setObjectName(name);
  button->setAccessibleName(caption);
  return button;
}

const std::vector<ScanRow> kNoRows;

}  // namespace

BusScanDialog::BusScanDialog(ScanHooks hooks, Dialogs& dialogs, QWidget* parent)
    : QDialog(parent), hooks_(std::move(hooks)), dialogs_(dialogs) {
  setObjectName("BusScan");
  setWindowTitle(QStringLiteral("Bus Scan"));
  setAccessibleName(QStringLiteral("Bus Scan"));
  setModal(false);

  SubnetId = Field("SubnetId", QStringLiteral("Subnet ID"), 0, 65535, 1);
  From = Field("From", QStringLiteral("From"), kFirstScanAddress, kLastScanAddress, kFirstScanAddress);
  To = Field("To", QStringLiteral("To"), kFirstScanAddress, kLastScanAddress, kLastScanAddress);
  auto* fields = new QFormLayout;
  fields->addRow(QStringLiteral("Subnet ID"), SubnetId);
  fields->addRow(QStringLiteral("From"), From);
  fields->addRow(QStringLiteral("To"), To);

  StartButton = Button("Start", QStringLiteral("Start"));
  StopButton = Button("Stop", QStringLiteral("Stop"));
  ExportButton = Button("Export", QStringLiteral("Export\u2026"));
  StopButton->setEnabled(false);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(StartButton);
  buttons->addWidget(StopButton);
  buttons->addStretch(1);
  buttons->addWidget(ExportButton);

  Progress = new QProgressBar;
  Progress->setObjectName("Progress");
  Progress->setAccessibleName(QStringLiteral("Progress"));
  Progress->setValue(0);
  Table = new QTableWidget(0, 4);
  Table->setObjectName("ScanTable");
  Table->setAccessibleName(QStringLiteral("Modules found"));
  Table->setHorizontalHeaderLabels(
      {QStringLiteral("Address"), QStringLiteral("Module Type"), QStringLiteral("Version"), QStringLiteral("Reply (ms)")});
  Table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  Table->verticalHeader()->setVisible(false);
  Table->horizontalHeader()->setStretchLastSection(true);
  Status = new QLabel;
  Status->setObjectName("ScanStatus");

  auto* column = new QVBoxLayout(this);
  column->addLayout(fields);
  column->addLayout(buttons);
  column->addWidget(Progress);
  column->addWidget(Table, 1);
  column->addWidget(Status);

  connect(StartButton, &QPushButton::clicked, this, &BusScanDialog::StartClick);
  connect(StopButton, &QPushButton::clicked, this, &BusScanDialog::StopClick);
  connect(ExportButton, &QPushButton::clicked, this, &BusScanDialog::ExportClick);
}

const std::vector<ScanRow>& BusScanDialog::Rows() const { return scan_ ? scan_->Rows() : kNoRows; }

void BusScanDialog::SetStartHeld(const QString& reason) {
  startHeld_ = reason;
  ShowStartAvailable();
}

void BusScanDialog::ShowStartAvailable() {
  if (Running()) return;
  StartButton->setEnabled(startHeld_.isEmpty());
  StartButton->setToolTip(startHeld_);
}

void BusScanDialog::StartClick() {
  if (Running() || !startHeld_.isEmpty()) return;
  if (From->value() > To->value()) {
    dialogs_.Message(QStringLiteral("\"From\" is above \"To\""));
    return;
  }
  scan_.emplace(From->value(), To->value());
  Table->setRowCount(0);
  Progress->setRange(0, scan_->AddressCount());
  Progress->setValue(0);
  StartButton->setEnabled(false);
  StopButton->setEnabled(true);
  ExportButton->setEnabled(false);
  for (QSpinBox* box : {SubnetId, From, To}) box->setEnabled(false);
  Status->setText(QStringLiteral("Scanning…"));
  if (hooks_.running) hooks_.running(true);
  QTimer::singleShot(0, this, &BusScanDialog::SendNext);
}

void BusScanDialog::StopClick() {
  if (!Running()) return;
  scan_->Stop();
  Finish(QStringLiteral("Stopped"));
}

void BusScanDialog::SendNext() {
  if (!scan_ || waiting_) return;
  if (scan_->Finished()) {
    if (!scan_->Stopped()) Finish(QStringLiteral("Done"));
    return;
  }
  waiting_ = true;
  try {
    hooks_.ask(scan_->Build(hooks_.addressing(SubnetId->value())),
               [this](const ExchangeResult& result) { Answered(result); });
  } catch (const std::exception& error) {  // a LinkError with the system's reason, mostly
    waiting_ = false;
    scan_->Stop();
    Finish(QStringLiteral("Stopped"));
    dialogs_.ShowError(QString::fromStdString(error.what()));
  }
}

void BusScanDialog::Answered(const ExchangeResult& result) {
  if (!waiting_) return;
  waiting_ = false;
  if (!scan_ || scan_->Finished()) return;
  if (result.outcome == ExchangeOutcome::NotSent || result.outcome == ExchangeOutcome::Refused) {
    scan_->Stop();
    Finish(QStringLiteral("Stopped"));
    dialogs_.Message(result.outcome == ExchangeOutcome::NotSent ? QStringLiteral("The link is not open")
                                                                : QStringLiteral("The link no longer takes data"));
    return;
  }
  const std::size_t rowsBefore = scan_->Rows().size();
  const bool versionRead = scan_->Pending()->query == ScanQuery::Version;
  // Only the answer to this very request: what answered an earlier one, or
  // nothing of ours, never reaches the dialog.
  if (result.outcome == ExchangeOutcome::Answered)
    scan_->Replied(result.decoded, std::chrono::duration<double, std::milli>(result.roundTrip).count());
  else
    scan_->TimedOut();
  // A new row after the type; its version fills in once read.
  if (scan_->Rows().size() > rowsBefore || versionRead) {
    const ScanRow& row = scan_->Rows().back();
    if (scan_->Rows().size() > rowsBefore) Table->insertRow(Table->rowCount());
    const int at = Table->rowCount() - 1;
    const QString cells[] = {QString::number(row.address), QString::fromStdString(row.moduleType),
                             QString::fromStdString(row.version), QString::fromStdString(FormatReplyMs(row.replyMs))};
    for (int c = 0; c < 4; ++c) Table->setItem(at, c, new QTableWidgetItem(cells[c]));
  }
  ShowProgress();
  // Over with its last answer: the window's requests need not wait for the
  // next turn of the event loop.
  if (scan_->Finished())
    Finish(QStringLiteral("Done"));
  else
    QTimer::singleShot(0, this, &BusScanDialog::SendNext);
}

void BusScanDialog::ShowProgress() { Progress->setValue(scan_->AddressesDone()); }

void BusScanDialog::Finish(const QString& status) {
  waiting_ = false;
  ShowProgress();
  StopButton->setEnabled(false);
  ExportButton->setEnabled(true);
  for (QSpinBox* box : {SubnetId, From, To}) box->setEnabled(true);
  Status->setText(QStringLiteral("%1: %2 modules").arg(status).arg(scan_->Rows().size()));
  if (hooks_.running) hooks_.running(false);
  ShowStartAvailable();
}

void BusScanDialog::ExportClick() {
  const QString path = dialogs_.SaveFileName(QStringLiteral("Export"), QDir::home().filePath("bus-scan.csv"),
                                             QStringLiteral("CSV files (*.csv);;All files (*)"));
  if (path.isEmpty()) return;
  if (const auto failure = ReplaceFile(QFile::encodeName(path).toStdString(), ScanCsv(Rows())))
    dialogs_.Warning(QStringLiteral("The scan could not be exported."), QString::fromLocal8Bit(failure->c_str()));
}

}  // namespace veltra
