// What a show-control route or op, a cue step and the command-line tool can ask a device
// for, as one typed operation: parsed from text once (line and page names, a title in
// UTF-8), checked once with one set of messages, and turned into its command body once.
// Every front end that takes such requests from outside goes through here, so a title or
// a page name means the same whichever way it came in.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model.h"
#include "run.h"

namespace tqv {

// Messages for the operator of the program and the tool's device texts are Japanese;
// show control's JSON errors and the cue file's messages are English.
enum class Language { japanese, english };

// A value as given, inside a message: quoted, and cut short at a character boundary so
// that a message stays one readable line whatever was sent.
std::string quoted_value(std::string_view text);

// ---------------------------------------------------------------- names
// "1T", "1B", "2T", "2B" for title lines 0..3.
const char* line_label(int line);
// "1".."64", or "AUTO" for kAutoPage.
std::string page_label(int value);
// A line name in either case; nullopt for anything else, with `error` (when given) saying
// which names there are.
std::optional<int> parse_line_label(std::string_view text, std::string* error = nullptr);
// One or two digits naming page 1..64 (value 0..63), or "AUTO" in either case (kAutoPage)
// when `allow_auto`; nullopt for anything else, with `error` naming the range.
std::optional<int> parse_page_label(std::string_view text, bool allow_auto,
                                    std::string* error = nullptr);

// How a run ended, by name. The state feed's `run/end` and a cue's outcome have spelt the
// same ends differently since they were first published; both come from one table.
const char* run_end_key(RunEnd end);   // "error_answer", "timeout", "link_lost", …
const char* run_end_text(RunEnd end);  // "error answer", "time-out", "link lost", …

// ---------------------------------------------------------------- titles
inline constexpr int kTitleMaxCharacters = kTitleMaxBytes / 2;  // 14

// The title as the device can take it: half-width letters, digits, symbols and the space
// become their full-width forms, half-width katakana become full-width katakana, a voiced
// or semi-voiced mark joining the letter before it where one character has both (ｶﾞ: ガ,
// ﾊﾟ: パ). Everything else is left as it is. UTF-8 in and out; bytes that are not UTF-8
// pass unchanged.
std::string full_width_title(std::string_view utf8);

// A title from outside (UTF-8), converted to full width and checked character by
// character against what the device shows.
struct TitleCheck {
    std::string bytes;                    // code page 932, when it can be sent
    std::vector<std::string> unsendable;  // the characters that cannot, each once, in order
    int characters = 0;                   // after the conversion
    bool not_utf8 = false;
    bool ok() const {
        return !not_utf8 && unsendable.empty() && characters <= kTitleMaxCharacters;
    }
};
TitleCheck check_title(std::string_view utf8);
// Why the title cannot be sent, plainly: the characters that cannot be sent and the limit
// of 14 when it is passed. Empty when it can be sent.
std::string title_refusal(const TitleCheck& check, Language language);

// ---------------------------------------------------------------- operations
struct Operation {
    enum class Kind { page, startup, title };
    Kind kind = Kind::page;
    int line = 0;        // 0..3
    int page = 0;        // 0..63; kAutoPage for page and startup
    std::string text;    // title: code page 932 bytes, checked
    bool memory = true;  // title: false sends the Not Memory command
};
const char* operation_name(Operation::Kind kind);  // "page", "startup", "title"

struct ParsedOperation {
    std::optional<Operation> operation;
    std::string error;  // why it cannot be sent
};
// From text as requests carry it: `line` a line name, `page` a page name (AUTO not for a
// title), `text` the title in UTF-8 (needed for a title, ignored otherwise).
ParsedOperation parse_operation(Operation::Kind kind, std::string_view line,
                                std::string_view page, const std::string* text, bool memory,
                                Language language);
// From a line and page already known to be in range (a cue step, the tool's arguments):
// the title's text checked and converted.
ParsedOperation make_operation(Operation::Kind kind, int line, int page, std::string_view text,
                               bool memory, Language language);

// The command body (CR LF included) of a checked operation.
std::string operation_body(const Operation& op);
// What the device holds once it has taken the operation, put into the model as the
// operation's dialog puts it before sending: the page, the start-up page, or the title
// slot's bytes.
void apply_operation(Model& m, const Operation& op);

}  // namespace tqv
