#include "cues.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <map>

#include "atomic_file.h"
#include "codec.h"
#include "model.h"
#include "texts.h"

namespace tqv {

namespace {

constexpr int kColumns = 7;
constexpr std::array<const char*, kColumns> kColumnNames = {"cue",  "action", "line",   "page",
                                                            "text", "memory", "seconds"};
enum Column { kCue = 1, kAction, kLine, kPage, kText, kMemory, kSeconds };
constexpr std::array<const char*, 4> kActionNames = {"title", "page", "startup", "wait"};
constexpr std::string_view kBom = "\xEF\xBB\xBF";

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = char(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string_view trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

// The offset of the first byte that is not part of a UTF-8 character; npos when none.
std::size_t bad_utf8_at(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size())
        if (!next_utf8(text, i)) return i;
    return std::string_view::npos;
}

bool uses_line(CueAction a) { return a != CueAction::wait; }

// Reads RFC 4180 records one at a time: cells separated by commas, records by CR LF or LF,
// a quoted cell may hold commas, line ends and doubled quotes.
class CsvReader {
public:
    explicit CsvReader(std::string_view bytes) : in_(bytes) {}
    bool at_end() const { return pos_ >= in_.size(); }
    int row() const { return row_; }

    // The next record's cells; false with `error` set for bad quoting.
    bool next(std::vector<std::string>& cells, CueFileError& error) {
        cells.assign(1, std::string());
        ++row_;
        while (pos_ < in_.size()) {
            const char c = in_[pos_];
            std::string& cell = cells.back();
            const int column = int(cells.size());
            if (c == '"' && cell.empty() && !quoted_) {
                if (!read_quoted(cell, column, error)) return false;
                quoted_ = true;
                continue;
            }
            if (c == ',') {
                cells.emplace_back();
                quoted_ = false;
                ++pos_;
                continue;
            }
            if (c == '\n' || (c == '\r' && pos_ + 1 < in_.size() && in_[pos_ + 1] == '\n')) {
                pos_ += c == '\r' ? 2 : 1;
                quoted_ = false;
                return true;
            }
            if (quoted_ || c == '"' || c == '\r') {
                error = {row_, column,
                         quoted_    ? "text after the closing quote of a quoted cell"
                         : c == '"' ? "a quote inside a cell that does not start with one"
                                    : "a CR without LF"};
                return false;
            }
            cell.push_back(c);
            ++pos_;
        }
        quoted_ = false;
        return true;
    }

private:
    bool read_quoted(std::string& cell, int column, CueFileError& error) {
        for (++pos_; pos_ < in_.size(); ++pos_) {
            if (in_[pos_] != '"') {
                cell.push_back(in_[pos_]);
            } else if (pos_ + 1 < in_.size() && in_[pos_ + 1] == '"') {
                cell.push_back('"');
                ++pos_;
            } else {
                ++pos_;
                return true;
            }
        }
        error = {row_, column, "a quote that is never closed"};
        return false;
    }

