// The settings document (".dat"): 786 text lines holding the device settings block.
// Written with CR LF line ends (the files are shared with Windows installations); read
// with CR LF or LF.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "model.h"
#include "ui.h"

namespace tqv {

inline constexpr int kDocumentLines = 786;

std::string document_bytes(const Model& m);
// A title as one document line: up to the first CR or LF, then cut to at most 28 bytes
// without splitting a two-byte unit (a Shift-JIS double-byte character, lead byte
// 0x81..0x9F or 0xE0..0xFC, or a glyph placeholder, first byte 0x10 or 0x11).
std::string cut_title(std::string_view text);
// Applies a document's bytes to the model. Numbers that are missing keep their values,
// titles that are missing become empty; a title longer than 28 bytes is cut to 28 bytes
// without splitting a double-byte character, and the following records stay in step.
void parse_document(Model& m, std::string_view bytes);

// Load / save without any dialog. Load: false when the file cannot be read (model
// unchanged). Save: false when it cannot be written (previous file untouched); the file is
// replaced atomically. On success both set `document_path` and clear `document_dirty`.
bool load_document(Model& m, const std::string& path);
bool save_document(Model& m, const std::string& path);

// The name a save-as writes: `chosen` with the extension rule applied. When the rule added
// the extension and that file exists, the file dialog has not asked: ask here, and give
// nullopt when the operator keeps the file.
std::optional<std::string> save_as_name(Ui& ui, const std::string& chosen,
                                        std::string_view extension);

// The four commands of the file menu. `choose` shows the open or save dialog and returns
// the chosen path, or nullopt when cancelled.
using FileChooser = std::function<std::optional<std::string>()>;
// Asks about an unsaved document, then about unsaved glyphs (the reset empties both); No to
// either changes nothing. Returns true when the model was reset.
bool document_new(Model& m, Ui& ui);
bool document_open(Model& m, Ui& ui, const FileChooser& choose);
// True when the document was written.
bool document_save(Model& m, Ui& ui);
bool document_save_as(Model& m, Ui& ui, const FileChooser& choose);

}  // namespace tqv
