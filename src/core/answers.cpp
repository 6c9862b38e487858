#include "answers.h"

#include <algorithm>

#include "digits.h"
#include "texts.h"
#include "titles.h"

namespace tqv {

namespace {

bool starts_with(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool all_decimal(std::string_view s) { return std::all_of(s.begin(), s.end(), is_decimal_digit); }

bool all_hex(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) {
        return is_hex_digit(c) || (c >= 'a' && c <= 'f');
    });
}

// The answer without its line end, for length checks against the layouts.
std::string_view without_line_end(std::string_view text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

// Page field of "SUS" and "P" answers: "A" for automatic switching, else 01..64 -> 0..63.
// -1 when the field is malformed.
int answer_page(std::string_view body, std::size_t pos) {
    if (body.size() > pos && body[pos] == 'A') return kAutoPage;
    if (body.size() < pos + 2 || !all_decimal(body.substr(pos, 2))) return -1;
    int page = two_digits_to_number(body[pos], body[pos + 1]);
    return (page >= 1 && page <= 64) ? page - 1 : -1;
}

// Four three-digit groups at 2-4, 6-8, 10-12, 14-16, each stored modulo 256.
bool read_address(std::string_view body, Ipv4& target) {
    if (body.size() < 17) return false;
    Ipv4 value{};
    for (int k = 0; k < 4; ++k) {
        std::string_view group = body.substr(2 + 4 * k, 3);
        if (!all_decimal(group)) return false;
        value[k] = static_cast<std::uint8_t>(three_digits_to_number(group.data()) % 256);
    }
    target = value;
    return true;
}

template <std::size_t N>
bool copy_chars(std::string_view body, std::size_t pos, std::size_t count,
                std::array<char, N>& target) {
    static_assert(N >= 1);
    if (body.size() < pos + count || count > N - 1) return false;
    for (std::size_t i = 0; i < count; ++i) target[i] = body[pos + i];
    return true;
}

int line_at(std::string_view body, std::size_t pos) {
    if (body.size() < pos + 3) return -1;
    return title_line_from_fields(body[pos], body[pos + 1], body[pos + 2]);
}

// The slot and text of a "CT" answer, which a "CT" or "CN" command body shares: line fields
// at 2, page at 5, fourteen four-digit hex codes from 7.
std::optional<std::pair<int, std::string>> title_of(std::string_view body) {
    const int line = line_at(body, 2);
    if (line < 0 || body.size() < 63 || !all_decimal(body.substr(5, 2)) || !all_hex(body.substr(7, 56)))
        return std::nullopt;
    const int page = two_digits_to_number(body[5], body[6]);
    if (page < 1 || page > 64) return std::nullopt;
    std::array<std::uint16_t, 14> codes{};
    for (int k = 0; k < 14; ++k) {
        const char* d = body.data() + 7 + 4 * k;
        codes[k] = static_cast<std::uint16_t>(hex_pair_to_byte(d[0], d[1]) * 256 + hex_pair_to_byte(d[2], d[3]));
    }
    return std::pair{Model::title_slot(line, page - 1), decode_title_codes(codes)};
}

}  // namespace

std::optional<CommandSetting> command_setting(std::string_view body) {
    body = without_line_end(body);
    // No command begins with a digit or "FF": those are the slave address of a frame.
    if (body.size() >= 2 && ((is_decimal_digit(body[0]) && is_decimal_digit(body[1])) || starts_with(body, "FF")))
        body.remove_prefix(2);
    CommandSetting s;
    if (starts_with(body, "SUS")) {
        s.touched = {Touched::Kind::startup, line_at(body, 3)};
        s.page = answer_page(body, 6);
    } else if (starts_with(body, "P0")) {
        s.touched = {Touched::Kind::page, line_at(body, 1)};
        s.page = answer_page(body, 4);
    } else if (starts_with(body, "CTDPO")) {
        if (body.size() < 10 || !all_decimal(body.substr(8, 2))) return std::nullopt;
        s.touched = {Touched::Kind::position, line_at(body, 5)};
        s.value = two_digits_to_number(body[8], body[9]);
    } else if (starts_with(body, "CWL") || starts_with(body, "CEL")) {
        if (body.size() < 4 || !is_decimal_digit(body[3])) return std::nullopt;
        s.touched = {body[1] == 'W' ? Touched::Kind::white_level : Touched::Kind::edge_level, 0};
        s.value = body[3] - '0';
    } else if ((starts_with(body, "CT") && !starts_with(body, "CTD")) || starts_with(body, "CN")) {
        auto title = title_of(body);
        if (!title) return std::nullopt;
        s.touched = {Touched::Kind::title, title->first};
        s.title = std::move(title->second);
        return s;
    } else {
        return std::nullopt;
    }
    if (s.touched.index < 0 || s.page < 0) return std::nullopt;
    return s;
}

int title_line_from_fields(char ch_tens, char ch_units, char position) {
    if (ch_tens != '0' || (ch_units != '1' && ch_units != '2')) return -1;
    return (ch_units - '1') * 2 + (position == 'B' ? 1 : 0);
}

void AnswerDispatcher::serial_receive(std::string_view bytes) {
    for (std::string& line : serial_line_.feed(bytes)) arrive(std::move(line), Link::serial);
}

void AnswerDispatcher::tcp_receive(std::string_view bytes) {
    for (std::string& line : model_.tcp_line.feed(bytes)) arrive(std::move(line), Link::tcp);
}

void AnswerDispatcher::dispatch_serial(std::string_view line) {
    arrive(std::string(line), Link::serial);
}

void AnswerDispatcher::dispatch_tcp(std::string_view line) { arrive(std::string(line), Link::tcp); }

void AnswerDispatcher::arrive(std::string line, Link link) {
    const SendPath::Arrival arrival = path_.line_arrived(link == Link::tcp);
    inbox_.push_back({std::move(line), link, arrival});
    if (handling_) return;
    handling_ = true;
    // The boxes of the lines wait until they are all handled: a box's own event loop may
    // bring the next line, which then finds nothing half done.
    ui_.answers_begin();
    while (!inbox_.empty()) {
        const Arrived item = std::move(inbox_.front());
        inbox_.pop_front();
        handle(item);
    }
    handling_ = false;
    ui_.answers_end();
}

void AnswerDispatcher::handle(const Arrived& item) {
    std::string_view text = item.line;
    // The slave address is always there on TCP; on the serial line when the command it
    // answers carried one.
    const std::size_t skip = item.link == Link::tcp ? 2 : std::size_t(item.arrival.address_chars);
    if (skip > 0) text = text.size() < skip ? std::string_view{} : text.substr(skip);
    dispatch(text, item.link, item.arrival);
    path_.answer_handled(item.link == Link::tcp, item.arrival.route);
    line_handled();
}

void AnswerDispatcher::dispatch(std::string_view text, Link link,
                                const SendPath::Arrival& arrival) {
    answer_text(text, link == Link::tcp);
    // A late answer to a command that timed out, or to a run that has ended, is matched
    // to nothing: applying it could write a glyph into the wrong slot or pop up a success
    // box after the operator was told the command failed.
    if (arrival.route == Route::stale) return;
    const bool in_run = arrival.route == Route::run;
    const bool go = link == Link::serial ? text == "GO\r\n" : starts_with(text, "GO");
    if (go) {
        if (!in_run && !run_under_way(model_)) {
            if (link == Link::serial) {
                ui_.box(Box::plain, text::kSuccess, text::kDoneCaption);
            } else {
                success_box(ui_, text::kSocketOk);
            }
        }
    } else if (!apply_report(text, link, !in_run)) {
        const char* message = nullptr;
        const bool error = error_steps(text, link, !in_run, &message);
        if (error && in_run) {
            // The run ends here, with one message that names this command.
            if (Run* run = path_.run())
                run->fault(RunEnd::error_answer, arrival.step, arrival.label, message);
        }
        model_.glyph_request_pending = 0;
        path_.single_answered(arrival, text, error);
        return;
    }
    model_.glyph_request_pending = 0;
    path_.single_answered(arrival, text, false);
}

bool AnswerDispatcher::apply_report(std::string_view text, Link link, bool boxes) {
    const std::string_view body = without_line_end(text);
    auto line_at = [&](std::size_t pos) { return tqv::line_at(body, pos); };
    // A page answer: the line's fields at `at`, its page three on; the rest is left alone.
    auto page_answer = [&](std::size_t at, std::array<int, kTitleLines>& pages, Touched::Kind kind) {
        const int line = line_at(at);
        const int page = answer_page(body, at + 3);
        if (line < 0 || page < 0) return true;
        pages[std::size_t(line)] = page;
        touched(Touched{kind, line});
        return true;
    };

    if (starts_with(text, "AST")) {
        int line = line_at(3);
        if (line < 0 || body.size() < 6 + 128 || !all_decimal(body.substr(6, 128))) return true;
        for (int p = 0; p < kPages; ++p)
            model_.switch_time[line][p] = two_digits_to_number(body[6 + 2 * p], body[7 + 2 * p]);
        return true;
    }
    if (starts_with(text, "CTDPO")) {
        int line = line_at(5);
        if (line < 0 || body.size() < 10 || !all_decimal(body.substr(8, 2))) return true;
        model_.position_offset[line] = two_digits_to_number(body[8], body[9]);
        touched(Touched{Touched::Kind::position, line});
        return true;
    }
    if (starts_with(text, "CTD")) {
        int line = line_at(3);
        if (line < 0 || body.size() < 6 + 64) return true;
        for (int p = 0; p < kPages; ++p) model_.title_display[line][p] = body[6 + p] == 'N' ? 1 : 0;
        touched(Touched{Touched::Kind::display, line});
        return true;
    }
    if (starts_with(text, "CEL") || starts_with(text, "CWL")) {
        if (body.size() >= 4 && is_decimal_digit(body[3])) {
            (text[1] == 'E' ? model_.edge_level : model_.white_level) = body[3] - '0';
            touched(Touched{text[1] == 'E' ? Touched::Kind::edge_level : Touched::Kind::white_level, 0});
        }
        return true;
    }
    if (starts_with(text, "SUS")) return page_answer(3, model_.startup_page, Touched::Kind::startup);
    if (starts_with(text, "CT")) {
        const auto title = title_of(body);
        if (!title) return true;
        set_slot_text(model_.titles[std::size_t(title->first)], title->second);
        touched(Touched{Touched::Kind::title, title->first});
        // Inside a run the run shows its own completion instead.
        if (title->first == kTitles - 1 && boxes) success_box(ui_, text::kSocketReadOk);
        return true;
    }
    if (starts_with(text, "P0")) return page_answer(1, model_.current_page, Touched::Kind::page);
    if (starts_with(text, "FBM")) {
        // A short answer or a glyph slot outside the table leaves every glyph as it was.
        if (body.size() < 7 + kGlyphDigits) return true;
        if (model_.glyph_index < 0 || model_.glyph_index >= kGlyphSlots) return true;
        std::copy_n(body.data() + 7, kGlyphDigits, model_.glyph_answer.begin());
        model_.glyph_data[model_.glyph_index] = model_.glyph_answer;
        model_.mark_glyph_unsaved(model_.glyph_index);
        // A glyph run moves on to the next slot itself; a single read shows the glyph.
        if (model_.glyph_bulk_active == 0) ui_.repaint_notify();
        return true;
    }
    if (starts_with(text, "AA")) return read_address(body, model_.active_address), true;
    if (starts_with(text, "GA")) return read_address(body, model_.gateway_address), true;
    if (starts_with(text, "IA")) return read_address(body, model_.ip_address), true;
    if (starts_with(text, "MA")) return copy_chars(body, 2, 17, model_.mac_address), true;
    if (starts_with(text, "PN")) return copy_chars(body, 2, 5, model_.device_port_number), true;
    if (starts_with(text, "SM")) {
        if (body.size() >= 3 && body[2] >= 'A' && body[2] <= 'C') model_.subnet_class = body[2] - 'A';
        return true;
    }
    if (starts_with(text, "KA")) {
        if (body.size() >= 4) model_.keep_alive = body[3] == 'N' ? 1 : 0;
        return true;
    }
    if (starts_with(text, "TR")) {
        if (body.size() >= 3 && body[2] >= '1' && body[2] <= '9') model_.time_register = body[2] - '1';
        return true;
    }
    if (starts_with(text, "VN")) {
        if (copy_chars(body, 2, 4, model_.version_number) && link == Link::serial && boxes)
            ui_.box(Box::plain, text::kSuccess, text::kDoneCaption);
        return true;
    }
    return false;
}

bool AnswerDispatcher::error_steps(std::string_view text, Link link, bool boxes,
                                   const char** message) {
    const bool serial = link == Link::serial;
    auto show = [&](Box kind, const char* m) {
        *message = m;
        if (!boxes) return;
        if (kind == Box::error) {
            error_box(ui_, m);
        } else if (kind == Box::success) {
            success_box(ui_, m);
        } else {
            warning_box(ui_, m);
        }
    };
    // "GN" and "MENU" end a run too: the device did not carry the command out.
    if (starts_with(text, "GN")) {
        if (model_.glyph_request_pending == 1) {
            show(serial ? Box::warning : Box::error,
                 serial ? text::kAutoSwitching : text::kSocketAutoSwitching);
        } else {
            show(serial ? Box::warning : Box::success,
                 serial ? text::kModeDifference : text::kSocketModeDifference);
        }
        return true;
    }
    if (starts_with(text, "MENU")) {
        show(Box::warning, serial ? text::kMenuDisplay : text::kSocketMenuDisplay);
        return true;
    }
    struct Code {
        const char* code;
        const char* serial_text;
        const char* tcp_text;
    };
    static const Code codes[] = {
        {"E0", text::kFramingError, text::kSocketFraming},
        {"E1", text::kParityError, text::kSocketParity},
        {"E2", text::kOverrunError, text::kSocketOverrun},
        {"E3", text::kCommandError, text::kSocketCommand},
    };
    for (const Code& c : codes) {
        if (starts_with(text, c.code)) {
            show(Box::warning, serial ? c.serial_text : c.tcp_text);
            return true;
        }
    }
    // Anything else is not an answer we know: ignored.
    return false;
}

}  // namespace tqv
