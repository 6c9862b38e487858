#include "rosstalk.h"

#include <cctype>

namespace tqv {

namespace {

bool blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// A cue number: 1 to 5 digits, not 0. Longer numbers name no cue a list can hold.
int cue_number(std::string_view digits) {
    if (digits.empty() || digits.size() > 5) return 0;
    int n = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return 0;
        n = n * 10 + (c - '0');
    }
    return n;
}

}  // namespace

bool looks_like_http(std::string_view line) {
    // A method or a header name: an HTTP token.
    auto token_char = [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) ||
               std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
    };
    std::size_t i = 0;
    while (i < line.size() && token_char(line[i])) ++i;
    if (i == 0 || i == line.size()) return false;
    if (line[i] == ':') return true;
    if (line[i] != ' ') return false;
    const std::string_view target = line.substr(i + 1);
    return target.starts_with('/') || target.starts_with('*') ||
           target.find("://") != std::string_view::npos ||
           target.find(" HTTP/") != std::string_view::npos;
}

RossTalkCommand parse_rosstalk(std::string_view line) {
    while (!line.empty() && blank(line.front())) line.remove_prefix(1);
    while (!line.empty() && blank(line.back())) line.remove_suffix(1);
    std::string word;
    while (!line.empty() && !blank(line.front())) {
        word += char(std::toupper(static_cast<unsigned char>(line.front())));
        line.remove_prefix(1);
    }
    while (!line.empty() && blank(line.front())) line.remove_prefix(1);
    // What follows the command: its cue (GPI, CC), then the devices it is for, if named.
    const auto take = [&line] {
        std::size_t n = 0;
        while (n < line.size() && !blank(line[n])) ++n;
        const std::string_view token = line.substr(0, n);
        line.remove_prefix(n);
        while (!line.empty() && blank(line.front())) line.remove_prefix(1);
        return token;
    };
    RossTalkCommand c;
    if (word == "GO") {
        c.kind = RossTalkCommand::Kind::go;
    } else if (word == "GPI" || word == "CC") {
        std::string_view cue = take();
        if (word == "CC" && !cue.starts_with("1:")) return {};
        if (word == "CC") cue.remove_prefix(2);
        c.kind = RossTalkCommand::Kind::fire;
        c.cue = cue_number(cue);
        if (c.cue == 0) return {};
    } else {
        return {};
    }
    // In capitals, as the command: "all" and "ALL" are one command. Only what can name
    // devices ("2", "1,3", "all") is taken, so that no line of a browser's passes for one.
    for (char ch : take()) c.device += char(std::toupper(static_cast<unsigned char>(ch)));
    if (c.device != "ALL" && c.device.find_first_not_of("0123456789,") != std::string::npos) return {};
    if (!line.empty()) return {};
    return c;
}

RossTalkLines::Fed RossTalkLines::feed(std::string_view bytes) {
    Fed fed;
    const std::size_t before = lines_.dropped();
    for (std::string& line : lines_.feed(bytes)) {
        line.pop_back();  // LF
        if (!line.empty() && line.back() == '\r') line.pop_back();
        fed.lines.push_back(std::move(line));
    }
    fed.dropped = lines_.dropped() - before;
    return fed;
}

}  // namespace tqv
