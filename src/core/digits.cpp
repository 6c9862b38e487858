#include "digits.h"

#include <algorithm>
#include <climits>

namespace tqv {

int two_digits_to_number(char tens, char units) { return (tens - '0') * 10 + (units - '0'); }

int three_digits_to_number(const char* d) {
    return (d[0] - '0') * 100 + (d[1] - '0') * 10 + (d[2] - '0');
}

static int nibble(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return 0;
}

std::uint8_t hex_pair_to_byte(char high, char low) {
    return static_cast<std::uint8_t>(nibble(high) * 16 + nibble(low));
}

void number_to_two_digits(int value, char* target) {
    value = std::clamp(value, 0, 99);
    target[0] = static_cast<char>('0' + value / 10);
    target[1] = static_cast<char>('0' + value % 10);
}

void number_to_three_digits(int value, char* target) {
    value = std::clamp(value, 0, 999);
    target[0] = static_cast<char>('0' + value / 100);
    target[1] = static_cast<char>('0' + value / 10 % 10);
    target[2] = static_cast<char>('0' + value % 10);
}

std::string two_digits(int value) {
    std::string s(2, '0');
    number_to_two_digits(value, s.data());
    return s;
}

std::string three_digits(int value) {
    std::string s(3, '0');
    number_to_three_digits(value, s.data());
    return s;
}

std::string hex4(unsigned value) {
    static const char* digits = "0123456789ABCDEF";
    std::string s(4, '0');
    for (int k = 0; k < 4; ++k) s[k] = digits[(value >> (12 - 4 * k)) & 0xF];
    return s;
}

bool is_hex_digit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }
bool is_decimal_digit(char c) { return c >= '0' && c <= '9'; }

int contains_four(std::string_view text, std::string_view pattern) {
    if (pattern.size() != 4 || text.size() < 5) return 1;
    for (std::size_t i = 1; i + 4 <= text.size(); ++i) {
        if (text.substr(i, 4) == pattern) return 0;
    }
    return 1;
}

std::string with_extension(std::string name, std::string_view extension) {
    if (contains_four(name, extension) != 0) name += extension;
    return name;
}

int leading_number(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && is_decimal_digit(text[i]); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > INT_MAX) value = INT_MAX;
    }
    return static_cast<int>(negative ? -value : value);
}

}  // namespace tqv
