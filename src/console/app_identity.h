#pragma once
// What the program shows of itself: its icon and the text of its About box.
#include <QIcon>
#include <QString>

namespace veltra {

// The icon in every size the program carries (16 to 256 pixels).
QIcon VeltraIcon();

// The version as the window's title shows it: "V" and the major version in
// two digits ("V01" for 1.0).
QString TitleVersion();
// "Veltra --V01".
QString WindowTitle();

// "Veltra" with the version and how the title shows it, what the program
// is, the licence notice, and the scene database in use (with a note when it
// could not be opened).
QString AboutText(const QString& sceneDatabasePath, bool sceneDatabaseOpen);

}  // namespace veltra
