// The few things the core needs from the operating system besides files (which
// atomic_file.h declares): code page 932 conversion and the local time. Both sides live in
// platform.cpp, the one file of the core that includes a system header.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

namespace tqv::platform {

// Appends the conversion of all of `in` to `out`; false, with `out` as it was, when any
// character cannot be converted or a sequence is cut short. The callers keep the rules of
// what such a character becomes (codec.h); these give only the system's answer.
bool cp932_to_utf8(std::string_view in, std::string& out);
bool utf8_to_cp932(std::string_view in, std::string& out);

std::tm local_time(std::time_t seconds);

}  // namespace tqv::platform
