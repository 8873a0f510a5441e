#pragma once
// What an edit in the scene grid may store in a cell of "Scenes Records":
// "Scene No" and "Module Addr" take whole numbers in the ranges of the
// "Set Scene " fields, "CH1".."CH8" the channel codes "0", "1" and "X" (a
// lower-case x is taken as "X"). Other columns take what is given.
#include <QString>
#include <QVariant>

namespace veltra {

struct SceneCellEdit {
  bool accepted = false;
  QVariant value;  // what to store when accepted
  QString reason;  // why not, for the operator
};

SceneCellEdit CheckSceneCellEdit(const QString& column, const QVariant& value);

}  // namespace veltra
