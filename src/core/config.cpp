#include "config.h"

#include <algorithm>

#include "atomic_file.h"
#include "digits.h"

namespace tqv {

namespace {

// The largest file the program writes holds the few plain keys and 4 keys of up to 12
// characters per host; the slack keeps room for other sections and comments.
constexpr std::size_t kLargestIni = 1024 + kHostListSize * 4 * 14;
constexpr std::size_t kIniReadLimit = kLargestIni + kReadSlack;

constexpr std::string_view kBom = "\xEF\xBB\xBF";

std::string_view trim(std::string_view s) {
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string lowered(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), lower);
    return out;
}

bool same_name(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return lower(x) == lower(y); });
}

std::vector<std::string> owned_lines(std::string_view bytes) {
    std::vector<std::string> lines;
    for (std::string_view l : split_lines(bytes)) lines.emplace_back(l);
    return lines;
}

// "[name]" gives name (trimmed); any other line gives nullopt.
std::optional<std::string_view> section_of(std::string_view line) {
    if (line.substr(0, kBom.size()) == kBom) line.remove_prefix(kBom.size());
    line = trim(line);
    if (line.empty() || line.front() != '[') return std::nullopt;
    auto close = line.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    return trim(line.substr(1, close - 1));
}

struct KeyLine {
    std::string_view key;
    std::string_view value;
};

// "key = value" with blanks around both trimmed; comments and lines without '=' give nullopt.
std::optional<KeyLine> key_of(std::string_view line) {
    std::string_view t = trim(line);
    if (t.empty() || t.front() == ';' || t.front() == '#') return std::nullopt;
    auto eq = t.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    std::string_view key = trim(t.substr(0, eq));
    if (key.empty()) return std::nullopt;
    return KeyLine{key, trim(t.substr(eq + 1))};
}

// Writes `key` into the lines: replaces the first line of that key in the first section of
// that name, or adds the key after the section's last non-blank line, or adds the section
// at the end of the file.
void put_key(std::vector<std::string>& lines, std::string_view section, std::string_view key,
             std::string_view value) {
    std::string entry = std::string(key) + "=" + std::string(value);
    std::size_t i = 0;
    while (i < lines.size()) {
        auto name = section_of(lines[i]);
        if (name && same_name(*name, section)) break;
        ++i;
    }
    if (i == lines.size()) {
        lines.push_back("[" + std::string(section) + "]");
        lines.push_back(entry);
        return;
    }
    std::size_t insert_at = i + 1;
    for (std::size_t j = i + 1; j < lines.size() && !section_of(lines[j]); ++j) {
        auto k = key_of(lines[j]);
        if (k && same_name(k->key, key)) {
            lines[j] = entry;
            return;
        }
        if (!trim(lines[j]).empty()) insert_at = j + 1;
    }
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insert_at), entry);
}

bool has_line_break(std::string_view s) {
    return s.find_first_of("\r\n") != std::string_view::npos;
}

}  // namespace

std::map<std::string, std::string> IniFile::read_section(std::string_view section) const {
    auto bytes = read_whole_file(path_, kIniReadLimit);
    return bytes ? parse_section(*bytes, section) : std::map<std::string, std::string>{};
}

std::map<std::string, std::string> IniFile::parse_section(std::string_view bytes,
                                                          std::string_view section) {
    std::map<std::string, std::string> values;
    bool inside = false;
    for (std::string_view line : split_lines(bytes)) {
        if (auto name = section_of(line)) {
            inside = same_name(*name, section);
            continue;
        }
        if (!inside) continue;
        if (auto k = key_of(line)) values.emplace(lowered(k->key), std::string(k->value));
    }
    return values;
}

std::string IniFile::get(std::string_view section, std::string_view key,
                         std::string_view fallback) const {
    auto values = read_section(section);
    auto it = values.find(lowered(key));
    return it == values.end() ? std::string(fallback) : it->second;
}

bool IniFile::set(std::string_view section, std::string_view key, std::string_view value) {
    return set_values(section, {{std::string(key), std::string(value)}});
}

bool IniFile::set_values(std::string_view section,
                         const std::vector<std::pair<std::string, std::string>>& entries) {
    if (section.empty() || has_line_break(section) || section.find(']') != std::string_view::npos)
        return false;
    for (const auto& [key, value] : entries) {
        std::string_view k = trim(key);
        if (k.empty() || k != key || has_line_break(key) || key.find('=') != std::string::npos ||
            key.front() == ';' || key.front() == '[')
            return false;
        if (has_line_break(value)) return false;
    }
    auto bytes = read_whole_file(path_, kIniReadLimit);
    // A file that exists but cannot be read (too large, not a regular file) is not replaced
    // by one that holds only these keys.
    if (!bytes && path_exists(path_)) return false;
    return write_file_atomically(path_, with_values(bytes.value_or(""), section, entries));
}

