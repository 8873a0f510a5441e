#include "link/device_watch.h"

#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <set>

#include "link/stop_signal.h"

namespace veltra {
namespace {

constexpr std::uint32_t kFolderEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB |
                                        IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool IsFolder(const std::string& path) {
  struct stat s {};
  return ::stat(path.c_str(), &s) == 0 && S_ISDIR(s.st_mode);
}

// The folder of `path`, or while it is missing the nearest one above it.
std::string NearestFolder(const std::string& path) {
  std::string folder = FolderOf(path);
  while (folder != "/" && !IsFolder(folder)) folder = FolderOf(folder);
  return folder;
}

bool Within(const std::string& path, const std::string& folder) {
  return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == '/';
}

}  // namespace

// ---------------------------------------------------------------- ReopenDecision

ReopenDecision::ReopenDecision(std::string path, Timing timing) : path_(std::move(path)), timing_(timing) {}

void ReopenDecision::Opened(std::string target) {
  target_ = std::move(target);
  down_ = false;
  seenGone_ = false;
  notBefore_ = {};
}

void ReopenDecision::WentDown(Clock::time_point now) {
  down_ = true;
  downAt_ = now;
  notBefore_ = {};
}

bool ReopenDecision::Concerns(const std::string& gone) const {
  for (const std::string* watched : {&path_, &target_}) {
    if (watched->empty()) continue;
    if (gone == *watched || Within(*watched, gone)) return true;
  }
  return false;
}

void ReopenDecision::Take(const DeviceEvent& event) {
  switch (event.kind) {
    case DeviceEvent::Kind::Lost:
      // It may have gone and come back unseen: the device the path leads to
      // now is taken for a new one.
      seenGone_ = true;
      break;
    case DeviceEvent::Kind::Vanished:
      if (Concerns(event.path)) seenGone_ = true;
      break;
    case DeviceEvent::Kind::Appeared:
      break;  // the owner looks at the path after every batch of events
  }
}

bool ReopenDecision::TryNow(bool present, Clock::time_point now) {
  if (!down_) return false;
  if (!present) {
    seenGone_ = true;  // looked at and not there: whatever comes is the device back
    return false;
  }
  if (now < notBefore_) return false;
  return seenGone_ || now >= downAt_ + timing_.unseen;
}

void ReopenDecision::Failed(Clock::time_point now) { notBefore_ = now + timing_.afterFailure; }

// ---------------------------------------------------------------- DeviceWatcher

DeviceWatcher::DeviceWatcher(std::string path) : path_(AbsolutePath(path)) {
  fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  Arm();
}

DeviceWatcher::~DeviceWatcher() {
  if (fd_ >= 0) ::close(fd_);
}

void DeviceWatcher::Follow(const std::string& target) {
  target_ = target.empty() ? std::string() : AbsolutePath(target);
  Arm();
}

void DeviceWatcher::Arm() {
  if (fd_ < 0) return;
  std::set<std::string> wanted{NearestFolder(path_)};
  if (!target_.empty()) wanted.insert(NearestFolder(target_));
  for (auto it = watches_.begin(); it != watches_.end();) {
    if (wanted.count(it->first)) {
      ++it;
      continue;
    }
    ::inotify_rm_watch(fd_, it->second);
    it = watches_.erase(it);
  }
  for (const std::string& folder : wanted) {
    if (watches_.count(folder)) continue;
    const int wd = ::inotify_add_watch(fd_, folder.c_str(), kFolderEvents);
    if (wd >= 0) watches_[folder] = wd;
  }
}

std::vector<DeviceEvent> DeviceWatcher::Take() {
  std::vector<DeviceEvent> events;
  if (fd_ < 0) return events;
  bool rearm = false;
  alignas(inotify_event) char buffer[8192];
  for (;;) {
    const ssize_t n = ::read(fd_, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    for (ssize_t at = 0; at < n;) {
      const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
      if (e->mask & IN_Q_OVERFLOW) {
        events.push_back({DeviceEvent::Kind::Lost, {}});
        rearm = true;
        continue;
      }
      const auto watch = std::find_if(watches_.begin(), watches_.end(), [&](const auto& w) { return w.second == e->wd; });
      if (watch == watches_.end()) continue;  // a watch given up, its last words
      const std::string folder = watch->first;
      if (e->mask & IN_IGNORED) {
        watches_.erase(watch);  // the folder went
        rearm = true;
        continue;
      }
      if (e->mask & (IN_DELETE_SELF | IN_MOVE_SELF)) {
        events.push_back({DeviceEvent::Kind::Vanished, folder});
        rearm = true;
        continue;
      }
      // Appended piece by piece: GCC's -O3 sees a false overlap in "/" + string.
      std::string entry = folder == "/" ? std::string() : folder;
      entry.append("/").append(e->name);
      if (e->mask & IN_ISDIR) rearm = true;  // a folder on the way may have come or gone
      if (e->mask & (IN_DELETE | IN_MOVED_FROM)) events.push_back({DeviceEvent::Kind::Vanished, entry});
      if (e->mask & (IN_CREATE | IN_MOVED_TO | IN_ATTRIB)) events.push_back({DeviceEvent::Kind::Appeared, entry});
    }
  }
  if (rearm) Arm();
  return events;
}

std::vector<std::string> DeviceWatcher::Folders() const {
  std::vector<std::string> folders;
  for (const auto& [folder, wd] : watches_) folders.push_back(folder);
  return folders;
}

// ---------------------------------------------------------------- paths

std::string AbsolutePath(const std::string& path) {
  if (path.empty()) return path;
  std::error_code ignored;
  std::string normal = std::filesystem::absolute(path, ignored).lexically_normal().string();
  while (normal.size() > 1 && normal.back() == '/') normal.pop_back();
  return normal;
}

bool LeadsToDevice(const std::string& path) {
  struct stat s {};
  return ::stat(path.c_str(), &s) == 0 && S_ISCHR(s.st_mode);
}

std::string DeviceBehind(const std::string& path) {
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

bool IsSymlink(const std::string& path) {
  struct stat s {};
  return ::lstat(path.c_str(), &s) == 0 && S_ISLNK(s.st_mode);
}

bool WaitForDevice(const std::string& path, std::chrono::milliseconds timeout, const StopSignal* stop) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + timeout;
  DeviceWatcher watcher(path);
  for (;;) {
    watcher.Follow(DeviceBehind(path));  // a symlink may lead somewhere the device is still to come
    if (LeadsToDevice(path)) return true;
    if (stop && stop->Raised()) return false;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    // Events wake it at once; the look every 200 ms covers a system without them.
    pollfd fds[2] = {{watcher.Handle(), POLLIN, 0}, {stop ? stop->Handle() : -1, POLLIN, 0}};
    ::poll(fds, 2, static_cast<int>(std::min<long long>(left, 200)));
    watcher.Take();
  }
}

}  // namespace veltra
