#pragma once
// Watching for the device a serial link was opened by, so that a link whose
// adapter was pulled opens again when the adapter comes back. Qt-free.
//
// Two parts. ReopenDecision says, from what was seen, when a link that went
// down tries to open again: watch events, whether the path leads to a device
// now, and the time; it touches no file, so it is tested without any.
// DeviceWatcher sees: inotify on the folder of the watched path (or, while
// that folder is missing, the nearest one above it that exists, until the
// folder comes) and on the folder of the device a symlink leads to. A path
// in /dev/serial/by-id is such a symlink: it comes back when the adapter
// does, whatever ttyUSBn it now leads to.
#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace veltra {

class StopSignal;

// One change in a watched folder.
struct DeviceEvent {
  enum class Kind {
    Appeared,  // an entry came, or its permissions changed
    Vanished,  // an entry went (a watched folder too)
    Lost,      // the system dropped events: anything may have happened
  };
  Kind kind = Kind::Appeared;
  std::string path;  // the entry's full path; empty for Lost
};

class ReopenDecision {
 public:
  using Clock = std::chrono::steady_clock;
  struct Timing {
    // How often a link that is down looks at the path without an event.
    std::chrono::milliseconds look{200};
    // A failed try (the device not ready yet: udev still setting its
    // permissions) is repeated after this.
    std::chrono::milliseconds afterFailure{200};
    // A device that hung up without being seen to go is tried again after
    // this, counted from the hang-up (a line that hung up while its device
    // stayed); one that was seen to go and come back is tried at once.
    std::chrono::milliseconds unseen{1000};
  };

  // path: what the link opens again by, absolute.
  explicit ReopenDecision(std::string path, Timing timing);
  ReopenDecision(std::string path) : ReopenDecision(std::move(path), Timing{}) {}
  const std::string& Path() const { return path_; }

  // The link is open, the path leading to the device `target` (its real
  // path; empty when unknown). What was seen before is forgotten.
  void Opened(std::string target);
  // The link went down at `now` (its line hung up).
  void WentDown(Clock::time_point now);
  bool Down() const { return down_; }
  // One event of the watcher, while up or down.
  void Take(const DeviceEvent& event);
  // The path or the device behind it has been seen to go since the link
  // was last opened.
  bool SeenGone() const { return seenGone_; }
  // Down: whether to try to open now, given whether the path leads to a
  // device now. Never while up.
  bool TryNow(bool present, Clock::time_point now);
  // The try made at `now` failed.
  void Failed(Clock::time_point now);
  // Down: when to look at the path again if no event comes first.
  Clock::time_point NextLook(Clock::time_point now) const { return now + timing_.look; }

 private:
  // Whether `gone` is the path, the device behind it, or a folder above either.
  bool Concerns(const std::string& gone) const;

  std::string path_;
  Timing timing_;
  std::string target_;
  bool down_ = false;
  bool seenGone_ = false;
  Clock::time_point downAt_{};
  Clock::time_point notBefore_{};
};

class DeviceWatcher {
 public:
  // Watches for `path` (made absolute, symlinks kept). Without inotify (or
  // with no folder of the path left) Handle() is -1 and Take gives nothing:
  // the owner still looks at the path now and then.
  explicit DeviceWatcher(std::string path);
  ~DeviceWatcher();
  DeviceWatcher(const DeviceWatcher&) = delete;
  DeviceWatcher& operator=(const DeviceWatcher&) = delete;

  const std::string& Path() const { return path_; }
  // Readable when events wait.
  int Handle() const { return fd_; }
  // Also watches the folder of this device (the real path the symlink leads
  // to now); empty: only the path's own folder.
  void Follow(const std::string& target);
  // The events waiting now; never blocks. The watches follow folders that
  // came or went.
  std::vector<DeviceEvent> Take();
  // The folders watched now (tests).
  std::vector<std::string> Folders() const;

 private:
  void Arm();

  std::string path_;
  std::string target_;
  int fd_ = -1;
  std::map<std::string, int> watches_;  // folder -> watch descriptor
};

// `path` is absolute and lexically normal (symlinks kept).
std::string AbsolutePath(const std::string& path);
// Whether the path leads to a character device now (through symlinks).
bool LeadsToDevice(const std::string& path);
// The real path of what the path leads to; empty when nothing.
std::string DeviceBehind(const std::string& path);
// Whether the path itself is a symlink.
bool IsSymlink(const std::string& path);

// Waits until the path leads to a device, up to `timeout`, ending early when
// the stop is raised (null: none). True when the device is there.
bool WaitForDevice(const std::string& path, std::chrono::milliseconds timeout, const StopSignal* stop);

}  // namespace veltra
