#pragma once
// The scene database the console opens at start-up.
#include <QString>

namespace veltra {

// The file named with --scene-db (`option`, empty when not given), else
// "Veltra.mdb" beside the executable when it is there, else the user's own
// $XDG_DATA_HOME/veltra/Veltra.mdb, copied from the installed empty template
// at first start. What was chosen or done goes to stderr, one line each.
QString StartupSceneDatabase(const QString& option);

}  // namespace veltra
