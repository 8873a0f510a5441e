#include "monitor/bus_monitor_widget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QSpinBox>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <set>

#include "history/history_export.h"
#include "protocol/command_catalogue.h"

namespace veltra {
namespace {

constexpr int kTickMs = 100;

QLabel* Label(const QString& text, QWidget* buddy) {
  auto* label = new QLabel(text);
  label->setBuddy(buddy);
  return label;
}

}  // namespace

BusMonitorWidget::BusMonitorWidget(const std::string& historyPath, std::int64_t session, BusMonitorHooks hooks,
                                   QWidget* parent)
    : QWidget(parent), session_(session), hooks_(std::move(hooks)) {
  setObjectName("BusMonitor");
  setWindowTitle(QStringLiteral("Bus Monitor"));
  model_ = new BusMonitorModel(historyPath, this);

  AddressFilter = new QSpinBox;
  AddressFilter->setObjectName("AddressFilter");
  AddressFilter->setRange(-1, 255);
  AddressFilter->setSpecialValueText(QStringLiteral("Any"));
  AddressFilter->setValue(-1);
  CommandFilter = new QComboBox;
  CommandFilter->setObjectName("CommandFilter");
  CommandFilter->addItem(QStringLiteral("Any"));
  std::set<std::string_view> names;
  for (const WireCommand& c : WireCommands()) names.insert(c.name);
  for (const std::string_view name : names) CommandFilter->addItem(QString::fromUtf8(name.data(), static_cast<int>(name.size())));
  DirectionFilter = new QComboBox;
  DirectionFilter->setObjectName("DirectionFilter");
  DirectionFilter->addItems({QStringLiteral("Any"), QStringLiteral("Sent"), QStringLiteral("Received")});
  FailuresOnly = new QCheckBox(QStringLiteral("&Failures only"));
  FailuresOnly->setObjectName("FailuresOnly");
  FailuresOnly->setToolTip(QStringLiteral("Status other than OK, no reply, bad frames and noise"));
  SearchText = new QLineEdit;
  SearchText->setObjectName("SearchText");
  SearchText->setPlaceholderText(QStringLiteral("Text in any column"));
  SearchText->setClearButtonEnabled(true);

  Span = new QComboBox;
  Span->setObjectName("Span");
  Span->addItems({QStringLiteral("This session"), QStringLiteral("Whole history"), QStringLiteral("History since")});
  Since = new QDateTimeEdit(QDateTime::currentDateTime().addSecs(-3600));
  Since->setObjectName("Since");
  Since->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
  Since->setCalendarPopup(true);
  Since->setEnabled(false);
  // Tool buttons: they act on the panel and send nothing, so the window's
  // holding of its request buttons leaves them be.
  PauseButton = new QToolButton;
  PauseButton->setText(QStringLiteral("&Pause"));
  PauseButton->setObjectName("PauseButton");
  PauseButton->setCheckable(true);
  PauseButton->setToolTip(QStringLiteral("Stop adding rows; frames go on being recorded and are shown after"));
  FollowNewest = new QCheckBox(QStringLiteral("Follow &newest"));
  FollowNewest->setObjectName("FollowNewest");
  FollowNewest->setChecked(true);
  ExportButton = new QToolButton;
  ExportButton->setText(QStringLiteral("&Export\u2026"));
  ExportButton->setObjectName("ExportButton");
  ExportButton->setToolTip(QStringLiteral("The rows the filters show, as CSV, JSON lines or pcap"));
  Status = new QLabel;
  Status->setObjectName("Status");

  Table = new QTableView;
  Table->setObjectName("Frames");
  Table->setModel(model_);
  Table->setSelectionBehavior(QAbstractItemView::SelectRows);
  Table->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  Table->setWordWrap(false);
  Table->verticalHeader()->hide();
  Table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  Table->verticalHeader()->setDefaultSectionSize(Table->fontMetrics().height() + 6);
  Table->horizontalHeader()->setStretchLastSection(true);
  const int widths[BusMonitorModel::ColumnCount] = {170, 170, 70, 55, 90, 110, 110, 280, 75, 120};
  for (int c = 0; c < BusMonitorModel::ColumnCount; ++c) Table->setColumnWidth(c, widths[c]);

  auto* filters = new QHBoxLayout;
  filters->addWidget(Label(QStringLiteral("&Address:"), AddressFilter));
  filters->addWidget(AddressFilter);
  filters->addWidget(Label(QStringLiteral("&Command:"), CommandFilter));
  filters->addWidget(CommandFilter);
  filters->addWidget(Label(QStringLiteral("&Direction:"), DirectionFilter));
  filters->addWidget(DirectionFilter);
  filters->addWidget(FailuresOnly);
  filters->addWidget(Label(QStringLiteral("&Search:"), SearchText));
  filters->addWidget(SearchText, 1);
  auto* span = new QHBoxLayout;
  span->addWidget(Label(QStringLiteral("S&how:"), Span));
  span->addWidget(Span);
  span->addWidget(Since);
  span->addWidget(PauseButton);
  span->addWidget(FollowNewest);
  span->addWidget(ExportButton);
  span->addWidget(Status, 1);
  auto* column = new QVBoxLayout(this);
  column->addLayout(filters);
  column->addLayout(span);
  column->addWidget(Table, 1);

  auto apply = [this] { ApplyFilters(); };
  connect(AddressFilter, &QSpinBox::valueChanged, this, apply);
  connect(CommandFilter, &QComboBox::currentIndexChanged, this, apply);
  connect(DirectionFilter, &QComboBox::currentIndexChanged, this, apply);
  connect(FailuresOnly, &QCheckBox::toggled, this, apply);
  connect(SearchText, &QLineEdit::editingFinished, this, apply);
  connect(Span, &QComboBox::currentIndexChanged, this, [this] {
    Since->setEnabled(Span->currentIndex() == 2);
    ApplyFilters();
  });
  connect(Since, &QDateTimeEdit::editingFinished, this, [this] {
    if (Span->currentIndex() == 2) ApplyFilters();
  });
  connect(PauseButton, &QToolButton::toggled, this, [this](bool paused) {
    model_->SetPaused(paused);
    if (!paused) Tick();
    UpdateStatus();
  });
  connect(FollowNewest, &QCheckBox::toggled, this, [this](bool follow) {
    if (follow) ScrollBy(0);
  });
  connect(ExportButton, &QToolButton::clicked, this, [this] { ExportClick(); });

  // Older rows are read when the view reaches the first one; the view keeps
  // its place when rows come or go above it.
  QScrollBar* bar = Table->verticalScrollBar();
  connect(bar, &QScrollBar::valueChanged, this, [this, bar](int value) {
    if (scrolling_) return;
    if (value == bar->minimum() && model_->MayHaveOlder()) model_->FetchOlder();
    // Scrolled away from the end by hand: the newest are no longer followed.
    const bool atEnd = value >= bar->maximum();
    if (FollowNewest->isChecked() != atEnd && (atEnd || value < bar->maximum() - 2)) FollowNewest->setChecked(atEnd);
  });
  connect(model_, &BusMonitorModel::rowsPrepended, this, [this](int count) { ScrollBy(count); });
  connect(model_, &BusMonitorModel::rowsTrimmedAtTop, this, [this](int count) { ScrollBy(-count); });

  timer_ = new QTimer(this);
  timer_->setInterval(kTickMs);
  connect(timer_, &QTimer::timeout, this, [this] { Tick(); });
  timer_->start();
  ApplyFilters();
}

BusMonitorWidget::~BusMonitorWidget() = default;

history::HistoryFilter BusMonitorWidget::FilterFromControls() const {
  history::HistoryFilter f;
  switch (Span->currentIndex()) {
    case 0: f.session = session_; break;
    case 2: f.sinceUs = Since->dateTime().toMSecsSinceEpoch() * 1000; break;
    default: break;
  }
  if (AddressFilter->value() >= 0) f.address = AddressFilter->value();
  if (CommandFilter->currentIndex() > 0) f.commands = history::CommandCodesNamed(CommandFilter->currentText().toStdString());
  if (DirectionFilter->currentIndex() > 0)
    f.direction = DirectionFilter->currentIndex() == 1 ? history::Direction::Sent : history::Direction::Received;
  f.failuresOnly = FailuresOnly->isChecked();
  f.text = SearchText->text().trimmed().toStdString();
  if (!f.text.empty())
    for (const auto& [address, name] : model_->ModuleNames())
      if (name.contains(SearchText->text().trimmed(), Qt::CaseInsensitive)) f.textAddresses.push_back(address);
  return f;
}

void BusMonitorWidget::ApplyFilters() {
  const history::HistoryFilter filter = FilterFromControls();
  if (filter.sinceUs && !filter.session) {
    model_->Show(filter, true);
    FollowNewest->setChecked(false);
    ScrollBy(-model_->rowCount());
  } else {
    model_->Show(filter);
    FollowNewest->setChecked(true);
    ScrollBy(0);
  }
  UpdateStatus();
}

void BusMonitorWidget::ShowHistorySince(const QDateTime& since) {
  Since->setDateTime(since);
  if (Span->currentIndex() == 2) {
    ApplyFilters();
  } else {
    Span->setCurrentIndex(2);  // applies
  }
}

void BusMonitorWidget::SetModuleNames(const std::map<int, QString>& names) { model_->SetModuleNames(names); }

void BusMonitorWidget::ScrollBy(int rows) {
  QScrollBar* bar = Table->verticalScrollBar();
  scrolling_ = true;
  if (FollowNewest->isChecked()) {
    Table->scrollToBottom();
  } else if (rows != 0) {
    // The rows just added or removed are laid out first, so that the bar's
    // range holds them.
    const int value = bar->value();
    Table->doItemsLayout();
    bar->setValue(value + rows);
  }
  scrolling_ = false;
}

void BusMonitorWidget::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // Hidden, the view was not kept up: it starts again from the newest.
  if (FollowNewest->isChecked() && !PauseButton->isChecked()) ApplyFilters();
}

