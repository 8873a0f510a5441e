#include "console/replace_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace veltra {
namespace {

std::string Failure(const std::string& path, int error) { return path + ": " + std::strerror(error); }

// A new file beside `path` that nothing else uses: ".<name>.<pid>.<n>.part".
int CreateTemporary(const std::string& path, std::string& temporary, int& error) {
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary = folder + "." + name + "." + std::to_string(::getpid()) + "." + std::to_string(attempt) + ".part";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return fd;
    if (errno != EEXIST) break;
  }
  error = errno;
  return -1;
}

bool WriteAll(int fd, std::string_view contents) {
  while (!contents.empty()) {
    const ssize_t written = ::write(fd, contents.data(), contents.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    contents.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

}  // namespace

std::optional<std::string> ReplaceFile(const std::string& path, std::string_view contents) {
  std::string temporary;
  int error = 0;
  const int fd = CreateTemporary(path, temporary, error);
  if (fd < 0) return Failure(path, error);

  struct stat existing {};
  if (::stat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) ::fchmod(fd, existing.st_mode & 07777);
  // A full disk may show only when the data is flushed or the file closed.
  bool ok = WriteAll(fd, contents) && ::fsync(fd) == 0;
  if (!ok) error = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (ok && ::rename(temporary.c_str(), path.c_str()) != 0) {
    ok = false;
    error = errno;
  }
  if (ok) return std::nullopt;
  ::unlink(temporary.c_str());
  return Failure(path, error);
}

}  // namespace veltra
