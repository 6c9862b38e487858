// Titles: Shift-JIS (code page 932) in the model, JIS X 0208 codes on the wire, glyph
// placeholders for custom glyphs.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "model.h"

namespace tqv {

inline constexpr std::uint16_t kGlyphCodeOffset = 0xAA45;
inline constexpr std::uint16_t kFullWidthSpaceJis = 0x2121;

// Moves an IBM extension character (0xFA40..0xFC4B) to its NEC-selected twin; 0 when none.
std::uint16_t map_ibm_extension(std::uint16_t u);
// Standard Shift-JIS to JIS X 0208 conversion; 0 when the code is not a double-byte
// character of rows 0x21..0x7E.
std::uint16_t sjis_to_jis(std::uint16_t u);
// JIS X 0208 to Shift-JIS; 0 when a byte lies outside 0x21..0x7E.
std::uint16_t jis_to_sjis(std::uint16_t code);
// The device code of one two-byte unit of a padded title, or nullopt when the unit cannot
// be sent (neither a glyph placeholder nor a convertible double-byte character).
std::optional<std::uint16_t> title_unit_code(std::uint16_t unit);

// A title as it is sent: its bytes padded with full-width spaces to kTitleMaxBytes, then NUL.
inline constexpr int kPaddedTitleSize = kTitleMaxBytes + 1;
using PaddedTitle = std::array<char, kPaddedTitleSize>;

// Copies title bytes to `padded` (28 bytes + NUL) padded with full-width spaces. False when
// the title is longer than 28 bytes or of odd length (the first 28 bytes are copied all the
// same).
bool pad_title_bytes(std::string_view bytes, PaddedTitle& padded);
// The same for slot t of the model; false also for a slot number out of range.
bool pad_title(const Model& model, int t, PaddedTitle& padded);
// "CT"/"CN" body for title t from a padded title; nullopt when a unit cannot be converted.
std::optional<std::string> build_title_body(int store, int t, const PaddedTitle& padded);
// Decodes the 14 codes of a "CT" answer into the bytes the title slot holds.
std::string decode_title_codes(const std::array<std::uint16_t, 14>& codes);

// Channel field "01"/"02" and position letter 'T'/'B' of a title line.
std::string channel_field(int line);
char position_letter(int line);

}  // namespace tqv
