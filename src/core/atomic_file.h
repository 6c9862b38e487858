// Whole-file reads and atomic writes: a temporary file beside the target, flushed to disk,
// then renamed over it, so a failed or interrupted save never destroys the previous file.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tqv {

std::optional<std::string> read_whole_file(const std::string& path);
// False when the file could not be written; the previous file is then untouched.
bool write_file_atomically(const std::string& path, std::string_view bytes);

}  // namespace tqv
