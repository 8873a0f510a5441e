#pragma once
// A window benchmark records its frames into a frame history like the
// window does, but into a scratch state folder of its run, never the
// user's own; the folder goes when the benchmark ends.
#include <stdlib.h>

#include <filesystem>
#include <string>

namespace bench {

class ScratchState {
 public:
  ScratchState() {
    char folder[] = "/tmp/veltra-bench-state-XXXXXX";
    if (::mkdtemp(folder)) {
      folder_ = folder;
      ::setenv("XDG_STATE_HOME", folder, 1);
    }
  }
  ~ScratchState() {
    std::error_code ignored;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
  }
  ScratchState(const ScratchState&) = delete;
  ScratchState& operator=(const ScratchState&) = delete;
  const std::string& Folder() const { return folder_; }

 private:
  std::string folder_;
};

}  // namespace bench
