#include "monitor/line_health_panel.h"

#include <QBrush>
#include <QColor>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace veltra {
namespace {

constexpr int kRefreshMs = 1000;
const QColor kWarningBackground(255, 214, 204);

QTableWidget* MakeTable(const char* name, const QStringList& headers) {
  auto* table = new QTableWidget(0, static_cast<int>(headers.size()));
  table->setObjectName(name);
  table->setHorizontalHeaderLabels(headers);
  table->verticalHeader()->hide();
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->setSelectionBehavior(QAbstractItemView::SelectRows);
  table->horizontalHeader()->setStretchLastSection(true);
  return table;
}

void SetRow(QTableWidget* table, int row, const QStringList& cells, bool warning) {
  for (int c = 0; c < cells.size(); ++c) {
    auto* item = new QTableWidgetItem(cells[c]);
    if (warning) item->setBackground(kWarningBackground);
    table->setItem(row, c, item);
  }
}

QString Number(double value, int decimals) { return QString::number(value, 'f', decimals); }

}  // namespace

LineHealthPanel::LineHealthPanel(Source source, QWidget* parent) : QWidget(parent), source_(std::move(source)) {
  setObjectName("LineHealth");
  setWindowTitle(QStringLiteral("Line Health"));
  span_ = new QComboBox;
  span_->setObjectName("Span");
  span_->addItems({QStringLiteral("Last minute"), QStringLiteral("Last 10 minutes"), QStringLiteral("This session")});
  figures_ = MakeTable("Figures", {QStringLiteral("Figure"), QStringLiteral("Value"), QStringLiteral("State")});
  modules_ = MakeTable("Modules", {QStringLiteral("Module"), QStringLiteral("Name"), QStringLiteral("Requests"),
                              QStringLiteral("Replies"), QStringLiteral("No reply"), QStringLiteral("Late"),
                              QStringLiteral("Heard"), QStringLiteral("p50 ms"), QStringLiteral("p95 ms"),
                              QStringLiteral("p99 ms")});
  warnings_ = new QLabel;
  warnings_->setObjectName("Warnings");
  warnings_->setWordWrap(true);

  auto* top = new QHBoxLayout;
  auto* label = new QLabel(QStringLiteral("&Over:"));
  label->setBuddy(span_);
  top->addWidget(label);
  top->addWidget(span_);
  top->addStretch(1);
  auto* column = new QVBoxLayout(this);
  column->addLayout(top);
  column->addWidget(figures_, 1);
  column->addWidget(modules_, 1);
  column->addWidget(warnings_);

  connect(span_, &QComboBox::currentIndexChanged, this, [this] { Refresh(); });
  timer_ = new QTimer(this);
  timer_->setInterval(kRefreshMs);
  connect(timer_, &QTimer::timeout, this, [this] {
    if (isVisible()) Refresh();
  });
  timer_->start();
  Refresh();
}

int LineHealthPanel::SpanSeconds() const {
  switch (span_->currentIndex()) {
    case 0: return 60;
    case 1: return 600;
    default: return 0;
  }
}

void LineHealthPanel::SetModuleNames(const std::map<int, QString>& names) {
  names_ = names;
  Refresh();
}

void LineHealthPanel::Refresh() {
  const history::LineFigures f = source_(SpanSeconds(), thresholds);
  struct Row {
    QString figure, value;
    bool warning;
  };
  std::vector<Row> rows;
  for (const history::OccupancyFigures& o : f.occupancy)
    rows.push_back({QStringLiteral("Line occupancy, %1").arg(QString::fromStdString(o.link.Text())),
                    QStringLiteral("%1 % (%2 baud, %3 bits a byte)")
                        .arg(Number(o.percent, 1))
                        .arg(o.link.line.baud)
                        .arg(o.link.line.bitsPerByte),
                    o.warning});
  if (f.occupancy.empty()) rows.push_back({QStringLiteral("Line occupancy"), QStringLiteral("no serial line"), false});
  rows.push_back({QStringLiteral("Frames/s"), Number(f.framesPerSecond, 1), false});
  rows.push_back({QStringLiteral("Frames"),
                  QStringLiteral("%1 (%2 sent, %3 received)").arg(f.frames).arg(f.sent).arg(f.received), false});
  rows.push_back({QStringLiteral("Bad frames"), Number(f.badFramePercent, 2) + " %", f.badFrameWarning});
  rows.push_back({QStringLiteral("Bad checksums"), QString::number(f.badChecksums), false});
  rows.push_back({QStringLiteral("Skipped noise bytes"), QString::number(f.noiseBytes), false});
  rows.push_back({QStringLiteral("Late replies"), QString::number(f.lateReplies), false});
  rows.push_back({QStringLiteral("Unrelated frames"), QString::number(f.unrelated), false});
  rows.push_back({QStringLiteral("No replies"), QString::number(f.noReplies), false});
  figures_->setRowCount(static_cast<int>(rows.size()));
  for (std::size_t i = 0; i < rows.size(); ++i)
    SetRow(figures_, static_cast<int>(i),
           {rows[i].figure, rows[i].value, rows[i].warning ? QStringLiteral("Warning") : QString()}, rows[i].warning);

  modules_->setRowCount(static_cast<int>(f.modules.size()));
  for (std::size_t i = 0; i < f.modules.size(); ++i) {
    const history::ModuleFigures& m = f.modules[i];
    const auto name = names_.find(m.address);
    auto ms = [&m](double v) { return m.roundTrip ? Number(v, 2) : QStringLiteral("-"); };
    SetRow(modules_, static_cast<int>(i),
           {QString::number(m.address), name == names_.end() ? QString() : name->second, QString::number(m.requests),
            QString::number(m.replies),
            QString::number(m.noReplies) + (m.noReplyWarning ? QStringLiteral(" (Warning)") : QString()),
            QString::number(m.late), QString::number(m.heard), ms(m.roundTrip ? m.roundTrip->p50 : 0),
            ms(m.roundTrip ? m.roundTrip->p95 : 0), ms(m.roundTrip ? m.roundTrip->p99 : 0)},
           m.noReplyWarning);
  }
  QStringList warnings;
  for (const std::string& w : f.Warnings()) warnings << QStringLiteral("Warning: ") + QString::fromStdString(w);
  warnings_->setText(warnings.join('\n'));
}

}  // namespace veltra
