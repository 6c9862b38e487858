#include "core/config.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "temp_dir.h"

namespace tqv {
namespace {

using testing::read_bytes;
using testing::TempDir;
using testing::write_bytes;

Ipv4 ip(int a, int b, int c, int d) {
    return {static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b),
            static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(d)};
}

// A model whose configuration values all differ from the defaults.
Model configured_model() {
    Model m;
    m.interface_kind = 1;
    m.com_port_index = 4;
    m.com_device = "/dev/old";
    set_slot_text(m.port_number, "12345");
    m.tcp_role = 1;
    m.selected_peer = 7;
    m.host_count = 9;
    m.host_list[0] = ip(9, 9, 9, 9);
    return m;
}

TEST(ConfigFile, HostKeysUseDigitCharactersBeyondNine) {
    EXPECT_EQ(host_key(0, 0), "ip00_0");
    EXPECT_EQ(host_key(12, 3), "ip12_3");
    EXPECT_EQ(host_key(99, 1), "ip99_1");
    EXPECT_EQ(host_key(100, 0), "ip:0_0");
    EXPECT_EQ(host_key(119, 2), "ip;9_2");
    EXPECT_EQ(host_key(255, 3), "ipI5_3");
}

TEST(ConfigFile, NoFileGivesTheDefaults) {
    TempDir dir;
    IniFile ini(dir.file("tqv7310nx.ini"));
    Model m = configured_model();
    read_configuration(m, ini);
    EXPECT_EQ(m.interface_kind, 0);
    EXPECT_EQ(m.com_port_index, 0);
    EXPECT_EQ(m.com_device, "");
    EXPECT_EQ(slot_text(m.port_number), "09004");
    EXPECT_EQ(m.tcp_role, 0);
    EXPECT_EQ(m.selected_peer, 0);
    EXPECT_EQ(m.host_count, 0);
    EXPECT_TRUE(dir.entries().empty());  // reading creates nothing
}

TEST(ConfigFile, ReadsEveryKey) {
    TempDir dir;
    write_bytes(dir.file("t.ini"),
                "[TQV-7310NX_Section]\r\n"
                "com_port=3\r\n"
                "Interface=1\r\n"
                "port_number=10001\r\n"
                "ClientServer=1\r\n"
                "select_number=-1\r\n"
                "list_count=1\r\n"
                "ip00_0=192\r\nip00_1=168\r\nip00_2=1\r\nip00_3=20\r\n"
                "com_device=/dev/ttyUSB0\r\n");
    Model m;
    read_configuration(m, IniFile(dir.file("t.ini")));
    EXPECT_EQ(m.com_port_index, 3);
    EXPECT_EQ(m.interface_kind, 1);
    EXPECT_EQ(slot_text(m.port_number), "10001");
    EXPECT_EQ(m.tcp_role, 1);
    EXPECT_EQ(m.selected_peer, -1);
    EXPECT_EQ(m.host_count, 1);
    EXPECT_EQ(m.host_list[0], ip(192, 168, 1, 20));
    EXPECT_EQ(m.com_device, "/dev/ttyUSB0");
}

TEST(ConfigFile, ListCountTwoReadsHosts00And01Only) {
    TempDir dir;
    write_bytes(dir.file("t.ini"),
                "[TQV-7310NX_Section]\n"
                "list_count=2\n"
                "ip00_0=10\nip00_1=0\nip00_2=0\nip00_3=1\n"
                "ip01_0=10\nip01_1=0\nip01_2=0\nip01_3=2\n"
                "ip02_0=10\nip02_1=0\nip02_2=0\nip02_3=3\n");
    Model m;
    read_configuration(m, IniFile(dir.file("t.ini")));
    EXPECT_EQ(m.host_count, 2);
    EXPECT_EQ(m.host_list[0], ip(10, 0, 0, 1));
    EXPECT_EQ(m.host_list[1], ip(10, 0, 0, 2));
    EXPECT_EQ(m.host_list[2], ip(0, 0, 0, 0));
}

TEST(ConfigFile, Host100IsReadFromTheColonKey) {
    TempDir dir;
    write_bytes(dir.file("t.ini"),
                "[TQV-7310NX_Section]\r\nlist_count=101\r\n"
                "ip:0_0=172\r\nip:0_1=16\r\nip:0_2=5\r\nip:0_3=6\r\n");
    Model m;
    read_configuration(m, IniFile(dir.file("t.ini")));
    EXPECT_EQ(m.host_count, 101);
    EXPECT_EQ(m.host_list[100], ip(172, 16, 5, 6));
    EXPECT_EQ(m.host_list[99], ip(0, 0, 0, 0));  // absent keys give 0
}

TEST(ConfigFile, KeysAndSectionAreComparedWithoutCaseAndBlanksAreTrimmed) {
    TempDir dir;
    write_bytes(dir.file("t.ini"),
                "[tqv-7310nx_section]\r\n"
                "  INTERFACE = 1 \r\n"
                "clientserver\t=\t1\r\n"
                "COM_PORT=5\r\n");
    Model m;
    IniFile ini(dir.file("t.ini"));
    read_configuration(m, ini);
    EXPECT_EQ(m.interface_kind, 1);
    EXPECT_EQ(m.tcp_role, 1);
    EXPECT_EQ(m.com_port_index, 5);
    EXPECT_EQ(ini.get(kConfigSection, "Interface", "x"), "1");
    EXPECT_EQ(ini.get(kConfigSection, "missing", "fallback"), "fallback");
    EXPECT_EQ(ini.get("other", "Interface", "none"), "none");
}

TEST(ConfigFile, IntegersAreLeadingNumbersOfAtMostNineCharacters) {
    TempDir dir;
    write_bytes(dir.file("t.ini"),
                "[TQV-7310NX_Section]\r\n"
                "com_port=3ab\r\n"
                "Interface=abc\r\n"
                "ClientServer=0000000012\r\n"
                "select_number=  -3\r\n"
                "port_number=123456789\r\n");
    Model m = configured_model();
    read_configuration(m, IniFile(dir.file("t.ini")));
    EXPECT_EQ(m.com_port_index, 3);
    EXPECT_EQ(m.interface_kind, 0);
    EXPECT_EQ(m.tcp_role, 1) << "the first nine characters, 000000001";
    EXPECT_EQ(m.selected_peer, -3);
    EXPECT_EQ(slot_text(m.port_number), "12345");
}

TEST(ConfigFile, ControlKeysAreOffByDefaultAndPortsOutOfRangeAreOff) {
    TempDir dir;
    EXPECT_EQ(read_control_configuration(IniFile(dir.file("none.ini"))).bind, "127.0.0.1");
    write_bytes(dir.file("t.ini"),
                "[TQV-7310NX_Section]\r\ncontrol_http_port=8080\r\ncontrol_osc_port=70000\r\n"
                "Control_Bind=0.0.0.0\r\ncontrol_token= s3cret \r\n"
                "control_hosts=studio.local, pc2\r\ncontrol_origins=http://panel.local:8000\r\n");
    const ControlConfig c = read_control_configuration(IniFile(dir.file("t.ini")));
    EXPECT_EQ(c.http_port, 8080);
    EXPECT_EQ(c.osc_port, 0);
    EXPECT_EQ(c.bind, "0.0.0.0");
    EXPECT_EQ(c.token, "s3cret");
    EXPECT_EQ(c.hosts, "studio.local, pc2");
    EXPECT_EQ(c.origins, "http://panel.local:8000");
}

TEST(ConfigFile, HostCountIsClampedSoNothingIsReadOutOfBounds) {
    TempDir dir;
    write_bytes(dir.file("t.ini"), "[TQV-7310NX_Section]\r\nlist_count=300\r\nipI5_0=7\r\n");
    Model m;
    read_configuration(m, IniFile(dir.file("t.ini")));
    EXPECT_EQ(m.host_count, 256);
    EXPECT_EQ(m.host_list[255][0], 7);

    write_bytes(dir.file("t.ini"), "[TQV-7310NX_Section]\r\nlist_count=-4\r\n");
    read_configuration(m, IniFile(dir.file("t.ini")));
    EXPECT_EQ(m.host_count, 0);
}

TEST(ConfigFile, OctetsOutsideAByteAreClamped) {
    TempDir dir;
    write_bytes(dir.file("t.ini"),
                "[TQV-7310NX_Section]\r\nlist_count=1\r\nip00_0=300\r\nip00_1=-2\r\n");
    Model m;
    read_configuration(m, IniFile(dir.file("t.ini")));
    EXPECT_EQ(m.host_list[0], ip(255, 0, 0, 0));
}

TEST(ConfigFile, KeysOfOtherSectionsAreNotRead) {
    TempDir dir;
    write_bytes(dir.file("t.ini"),
                "Interface=1\r\n"
                "[Other]\r\nInterface=1\r\ncom_port=2\r\n"
                "[TQV-7310NX_Section]\r\ncom_port=3\r\n");
    Model m;
    read_configuration(m, IniFile(dir.file("t.ini")));
    EXPECT_EQ(m.interface_kind, 0);
    EXPECT_EQ(m.com_port_index, 3);
}

TEST(ConfigFile, WritingCreatesTheFileWithCrLf) {
    TempDir dir;
    IniFile ini(dir.file("new.ini"));
    Model m;
    m.interface_kind = 1;
    ASSERT_TRUE(write_interface(m, ini));
    EXPECT_EQ(read_bytes(dir.file("new.ini")), "[TQV-7310NX_Section]\r\nInterface=1\r\n");
}

TEST(ConfigFile, WritingOneKeyKeepsEverythingElse) {
    TempDir dir;
    write_bytes(dir.file("t.ini"),
                "; comment line\n"
                "[Other]\n"
                "Interface=7\n"
                "\n"
                "[TQV-7310NX_Section]\n"
                "com_port=2\n"
                "interface = 0\n"
                "; keep me\n"
                "ip00_0=1\n"
                "\n"
                "[Third]\n"
                "x=y\n");
    IniFile ini(dir.file("t.ini"));
    Model m;
    m.interface_kind = 1;
    ASSERT_TRUE(write_interface(m, ini));
    EXPECT_EQ(read_bytes(dir.file("t.ini")),
              "; comment line\r\n"
              "[Other]\r\n"
              "Interface=7\r\n"
              "\r\n"
              "[TQV-7310NX_Section]\r\n"
              "com_port=2\r\n"
              "Interface=1\r\n"
              "; keep me\r\n"
              "ip00_0=1\r\n"
              "\r\n"
              "[Third]\r\n"
              "x=y\r\n");

    // A new key goes at the end of its section, before the blank line and the next section.
    m.tcp_role = 1;
    ASSERT_TRUE(write_tcp_role(m, ini));
    EXPECT_EQ(read_bytes(dir.file("t.ini")),
              "; comment line\r\n"
              "[Other]\r\n"
              "Interface=7\r\n"
              "\r\n"
              "[TQV-7310NX_Section]\r\n"
              "com_port=2\r\n"
              "Interface=1\r\n"
              "; keep me\r\n"
              "ip00_0=1\r\n"
              "ClientServer=1\r\n"
              "\r\n"
              "[Third]\r\n"
              "x=y\r\n");
    EXPECT_EQ(ini.get("Other", "Interface", ""), "7");
    EXPECT_EQ(ini.get("Third", "X", ""), "y");
}

TEST(ConfigFile, WrittenValuesReadBack) {
    TempDir dir;
    IniFile ini(dir.file("t.ini"));
    Model written;
    written.interface_kind = 1;
    written.com_port_index = 5;
    written.com_device = "/dev/pts/7";
    set_slot_text(written.port_number, "01234");
    written.tcp_role = 1;
    written.selected_peer = -1;
    written.host_count = 101;
    written.host_list[0] = ip(192, 168, 0, 1);
    written.host_list[100] = ip(10, 20, 30, 40);
    ASSERT_TRUE(write_interface(written, ini));
    ASSERT_TRUE(write_com_port(written, ini));
    ASSERT_TRUE(write_com_device(written, ini));
    ASSERT_TRUE(write_port_number(written, ini));
    ASSERT_TRUE(write_tcp_role(written, ini));
    ASSERT_TRUE(write_selected_peer(written, ini));
    ASSERT_TRUE(write_host_count(written, ini));
    ASSERT_TRUE(write_host(written, ini, 0));
    ASSERT_TRUE(write_host(written, ini, 100));
    EXPECT_FALSE(write_host(written, ini, 256));
    EXPECT_FALSE(write_host(written, ini, -1));

    EXPECT_EQ(ini.get(kConfigSection, "ip:0_3", ""), "40");
    EXPECT_EQ(ini.get(kConfigSection, "select_number", ""), "-1");
    Model read;
    read_configuration(read, ini);
    EXPECT_EQ(read.interface_kind, 1);
    EXPECT_EQ(read.com_port_index, 5);
    EXPECT_EQ(read.com_device, "/dev/pts/7");
    EXPECT_EQ(slot_text(read.port_number), "01234");
    EXPECT_EQ(read.tcp_role, 1);
    EXPECT_EQ(read.selected_peer, -1);
    EXPECT_EQ(read.host_count, 101);
    EXPECT_EQ(read.host_list[0], ip(192, 168, 0, 1));
    EXPECT_EQ(read.host_list[100], ip(10, 20, 30, 40));
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"t.ini"});
}

TEST(ConfigFile, RefusesWhatTheFormatCannotHold) {
    TempDir dir;
    IniFile ini(dir.file("t.ini"));
    EXPECT_FALSE(ini.set(kConfigSection, "a=b", "1"));
    EXPECT_FALSE(ini.set(kConfigSection, "key", "two\nlines"));
    EXPECT_FALSE(ini.set(kConfigSection, "", "1"));
    EXPECT_FALSE(ini.set("bad]section", "key", "1"));
    EXPECT_TRUE(dir.entries().empty());
}

TEST(ConfigFile, WriteFailureLeavesTheDirectoryAsItWas) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("t.ini"));
    IniFile ini(dir.file("t.ini"));
    EXPECT_FALSE(ini.set(kConfigSection, "Interface", "1"));
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("t.ini")));
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"t.ini"});
}

}  // namespace
}  // namespace tqv
