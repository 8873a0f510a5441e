#include "console/site_plan_dialog.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>
#include <exception>
#include <map>

#include "acceptance/report.h"
#include "acceptance/report_files.h"
#include "console/dialogs.h"

namespace veltra {
namespace {

QPushButton* Button(const char* name, const QString& caption) {
  auto* button = new QPushButton(caption);
  button->setObjectName(name);
  button->setAccessibleName(caption);
  return button;
}

QTableWidget* Table(const char* name, const QString& caption, const QStringList& headers) {
  auto* table = new QTableWidget(0, static_cast<int>(headers.size()));
  table->setObjectName(name);
  table->setAccessibleName(caption);
  table->setHorizontalHeaderLabels(headers);
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->verticalHeader()->setVisible(false);
  table->horizontalHeader()->setStretchLastSection(true);
  return table;
}

QString Text(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

SitePlanDialog::SitePlanDialog(SitePlanHooks hooks, Dialogs& dialogs, QWidget* parent)
    : QDialog(parent), hooks_(std::move(hooks)), dialogs_(dialogs) {
  setObjectName("SitePlan");
  setWindowTitle(QStringLiteral("Site Plan"));
  setAccessibleName(QStringLiteral("Site Plan"));
  setModal(false);

  OpenButton = Button("Open", QStringLiteral("Open\u2026"));
  PlanName = new QLabel(QStringLiteral("No plan open"));
  PlanName->setObjectName("PlanName");
  auto* top = new QHBoxLayout;
  top->addWidget(OpenButton);
  top->addWidget(PlanName, 1);

  From = new QSpinBox;
  From->setObjectName("From");
  From->setAccessibleName(QStringLiteral("From"));
  From->setRange(kFirstScanAddress, kLastScanAddress);
  To = new QSpinBox;
  To->setObjectName("To");
  To->setAccessibleName(QStringLiteral("To"));
  To->setRange(kFirstScanAddress, kLastScanAddress);
  To->setValue(kLastScanAddress);
  ScanButton = Button("Scan", QStringLiteral("Scan"));
  auto* scanRow = new QHBoxLayout;
  scanRow->addWidget(new QLabel(QStringLiteral("From")));
  scanRow->addWidget(From);
  scanRow->addWidget(new QLabel(QStringLiteral("To")));
  scanRow->addWidget(To);
  scanRow->addWidget(ScanButton);
  scanRow->addStretch(1);
  Modules = Table("PlannedAndFound", QStringLiteral("Planned beside found"),
                  {QStringLiteral("Address"), QStringLiteral("Name"), QStringLiteral("Planned"), QStringLiteral("Found"),
                   QStringLiteral("Result")});

  KeepGoing = new QCheckBox(QStringLiteral("Keep going after a failure"));
  KeepGoing->setObjectName("KeepGoing");
  ApplyButton = Button("Apply", QStringLiteral("Apply"));
  VerifyButton = Button("Verify", QStringLiteral("Verify"));
  TestButton = Button("Test", QStringLiteral("Test"));
  StopButton = Button("Stop", QStringLiteral("Stop"));
  ExportButton = Button("ExportReport", QStringLiteral("Export Report\u2026"));
  auto* buttons = new QHBoxLayout;
  for (QWidget* w : std::initializer_list<QWidget*>{ApplyButton, VerifyButton, TestButton, StopButton})
    buttons->addWidget(w);
  buttons->addWidget(KeepGoing);
  buttons->addStretch(1);
  buttons->addWidget(ExportButton);

  Progress = new QProgressBar;
  Progress->setObjectName("Progress");
  Progress->setAccessibleName(QStringLiteral("Progress"));
  Progress->setValue(0);
  Results = Table("Results", QStringLiteral("Results"),
                  {QStringLiteral("Item"), QStringLiteral("Result"), QStringLiteral("Details")});
  Prompt = new QLabel;
  Prompt->setObjectName("Prompt");
  Prompt->setWordWrap(true);
  Status = new QLabel;
  Status->setObjectName("SitePlanStatus");

  auto* column = new QVBoxLayout(this);
  column->addLayout(top);
  column->addLayout(scanRow);
  column->addWidget(Modules, 1);
  column->addLayout(buttons);
  column->addWidget(Progress);
  column->addWidget(Results, 2);
  column->addWidget(Prompt);
  column->addWidget(Status);

  wait_.setSingleShot(true);
  connect(&wait_, &QTimer::timeout, this, [this] {
    if (job_ != Job::Test || !test_) return;
    if (watching_) {
      watching_ = false;
      Prompt->clear();
      test_->WatchEnded();
    }
    Next();
  });
  connect(OpenButton, &QPushButton::clicked, this, &SitePlanDialog::OpenClick);
  connect(ScanButton, &QPushButton::clicked, this, &SitePlanDialog::ScanClick);
  connect(ApplyButton, &QPushButton::clicked, this, &SitePlanDialog::ApplyClick);
  connect(VerifyButton, &QPushButton::clicked, this, &SitePlanDialog::VerifyClick);
  connect(TestButton, &QPushButton::clicked, this, &SitePlanDialog::TestClick);
  connect(StopButton, &QPushButton::clicked, this, &SitePlanDialog::StopClick);
  connect(ExportButton, &QPushButton::clicked, this, &SitePlanDialog::ExportClick);
  ShowButtons();
}

SitePlanDialog::~SitePlanDialog() = default;

FrameForm SitePlanDialog::Form() const { return hooks_.addressing(plan_ ? plan_->subnet : 1).form; }

bool SitePlanDialog::LoadPlan(const QString& path) {
  if (Running()) return false;  // a run keeps its plan
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    dialogs_.Warning(QStringLiteral("The plan could not be read."), file.errorString());
    return false;
  }
  const QByteArray text = file.readAll();
  plan::ParseResult parsed = plan::ParsePlan(text.toStdString(), QFileInfo(path).fileName().toStdString());
  if (!parsed.plan) {
    QStringList problems;
    for (const plan::Error& e : parsed.errors) problems << Text(plan::Describe(e));
    dialogs_.Warning(QStringLiteral("The plan has mistakes."), problems.join('\n'));
    return false;
  }
  plan_ = std::move(parsed.plan);
  planPath_ = path;
  scan_.reset();
  test_.reset();
  PlanName->setText(QStringLiteral("%1: %2 modules").arg(QFileInfo(path).fileName()).arg(plan_->modules.size()));
  Results->setRowCount(0);
  ShowComparison();
  ShowButtons();
  emit planLoaded();
  return true;
}

std::map<int, QString> SitePlanDialog::ModuleNames() const {
  std::map<int, QString> names;
  if (plan_)
    for (const plan::Module& m : plan_->modules)
      if (!m.name.empty()) names[m.address] = Text(m.name);
  return names;
}

void SitePlanDialog::SetStartHeld(const QString& reason) {
  held_ = reason;
  ShowButtons();
}

void SitePlanDialog::ShowButtons() {
  const bool idle = job_ == Job::None;
  const bool can = idle && held_.isEmpty();
  OpenButton->setEnabled(idle);
  ScanButton->setEnabled(can);
  for (QPushButton* b : {ApplyButton, VerifyButton, TestButton}) {
    b->setEnabled(can && plan_.has_value());
    b->setToolTip(idle ? held_ : QString());
  }
  StopButton->setEnabled(!idle);
  ExportButton->setEnabled(idle && test_ != nullptr);
}

void SitePlanDialog::OpenClick() {
  if (!hooks_.openFileName) return;
  const QString path = hooks_.openFileName();
  if (!path.isEmpty()) LoadPlan(path);
}

void SitePlanDialog::Begin(Job job, int count) {
  job_ = job;
  waiting_ = false;
  Results->setRowCount(0);
  Prompt->clear();
  Progress->setRange(0, count);
  Progress->setValue(0);
  Status->setText(QStringLiteral("Running…"));
  ShowButtons();
  if (hooks_.running) hooks_.running(true);
  QTimer::singleShot(0, this, &SitePlanDialog::Next);
}

void SitePlanDialog::ScanClick() {
  if (Running() || !held_.isEmpty()) return;
  if (From->value() > To->value()) {
    dialogs_.Message(QStringLiteral("\"From\" is above \"To\""));
    return;
  }
  scan_.emplace(From->value(), To->value());
  Begin(Job::Scan, scan_->AddressCount());
}

void SitePlanDialog::ApplyClick() {
  if (Running() || !plan_ || !held_.isEmpty()) return;
  apply_.emplace(*plan_, KeepGoing->isChecked());
  Begin(Job::Apply, apply_->Count());
}

void SitePlanDialog::VerifyClick() {
  if (Running() || !plan_ || !held_.isEmpty()) return;
  verify_.emplace(*plan_, false);
  Begin(Job::Verify, verify_->Count());
}

void SitePlanDialog::TestClick() {
  if (Running() || !plan_ || !held_.isEmpty()) return;
  // Someone is at the window: input and identify steps ask the operator.
  test_ = std::make_unique<acceptance::AcceptanceRun>(*plan_, acceptance::RunOptions{true, false, 100});
  shownSteps_ = 0;
  testDate_ = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
  Begin(Job::Test, static_cast<int>(test_->Steps().size()));
}

void SitePlanDialog::StopClick() {
  if (!Running()) return;
  if (scan_) scan_->Stop();
  if (apply_) apply_->Stop();
  if (verify_) verify_->Stop();
  if (test_ && job_ == Job::Test) test_->Stop();
  Finish(QStringLiteral("Stopped"));
}

void SitePlanDialog::Ask(PreparedRequest request) {
  waiting_ = true;
  try {
    hooks_.ask(std::move(request), [this, job = job_](const ExchangeResult& result) {
      if (!waiting_ || job != job_) return;
      waiting_ = false;
      Took(result);
    });
  } catch (const std::exception& error) {
    waiting_ = false;
    Finish(QStringLiteral("Stopped"));
    dialogs_.ShowError(QString::fromStdString(error.what()));
  }
}

void SitePlanDialog::Next() {
  if (waiting_ || job_ == Job::None) return;
  const FrameForm form = Form();
  switch (job_) {
    case Job::Scan:
      Progress->setValue(scan_->AddressesDone());
      if (scan_->Finished()) return Finish(QStringLiteral("Scanned: %1 modules").arg(scan_->Rows().size()));
      return Ask(scan_->Build(hooks_.addressing(plan_ ? plan_->subnet : 1)));
    case Job::Apply:
      if (apply_->Finished())
        return Finish(QStringLiteral("Applied: %1 of %2 confirmed").arg(apply_->Confirmed()).arg(apply_->Count()));
      return Ask(apply_->Build(form));
    case Job::Verify:
      Progress->setRange(0, verify_->Count());
      Progress->setValue(verify_->Done());
      if (verify_->Finished()) {
        for (const acceptance::Drift& d : verify_->Differences())
          AddResult(Text(d.item), QStringLiteral("drift"),
                    Text(d.field + " is " + d.found + ", the plan says " + d.expected));
        const auto n = verify_->Differences().size();
        return Finish(n ? QStringLiteral("Verified: %1 differences from the plan").arg(n)
                        : QStringLiteral("Verified: no drift"));
      }
      return Ask(verify_->Build(form));
    case Job::Test: {
      for (; shownSteps_ < test_->Results().size(); ++shownSteps_) {
        const acceptance::StepResult& r = test_->Results()[shownSteps_];
        AddResult(Text(r.name), Text(std::string(acceptance::VerdictWord(r.verdict))), Text(r.evidence));
      }
      Progress->setValue(static_cast<int>(test_->Results().size()));
      const auto now = std::chrono::steady_clock::now();
      const auto due = test_->Next(now);
      if (!due) {
        Prompt->clear();
        return Finish(QStringLiteral("Tested: %1 passed, %2 failed, %3 manual")
                          .arg(test_->Count(acceptance::Verdict::Passed))
                          .arg(test_->Count(acceptance::Verdict::Failed))
                          .arg(test_->Count(acceptance::Verdict::Manual)));
      }
      switch (due->kind) {
        case acceptance::Due::Kind::Request:
          return Ask(test_->Build(form));
        case acceptance::Due::Kind::Pause:
        case acceptance::Due::Kind::Watch: {
          watching_ = due->kind == acceptance::Due::Kind::Watch;
          if (watching_) Prompt->setText(Text(due->text));
          const auto left = std::chrono::ceil<std::chrono::milliseconds>(due->until - now).count();
          wait_.start(static_cast<int>(std::max<long long>(left, 0)));
          return;
        }
        case acceptance::Due::Kind::Confirm: {
          const bool yes = dialogs_.Confirm(Text(due->text));
          if (job_ != Job::Test) return;  // stopped while asking
          test_->Confirmed(yes);
          QTimer::singleShot(0, this, &SitePlanDialog::Next);
          return;
        }
      }
      return;
    }
    case Job::None:
      return;
  }
}

void SitePlanDialog::Took(const ExchangeResult& result) {
  if (result.outcome == ExchangeOutcome::NotSent || result.outcome == ExchangeOutcome::Refused) {
    Finish(QStringLiteral("Stopped"));
    dialogs_.Message(result.outcome == ExchangeOutcome::NotSent ? QStringLiteral("The link is not open")
                                                                : QStringLiteral("The link no longer takes data"));
    return;
  }
  switch (job_) {
    case Job::Scan:
      if (result.outcome == ExchangeOutcome::Answered)
        scan_->Replied(result.decoded, std::chrono::duration<double, std::milli>(result.roundTrip).count());
      else
        scan_->TimedOut();
      ShowComparison();
      break;
    case Job::Apply: {
      apply_->Took(result);
      const acceptance::ItemResult& r = apply_->Results().back();
      AddResult(Text(r.item), r.ok ? QStringLiteral("confirmed") : QStringLiteral("failed"), Text(r.outcome));
      Progress->setValue(static_cast<int>(apply_->Results().size()));
      break;
    }
    case Job::Verify:
      verify_->Took(result);
      break;
    case Job::Test:
      test_->Took(result, std::chrono::steady_clock::now());
      break;
    case Job::None:
      return;
  }
  QTimer::singleShot(0, this, &SitePlanDialog::Next);
}

void SitePlanDialog::Heard(const UnmatchedFrame& frame) {
  if (job_ != Job::Test || !test_ || !watching_) return;
  if (test_->Heard(frame.unit.bytes, Form())) {
    wait_.stop();
    watching_ = false;
    Prompt->clear();
    QTimer::singleShot(0, this, &SitePlanDialog::Next);
  }
}

void SitePlanDialog::Finish(const QString& status) {
  wait_.stop();
  watching_ = false;
  Prompt->clear();
  waiting_ = false;
  job_ = Job::None;
  Status->setText(status);
  if (hooks_.running) hooks_.running(false);
  ShowButtons();
}

void SitePlanDialog::AddResult(const QString& item, const QString& result, const QString& details) {
  const int row = Results->rowCount();
  Results->insertRow(row);
  Results->setItem(row, 0, new QTableWidgetItem(item));
  Results->setItem(row, 1, new QTableWidgetItem(result));
  Results->setItem(row, 2, new QTableWidgetItem(details));
}

void SitePlanDialog::ShowComparison() {
  struct Row {
    const plan::Module* planned = nullptr;
    const ScanRow* found = nullptr;
  };
  std::map<int, Row> rows;
  if (plan_)
    for (const plan::Module& m : plan_->modules) rows[m.address].planned = &m;
  if (scan_)
    for (const ScanRow& r : scan_->Rows()) rows[r.address].found = &r;
  Modules->setRowCount(0);
  for (const auto& [address, row] : rows) {
    QString result;
    if (!scan_) {
      result = QString();
    } else if (row.planned && row.found) {
      result = !row.planned->type || *row.planned->type == row.found->moduleType ? QStringLiteral("matched")
                                                                                  : QStringLiteral("type differs");
    } else if (row.planned) {
      // Only an address the scan has asked is known to be silent.
      const bool asked = address >= From->value() && address < From->value() + scan_->AddressesDone();
      result = asked ? QStringLiteral("missing") : QString();
    } else {
      result = QStringLiteral("unplanned");
    }
    const int at = Modules->rowCount();
    Modules->insertRow(at);
    const QString cells[] = {QString::number(address), row.planned ? Text(row.planned->name) : QString(),
                             row.planned ? Text(row.planned->type.value_or("any")) : QString(),
                             row.found ? Text(row.found->moduleType) : QString(), result};
    for (int c = 0; c < 5; ++c) Modules->setItem(at, c, new QTableWidgetItem(cells[c]));
  }
}

void SitePlanDialog::ExportClick() {
  if (!test_ || !plan_) return;
  const QString path = dialogs_.SaveFileName(QStringLiteral("Export Report"),
                                             QDir::home().filePath(QStringLiteral("handover.pdf")),
                                             QStringLiteral("PDF files (*.pdf);;HTML files (*.html)"));
  if (path.isEmpty()) return;
  acceptance::ReportContext c;
  c.planFile = planPath_.toStdString();
  c.site = plan_->site.empty() ? QFileInfo(planPath_).fileName().toStdString() : plan_->site;
  c.planSha256 = acceptance::FileSha256(c.planFile).value_or("(unreadable)");
  c.tool = "veltra " + QCoreApplication::applicationVersion().toStdString();
  c.date = testDate_.toStdString();
  c.link = hooks_.linkText ? hooks_.linkText() : std::string();
  const std::string html = acceptance::ReportHtml(*test_, c);
  const std::optional<std::string> failure =
      path.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive)
          ? acceptance::WritePdf(html, QFile::encodeName(path).toStdString(), "Handover report: " + c.site)
          : acceptance::WriteTextFile(html, QFile::encodeName(path).toStdString());
  if (failure) dialogs_.Warning(QStringLiteral("The report could not be written."), Text(*failure));
}

}  // namespace veltra
