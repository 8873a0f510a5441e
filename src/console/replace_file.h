#pragma once
// Writing a file the operator asked for without ever leaving half of it under
// the chosen name: the bytes go to a temporary file in the same folder, are
// flushed to the disk, and the temporary file is then renamed over the name.
// Qt-free.
#include <optional>
#include <string>
#include <string_view>

namespace veltra {

// Puts `contents` under `path`, replacing a file that is there (whose
// permissions the new one keeps). On failure the temporary file is removed,
// a file already under `path` is left as it was, and the result says what
// failed with the system's reason; nothing on success.
std::optional<std::string> ReplaceFile(const std::string& path, std::string_view contents);

}  // namespace veltra
