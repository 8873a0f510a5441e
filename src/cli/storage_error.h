#pragma once
// A local file the tool could not read or write as it needed: the scene
// database, the capture, a plan to write. Exit status 6, one clear line.
#include <stdexcept>

namespace veltra::cli {

struct StorageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

}  // namespace veltra::cli
