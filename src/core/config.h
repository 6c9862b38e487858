// The configuration file tqv7310nx.ini in the private-profile format of the Windows
// installations: one section "TQV-7310NX_Section", keys compared without regard to case,
// values as text. Written key by key; other sections and keys are kept.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model.h"

namespace tqv {

inline constexpr const char* kConfigSection = "TQV-7310NX_Section";
inline constexpr const char* kConfigFileName = "tqv7310nx.ini";

class IniFile {
public:
    explicit IniFile(std::string path) : path_(std::move(path)) {}
    const std::string& path() const { return path_; }

    // The value of a key, or `fallback` when the file, section or key is absent.
    std::string get(std::string_view section, std::string_view key,
                    std::string_view fallback) const;
    // Writes one key (creating file and section as needed). False when it cannot be saved
    // or the key or value cannot be held in the format (line breaks, '=' in a key). The file
    // is rewritten atomically with CR LF line ends; every other line is kept.
    bool set(std::string_view section, std::string_view key, std::string_view value);
    // Several keys of one section in one rewrite of the file.
    bool set_values(std::string_view section,
                    const std::vector<std::pair<std::string, std::string>>& entries);
    // All keys of a section (first occurrence wins), keyed by the lower-case key name,
    // values trimmed. Empty when the file or section is absent.
    std::map<std::string, std::string> read_section(std::string_view section) const;

    // The same on a file's bytes: the section's keys, and the bytes with `entries` written
    // (what set_values saves; the keys must already be checked).
    static std::map<std::string, std::string> parse_section(std::string_view bytes,
                                                            std::string_view section);
    static std::string with_values(std::string_view bytes, std::string_view section,
                                   const std::vector<std::pair<std::string, std::string>>& entries);

private:
    std::string path_;
};

// "ip" + '0' + n / 10 + '0' + n % 10 + "_" + octet digit ("ip00_0"; ":" from host 100 on).
std::string host_key(int host, int octet);

// Reads every configuration value into the model (defaults for absent keys). Integer keys
// count with their first 9 characters, `port_number` with its first 5; `host_count` is
// clamped into 0..256 and host octets into 0..255; hosts from `host_count` on keep their
// values. `Interface` and `ClientServer` other than 1 read as 0, a `com_port` outside
// 0..5 as 0. The extra key `com_device` (default empty) names a serial device path that
// overrides `com_port`; `fast_transfer` and `allow_listed_only` (default 0) are 1 only when they read 1.
void read_configuration(Model& m, const IniFile& ini);
// The same from the section's keys as read_section gives them.
void apply_configuration(Model& m, const std::map<std::string, std::string>& values);

// Show control, keys of this program only: the HTTP, OSC and RossTalk ports (0, the default: off;
// values outside 1..65535 are off too), the address they listen on, and the bearer token
// HTTP requests must carry (empty: none).
struct ControlConfig {
    int http_port = 0;
    int osc_port = 0;
    int rosstalk_port = 0;  // control_rosstalk_port: a vision mixer's GO and GPI for the cue list
    std::string bind = "127.0.0.1";
    std::string token;
    bool lock = false;   // control_lock: remote requests refused (the menu's toggle)
    std::string allow;   // control_allow: the only client addresses served, comma-separated
    std::string hosts;    // control_hosts: names the HTTP Host may carry besides addresses and localhost
    std::string origins;  // control_origins: web origins allowed besides the server's own
};
ControlConfig read_control_configuration(const IniFile& ini);
bool write_control_lock(bool locked, IniFile& ini);

// Single keys, as the dialogs write them.
bool write_interface(const Model& m, IniFile& ini);
bool write_com_port(const Model& m, IniFile& ini);
bool write_com_device(const Model& m, IniFile& ini);
bool write_fast_transfer(const Model& m, IniFile& ini);
bool write_tcp_role(const Model& m, IniFile& ini);
bool write_port_number(const Model& m, IniFile& ini);
bool write_selected_peer(const Model& m, IniFile& ini);
bool write_host_count(const Model& m, IniFile& ini);
// The four octet keys of one host (0..255) in one rewrite; false for another index.
bool write_host(const Model& m, IniFile& ini, int host);

}  // namespace tqv
