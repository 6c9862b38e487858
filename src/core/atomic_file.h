// Whole-file reads and atomic writes: a temporary file beside the target, flushed to disk,
// then renamed over it, so a failed or interrupted save never destroys the previous file.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tqv {

std::optional<std::string> read_whole_file(const std::string& path);
// False when the file could not be written; the previous file is then untouched.
bool write_file_atomically(const std::string& path, std::string_view bytes);
// The lines of a text without their line ends (LF or CR LF). An empty piece after the
// last line end is not a line, so joining with line ends gives the text back.
std::vector<std::string_view> split_lines(std::string_view bytes);

}  // namespace tqv