    std::string_view in_;
    std::size_t pos_ = 0;
    // Records read: a spreadsheet shows a quoted cell with line ends in one row.
    int row_ = 0;
    bool quoted_ = false;  // the current cell was quoted and has ended
};

// One data row to a step (cells trimmed); an empty reason when fine.
std::pair<int, std::string> row_step(const std::vector<std::string>& cells, CueStep& step) {
    const auto cell = [&](int column) -> std::string_view {
        return column <= int(cells.size()) ? trimmed(cells[std::size_t(column - 1)]) : "";
    };
    const std::string action = lower(cell(kAction));
    const auto found = std::find(kActionNames.begin(), kActionNames.end(), action);
    if (found == kActionNames.end())
        return {kAction, "unknown action " + quoted_value(cell(kAction)) + ": title, page, startup or wait"};
    step.action = CueAction(found - kActionNames.begin());
    const bool title = step.action == CueAction::title;
    const bool wait = step.action == CueAction::wait;
    // Cells a step does not use stay empty, so that a value in the wrong column is never
    // silently ignored.
    for (int column : {kLine, kPage, kText, kMemory, kSeconds}) {
        const bool used = column == kLine || column == kPage ? !wait
                          : column == kSeconds               ? wait
                                                             : title;
        if (!used && !cell(column).empty())
            return {column, "not used by a " + action + " step: leave it empty"};
    }
    if (!wait) {
        std::string error;
        const auto line = parse_line_label(cell(kLine), &error);
        if (!line) return {kLine, error};
        const auto page = parse_page_label(cell(kPage), !title, &error);
        if (!page) return {kPage, error};
        step.line = *line;
        step.page = *page;
    }
    if (title) {
        const std::string memory = lower(cell(kMemory));
        if (memory != "" && memory != "memory" && memory != "nomemory")
            return {kMemory, quoted_value(cell(kMemory)) + ": memory, nomemory or empty"};
        step.memory = memory != "nomemory";
        step.text = cell(kText);
        if (std::string reason = check_step(step); !reason.empty()) return {kText, reason};
    }
    if (wait) {
        const std::string_view s = cell(kSeconds);
        int value = 0;
        bool ok = !s.empty() && s.size() <= 4;
        for (std::size_t i = 0; ok && i < s.size(); ++i) {
            ok = s[i] >= '0' && s[i] <= '9';
            value = value * 10 + (s[i] - '0');
        }
        if (!ok || value > kCueMaxWaitSeconds)
            return {kSeconds, "seconds " + quoted_value(s) + ": a whole number 0.." +
                                  std::to_string(kCueMaxWaitSeconds)};
        step.seconds = value;
    }
    return {0, {}};
}

std::string csv_cell(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

// The step with the fields its action does not use at their defaults, so that equal steps
// compare equal and a saved list reads back the same.
CueStep normalised(CueStep s) {
    CueStep n;
    n.action = s.action;
    if (s.action == CueAction::wait) n.seconds = s.seconds;
    if (uses_line(s.action)) {
        n.line = s.line;
        n.page = s.page;
    }
    if (s.action == CueAction::title) {
        n.text = std::move(s.text);
        n.memory = s.memory;
    }
    return n;
}

}  // namespace

// ---------------------------------------------------------------- steps
ParsedOperation step_operation(const CueStep& s, Language language) {
    ParsedOperation r;
    const bool title = s.action == CueAction::title;
    if (s.action == CueAction::wait) {
        r.error = "a wait sends nothing";
    } else if (s.line < 0 || s.line >= kTitleLines) {
        r.error = "line out of range";
    } else if (s.page < 0 || s.page > (title ? kPages - 1 : kAutoPage)) {
        r.error = std::string("page out of range: ") + (title ? "1..64" : "1..64 or AUTO");
    } else {
        const auto kind = title ? Operation::Kind::title
                          : s.action == CueAction::page ? Operation::Kind::page
                                                        : Operation::Kind::startup;
        r = make_operation(kind, s.line, s.page, s.text, s.memory, language);
    }
    return r;
}

std::string step_body(const CueStep& s) {
    const ParsedOperation p = step_operation(s, Language::english);
    return p.operation ? operation_body(*p.operation) : std::string();
}

std::string step_text(const CueStep& s) {
    std::string out = kActionNames[std::size_t(s.action)];
    if (s.action == CueAction::wait) return out + " " + std::to_string(s.seconds);
    out += std::string(" ") + line_label(s.line) + " " + page_label(s.page);
    // A title without text clears the title: said so, rather than left as a double blank.
    if (s.action == CueAction::title)
        out += " " + (s.text.empty() ? std::string(text::kBlankTitle) : s.text) +
               (s.memory ? " memory" : " nomemory");
    return out;
}

std::string check_step(const CueStep& s) {
    if (s.action == CueAction::wait)
        return s.seconds >= 0 && s.seconds <= kCueMaxWaitSeconds
                   ? ""
                   : "seconds out of range: 0.." + std::to_string(kCueMaxWaitSeconds);
    return step_operation(s, Language::english).error;
}

std::string check_cue_name(std::string_view name) {
    if (name.empty()) return "a cue needs a name";
    if (name.size() > kCueNameMaxBytes)
        return "name longer than " + std::to_string(kCueNameMaxBytes) + " bytes";
    if (bad_utf8_at(name) != std::string_view::npos) return "name is not UTF-8";
    if (std::any_of(name.begin(), name.end(), [](char c) { return c >= 0 && c < 0x20; }) ||
        name.find('\x7F') != std::string_view::npos)
        return "control character in the name";
    if (trimmed(name).size() != name.size()) return "blank at the start or end of the name";
    return {};
}

// ---------------------------------------------------------------- the file
std::string CueFileError::message() const {
    std::string where;
    if (row > 0) where = "row " + std::to_string(row);
    if (row > 0 && column > 0) {
        where += ", column ";
        where += column <= kColumns ? std::string(kColumnNames[std::size_t(column - 1)])
                                    : std::to_string(column);
    }
    return where.empty() ? reason : where + ": " + reason;
}

bool parse_cue_csv(std::string_view bytes, std::vector<Cue>& out, CueFileError& error) {
    if (bytes.starts_with(kBom)) bytes.remove_prefix(kBom.size());
    if (const std::size_t bad = bad_utf8_at(bytes); bad != std::string_view::npos) {
        const auto lines = std::count(bytes.begin(), bytes.begin() + std::ptrdiff_t(bad), '\n');
        error = {int(lines) + 1, 0, "not UTF-8 text"};
        return false;
    }
    CsvReader reader(bytes);
    std::vector<std::string> cells;
    if (!reader.next(cells, error)) return false;
    const auto extra_from = [&](std::size_t from) {
        for (std::size_t i = from; i < cells.size(); ++i)
            if (!trimmed(cells[i]).empty()) return int(i + 1);
        return 0;
    };
    bool header = cells.size() >= kColumns && extra_from(kColumns) == 0;
    for (int i = 0; header && i < kColumns; ++i)
        header = lower(trimmed(cells[std::size_t(i)])) == kColumnNames[std::size_t(i)];
    if (!header) {
        error = {1, 0, "the first row must be the header cue,action,line,page,text,memory,seconds"};
        return false;
    }

    // A cue's rows must stand together. Rows of a name that appear again after other cues
    // are refused rather than merged: merged, they would run at a place in the show the
    // file does not show them at, and as a second cue the name would no longer say which
    // one GO or a goto fires. Sorting or copying rows in a spreadsheet is what separates
    // them, and the operator is better told.
    std::vector<Cue> cues;
    std::map<std::string, int, std::less<>> first_row;
    int data_rows = 0;
    while (!reader.at_end()) {
        if (!reader.next(cells, error)) return false;
        const int row = reader.row();
        if (extra_from(0) == 0) continue;  // blank rows, as spreadsheets leave them
        if (++data_rows > kCueMaxRows) {
            error = {row, 0, "more than " + std::to_string(kCueMaxRows) + " rows"};
            return false;
        }
        if (int extra = extra_from(kColumns); extra != 0) {
            error = {row, extra, "a cell beyond the seven columns"};
            return false;
        }
        const std::string name(trimmed(cells[0]));
        if (std::string reason = check_cue_name(name); !reason.empty()) {
            error = {row, kCue, reason};
            return false;
        }
        CueStep step;
        if (auto [column, reason] = row_step(cells, step); column != 0) {
            error = {row, column, reason};
            return false;
        }
        if (cues.empty() || cues.back().name != name) {
            if (auto seen = first_row.find(name); seen != first_row.end()) {
                error = {row, kCue, "cue " + quoted_value(name) + " began at row " +
                                        std::to_string(seen->second) +
                                        " and other cues came between: keep its rows together"};
                return false;
            }
            first_row.emplace(name, row);
            cues.push_back({name, {}});
        }
        cues.back().steps.push_back(std::move(step));
    }
    out = std::move(cues);
    return true;
}

std::string cue_csv(const std::vector<Cue>& cues) {
    std::string out(kBom);
    for (std::size_t i = 0; i < kColumnNames.size(); ++i)
        out += std::string(i ? "," : "") + kColumnNames[i];
    out += "\r\n";
    for (const Cue& cue : cues) {
        for (const CueStep& s : cue.steps) {
            const bool title = s.action == CueAction::title;
            const bool line = uses_line(s.action);
            out += csv_cell(cue.name) + "," + kActionNames[std::size_t(s.action)] + "," +
                   (line ? line_label(s.line) : "") + "," + (line ? page_label(s.page) : "") + "," +
                   (title ? csv_cell(s.text) : "") + "," +
                   (title ? (s.memory ? "memory" : "nomemory") : "") + "," +
                   (line ? "" : std::to_string(s.seconds)) + "\r\n";
        }
    }
    return out;
}

bool load_cue_file(const std::string& path, std::vector<Cue>& out, CueFileError& error) {
    const auto bytes = read_whole_file(path, kCueFileMaxBytes);
    if (!bytes) {
        error = {0, 0, "cannot read " + path + ": not a readable file of at most 1 MiB"};
        return false;
    }
    return parse_cue_csv(*bytes, out, error);
}

bool save_cue_file(const std::string& path, const std::vector<Cue>& cues) {
    return write_file_atomically(path, cue_csv(cues));
}

// ---------------------------------------------------------------- position and edits
CueList::CueList(std::vector<Cue> cues) : cues_(std::move(cues)) {
    for (std::size_t i = 0; i < cues_.size(); ++i) ids_.push_back(++last_id_);
    next_ = ids_.empty() ? 0 : ids_.front();
}

std::optional<std::size_t> CueList::index_of(std::uint64_t id) const {
    const auto it = std::find(ids_.begin(), ids_.end(), id);
    if (id == 0 || it == ids_.end()) return std::nullopt;
    return std::size_t(it - ids_.begin());
}

std::optional<std::size_t> CueList::go() {
    const auto fired = next();
    if (!fired) return std::nullopt;
    current_ = next_;
    next_ = *fired + 1 < ids_.size() ? ids_[*fired + 1] : 0;
    return fired;
}

bool CueList::back() {
    const auto n = next();
    if (ids_.empty() || n == std::size_t{0}) return false;
    next_ = n ? ids_[*n - 1] : ids_.back();
    return true;
}

bool CueList::select_next(std::size_t index) {
    if (index >= ids_.size()) return false;
    next_ = ids_[index];
    return true;
}

std::optional<std::size_t> CueList::find(std::string_view name_or_number) const {
    for (std::size_t i = 0; i < cues_.size(); ++i)
        if (cues_[i].name == name_or_number) return i;
    const std::string_view s = name_or_number;
    if (s.empty() || s.size() > 6 || s.find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    const std::size_t n = std::stoul(std::string(s));
    if (n < 1 || n > cues_.size()) return std::nullopt;
    return n - 1;
}

std::string CueList::check_cue(const Cue& cue, std::optional<std::size_t> replacing) const {
    if (std::string reason = check_cue_name(cue.name); !reason.empty()) return reason;
    if (cue.steps.empty()) return "a cue needs at least one step";
    for (std::size_t k = 0; k < cue.steps.size(); ++k)
        if (std::string reason = check_step(cue.steps[k]); !reason.empty())
            return "step " + std::to_string(k + 1) + ": " + reason;
    for (std::size_t i = 0; i < cues_.size(); ++i)
        if (i != replacing && cues_[i].name == cue.name)
            return "a cue named \"" + cue.name + "\" exists already";
    std::size_t rows = cue.steps.size();
    for (std::size_t i = 0; i < cues_.size(); ++i)
        if (i != replacing) rows += cues_[i].steps.size();
    if (rows > std::size_t{kCueMaxRows})
        return "more than " + std::to_string(kCueMaxRows) + " steps in the list";
    return {};
}

std::string CueList::insert(std::size_t at, Cue cue) {
    if (std::string reason = check_cue(cue, std::nullopt); !reason.empty()) return reason;
    for (CueStep& s : cue.steps) s = normalised(std::move(s));
    at = std::min(at, cues_.size());
    const bool becomes_next = next_ == 0 && at == cues_.size();
    cues_.insert(cues_.begin() + std::ptrdiff_t(at), std::move(cue));
    ids_.insert(ids_.begin() + std::ptrdiff_t(at), ++last_id_);
    if (becomes_next) next_ = last_id_;
    return {};
}

std::string CueList::replace(std::size_t index, Cue cue) {
    if (index >= cues_.size()) return "no such cue";
    if (std::string reason = check_cue(cue, index); !reason.empty()) return reason;
    for (CueStep& s : cue.steps) s = normalised(std::move(s));
    cues_[index] = std::move(cue);
    return {};
}

bool CueList::remove(std::size_t index) {
    if (index >= cues_.size()) return false;
    if (ids_[index] == next_) next_ = index + 1 < ids_.size() ? ids_[index + 1] : 0;
    if (ids_[index] == current_) current_ = 0;
    cues_.erase(cues_.begin() + std::ptrdiff_t(index));
    ids_.erase(ids_.begin() + std::ptrdiff_t(index));
    return true;
}

bool CueList::move(std::size_t from, std::size_t to) {
    if (from >= cues_.size() || to >= cues_.size()) return false;
    const auto shift = [&](auto& v) {
        if (from < to)
            std::rotate(v.begin() + std::ptrdiff_t(from), v.begin() + std::ptrdiff_t(from + 1),
                        v.begin() + std::ptrdiff_t(to + 1));
        else
            std::rotate(v.begin() + std::ptrdiff_t(to), v.begin() + std::ptrdiff_t(from),
                        v.begin() + std::ptrdiff_t(from + 1));
    };
    shift(cues_);
    shift(ids_);
    return true;
}

std::string CueList::duplicate(std::size_t index) {
    if (index >= cues_.size()) return "no such cue";
    Cue copy = cues_[index];
    for (std::size_t n = 2; n <= cues_.size() + 1; ++n) {
        copy.name = cues_[index].name + " " + std::to_string(n);
        const auto same = [&](const Cue& c) { return c.name == copy.name; };
        if (std::none_of(cues_.begin(), cues_.end(), same)) break;
    }
    return insert(index + 1, std::move(copy));
}

}  // namespace tqv
