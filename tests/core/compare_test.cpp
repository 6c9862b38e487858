// A document against a device's values: which items differ and the one command each sends;
// and the traffic log's line format.
#include <gtest/gtest.h>

#include <functional>

#include "core/compare.h"
#include "core/traffic.h"

namespace tqv {
namespace {

TEST(CompareTest, EveryKindOfItemGivesItsOwnCommand) {
    struct Case {
        std::function<void(Model&)> change;
        std::string item, document, device, body;
    };
    const Case cases[] = {
        {[](Model& m) { set_slot_text(m.title(1, 4), "\x82\x60"); }, "ch.1 Bottom 05 タイトル",
         "\"Ａ\"", "\"\"", "CT01B052341"},  // the rest: the full-width padding
        {[](Model& m) { m.title_display[2][63] = 0; }, "ch.2 Top 64 タイトル表示", "OFF", "ON",
         "CTD02T64OF\r\n"},
        {[](Model& m) { m.switch_time[3][0] = 12; }, "ch.2 Bottom 01 切換え時間", "12", "02",
         "AST02B0112\r\n"},
        {[](Model& m) { m.startup_page[0] = kAutoPage; }, "ch.1 Top スタートアップページ", "AUTO",
         "01", "SUS01TAS\r\n"},
        {[](Model& m) { m.current_page[1] = 4; }, "ch.1 Bottom 表示ページ", "05", "01",
         "P01B05\r\n"},
        {[](Model& m) { m.position_offset[2] = 3; }, "ch.2 Top 表示位置", "03", "07",
         "CTDPO02T03\r\n"},
        {[](Model& m) { m.white_level = 3; }, "白レベル", "3", "1", "CWL3\r\n"},
        {[](Model& m) { m.edge_level = 0; }, "エッジレベル", "0", "1", "CEL0\r\n"},
    };
    Model device;
    device.reset();
    for (const Case& c : cases) {
        Model doc = device;
        c.change(doc);
        const auto diffs = compare_settings(doc, SettingsBlock::of(device));
        ASSERT_EQ(diffs.size(), 1u) << c.item;
        EXPECT_EQ(diffs[0].item, c.item);
        EXPECT_EQ(diffs[0].document_value, c.document);
        EXPECT_EQ(diffs[0].device_value, c.device);
        if (c.body.ends_with("\r\n"))
            EXPECT_EQ(diffs[0].body, c.body);
        else
            EXPECT_TRUE(diffs[0].body.starts_with(c.body)) << diffs[0].body;
    }
    // The device's full-width padding is no difference; equal values give none.
    Model doc = device;
    set_slot_text(doc.title(0, 0), "\x82\x60\x81\x40\x81\x40");
    set_slot_text(device.title(0, 0), "\x82\x60");
    EXPECT_TRUE(compare_settings(doc, SettingsBlock::of(device)).empty());
}

TEST(TrafficTest, ControlBytesAreVisibleAndTheRingKeepsTheLast) {
    EXPECT_EQ(visible_bytes(std::string("00P01T05\r\n\x11\x13\x7f\x1a", 14)),
              "00P01T05<CR><LF><XON><XOFF><DEL><1A>");
    const std::string line = format_traffic_line({1'700'000'000'123, true, "/dev/ttyS0", "00RCEL\r\n"});
    EXPECT_EQ(line.substr(19), ".123 TX /dev/ttyS0 00RCEL<CR><LF>");
    TrafficRing ring;
    for (int i = 0; i < int(TrafficRing::kCapacity) + 5; ++i) ring.add({i, false, "", ""});
    EXPECT_EQ(ring.lines().size(), TrafficRing::kCapacity);
    EXPECT_EQ(ring.lines().front().time_ms, 5);
}

}  // namespace
}  // namespace tqv
