// The simulated device as the program sees it: the exact bytes it answers to each line.
#include "sim/responder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tqv::sim {
namespace {

std::string repeat(std::string_view piece, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) text += piece;
    return text;
}

// A glyph whose 576 digits are not all alike, so that a swapped or shifted copy shows.
std::string sample_glyph(char seed) {
    static const char* digits = "0123456789ABCDEF";
    std::string glyph;
    for (int i = 0; i < kGlyphDigits; ++i) glyph += digits[(i + seed) % 16];
    return glyph;
}

struct Exchange {
    std::string command;
    std::string answer;
};

void expect_answers(Responder& device, const std::vector<Exchange>& exchanges) {
    for (const Exchange& e : exchanges) {
        EXPECT_EQ(device.respond(e.command), e.answer) << "command " << e.command;
    }
}

TEST(SimResponder, FreshDeviceReportsTheValuesANewDocumentHas) {
    Responder device;
    expect_answers(device, {
                               {"00RAST01T\r\n", "00AST01T" + repeat("02", 64) + "\r\n"},
                               {"00RAST02B\r\n", "00AST02B" + repeat("02", 64) + "\r\n"},
                               {"00RCTD02B\r\n", "00CTD02B" + repeat("N", 64) + "\r\n"},
                               {"00RCTDPO01B\r\n", "00CTDPO01B07\r\n"},
                               {"00RCEL\r\n", "00CEL1\r\n"},
                               {"00RCWL\r\n", "00CWL1\r\n"},
                               {"00RSUS02T\r\n", "00SUS02T01\r\n"},
                               {"00RP01B\r\n", "00P01B01\r\n"},
                               {"00RCT02B64\r\n", "00CT02B64" + repeat("2121", 14) + "\r\n"},
                               {"00RFBMBA65\r\n", "00FBMBA65" + repeat("0", 576) + "\r\n"},
                               // network values travel without a slave address
                               {"RAA\r\n", "AA000.000.000.000\r\n"},
                               {"RGA\r\n", "GA000.000.000.000\r\n"},
                               {"RIA\r\n", "IA000.000.000.000\r\n"},
                               {"RMA\r\n", "MA00-00-00-00-00-00\r\n"},
                               {"RPN\r\n", "PN09004\r\n"},
                               {"RSM\r\n", "SMC\r\n"},
                               {"RKA\r\n", "KAOF\r\n"},
                               {"RTR\r\n", "TR6\r\n"},
                               {"RVN\r\n", "VN0.00\r\n"},
                           });
}

TEST(SimResponder, PagesAndLevelsAreKeptPerTitleLine) {
    Responder device;
    expect_answers(device, {
                               {"00P02BAS\r\n", "00GO\r\n"},
                               {"00P01T64\r\n", "00GO\r\n"},
                               {"00SUS01BAS\r\n", "00GO\r\n"},
                               {"00SUS02T05\r\n", "00GO\r\n"},
                               {"00CTDPO02B15\r\n", "00GO\r\n"},
                               {"00CWL3\r\n", "00GO\r\n"},
                               {"00CEL0\r\n", "00GO\r\n"},
                               {"00RP02B\r\n", "00P02BA\r\n"},
                               {"00RP01T\r\n", "00P01T64\r\n"},
                               {"00RP01B\r\n", "00P01B01\r\n"},
                               {"00RSUS01B\r\n", "00SUS01BA\r\n"},
                               {"00RSUS02T\r\n", "00SUS02T05\r\n"},
                               {"00RSUS01T\r\n", "00SUS01T01\r\n"},
                               {"00RCTDPO02B\r\n", "00CTDPO02B15\r\n"},
                               {"00RCTDPO02T\r\n", "00CTDPO02T07\r\n"},
                               {"00RCWL\r\n", "00CWL3\r\n"},
                               {"00RCEL\r\n", "00CEL0\r\n"},
                           });
}

