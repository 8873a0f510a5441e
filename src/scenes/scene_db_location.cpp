#include "scenes/scene_db_location.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace veltra {
namespace {

constexpr char kFileName[] = "Veltra.mdb";

bool FileThere(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

bool Absolute(const std::string& path) { return !path.empty() && path.front() == '/'; }

std::string Join(const std::string& folder, const std::string& name) {
  if (folder.empty() || folder.back() == '/') return folder + name;
  return folder + '/' + name;
}

[[noreturn]] void Fail(const std::string& what, const std::string& path, int error) {
  throw std::runtime_error(what + " " + path + ": " + std::strerror(error));
}

// Makes every missing folder of `folder`, each with mode 0700.
void MakeFolders(const std::string& folder) {
  for (std::size_t at = folder.find('/', 1);; at = folder.find('/', at + 1)) {
    const std::string part = folder.substr(0, at);
    if (!part.empty() && ::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) Fail("cannot create", part, errno);
    if (at == std::string::npos) return;
  }
}

// Closes a descriptor when it goes out of scope.
struct Fd {
  int fd = -1;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
};

bool WriteAll(int fd, const char* data, ssize_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, static_cast<std::size_t>(size));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    size -= written;
  }
  return true;
}

// Copies the whole of `from` into `to`; false with errno on failure.
bool CopyContents(int from, int to) {
  char buffer[64 * 1024];
  for (;;) {
    const ssize_t got = ::read(from, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return ::fsync(to) == 0;
    if (!WriteAll(to, buffer, got)) return false;
  }
}

}  // namespace

std::string UserDataHome(const std::string& xdgDataHome, const std::string& home) {
  if (Absolute(xdgDataHome)) return xdgDataHome;
  if (Absolute(home)) return Join(home, ".local/share");
  return {};
}

SceneDbChoice ChooseSceneDatabase(const SceneDbLookup& lookup) {
  if (!lookup.option.empty()) return {SceneDbSource::Option, lookup.option};
  const auto exists = lookup.exists ? lookup.exists : FileThere;
  const std::string beside = Join(lookup.executableDir, kFileName);
  if (exists(beside)) return {SceneDbSource::BesideExecutable, beside};
  const std::string dataHome = UserDataHome(lookup.xdgDataHome, lookup.home);
  // Nowhere else to keep it: the executable's folder, where it is missing.
  if (dataHome.empty()) return {SceneDbSource::BesideExecutable, beside};
  return {SceneDbSource::UserData, Join(Join(dataHome, "veltra"), kFileName)};
}

CopyResult CopyFileIfAbsent(const std::string& from, const std::string& to) {
  struct stat st {};
  if (::lstat(to.c_str(), &st) == 0) return CopyResult::AlreadyThere;
  Fd source{::open(from.c_str(), O_RDONLY | O_CLOEXEC)};
  if (source.fd < 0) Fail("cannot read", from, errno);

  const std::size_t slash = to.rfind('/');
  if (slash != std::string::npos && slash > 0) MakeFolders(to.substr(0, slash));
  std::string temporary = to + ".new-XXXXXX";
  Fd copy{::mkstemp(temporary.data())};
  if (copy.fd < 0) Fail("cannot create", to, errno);
  if (!CopyContents(source.fd, copy.fd)) {
    const int error = errno;
    ::unlink(temporary.c_str());
    Fail("cannot write", to, error);
  }
  // link() fails rather than replace a file that appeared in the meantime.
  const int linked = ::link(temporary.c_str(), to.c_str());
  const int error = errno;
  ::unlink(temporary.c_str());
  if (linked == 0) return CopyResult::Copied;
  if (error == EEXIST) return CopyResult::AlreadyThere;
  Fail("cannot create", to, error);
}

std::string PrepareSceneDatabase(const SceneDbLookup& lookup, const std::string& templatePath,
                                 const std::function<void(const std::string&)>& note) {
  const SceneDbChoice choice = ChooseSceneDatabase(lookup);
  if (choice.source == SceneDbSource::UserData) {
    try {
      if (CopyFileIfAbsent(templatePath, choice.path) == CopyResult::Copied)
        note("created " + choice.path + " from " + templatePath);
    } catch (const std::exception& error) {
      note(error.what());
    }
  }
  const auto exists = lookup.exists ? lookup.exists : FileThere;
  note(exists(choice.path) ? "scene database " + choice.path : "Can not find database " + choice.path);
  return choice.path;
}

}  // namespace veltra
