// Text between code page 932 (how titles are held and stored) and UTF-8 (what the
// dialogs and the terminal show), through the system's conversion (glibc iconv "CP932", or
// code page 932 of Windows), which gives the same answers on both.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tqv {

// Bytes that cannot be decoded become U+FFFD (a lead byte with a valid trail byte that
// names no character: one U+FFFD for both bytes; a lead byte without a trail byte: one for
// the lead byte alone). A glyph placeholder unit (two bytes, the first 0x10 or 0x11)
// becomes "〓" (U+3013) so titles with glyphs stay readable; a lone 0x10 / 0x11 at the end
// becomes U+FFFD. Control bytes such as 0x1A, 0x1C and 0x7F pass unchanged. NEC special
// characters (0x87xx), IBM extensions (0xFA40..0xFC4B) and the NEC-selected IBM
// extensions (0xED40..0xEEFC) decode as both systems decode them.
std::string cp932_to_utf8(std::string_view bytes);
// nullopt when a character has no code page 932 form or the text is not valid UTF-8.
// "〓" encodes as the geta mark 0x81AC, not as a glyph placeholder. Characters that code
// page 932 holds twice take the systems' choice: NEC-selected IBM extensions re-encode to the
// IBM codes (0xEEEF decodes to U+2170, which encodes as 0xFA40), and NEC special characters
// that are also JIS X 0208 characters to the JIS form (0x8790 "≒" encodes as 0x81E0).
// Nine look-alikes fold one way ("¥" to 0x5C, "〜" to 0x8160, "—" to 0x815C, ...).
std::optional<std::string> utf8_to_cp932(std::string_view text);

// The code point at `at` of UTF-8 text, with `at` moved past it; nullopt (`at` unchanged)
// where the bytes are no UTF-8: a bad or cut sequence, an overlong form, a surrogate, a
// code point past U+10FFFF.
std::optional<char32_t> next_utf8(std::string_view text, std::size_t& at);
void append_utf8(std::string& out, char32_t c);

}  // namespace tqv
