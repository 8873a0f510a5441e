#include "console/bus_scan_dialog.h"

#include <QDir>
#include <QFileInfo>
#include <QScrollBar>
#include <algorithm>
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

  subnetId_ = Field("SubnetId", QStringLiteral("Subnet ID"), 0, 65535, 1);
  from_ = Field("From", QStringLiteral("From"), kFirstScanAddress, kLastScanAddress, kFirstScanAddress);
  to_ = Field("To", QStringLiteral("To"), kFirstScanAddress, kLastScanAddress, kLastScanAddress);
  auto* fields = new QFormLayout;
  fields->addRow(QStringLiteral("Subnet ID"), subnetId_);
  fields->addRow(QStringLiteral("From"), from_);
  fields->addRow(QStringLiteral("To"), to_);

  start_ = Button("Start", QStringLiteral("Start"));
  stop_ = Button("Stop", QStringLiteral("Stop"));
  export_ = Button("Export", QStringLiteral("Export\u2026"));
  stop_->setEnabled(false);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(start_);
  buttons->addWidget(stop_);
  buttons->addStretch(1);
  buttons->addWidget(export_);

  progress_ = new QProgressBar;
  progress_->setObjectName("Progress");
  progress_->setAccessibleName(QStringLiteral("Progress"));
  progress_->setValue(0);
  table_ = new QTableWidget(0, 4);
  table_->setObjectName("ScanTable");
  table_->setAccessibleName(QStringLiteral("Modules found"));
  table_->setHorizontalHeaderLabels(
      {QStringLiteral("Address"), QStringLiteral("Module Type"), QStringLiteral("Version"), QStringLiteral("Reply (ms)")});
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->verticalHeader()->setVisible(false);
  // Every column wide enough for its title and the texts modules answer
  // with ("Curtain-4 V1.0"); the dialog opens wide enough for all of them.
  const QFontMetrics metrics = table_->fontMetrics();
  const int padding = metrics.horizontalAdvance(QStringLiteral("MM"));
  const QString widest[] = {QStringLiteral("Address"), QStringLiteral("Module Type"),
                            QStringLiteral("Curtain-4 V1.0 "), QStringLiteral("Reply (ms)")};
  for (int c = 0; c < 4; ++c)
    table_->setColumnWidth(c, metrics.horizontalAdvance(widest[c]) + padding);
  table_->horizontalHeader()->setStretchLastSection(true);
  status_ = new QLabel;
  status_->setObjectName("ScanStatus");

  auto* column = new QVBoxLayout(this);
  column->addLayout(fields);
  column->addLayout(buttons);
  column->addWidget(progress_);
  column->addWidget(table_, 1);
  column->addWidget(status_);

  connect(start_, &QPushButton::clicked, this, &BusScanDialog::StartClick);
  connect(stop_, &QPushButton::clicked, this, &BusScanDialog::StopClick);
  connect(export_, &QPushButton::clicked, this, &BusScanDialog::ExportClick);
}

const std::vector<ScanRow>& BusScanDialog::Rows() const { return scan_ ? scan_->Rows() : kNoRows; }

void BusScanDialog::SetStartHeld(const QString& reason) {
  startHeld_ = reason;
  ShowStartAvailable();
}

void BusScanDialog::ShowStartAvailable() {
  if (Running()) return;
  start_->setEnabled(startHeld_.isEmpty());
  start_->setToolTip(startHeld_);
}

void BusScanDialog::StartClick() {
  if (Running() || !startHeld_.isEmpty()) return;
  if (from_->value() > to_->value()) {
    dialogs_.Message(QStringLiteral("\"From\" is above \"To\""));
    return;
  }
  scan_.emplace(from_->value(), to_->value());
  table_->setRowCount(0);
  progress_->setRange(0, scan_->AddressCount());
  progress_->setValue(0);
  start_->setEnabled(false);
  stop_->setEnabled(true);
  export_->setEnabled(false);
  for (QSpinBox* box : {subnetId_, from_, to_}) box->setEnabled(false);
  status_->setText(QStringLiteral("Scanning…"));
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
    hooks_.ask(scan_->Build(hooks_.addressing(subnetId_->value())),
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
    if (scan_->Rows().size() > rowsBefore) table_->insertRow(table_->rowCount());
    const int at = table_->rowCount() - 1;
    const QString cells[] = {QString::number(row.address), QString::fromStdString(row.moduleType),
                             QString::fromStdString(row.version), QString::fromStdString(FormatReplyMs(row.replyMs))};
    for (int c = 0; c < 4; ++c) table_->setItem(at, c, new QTableWidgetItem(cells[c]));
  }
  ShowProgress();
  // Over with its last answer: the window's requests need not wait for the
  // next turn of the event loop.
  if (scan_->Finished())
    Finish(QStringLiteral("Done"));
  else
    QTimer::singleShot(0, this, &BusScanDialog::SendNext);
}

void BusScanDialog::ShowProgress() { progress_->setValue(scan_->AddressesDone()); }

void BusScanDialog::Finish(const QString& status) {
  waiting_ = false;
  ShowProgress();
  stop_->setEnabled(false);
  export_->setEnabled(true);
  for (QSpinBox* box : {subnetId_, from_, to_}) box->setEnabled(true);
  status_->setText(QStringLiteral("%1: %2 modules").arg(status).arg(scan_->Rows().size()));
  if (hooks_.running) hooks_.running(false);
  ShowStartAvailable();
}

void BusScanDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // The table's columns side by side, with its frame and scroll bar.
  int columns = 0;
  for (int c = 0; c < table_->columnCount(); ++c) columns += table_->columnWidth(c);
  const int needed = columns + 2 * table_->frameWidth() + table_->verticalScrollBar()->sizeHint().width() +
                     layout()->contentsMargins().left() + layout()->contentsMargins().right();
  if (width() < needed) resize(needed, height());
}

void BusScanDialog::SetSubnet(int subnet) { subnetId_->setValue(subnet); }

void BusScanDialog::ExportClick() {
  const QString folder = exportFolder_.isEmpty() ? QDir::homePath() : exportFolder_;
  const QString path = dialogs_.SaveFileName(QStringLiteral("Export"), QDir(folder).filePath("bus-scan.csv"),
                                             QStringLiteral("CSV files (*.csv);;All files (*)"));
  if (path.isEmpty()) return;
  if (const auto failure = ReplaceFile(QFile::encodeName(path).toStdString(), ScanCsv(Rows())))
    dialogs_.Warning(QStringLiteral("The scan could not be exported."), QString::fromLocal8Bit(failure->c_str()));
  else
    exportFolder_ = QFileInfo(path).absolutePath();
}

}  // namespace veltra