std::string IniFile::with_values(std::string_view bytes, std::string_view section,
                                 const std::vector<std::pair<std::string, std::string>>& entries) {
    std::vector<std::string> lines = owned_lines(bytes);
    for (const auto& [key, value] : entries) put_key(lines, section, key, trim(value));
    std::string out;
    for (const std::string& line : lines) {
        out += line;
        out += "\r\n";
    }
    return out;
}

std::string host_key(int host, int octet) {
    std::string key = "ip";
    key += static_cast<char>('0' + host / 10);
    key += static_cast<char>('0' + host % 10);
    key += '_';
    key += static_cast<char>('0' + octet);
    return key;
}

void read_configuration(Model& m, const IniFile& ini) {
    apply_configuration(m, ini.read_section(kConfigSection));
}

void apply_configuration(Model& m, const std::map<std::string, std::string>& values) {
    auto text = [&](std::string_view key, std::string_view fallback) -> std::string {
        auto it = values.find(lowered(key));
        return it == values.end() ? std::string(fallback) : it->second;
    };
    // Integer keys: at most 9 characters, their leading decimal number.
    auto integer = [&](std::string_view key) {
        return leading_number(std::string_view(text(key, "0")).substr(0, 9));
    };
    // Normalised here, once, so that the menus, the send path and start-up agree: only 1
    // means TCP/IP and only 1 the server role; a COM port outside COM1..COM6 is COM1.
    const int com_port = integer("com_port");
    m.com_port_index = com_port >= 0 && com_port < kComPorts ? com_port : 0;
    m.interface_kind = integer("Interface") == 1 ? 1 : 0;
    set_slot_text(m.port_number, std::string_view(text("port_number", "09004")).substr(0, 5));
    m.tcp_role = integer("ClientServer") == 1 ? 1 : 0;
    m.selected_peer = integer("select_number");
    m.host_count = std::clamp(integer("list_count"), 0, kHostListSize);
    m.com_device = text("com_device", "");
    m.fast_transfer = integer("fast_transfer") == 1 ? 1 : 0;
    m.allow_listed_only = integer("allow_listed_only") == 1 ? 1 : 0;
    for (int host = 0; host < m.host_count; ++host) {
        for (int octet = 0; octet < 4; ++octet) {
            m.host_list[host][octet] =
                static_cast<std::uint8_t>(std::clamp(integer(host_key(host, octet)), 0, 255));
        }
    }
}

ControlConfig read_control_configuration(const IniFile& ini) {
    ControlConfig c;
    auto port = [&](std::string_view key) {
        const int value =
            leading_number(std::string_view(ini.get(kConfigSection, key, "0")).substr(0, 9));
        return value >= 1 && value <= 65535 ? value : 0;
    };
    c.http_port = port("control_http_port");
    c.osc_port = port("control_osc_port");
    c.rosstalk_port = port("control_rosstalk_port");
    c.bind = ini.get(kConfigSection, "control_bind", c.bind);
    if (c.bind.empty()) c.bind = "127.0.0.1";
    c.token = ini.get(kConfigSection, "control_token", "");
    c.lock = leading_number(std::string_view(ini.get(kConfigSection, "control_lock", "0")).substr(0, 9)) != 0;
    c.allow = ini.get(kConfigSection, "control_allow", "");
    c.hosts = ini.get(kConfigSection, "control_hosts", "");
    c.origins = ini.get(kConfigSection, "control_origins", "");
    return c;
}

bool write_control_lock(bool locked, IniFile& ini) {
    return ini.set(kConfigSection, "control_lock", locked ? "1" : "0");
}

bool write_interface(const Model& m, IniFile& ini) {
    return ini.set(kConfigSection, "Interface", std::to_string(m.interface_kind));
}

bool write_com_port(const Model& m, IniFile& ini) {
    return ini.set(kConfigSection, "com_port", std::to_string(m.com_port_index));
}

bool write_fast_transfer(const Model& m, IniFile& ini) {
    return ini.set(kConfigSection, "fast_transfer", std::to_string(m.fast_transfer));
}

bool write_com_device(const Model& m, IniFile& ini) {
    return ini.set(kConfigSection, "com_device", m.com_device);
}

bool write_tcp_role(const Model& m, IniFile& ini) {
    return ini.set(kConfigSection, "ClientServer", std::to_string(m.tcp_role));
}

bool write_port_number(const Model& m, IniFile& ini) {
    return ini.set(kConfigSection, "port_number", slot_text(m.port_number));
}

bool write_selected_peer(const Model& m, IniFile& ini) {
    return ini.set(kConfigSection, "select_number", std::to_string(m.selected_peer));
}

bool write_host_count(const Model& m, IniFile& ini) {
    return ini.set(kConfigSection, "list_count", std::to_string(m.host_count));
}

bool write_host(const Model& m, IniFile& ini, int host) {
    if (host < 0 || host >= kHostListSize) return false;
    std::vector<std::pair<std::string, std::string>> entries;
    for (int octet = 0; octet < 4; ++octet)
        entries.emplace_back(host_key(host, octet), std::to_string(m.host_list[host][octet]));
    return ini.set_values(kConfigSection, entries);
}

}  // namespace tqv
