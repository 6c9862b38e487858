// A settings document against what a device holds: the device's values are read into a
// scratch copy (the document in the model stays as it was), then every item that differs
// is listed with both values and the one command that would make the device equal again.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "model.h"

namespace tqv {

// The settings block of a model as values, with whether its document was changed (a read
// does not make the document "changed").
struct SettingsBlock : DeviceSettings {
    int document_dirty = 0;

    static SettingsBlock of(const Model& m);
    void put(Model& m) const;
};

struct SettingDifference {
    std::string item;            // "ch.1 Top 05 タイトル", "白レベル", ...
    std::string document_value;  // UTF-8, as the table shows it
    std::string device_value;
    std::string label;  // the command head, for messages ("CT01T05")
    std::string body;   // the command that sends the document's value; empty when the
                        // title cannot be sent (not JIS)
};

// Every item of `document` that differs from `device`, in the order of the document:
// titles, display flags, switching times, start-up pages, current pages, positions, levels.
std::vector<SettingDifference> compare_settings(const Model& document, const SettingsBlock& device);

// One line per difference for the command-line tool: "item<TAB>document<TAB>device".
std::string difference_line(const SettingDifference& d);

}  // namespace tqv
