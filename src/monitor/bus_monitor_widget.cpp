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

  addressFilter_ = new QSpinBox;
  addressFilter_->setObjectName("AddressFilter");
  addressFilter_->setRange(-1, 255);
  addressFilter_->setSpecialValueText(QStringLiteral("Any"));
  addressFilter_->setValue(-1);
  commandFilter_ = new QComboBox;
  commandFilter_->setObjectName("CommandFilter");
  commandFilter_->addItem(QStringLiteral("Any"));
  std::set<std::string_view> names;
  for (const WireCommand& c : WireCommands()) names.insert(c.name);
  for (const std::string_view name : names) commandFilter_->addItem(QString::fromUtf8(name.data(), static_cast<int>(name.size())));
  directionFilter_ = new QComboBox;
  directionFilter_->setObjectName("DirectionFilter");
  directionFilter_->addItems({QStringLiteral("Any"), QStringLiteral("Sent"), QStringLiteral("Received")});
  failuresOnly_ = new QCheckBox(QStringLiteral("&Failures only"));
  failuresOnly_->setObjectName("FailuresOnly");
  failuresOnly_->setToolTip(QStringLiteral("Status other than OK, no reply, bad frames and noise"));
  searchText_ = new QLineEdit;
  searchText_->setObjectName("SearchText");
  searchText_->setPlaceholderText(QStringLiteral("Text in any column"));
  searchText_->setClearButtonEnabled(true);

  span_ = new QComboBox;
  span_->setObjectName("Span");
  span_->addItems({QStringLiteral("This session"), QStringLiteral("Whole history"), QStringLiteral("History since")});
  since_ = new QDateTimeEdit(QDateTime::currentDateTime().addSecs(-3600));
  since_->setObjectName("Since");
  since_->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
  since_->setCalendarPopup(true);
  since_->setEnabled(false);
  // Tool buttons: they act on the panel and send nothing, so the window's
  // holding of its request buttons leaves them be.
  pauseButton_ = new QToolButton;
  pauseButton_->setText(QStringLiteral("&Pause"));
  pauseButton_->setObjectName("PauseButton");
  pauseButton_->setCheckable(true);
  pauseButton_->setToolTip(QStringLiteral("Stop adding rows; frames go on being recorded and are shown after"));
  followNewest_ = new QCheckBox(QStringLiteral("Follow &newest"));
  followNewest_->setObjectName("FollowNewest");
  followNewest_->setChecked(true);
  exportButton_ = new QToolButton;
  exportButton_->setText(QStringLiteral("&Export\u2026"));
  exportButton_->setObjectName("ExportButton");
  exportButton_->setToolTip(QStringLiteral("The rows the filters show, as CSV, JSON lines or pcap"));
  status_ = new QLabel;
  status_->setObjectName("Status");

  table_ = new QTableView;
  table_->setObjectName("Frames");
  table_->setModel(model_);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  table_->setWordWrap(false);
  table_->verticalHeader()->hide();
  table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
  table_->horizontalHeader()->setStretchLastSection(true);
  const int widths[BusMonitorModel::ColumnCount] = {170, 170, 70, 55, 90, 110, 110, 280, 75, 120};
  for (int c = 0; c < BusMonitorModel::ColumnCount; ++c) table_->setColumnWidth(c, widths[c]);

  auto* filters = new QHBoxLayout;
  filters->addWidget(Label(QStringLiteral("&Address:"), addressFilter_));
  filters->addWidget(addressFilter_);
  filters->addWidget(Label(QStringLiteral("&Command:"), commandFilter_));
  filters->addWidget(commandFilter_);
  filters->addWidget(Label(QStringLiteral("&Direction:"), directionFilter_));
  filters->addWidget(directionFilter_);
  filters->addWidget(failuresOnly_);
  filters->addWidget(Label(QStringLiteral("&Search:"), searchText_));
  filters->addWidget(searchText_, 1);
  auto* span = new QHBoxLayout;
  span->addWidget(Label(QStringLiteral("S&how:"), span_));
  span->addWidget(span_);
  span->addWidget(since_);
  span->addWidget(pauseButton_);
  span->addWidget(followNewest_);
  span->addWidget(exportButton_);
  span->addWidget(status_, 1);
  auto* column = new QVBoxLayout(this);
  column->addLayout(filters);
  column->addLayout(span);
  column->addWidget(table_, 1);

  auto apply = [this] { ApplyFilters(); };
  connect(addressFilter_, &QSpinBox::valueChanged, this, apply);
  connect(commandFilter_, &QComboBox::currentIndexChanged, this, apply);
  connect(directionFilter_, &QComboBox::currentIndexChanged, this, apply);
  connect(failuresOnly_, &QCheckBox::toggled, this, apply);
  connect(searchText_, &QLineEdit::editingFinished, this, apply);
  connect(span_, &QComboBox::currentIndexChanged, this, [this] {
    since_->setEnabled(span_->currentIndex() == 2);
    ApplyFilters();
  });
  connect(since_, &QDateTimeEdit::editingFinished, this, [this] {
    if (span_->currentIndex() == 2) ApplyFilters();
  });
  connect(pauseButton_, &QToolButton::toggled, this, [this](bool paused) {
    model_->SetPaused(paused);
    if (!paused) Tick();
    UpdateStatus();
  });
  connect(followNewest_, &QCheckBox::toggled, this, [this](bool follow) {
    if (follow) ScrollBy(0);
  });
  connect(exportButton_, &QToolButton::clicked, this, [this] { ExportClick(); });

  // Older rows are read when the view reaches the first one; the view keeps
  // its place when rows come or go above it.
  QScrollBar* bar = table_->verticalScrollBar();
  connect(bar, &QScrollBar::valueChanged, this, [this, bar](int value) {
    if (scrolling_) return;
    if (value == bar->minimum() && model_->MayHaveOlder()) model_->FetchOlder();
    // Scrolled away from the end by hand: the newest are no longer followed.
    const bool atEnd = value >= bar->maximum();
    if (followNewest_->isChecked() != atEnd && (atEnd || value < bar->maximum() - 2)) followNewest_->setChecked(atEnd);
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
  switch (span_->currentIndex()) {
    case 0: f.session = session_; break;
    case 2: f.sinceUs = since_->dateTime().toMSecsSinceEpoch() * 1000; break;
    default: break;
  }
  if (addressFilter_->value() >= 0) f.address = addressFilter_->value();
  if (commandFilter_->currentIndex() > 0) f.commands = history::CommandCodesNamed(commandFilter_->currentText().toStdString());
  if (directionFilter_->currentIndex() > 0)
    f.direction = directionFilter_->currentIndex() == 1 ? history::Direction::Sent : history::Direction::Received;
  f.failuresOnly = failuresOnly_->isChecked();
  f.text = searchText_->text().trimmed().toStdString();
  if (!f.text.empty())
    for (const auto& [address, name] : model_->ModuleNames())
      if (name.contains(searchText_->text().trimmed(), Qt::CaseInsensitive)) f.textAddresses.push_back(address);
  return f;
}

void BusMonitorWidget::ApplyFilters() {
  const history::HistoryFilter filter = FilterFromControls();
  if (filter.sinceUs && !filter.session) {
    model_->Show(filter, true);
    followNewest_->setChecked(false);
    ScrollBy(-model_->rowCount());
  } else {
    model_->Show(filter);
    followNewest_->setChecked(true);
    ScrollBy(0);
  }
  UpdateStatus();
}

void BusMonitorWidget::ShowHistorySince(const QDateTime& since) {
  since_->setDateTime(since);
  if (span_->currentIndex() == 2) {
    ApplyFilters();
  } else {
    span_->setCurrentIndex(2);  // applies
  }
}

void BusMonitorWidget::SetHistoryProblem(const QString& problem) {
  status_->setToolTip(problem.isEmpty() ? QString()
                                        : QStringLiteral("The frames of this run are kept only until it ends: ") + problem);
}

void BusMonitorWidget::SetModuleNames(const std::map<int, QString>& names) { model_->SetModuleNames(names); }

void BusMonitorWidget::ScrollBy(int rows) {
  QScrollBar* bar = table_->verticalScrollBar();
  scrolling_ = true;
  if (followNewest_->isChecked()) {
    table_->scrollToBottom();
  } else if (rows != 0) {
    // The rows just added or removed are laid out first, so that the bar's
    // range holds them.
    const int value = bar->value();
    table_->doItemsLayout();
    bar->setValue(value + rows);
  }
  scrolling_ = false;
}

void BusMonitorWidget::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // Hidden, the view was not kept up: it starts again from the newest.
  if (followNewest_->isChecked() && !pauseButton_->isChecked()) ApplyFilters();
}

void BusMonitorWidget::Tick() {
  if (!isVisible()) return;
  if (model_->Poll() > 0 && followNewest_->isChecked()) ScrollBy(0);
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
  status_->setText(text);
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
