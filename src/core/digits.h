// Conversions between numbers and the fixed-width digit fields of the device protocol.
// Writers never produce a non-digit: a value that does not fit its field is clamped.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tqv {

int two_digits_to_number(char tens, char units);
int three_digits_to_number(const char* digits);  // reads exactly three characters
// Two characters '0'..'9' or 'A'..'F' (high nibble first) to a byte.
std::uint8_t hex_pair_to_byte(char high, char low);
// Writes two digits (tens first) into target[0..1]; no NUL. Clamps to 0..99.
void number_to_two_digits(int value, char* target);
// Writes three digits into target[0..2]; no NUL. Clamps to 0..999.
void number_to_three_digits(int value, char* target);
std::string two_digits(int value);    // "07"
std::string three_digits(int value);  // "007"
std::string hex4(unsigned value);     // four upper-case hex digits, most significant first
bool is_hex_digit(char c);            // '0'..'9', 'A'..'F'
bool is_decimal_digit(char c);
// 0 when `pattern` (four characters) occurs in `text` starting at position 1 or later,
// else 1. Decides whether save-as appends an extension.
int contains_four(std::string_view text, std::string_view pattern);
// Appends `extension` (".dat", ".tll", ".bmp") unless the name already contains it after
// its first character (case-sensitive, anywhere in the name).
std::string with_extension(std::string name, std::string_view extension);
// Leading decimal number of a text, as the configuration file is read: "12ab" gives 12,
// text without digits gives 0. Saturates instead of overflowing.
int leading_number(std::string_view text);

}  // namespace tqv
