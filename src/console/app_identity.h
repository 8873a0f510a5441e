#pragma once
// What the program shows of itself: its icon and the text of its About box.
#include <QIcon>
#include <QString>

namespace veltra {

// The icon in every size the program carries (16 to 256 pixels).
QIcon VeltraIcon();

// "Veltra" with the version, what the program is, the licence notice, and
// the scene database in use (with a note when it could not be opened).
QString AboutText(const QString& sceneDatabasePath, bool sceneDatabaseOpen);

}  // namespace veltra
