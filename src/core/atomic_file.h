// Whole-file reads and atomic writes: a temporary file beside the target, flushed to disk,
// then renamed over it, so a failed or interrupted save never destroys the previous file.
// Paths are UTF-8 on every system. What touches the file system is in platform.cpp.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tqv {

// Slack beyond the largest file a format can give, for editors that add blank lines or a
// byte order mark.
inline constexpr std::size_t kReadSlack = 1024 * 1024;
// The bytes of a regular file of at most `max_bytes`; nullopt for anything else (a device,
// a FIFO, a directory, a larger file), which is opened without blocking and never read.
std::optional<std::string> read_whole_file(const std::string& path, std::size_t max_bytes);
// False when the file could not be written; the previous file is then untouched. A target
// that is not a regular file, or that is read-only (no write permission for anyone; the
// read-only attribute on Windows), is refused. The temporary file never has wider
// permissions than the file it replaces, and temporaries of the same target left by
// processes that no longer run are removed.
bool write_file_atomically(const std::string& path, std::string_view bytes);
// Whether anything has that name: a file, a directory, a link even when it leads nowhere.
bool path_exists(const std::string& path);
// The lines of a text without their line ends (LF or CR LF). An empty piece after the
// last line end is not a line, so joining with line ends gives the text back.
std::vector<std::string_view> split_lines(std::string_view bytes);

}  // namespace tqv