TEST(SimResponder, DisplayAndSwitchTimesByPageAndByLine) {
    Responder device;
    std::string ascending;
    for (int page = 0; page < 64; ++page)
        ascending += std::to_string(page / 10) + std::to_string(page % 10);
    const std::string alternating = repeat("NF", 32);
    expect_answers(
        device, {
                    {"00CTD01T05OF\r\n", "00GO\r\n"},
                    {"00RCTD01T\r\n", "00CTD01T" + repeat("N", 4) + "F" + repeat("N", 59) + "\r\n"},
                    {"00CTD01T05ON\r\n", "00GO\r\n"},
                    {"00RCTD01T\r\n", "00CTD01T" + repeat("N", 64) + "\r\n"},
                    {"00CTD02T" + alternating + "\r\n", "00GO\r\n"},
                    {"00RCTD02T\r\n", "00CTD02T" + alternating + "\r\n"},
                    {"00RCTD01B\r\n", "00CTD01B" + repeat("N", 64) + "\r\n"},
                    {"00AST02B6415\r\n", "00GO\r\n"},
                    {"00RAST02B\r\n", "00AST02B" + repeat("02", 63) + "15\r\n"},
                    {"00AST01B" + ascending + "\r\n", "00GO\r\n"},
                    {"00RAST01B\r\n", "00AST01B" + ascending + "\r\n"},
                    {"00RAST01T\r\n", "00AST01T" + repeat("02", 64) + "\r\n"},
                });
}

TEST(SimResponder, TitlesAreStoredAsJisCodesInTheirOwnSlot) {
    Responder device;
    const std::string codes =
        "2422"
        "2424"
        "4141" +
        repeat("2121", 11);
    const std::string other = "7E7E" + repeat("2121", 12) + "3021";
    expect_answers(device,
                   {
                       {"00CT02B64" + codes + "\r\n", "00GO\r\n"},
                       {"00RCT02B64\r\n", "00CT02B64" + codes + "\r\n"},
                       {"00RCT01B64\r\n", "00CT01B64" + repeat("2121", 14) + "\r\n"},
                       {"00RCT02B63\r\n", "00CT02B63" + repeat("2121", 14) + "\r\n"},
                       // "CN" sets the title just the same; only its keeping over power-off differs
                       {"00CN01T01" + other + "\r\n", "00GO\r\n"},
                       {"00RCT01T01\r\n", "00CT01T01" + other + "\r\n"},
                   });
}

TEST(SimResponder, RegisteredGlyphsAreReadUnderBothCodeFamilies) {
    Responder device;
    const std::string fifth = sample_glyph(5);
    const std::string last = sample_glyph(11);
    const std::string twenty_seventh = sample_glyph(3);
    expect_answers(device, {
                               {"00GR05" + fifth + "\r\n", "00GO\r\n"},
                               {"00GR28" + last + "\r\n", "00GO\r\n"},
                               {"00GR27" + twenty_seventh + "\r\n", "00GO\r\n"},
                               {"00RFBMBA69\r\n", "00FBMBA69" + fifth + "\r\n"},
                               {"00RFBMA369\r\n", "00FBMA369" + fifth + "\r\n"},
                               {"00RFBMBB22\r\n", "00FBMBB22" + last + "\r\n"},
                               {"00RFBMA422\r\n", "00FBMA422" + last + "\r\n"},
                               {"00RFBMBB21\r\n", "00FBMBB21" + twenty_seventh + "\r\n"},
                               {"00RFBMA421\r\n", "00FBMA421" + twenty_seventh + "\r\n"},
                               {"00RFBMBA68\r\n", "00FBMBA68" + repeat("0", 576) + "\r\n"},
                           });
}

TEST(SimResponder, FontCharactersReadBackAsDistinctPatterns) {
    Responder device;
    expect_answers(device, {
                               {"00RFBM2422\r\n", "00FBM2422" + repeat("2422", 144) + "\r\n"},
                               {"00RFBM3021\r\n", "00FBM3021" + repeat("3021", 144) + "\r\n"},
                               {"00RFBM2121\r\n", "00FBM2121" + repeat("0", 576) + "\r\n"},
                               {"00RFBM0041\r\n", "00FBM0041" + repeat("0", 576) + "\r\n"},
                           });
}

