// The configuration file: reading any file gives normalised values, and a key written into
// it reads back as written while the other keys stay as they were.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/config.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tqv;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    Model m;
    const auto values = IniFile::parse_section(bytes, kConfigSection);
    apply_configuration(m, values);
    fuzz::check(m.interface_kind == 0 || m.interface_kind == 1, "Interface is 0 or 1");
    fuzz::check(m.tcp_role == 0 || m.tcp_role == 1, "ClientServer is 0 or 1");
    fuzz::check(m.com_port_index >= 0 && m.com_port_index < kComPorts, "com_port is COM1..COM6");
    fuzz::check(m.host_count >= 0 && m.host_count <= kHostListSize, "list_count is 0..256");

    const std::string written = IniFile::with_values(bytes, kConfigSection, {{"ip00_0", "7"}});
    auto after = IniFile::parse_section(written, kConfigSection);
    fuzz::check(after["ip00_0"] == "7", "a written key reads back");
    after.erase("ip00_0");
    auto before = values;
    before.erase("ip00_0");
    fuzz::check(after == before, "the other keys of the section are kept");
    return 0;
}