void BusMonitorWidget::Tick() {
  if (!isVisible()) return;
  if (model_->Poll() > 0 && FollowNewest->isChecked()) ScrollBy(0);
  // A filter that matches little goes on searching the history, a budget's
  // worth each tick, until the table has a page or nothing is left.
  if (model_->rowCount() < BusMonitorModel::kPage) {
    if (model_->MayHaveOlder()) model_->FetchOlder();
    if (!model_->AtNewest()) model_->fetchMore({});
  }
  UpdateStatus();
}

void BusMonitorWidget::UpdateStatus() {
  QString text = QStringLiteral("%1 frames shown").arg(model_->rowCount());
  if (model_->MayHaveOlder()) text += QStringLiteral(", more above");
  if (!model_->AtNewest()) text += QStringLiteral(", more below");
  if (model_->Paused()) text += QStringLiteral("; paused, %1 new frames recorded meanwhile").arg(model_->Waiting());
  if (!lastExport_.isEmpty()) text += "; " + lastExport_;
  Status->setText(text);
}

std::vector<std::string> BusMonitorWidget::Export(const QString& path) {
  const QString suffix = QFileInfo(path).suffix().toLower();
  const history::ExportFormat format = suffix == "pcap"                      ? history::ExportFormat::Pcap
                                       : suffix == "jsonl" || suffix == "json" ? history::ExportFormat::JsonLines
                                                                               : history::ExportFormat::Csv;
  history::HistoryStore& store = model_->Store();
  const history::HistoryFilter filter = model_->Filter();
  return history::ExportRows(
      QFile::encodeName(path).toStdString(), format,
      [&](const std::function<void(const history::FrameRecord&, const history::LinkInfo&)>& visit) {
        store.ForEach(filter, [&](const history::FrameRecord& r) { visit(r, store.Link(r.link)); });
      });
}

void BusMonitorWidget::ExportClick() {
  if (!hooks_.saveFileName) return;
  const QString name = QStringLiteral("veltra-frames-%1.csv")
                           .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
  const QString path = hooks_.saveFileName(
      QStringLiteral("Export Frames"), QDir::home().filePath(name),
      QStringLiteral("CSV (*.csv);;JSON lines (*.jsonl);;pcap for Wireshark (*.pcap)"));
  if (path.isEmpty()) return;
  try {
    const std::vector<std::string> files = Export(path);
    lastExport_ = QStringLiteral("exported to %1").arg(QString::fromStdString(files.front()));
    if (files.size() > 1) lastExport_ += QStringLiteral(" and %1").arg(QString::fromStdString(files.back()));
  } catch (const std::exception& error) {
    if (hooks_.warning) hooks_.warning(QStringLiteral("The frames could not be exported."), QString::fromLocal8Bit(error.what()));
  }
  UpdateStatus();
}

}  // namespace veltra