TEST(SimResponder, GlyphInsertionPutsTheGlyphCodeIntoTheTitle) {
    Responder device;
    expect_answers(device,
                   {
                       {"00G05C02B64I14\r\n", "00GO\r\n"},
                       {"00RCT02B64\r\n", "00CT02B64" + repeat("2121", 13) + "BA69\r\n"},
                       {"00G28C01T01I01\r\n", "00GO\r\n"},
                       {"00G27C01T01I02\r\n", "00GO\r\n"},
                       {"00RCT01T01\r\n", "00CT01T01BB22BB21" + repeat("2121", 12) + "\r\n"},
                   });
}

TEST(SimResponder, NetworkSettingsTravelWithoutAddress) {
    Responder device(7);
    expect_answers(device,
                   {
                       {"IA192.168.001.003\r\n", "GO\r\n"},
                       {"GA010.000.000.254\r\n", "GO\r\n"},
                       {"AA255.255.255.000\r\n", "GO\r\n"},
                       {"SMA\r\n", "GO\r\n"},
                       {"PN10001\r\n", "GO\r\n"},
                       {"KAON\r\n", "GO\r\n"},
                       {"TR1\r\n", "GO\r\n"},
                       {"RIA\r\n", "IA192.168.001.003\r\n"},
                       {"RGA\r\n", "GA010.000.000.254\r\n"},
                       {"RAA\r\n", "AA255.255.255.000\r\n"},
                       {"RSM\r\n", "SMA\r\n"},
                       {"RPN\r\n", "PN10001\r\n"},
                       {"RKA\r\n", "KAON\r\n"},
                       {"RTR\r\n", "TR1\r\n"},
                       {"KAOF\r\n", "GO\r\n"},
                       {"RKA\r\n", "KAOF\r\n"},
                       // with an address in front they are answered like every addressed command
                       {"07RIA\r\n", "07IA192.168.001.003\r\n"},
                   });
}

TEST(SimResponder, AnswersOnlyItsOwnAddressAndTheBroadcast) {
    Responder serial(5, Link::serial);
    Responder tcp(5, Link::tcp);
    for (Responder* device : {&serial, &tcp}) {
        EXPECT_EQ(device->respond("00RCEL\r\n"), "");
        EXPECT_EQ(device->respond("06CWL3\r\n"), "");
        EXPECT_EQ(device->respond("05RCEL\r\n"), "05CEL1\r\n");
    }
    // A broadcast is carried out everywhere but answered only where answers cannot collide.
    EXPECT_EQ(serial.respond("FFCEL2\r\n"), "");
    EXPECT_EQ(tcp.respond("FFCEL2\r\n"), "05GO\r\n");
    EXPECT_EQ(serial.respond("05RCEL\r\n"), "05CEL2\r\n");
    EXPECT_EQ(tcp.respond("05RCEL\r\n"), "05CEL2\r\n");
    EXPECT_EQ(tcp.respond("FFRCWL\r\n"), "05CWL1\r\n");
    // The command that went to another device changed nothing here.
    EXPECT_EQ(tcp.respond("05RCWL\r\n"), "05CWL1\r\n");
}

TEST(SimResponder, SlaveAddressCommandMovesTheDevice) {
    Responder device(5, Link::serial);
    EXPECT_EQ(device.respond("SA07\r\n"), "GO\r\n");
    EXPECT_EQ(device.address(), 7);
    EXPECT_EQ(device.respond("05RCEL\r\n"), "");
    EXPECT_EQ(device.respond("07RCEL\r\n"), "07CEL1\r\n");
    // Sent with an address, it is answered under the address it reached.
    EXPECT_EQ(device.respond("07SA31\r\n"), "07GO\r\n");
    EXPECT_EQ(device.respond("31RCEL\r\n"), "31CEL1\r\n");
    // "FF" is everyone's, and "32" is what a broadcast choice would send: neither is taken.
    EXPECT_EQ(device.respond("SA32\r\n"), "E3\r\n");
    EXPECT_EQ(device.respond("SAFF\r\n"), "E3\r\n");
    EXPECT_EQ(device.address(), 31);
}

