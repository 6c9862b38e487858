// Cue lists: a live show's titles and page switches prepared beforehand and fired in order,
// one GO at a time. A cue is a name and one or more steps; each step is one device command
// (the very body the dialogs send) or a pause.
//
// On disk a cue list is a UTF-8 CSV file that a spreadsheet can write:
//
//     cue,action,line,page,text,memory,seconds
//     Opening,title,1T,1,ニュース速報,memory,
//     Opening,page,1T,1,,,
//     Opening,wait,,,,,3
//     Opening,page,1T,AUTO,,,
//     Close,startup,2B,AUTO,,,
//
// Rows with the same cue name form one cue. Loading is all or nothing: the first bad row
// is refused with its row and column named, and no list is loaded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vocabulary.h"

namespace tqv {

inline constexpr std::size_t kCueFileMaxBytes = 1024 * 1024;
inline constexpr int kCueMaxRows = 10000;   // data rows, the header not counted
inline constexpr std::size_t kCueNameMaxBytes = 128;
inline constexpr int kCueMaxWaitSeconds = 3600;

enum class CueAction { title, page, startup, wait };

struct CueStep {
    CueAction action = CueAction::page;
    int line = 0;        // 0..3 (not for wait)
    int page = 0;        // 0..63; kAutoPage (64) for page and startup only
    std::string text;    // title: UTF-8 as written
    bool memory = true;  // title: false sends the Not Memory command
    int seconds = 0;     // wait: 0..kCueMaxWaitSeconds
    bool operator==(const CueStep&) const = default;
};

struct Cue {
    std::string name;
    std::vector<CueStep> steps;
    bool operator==(const Cue&) const = default;
};

// The operation a step sends; an error (in `language`) for a wait, and for a step the
// device cannot take.
ParsedOperation step_operation(const CueStep& step, Language language);
// The command body of a step (CR LF included); empty for a wait, and for a step the device
// cannot take (a step that passed check_step never is).
std::string step_body(const CueStep& step);
// A step as one short text for lists and messages: "title 1T 5 速報 nomemory", "page 2B
// AUTO", "startup 1T 3", "wait 2"; a title without text, which clears the title, as
// "title 1T 5 (空白) memory".
std::string step_text(const CueStep& step);
// Why a step cannot be part of a cue (English, for the message); empty when it can.
std::string check_step(const CueStep& step);
// Why a cue name cannot be used: empty, longer than kCueNameMaxBytes, not UTF-8, control
// characters, or blanks at either end (they would not survive the file). Empty when fine.
std::string check_cue_name(std::string_view name);

// ---------------------------------------------------------------- the file
struct CueFileError {
    int row = 0;     // 1 is the header; 0: the file as a whole
    int column = 0;  // 1..7; 0: the row as a whole
    std::string reason;
    // "row 4, column page: page \"65\" out of range: 1..64 or AUTO"
    std::string message() const;
};

// Parses a whole cue file. On success `out` is replaced and true returned; otherwise `out`
// is untouched and `error` names the first bad row and column.
bool parse_cue_csv(std::string_view bytes, std::vector<Cue>& out, CueFileError& error);
// The file a list is saved as: UTF-8 with a byte order mark (so that spreadsheets take it
// as UTF-8), CR LF line ends, quoted where a cell needs it. Parsing it gives the list back.
std::string cue_csv(const std::vector<Cue>& cues);
// Bounded read of a regular file, then parse_cue_csv.
bool load_cue_file(const std::string& path, std::vector<Cue>& out, CueFileError& error);
// Atomic save; false when the file could not be written (the previous one is untouched).
bool save_cue_file(const std::string& path, const std::vector<Cue>& cues);

// ---------------------------------------------------------------- position and edits
// The list as the operator runs it: which cue fired last (current) and which one GO fires
// (next). Edits keep both on the same cues where those cues still exist.
class CueList {
public:
    CueList() = default;
    // Current none, next the first cue.
    explicit CueList(std::vector<Cue> cues);

    const std::vector<Cue>& cues() const { return cues_; }
    std::size_t size() const { return cues_.size(); }
    std::optional<std::size_t> current() const { return index_of(current_); }
    std::optional<std::size_t> next() const { return index_of(next_); }

    // Fires next: it becomes current and the cue after it next (none after the last).
    // Returns the cue to run, or nullopt when there is no next cue.
    std::optional<std::size_t> go();
    // Next moves one cue up (from none after the last: to the last cue); false at the top.
    bool back();
    // Chooses the next cue; false for an index out of range.
    bool select_next(std::size_t index);
    // A cue named exactly `name_or_number`, else a decimal number 1..size(). A name wins
    // over a number, so a cue named "3" is found by "3" whatever its position.
    std::optional<std::size_t> find(std::string_view name_or_number) const;

    // The edits return an English reason when refused (empty on success). Positions past
    // the end mean the end. A cue added after the last one becomes next when next was none.
    std::string insert(std::size_t at, Cue cue);
    std::string replace(std::size_t index, Cue cue);
    // Removing the next cue makes the cue that followed it next.
    bool remove(std::size_t index);
    bool move(std::size_t from, std::size_t to);
    // A copy right after the original, named "NAME 2" (or the first free number).
    std::string duplicate(std::size_t index);

private:
    std::optional<std::size_t> index_of(std::uint64_t id) const;
    std::string check_cue(const Cue& cue, std::optional<std::size_t> replacing) const;
    std::vector<Cue> cues_;
    std::vector<std::uint64_t> ids_;  // one per cue, never reused: current and next follow edits
    std::uint64_t last_id_ = 0;
    std::uint64_t current_ = 0;  // 0: none
    std::uint64_t next_ = 0;     // 0: none (after the last cue, or an empty list)
};

}  // namespace tqv
