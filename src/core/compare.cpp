#include "compare.h"

#include "codec.h"
#include "commands.h"
#include "digits.h"
#include "titles.h"

namespace tqv {

SettingsBlock SettingsBlock::of(const Model& m) {
    SettingsBlock s;
    static_cast<DeviceSettings&>(s) = m;
    s.document_dirty = m.document_dirty;
    return s;
}

void SettingsBlock::put(Model& m) const {
    static_cast<DeviceSettings&>(m) = *this;
    m.document_dirty = document_dirty;
}

namespace {

// The device pads every title with full-width spaces and answers without them: a title is
// the same when it differs only in that padding.
std::string without_padding(const TitleSlot& slot) {
    std::string s = slot_text(slot);
    while (s.size() >= 2 && s[s.size() - 2] == '\x81' && s.back() == '\x40') s.resize(s.size() - 2);
    return s;
}

std::string page_text(int value) { return value >= kAutoPage ? "AUTO" : two_digits(value + 1); }

std::string line_item(int line, int page, const char* what) {
    std::string item = kTitleLineGroups[line];
    if (page >= 0) item += " " + two_digits(page + 1);
    return item + " " + what;
}

}  // namespace

std::vector<SettingDifference> compare_settings(const Model& doc, const SettingsBlock& dev) {
    std::vector<SettingDifference> out;
    auto add = [&out](std::string item, std::string a, std::string b, std::string body,
                      std::string label = {}) {
        if (label.empty()) label = command_label(body);
        out.push_back({std::move(item), std::move(a), std::move(b), std::move(label),
                       std::move(body)});
    };
    for (int line = 0; line < kTitleLines; ++line) {
        for (int page = 0; page < kPages; ++page) {
            const int t = Model::title_slot(line, page);
            const std::string mine = without_padding(doc.titles[t]);
            const std::string theirs = without_padding(dev.titles[t]);
            if (mine == theirs) continue;
            PaddedTitle padded{};
            std::optional<std::string> body;
            if (pad_title(doc, t, padded)) body = build_title_body(1, t, padded);
            std::string label = "CT" + channel_field(line) + position_letter(line) + two_digits(page + 1);
            add(line_item(line, page, "タイトル"), "\"" + cp932_to_utf8(mine) + "\"",
                "\"" + cp932_to_utf8(theirs) + "\"", body.value_or(""), label);
        }
    }
    for (int line = 0; line < kTitleLines; ++line) {
        for (int page = 0; page < kPages; ++page) {
            const bool mine = doc.title_display[line][page] != 0;
            if (mine == (dev.title_display[line][page] != 0)) continue;
            add(line_item(line, page, "タイトル表示"), mine ? "ON" : "OFF", mine ? "OFF" : "ON",
                body_display_one(doc, line, page));
        }
    }
    for (int line = 0; line < kTitleLines; ++line) {
        for (int page = 0; page < kPages; ++page) {
            const int mine = doc.switch_time[line][page];
            const int theirs = dev.switch_time[line][page];
            if (mine == theirs) continue;
            add(line_item(line, page, "切換え時間"), two_digits(mine), two_digits(theirs),
                body_switch_time_one(doc, line, page));
        }
    }
    for (int line = 0; line < kTitleLines; ++line) {
        if (doc.startup_page[line] != dev.startup_page[line])
            add(line_item(line, -1, "スタートアップページ"), page_text(doc.startup_page[line]),
                page_text(dev.startup_page[line]), body_startup_page(doc, line));
    }
    for (int line = 0; line < kTitleLines; ++line) {
        if (doc.current_page[line] != dev.current_page[line])
            add(line_item(line, -1, "表示ページ"), page_text(doc.current_page[line]),
                page_text(dev.current_page[line]), body_page_switch(doc, line));
    }
    for (int line = 0; line < kTitleLines; ++line) {
        if (doc.position_offset[line] != dev.position_offset[line])
            add(line_item(line, -1, "表示位置"), two_digits(doc.position_offset[line]),
                two_digits(dev.position_offset[line]), body_position(doc, line));
    }
    if (doc.white_level != dev.white_level)
        add("白レベル", std::to_string(doc.white_level), std::to_string(dev.white_level),
            body_white_level(doc));
    if (doc.edge_level != dev.edge_level)
        add("エッジレベル", std::to_string(doc.edge_level), std::to_string(dev.edge_level),
            body_edge_level(doc));
    return out;
}

std::string difference_line(const SettingDifference& d) {
    return d.item + "\t" + d.document_value + "\t" + d.device_value;
}

}  // namespace tqv
