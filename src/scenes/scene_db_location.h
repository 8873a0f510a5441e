#pragma once
// Which scene database the console opens, and the user's own copy made from
// the installed empty template. Qt-free.
//
// The order: the file named with --scene-db; else "Veltra.mdb" beside the
// executable when it is there (a build tree, a portable copy); else the
// user's data folder, $XDG_DATA_HOME/veltra/Veltra.mdb (~/.local/share/veltra
// by default), made from the template at first start.
#include <functional>
#include <stdexcept>
#include <string>

namespace veltra {

enum class SceneDbSource { Option, BesideExecutable, UserData };

struct SceneDbLookup {
  std::string option;         // --scene-db PATH; empty: not given
  std::string executableDir;  // folder of the running executable
  std::string xdgDataHome;    // $XDG_DATA_HOME as set; empty: unset
  std::string home;           // $HOME
  // Whether a file is at a path; null: ask the file system.
  std::function<bool(const std::string&)> exists;
};

struct SceneDbChoice {
  SceneDbSource source;
  std::string path;
};

SceneDbChoice ChooseSceneDatabase(const SceneDbLookup& lookup);

// $XDG_DATA_HOME, or $HOME/.local/share when that is unset, empty or not an
// absolute path; empty when neither gives an absolute path.
std::string UserDataHome(const std::string& xdgDataHome, const std::string& home);

enum class CopyResult { Copied, AlreadyThere };

// Copies `from` to `to` unless something (even a dangling link) is at `to`;
// missing folders above `to` are made with mode 0700. The copy is written
// under a temporary name and linked into place, so `to` is either absent or
// complete, and a file that appears there meanwhile is never replaced.
// Throws std::runtime_error with the reason.
CopyResult CopyFileIfAbsent(const std::string& from, const std::string& to);

// Start-up: chooses the database and, in the user's data folder, makes it
// from `templatePath` when it is missing. Every step worth knowing is passed
// to `note` as one line, the last one "scene database PATH", or "Can not find
// database PATH" when no file is there. Returns the path to open, also when
// it could not be made (the window then reports "Can not find database").
std::string PrepareSceneDatabase(const SceneDbLookup& lookup, const std::string& templatePath,
                                 const std::function<void(const std::string&)>& note);

}  // namespace veltra
