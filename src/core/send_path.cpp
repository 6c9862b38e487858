#include "send_path.h"

#include <algorithm>

#include "digits.h"
#include "texts.h"

namespace tqv {

namespace {

// Commands written to a serial line that never answers are remembered only this far back:
// the time-out forgets them all anyway. Larger than the longest run.
constexpr std::size_t kSerialWaitingCap = 1024;

}  // namespace

std::string SendPath::address_field(int slave_address_index) {
    if (slave_address_index < 0 || slave_address_index >= kBroadcastIndex) return "FF";
    return two_digits(slave_address_index);
}

bool SendPath::link_ready() const { return model_.interface_kind == 0 || model_.tcp_connected == 1; }

SendPath::Pending SendPath::tag(std::string frame, int address_chars) const {
    Pending p;
    p.frame = std::move(frame);
    p.address_chars = address_chars;
    p.ticket = tickets_;  // taken by the send under way
    if (Run* r = sending_run()) {
        p.run_id = r->id();
        p.step = r->step();
    }
    return p;
}

void SendPath::exchange_end(ExchangeEnd::Kind kind, const Pending& p, std::string_view text) {
    if (p.run_id != 0 || p.frame.empty()) return;
    exchange_ended({kind, p.frame, std::string(text), p.ticket});
}

void SendPath::single_answered(const Arrival& arrival, std::string_view text, bool error) {
    if (arrival.route == Route::run && !error && !arrival.frame.empty())
        run_command_answered(arrival.frame);
    if (arrival.route != Route::single || arrival.frame.empty() || exchange_ended.empty()) return;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
    exchange_ended({error ? ExchangeEnd::Kind::error_answer : ExchangeEnd::Kind::answered,
                    arrival.frame, std::string(text), arrival.ticket});
}

SendPath::Arrival SendPath::arrival_of(const Pending& p) const {
    Arrival a;
    a.address_chars = p.address_chars;
    a.step = p.step;
    a.frame = p.frame;
    a.ticket = p.ticket;
    const std::size_t skip = std::min(p.frame.size(), std::size_t(p.address_chars));
    a.label = command_label(std::string_view(p.frame).substr(skip));
    if (p.run_id == 0) {
        a.route = Route::single;
    } else if (run() != nullptr && run()->id() == p.run_id) {
        a.route = Route::run;
    } else {
        a.route = Route::stale;
    }
    return a;
}

void SendPath::attach_run(Run& run) { run_ = &run; }

void SendPath::detach_run(const Run& run) {
    if (run_ != &run) return;
    run_ = nullptr;
    // What the run had still queued will never go out; what it has in flight is stale.
    std::erase_if(tcp_queue_, [&](const Pending& p) { return p.run_id == run.id(); });
}

Ticket SendPath::send_command(std::string_view body, Addressing addressing) {
    if (model_.interface_kind != 0) return tcp_send(body);
    return serial_send(body, addressing);
}

Ticket SendPath::serial_send(std::string_view body, Addressing addressing) {
    // A body that cannot fit the 600-byte frame is never cut into a malformed command.
    if (body.size() > kMaxBody) return 0;
    const Ticket ticket = ++tickets_;
    std::string frame;
    bool expects_answer = true;
    if (addressing == Addressing::addressed) {
        frame = address_field(model_.slave_address_index);
        // No device answers a broadcast on the serial line.
        if (frame == "FF") expects_answer = false;
    }
    const int address_chars = int(frame.size());
    serial_last_address_chars_ = address_chars;
    frame.append(body);
    // Answers to commands that timed out before this one are no longer told apart from
    // this one's: from here on a line is this command's.
    serial_stale_ = 0;
    if (expects_answer) {
        if (serial_waiting_.size() >= kSerialWaitingCap) {
            if (Run* r = run(); r != nullptr && serial_waiting_.front().run_id == r->id())
                r->command_dropped();
            serial_waiting_.pop_front();
        }
        // The answer wait runs for the oldest command awaiting its answer.
        if (serial_waiting_.empty()) model_.pending_ticks = 0;
        serial_waiting_.push_back(tag(frame, address_chars));
    }
    model_.answer_pending = serial_waiting_.empty() ? 0 : 1;
    if (Run* r = sending_run()) r->command_written(expects_answer);
    // A failed serial write is not reported here: the answer time-out says "No Connect".
    if (serial_) serial_->write(frame);
    frame_written(frame, false);
    // Nobody answers a broadcast: it has ended once it is written.
    if (!expects_answer) {
        Pending p = tag(frame, address_chars);
        p.ticket = ticket;  // observers of the write may have sent meanwhile
        exchange_end(ExchangeEnd::Kind::answered, p, "");
    }
    return ticket;
}

Ticket SendPath::tcp_send(std::string_view body) {
    if (body.size() > kMaxBody) return 0;
    const Ticket ticket = ++tickets_;
    std::string frame = address_field(model_.slave_address_index);
    frame.append(body);
    if (!link_ready() || tcp_ == nullptr || !tcp_->link_up()) {
        const Pending p = tag(std::move(frame), 2);
        std::deque<Pending> none;
        report_fault(RunEnd::link_lost, &p, text::kSocketNotConnected, none, true);
        exchange_end(ExchangeEnd::Kind::not_sent, p, text::kSocketNotConnected);
        settled();
        return ticket;
    }
    // Another device (server role): nothing awaited from the one before can come from this
    // one, whose answers are the only ones read now.
    const int target = model_.tcp_role == 1 ? model_.selected_peer : 0;
    if (target != tcp_target_) {
        tcp_reset();
        tcp_target_ = target;
    }
    if (Run* r = sending_run()) r->command_written(true);
    Pending p = tag(std::move(frame), 2);
    p.ticket = ticket;  // the observers told above may have sent meanwhile
    // Only while an answer is awaited (or a late one drained) do commands wait here.
    if (!tcp_waiting_.empty() || tcp_stale_ > 0) {
        tcp_queue_.push_back(std::move(p));
        return ticket;
    }
    tcp_write(std::move(p));
    return ticket;
}

void SendPath::tcp_write(Pending p) {
    if (!tcp_->write(p.frame)) {
        tcp_give_up(RunEnd::link_lost, text::kSocketSend, &p, false);
        return;
    }
    tcp_wait_ticks_ = 0;
    frame_written(p.frame, true);
    tcp_waiting_.push_back(std::move(p));
}

void SendPath::tcp_send_next() {
    if (!tcp_waiting_.empty() || tcp_stale_ > 0 || tcp_queue_.empty()) return;
    Pending next = std::move(tcp_queue_.front());
    tcp_queue_.pop_front();
    if (tcp_ == nullptr || !tcp_->link_up()) {
        tcp_give_up(RunEnd::link_lost, text::kSocketNotConnected, &next, false);
        return;
    }
    tcp_write(std::move(next));
}

void SendPath::tcp_give_up(RunEnd why, const char* message, const Pending* owner,
                           bool stale_answer_expected) {
    Pending first;
    const bool has_owner = owner != nullptr || !tcp_waiting_.empty();
    if (owner != nullptr) {
        first = *owner;
    } else if (!tcp_waiting_.empty()) {
        first = tcp_waiting_.front();
    }
    std::deque<Pending> dropped;
    dropped.swap(tcp_queue_);
    tcp_waiting_.clear();
    tcp_wait_ticks_ = 0;
    // The device may still answer the command that timed out: that answer must not be
    // taken for the next command's, so the next one waits for it (or for another wait).
    tcp_stale_ = stale_answer_expected ? 1 : 0;
    tcp_stale_ticks_ = 0;
    report_fault(why, has_owner ? &first : nullptr, message, dropped, true);
    if (has_owner) {
        // The command that timed out did go out; one whose write failed did not.
        const bool written = stale_answer_expected;
        exchange_end(why == RunEnd::timeout ? ExchangeEnd::Kind::timeout
                     : written              ? ExchangeEnd::Kind::lost
                                            : ExchangeEnd::Kind::not_sent,
                     first, message);
    }
    for (const Pending& p : dropped) exchange_end(ExchangeEnd::Kind::not_sent, p, message);
    settled();
}

void SendPath::report_fault(RunEnd why, const Pending* owner, std::string_view message,
                            const std::deque<Pending>& dropped, bool always_show) {
    // The single commands that will never go out are named, wherever the message goes.
    std::string names;
    for (const Pending& p : dropped) {
        if (p.run_id != 0) continue;  // a run's commands are its message's
        names += " " + arrival_of(p).label;
    }
    std::string text(message);
    if (!names.empty()) text += "\n" + std::string(text::kNotSent) + names;

    Run* r = run();
    const bool owner_is_runs = r != nullptr && owner != nullptr && owner->run_id == r->id();
    if (r != nullptr && (owner == nullptr || owner_is_runs)) {
        // The run's own command failed (or nothing was awaited): one message, the run's.
        const Arrival a = owner != nullptr ? arrival_of(*owner) : Arrival{};
        r->fault(why, a.step, a.label, text);
        return;
    }
    // A single command failed. A command of the run under way that was queued behind it
    // will not go out either: the run ends on it, with its own message.
    if (r != nullptr) {
        for (const Pending& p : dropped) {
            if (p.run_id != r->id()) continue;
            const Arrival a = arrival_of(p);
            r->fault(why, a.step, a.label, std::string(message) + "\n" + text::kNotSent + " " + a.label);
            break;
        }
    }
    // The fault of a command whose run has already ended was reported by that run.
    const bool owner_is_stale = owner != nullptr && owner->run_id != 0;
    if (!names.empty() || (always_show && !owner_is_stale)) warning_box(ui_, text);
}

void SendPath::tcp_reset() {
    // Whatever was awaited or queued will not be answered by this device: each is told.
    std::deque<Pending> gone;
    gone.swap(tcp_waiting_);
    for (Pending& p : tcp_queue_) gone.push_back(std::move(p));
    tcp_queue_.clear();
    tcp_wait_ticks_ = 0;
    tcp_stale_ = 0;
    tcp_stale_ticks_ = 0;
    give_up(gone, ExchangeEnd::Kind::not_sent, text::kSocketNotConnected);
}

void SendPath::serial_reset() {
    std::deque<Pending> gone;
    gone.swap(serial_waiting_);
    serial_stale_ = 0;
    model_.answer_pending = 0;
    model_.pending_ticks = 0;
    give_up(gone, ExchangeEnd::Kind::lost, text::kSerialPortClosed);
}

void SendPath::give_up(const std::deque<Pending>& gone, ExchangeEnd::Kind kind, const char* text) {
    Run* r = run();
    for (const Pending& p : gone) {
        exchange_end(kind, p, text);
        if (r != nullptr && p.run_id == r->id()) {
            const Arrival a = arrival_of(p);
            r->fault(RunEnd::link_lost, a.step, a.label, text);
            r = run();
        }
    }
}

void SendPath::answer_timeout_tick() {
    if (!serial_waiting_.empty()) {
        model_.answer_pending = 1;
        if (++model_.pending_ticks >= kTimeoutTicks) {
            model_.answer_pending = 0;
            model_.pending_ticks = 0;
            timed_out(false);
            // A device that leaves the oldest command unanswered this long answers none of
            // them: every waiting command has timed out. Their answers may still come;
            // they are matched to nothing until the next send.
            std::deque<Pending> all;
            all.swap(serial_waiting_);
            serial_stale_ = int(all.size());
            bool single = false;
            for (const Pending& p : all) {
                exchange_end(ExchangeEnd::Kind::timeout, p, text::kNoConnect);
                single = single || p.run_id == 0;
            }
            if (Run* r = run()) {
                for (const Pending& p : all) {
                    if (p.run_id != r->id()) continue;
                    const Arrival a = arrival_of(p);
                    r->fault(RunEnd::timeout, a.step, a.label, text::kNoConnect);
                    break;
                }
            }
            if (single) error_box(ui_, text::kNoConnect);
            settled();
        }
    } else {
        model_.answer_pending = 0;
        model_.pending_ticks = 0;
    }
    if (!tcp_waiting_.empty()) {
        // The device stays silent: later commands would only time out in turn.
        if (++tcp_wait_ticks_ >= kTimeoutTicks) {
            timed_out(true);
            tcp_give_up(RunEnd::timeout, text::kAnswerTimeout, nullptr, true);
        }
    } else if (tcp_stale_ > 0 && ++tcp_stale_ticks_ >= kTimeoutTicks) {
        // The late answer did not come either: nothing is left to confuse.
        tcp_stale_ = 0;
        tcp_stale_ticks_ = 0;
        tcp_send_next();
    }
}

SendPath::Arrival SendPath::line_arrived(bool on_tcp) {
    if (!on_tcp) {
        model_.pending_ticks = 0;
        if (!serial_waiting_.empty()) {
            const Arrival a = arrival_of(serial_waiting_.front());
            serial_waiting_.pop_front();
            model_.answer_pending = serial_waiting_.empty() ? 0 : 1;
            return a;
        }
        model_.answer_pending = 0;
        Arrival unmatched;
        unmatched.address_chars = serial_last_address_chars_;
        if (serial_stale_ > 0) {
            --serial_stale_;
            unmatched.route = Route::stale;
        }
        return unmatched;
    }
    Arrival a;
    if (!tcp_waiting_.empty()) {
        a = arrival_of(tcp_waiting_.front());
        tcp_waiting_.pop_front();
        tcp_wait_ticks_ = 0;
    } else if (tcp_stale_ > 0) {
        --tcp_stale_;
        tcp_stale_ticks_ = 0;
        a.route = Route::stale;
    }
    tcp_send_next();
    return a;
}

void SendPath::answer_handled(bool on_tcp, Route route) {
    if (route == Route::run) {
        if (Run* r = run()) r->answer_handled();
    }
    answered(on_tcp);
    settled();
}

void SendPath::link_lost(bool on_tcp, std::string_view text) {
    std::deque<Pending> dropped;
    Pending owner;
    bool had_owner = false;
    if (on_tcp) {
        if (!tcp_waiting_.empty()) {
            owner = tcp_waiting_.front();
            had_owner = true;
        } else if (!tcp_queue_.empty()) {
            owner = tcp_queue_.front();
            had_owner = true;
            tcp_queue_.pop_front();
        }
        dropped.swap(tcp_queue_);
        const bool anything = had_owner || !dropped.empty();
        for (const Pending& p : tcp_waiting_) exchange_end(ExchangeEnd::Kind::lost, p, text);
        if (had_owner && tcp_waiting_.empty()) exchange_end(ExchangeEnd::Kind::not_sent, owner, text);
        for (const Pending& p : dropped) exchange_end(ExchangeEnd::Kind::not_sent, p, text);
        tcp_waiting_.clear();
        tcp_wait_ticks_ = 0;
        tcp_stale_ = 0;
        tcp_stale_ticks_ = 0;
        if (run() == nullptr && !anything) return;  // nothing was waiting on it
    } else {
        model_.answer_pending = 0;
        model_.pending_ticks = 0;
        if (!serial_waiting_.empty()) {
            owner = serial_waiting_.front();
            had_owner = true;
        }
        for (const Pending& p : serial_waiting_) exchange_end(ExchangeEnd::Kind::lost, p, text);
        serial_waiting_.clear();
        serial_stale_ = 0;
    }
    // The run's own awaited command names the step; a single command's loss does not
    // hide that the run under way is lost with the link too.
    Run* r = run();
    if (r != nullptr && had_owner && owner.run_id != r->id()) {
        report_fault(RunEnd::link_lost, &owner, text, dropped, true);
        if (Run* still = run()) still->fault(RunEnd::link_lost, 0, {}, text);
    } else {
        report_fault(RunEnd::link_lost, had_owner ? &owner : nullptr, text, dropped, true);
    }
    settled();
}

bool SendPath::confirm_not_switching() {
    return ui_.ask(text::kConfirmNotSwitching, text::kConfirmCaption);
}

}  // namespace tqv
