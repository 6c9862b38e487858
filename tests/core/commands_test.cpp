#include "core/commands.h"

#include <gtest/gtest.h>

#include "core_fixture.h"

namespace tqv {
namespace {

TEST(Bodies, PagesAndStartUpPages) {
    Model m;
    m.current_page = {64, 0, 0, 63};
    EXPECT_EQ(body_page_switch(m, 0), "P01TAS\r\n");
    EXPECT_EQ(body_page_switch(m, 2), "P02T01\r\n");
    EXPECT_EQ(body_page_switch(m, 3), "P02B64\r\n");
    m.current_page[1] = 99;  // from a stored document: still automatic switching
    EXPECT_EQ(body_page_switch(m, 1), "P01BAS\r\n");
    m.current_page[1] = -7;
    EXPECT_EQ(body_page_switch(m, 1), "P01B01\r\n");
    m.startup_page[0] = 64;
    EXPECT_EQ(body_startup_page(m, 0), "SUS01TAS\r\n");
    m.startup_page[2] = 4;
    EXPECT_EQ(body_startup_page(m, 2), "SUS02T05\r\n");
}

TEST(Bodies, DisplayAndSwitchingTimes) {
    Model m;
    EXPECT_EQ(body_display_line(m, 0), "CTD01T" + std::string(64, 'N') + "\r\n");
    m.title_display[1].fill(0);
    EXPECT_EQ(body_display_line(m, 1), "CTD01B" + std::string(64, 'F') + "\r\n");
    EXPECT_EQ(body_display_one(m, 1, 0), "CTD01B01OF\r\n");
    EXPECT_EQ(body_display_one(m, 2, 63), "CTD02T64ON\r\n");
    EXPECT_EQ(body_display_line(m, 3).size(), 72u);

    std::string twos;
    for (int i = 0; i < 64; ++i) twos += "02";
    EXPECT_EQ(body_switch_times_line(m, 0), "AST01T" + twos + "\r\n");
    EXPECT_EQ(body_switch_times_line(m, 0).size(), 136u);
    m.switch_time[3][63] = 15;
    EXPECT_EQ(body_switch_time_one(m, 3, 63), "AST02B6415\r\n");
    m.switch_time[3][63] = 150;  // never a non-digit in the field
    EXPECT_EQ(body_switch_time_one(m, 3, 63), "AST02B6499\r\n");
}

TEST(Bodies, LevelsPositionInsertionAndGlyphs) {
    Model m;
    EXPECT_EQ(body_white_level(m), "CWL1\r\n");
    m.edge_level = 3;
    EXPECT_EQ(body_edge_level(m), "CEL3\r\n");
    EXPECT_EQ(body_position(m, 3), "CTDPO02B07\r\n");
    m.position_offset[1] = 15;
    EXPECT_EQ(body_position(m, 1), "CTDPO01B15\r\n");

    EXPECT_EQ(body_glyph_insert(m), "G01C01T01I01\r\n");
    m.glyph_index = 4;
    m.selected_title_line = 3;
    m.selected_page = 63;
    m.insert_position = 13;
    EXPECT_EQ(body_glyph_insert(m), "G05C02B64I14\r\n");

    GlyphRecord g;
    g.fill('0');
    g[0] = 'F';
    auto gr = body_glyph_register(9, g);
    EXPECT_EQ(gr.size(), 582u);
    EXPECT_EQ(gr.substr(0, 5), "GR09F");
    EXPECT_EQ(body_glyph_register(10, g).substr(0, 4), "GR10");

    EXPECT_EQ(body_read_request(glyph_editor_code(0)), "RFBMA365\r\n");
    EXPECT_EQ(body_read_request(glyph_editor_code(25)), "RFBMA37E\r\n");
    EXPECT_EQ(body_read_request(glyph_editor_code(26)), "RFBMA421\r\n");
    EXPECT_EQ(body_read_request(glyph_editor_code(27)), "RFBMA422\r\n");
    EXPECT_EQ(glyph_bulk_code(0), 0xBA65);
    EXPECT_EQ(glyph_bulk_code(27), 0xBB22);
}

TEST(Bodies, SampleCodes) {
    Model m;
    EXPECT_EQ(sample_code(m, "01"), 0xBA65);
    EXPECT_EQ(sample_code(m, "28"), 0xBB22);
    EXPECT_EQ(m.glyph_index, 27);
    EXPECT_EQ(sample_code(m, "\x81\x40"), 0x2121);
    EXPECT_EQ(sample_code(m, "AB"), 0x2121);  // above "99", converts to nothing
    EXPECT_EQ(sample_code(m, "\x82\xa0"), 0x2422);
    EXPECT_EQ(sample_code(m, "\xfa\x5c"), 0x7921);
    EXPECT_FALSE(sample_code(m, "").has_value());
    EXPECT_FALSE(sample_code(m, "0").has_value());
    EXPECT_FALSE(sample_code(m, "00").has_value());
    EXPECT_FALSE(sample_code(m, "29").has_value());
}

TEST(Bodies, DeviceNetworkValues) {
    Model m;
    m.ip_address = {10, 0, 0, 254};
    EXPECT_EQ(body_ip_address(m), "IA010.000.000.254\r\n");
    m.gateway_address = {192, 168, 1, 3};
    EXPECT_EQ(body_gateway_address(m), "GA192.168.001.003\r\n");
    EXPECT_EQ(body_active_address(m), "AA000.000.000.000\r\n");
    EXPECT_EQ(body_subnet(m), "SMC\r\n");
    m.keep_alive = 1;
    EXPECT_EQ(body_keep_alive(m), "KAON\r\n");
    EXPECT_EQ(body_time_register(m), "TR6\r\n");
    EXPECT_EQ(body_device_port("09004"), "PN09004\r\n");
    EXPECT_EQ(body_device_port("80"), "PN00080\r\n");
    EXPECT_EQ(body_slave_address(5), "SA05\r\n");
    EXPECT_EQ(body_slave_address(32), "SA32\r\n");
    EXPECT_EQ(body_network_read(1), "RAA\r\n");
    EXPECT_EQ(body_network_read(9), "RVN\r\n");

    EXPECT_EQ(parse_address("192.168.1.3"), (Ipv4{192, 168, 1, 3}));
    EXPECT_EQ(parse_address("010.000.000.254"), (Ipv4{10, 0, 0, 254}));
    EXPECT_FALSE(parse_address("256.1.1.1").has_value());
    EXPECT_FALSE(parse_address("1.2.3").has_value());
    EXPECT_FALSE(parse_address("1..2.3").has_value());
    EXPECT_FALSE(parse_address("1.2.3.4.5").has_value());
}

using GlyphReadTest = CoreFixture;

TEST_F(GlyphReadTest, RequestWaitsForTheAnswerAndRefusesInvalidSamples) {
    EXPECT_FALSE(send_glyph_read(path, GlyphRead::sample, "29"));
    EXPECT_EQ(ui.texts().at(0), "外字登録番号");
    EXPECT_EQ(model.glyph_request_pending, 0);
    EXPECT_TRUE(send_glyph_read(path, GlyphRead::sample, "01"));
    EXPECT_EQ(serial.frames.at(0), "00RFBMBA65\r\n");
    EXPECT_FALSE(send_glyph_read(path, GlyphRead::editor));  // still waiting
    EXPECT_EQ(serial.frames.size(), 1u);

    model.interface_kind = 1;
    model.glyph_request_pending = 0;
    EXPECT_FALSE(send_glyph_read(path, GlyphRead::editor));
    EXPECT_EQ(ui.boxes.back().text, "Socket が接続されていません");
    EXPECT_EQ(ui.boxes.back().kind, Box::error);
}

TEST_F(GlyphReadTest, NetworkCommandsGoOutBareOnTheSerialLine) {
    model.interface_kind = 1;
    send_network_command(path, body_slave_address(31));
    EXPECT_EQ(serial.frames.at(0), "SA31\r\n");
}

}  // namespace
}  // namespace tqv