TEST(SimResponder, LineEndingIsOptional) {
    Responder device;
    EXPECT_EQ(device.respond("00RCEL"), "00CEL1\r\n");
    EXPECT_EQ(device.respond("00RCEL\n"), "00CEL1\r\n");
    EXPECT_EQ(device.respond("RVN"), "VN0.00\r\n");
    EXPECT_EQ(device.respond("\r\n"), "");
    EXPECT_EQ(device.respond(""), "");
}

TEST(SimResponder, MalformedCommandsAreRefusedAndChangeNothing) {
    Responder device;
    const std::string blank_title = repeat("2121", 14);
    const std::string glyph = sample_glyph(1);
    const std::vector<std::string> addressed = {
        "XYZ",
        "RCEL1",
        "RCT01T65",
        "RCT01T00",
        "RCT03T01",
        "RAST01X",
        "RFBM21G1",
        "RFBMba65",
        "P03T01",
        "P01X01",
        "P01T65",
        "P01T00",
        "P01TA",
        "SUS01T6",
        "SUS01T65",
        "CWL4",
        "CEL",
        "CTDPO01T16",
        "CTDPO01T7",
        "AST01T6501",
        "AST01T01100",
        "AST01T" + repeat("02", 63),
        "AST01T" + repeat("02", 63) + "0A",
        "CTD01T01NO",
        "CTD01T01ON ",
        "CTD01T" + repeat("N", 63),
        "CTD01T" + repeat("N", 63) + "X",
        "CT01T01" + blank_title.substr(4),
        "CT01T01" + blank_title + "2",
        "CT01T01" + blank_title.substr(4) + "2a21",
        "CT01T65" + blank_title,
        "GR29" + glyph,
        "GR00" + glyph,
        "GR01" + glyph.substr(1),
        "GR01" + glyph.substr(1) + "g",
        "G29C01T01I01",
        "G01C01T01I15",
        "G01C01T01I00",
        "G01X01T01I01",
        "G01C01T65I01",
        "G01C01T01I1",
    };
    for (const std::string& body : addressed) {
        EXPECT_EQ(device.respond("00" + body + "\r\n"), "00E3\r\n") << body;
    }
    const std::vector<std::string> bare = {
        "RCEL",  // needs an address
        "P01T01",
        "IA192.168.1.3",
        "IA256.000.000.000",
        "IA192,168.001.003",
        "SMD",
        "PN0900A",
        "PN9004",
        "KAOK",
        "TR7",
        "TR0",
        "RVN1",
        "SA",
    };
    for (const std::string& body : bare) {
        EXPECT_EQ(device.respond(body + "\r\n"), "E3\r\n") << body;
    }
    EXPECT_EQ(device.state(), DeviceState{});
}

TEST(SimResponder, ForcedAnswerReplacesEveryAnswerAndCarriesOutNothing) {
    Responder device(3, Link::serial);
    device.set_forced_answer("GN");
    EXPECT_EQ(device.respond("03CWL3\r\n"), "03GN\r\n");
    EXPECT_EQ(device.respond("03RCEL\r\n"), "03GN\r\n");
    EXPECT_EQ(device.respond("KAON\r\n"), "GN\r\n");
    EXPECT_EQ(device.respond("00RCEL\r\n"), "");
    EXPECT_EQ(device.respond("FFCEL3\r\n"), "");
    EXPECT_EQ(device.state(), DeviceState{});
    device.set_forced_answer("");
    EXPECT_EQ(device.respond("03RCWL\r\n"), "03CWL1\r\n");
}

}  // namespace
}  // namespace tqv::sim
