#include "scenes/scene_cell_rules.h"

#include <QRegularExpression>

#include "protocol/scene_commands.h"

namespace veltra {
namespace {

SceneCellEdit Refused(const QString& text, const QString& column, const QString& expected) {
  return {false, {}, QStringLiteral("'%1' is not a valid %2 value: %3").arg(text, column, expected)};
}

SceneCellEdit WholeNumber(const QString& column, const QString& text, int minimum, int maximum) {
  bool ok = false;
  const int number = text.trimmed().toInt(&ok, 10);
  if (!ok || number < minimum || number > maximum)
    return Refused(text, column, QStringLiteral("a whole number from %1 to %2").arg(minimum).arg(maximum));
  return {true, number, {}};
}

}  // namespace

SceneCellEdit CheckSceneCellEdit(const QString& column, const QVariant& value) {
  const QString text = value.toString();
  if (column == QLatin1String("Scene No")) return WholeNumber(column, text, kSceneNoMin, kSceneNoMax);
  if (column == QLatin1String("Module Addr")) return WholeNumber(column, text, kSceneModuleMin, kSceneModuleMax);
  static const QRegularExpression channel(QStringLiteral("^CH[1-8]$"));
  if (channel.match(column).hasMatch()) {
    const QString code = text.trimmed().toUpper();
    if (code == QLatin1String("0") || code == QLatin1String("1") || code == QLatin1String("X"))
      return {true, code, {}};
    return Refused(text, column, QStringLiteral("0 (OFF), 1 (ON) or X (No Change)"));
  }
  return {true, value, {}};
}

}  // namespace veltra
