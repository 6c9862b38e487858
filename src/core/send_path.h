// The one routine every command goes through: puts the slave address in front, picks the
// configured transport, writes the frame and arranges for the answer.
//
// Serial: marks an answer as pending; the 500 ms tick reports "No Connect" on its seventh
// tick without an answer. TCP: at most one command is in flight; later commands wait in
// order for the answer (or the time-out) of the one before, so bulk transfers keep their
// order. The TCP answer wait is the same 500 ms tick, never a spinning loop.
//
// The wait for an answer ends when a complete line arrives, before the line is handled:
// handling may open a modal box, and the time that box stays open is not the device's.
// Every command awaiting its answer is remembered in order with the run that sent it, so
// that each line is matched to its own command, and a line that comes after its command
// timed out, or after its run ended, is matched to nothing.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "addressing.h"
#include "model.h"
#include "observers.h"
#include "run.h"
#include "transport.h"
#include "ui.h"

namespace tqv {

// What an arriving answer line belongs to.
enum class Route {
    single,  // a command outside any run (or an unsolicited line): handled as always
    run,     // a command of the running run: its boxes are the run's to show
    stale,   // a command that timed out or whose run has ended: matched to nothing
};

// What the send path hands back for each command it takes: the command's own id, carried in
// its end, so that a front end learns its own command's answer even when another front end
// sends the same body at the same moment. Counted from 1 on each send path; 0 is no command.
using Ticket = std::uint64_t;

// How one command outside a run ended, for front ends that answer for each command (the
// show-control interface): the device answered, answered with an error, never answered,
// the command never went out, or the link went away while it waited.
struct ExchangeEnd {
    enum class Kind { answered, error_answer, timeout, not_sent, lost };
    Kind kind = Kind::answered;
    std::string frame;   // as written: address and body
    std::string answer;  // the answer text without address and CR LF; the message otherwise
    Ticket ticket = 0;   // the command's, as send_command handed it back
};

class SendPath {
public:
    static constexpr std::size_t kFrameCapacity = 600;  // address + body + NUL
    static constexpr std::size_t kMaxBody = kFrameCapacity - 3;
    // The one tick of every answer time-out (serial and TCP), on every link's timer.
    static constexpr int kTickMs = 500;
    static constexpr int kTimeoutTicks = 7;  // answer time-out, in ticks
    // Longer than any exchange can last here (its time-out, then the wait for its late
    // answer before the next command): a front end that hears nothing of a command for
    // this long gives it up as lost.
    static constexpr int kExchangeGuardMs = 15000;
    static_assert(kExchangeGuardMs > 2 * kTimeoutTicks * kTickMs);

    SendPath(Model& model, Ui& ui) : model_(model), ui_(ui) {}

    void set_serial_transport(Transport* transport) { serial_ = transport; }
    void set_tcp_transport(Transport* transport) { tcp_ = transport; }
    // What frames are written to: a link asks whether its device can be reached through it.
    const Transport* serial_transport() const { return serial_; }
    const Transport* tcp_transport() const { return tcp_; }
    Model& model() { return model_; }
    Ui& ui() { return ui_; }

    // Frames and sends one body (ending in CR LF) over the configured interface; its ticket,
    // or 0 when the body cannot be framed (nothing is sent and no end is told). TCP frames
    // always carry the address.
    Ticket send_command(std::string_view body, Addressing addressing = Addressing::addressed);
    // The serial branch; also used directly, bare, by the slave address and device network
    // commands, whatever interface is configured.
    Ticket serial_send(std::string_view body, Addressing addressing = Addressing::addressed);
    // The ticket the next command taken will get: an end may be told before send_command
    // returns (a link that is down, a broadcast), so a caller that must know its command's
    // end asks for it just before sending.
    Ticket next_ticket() const { return tickets_ + 1; }
    // 1 when the interface is RS-232C or a TCP connection exists.
    bool link_ready() const;
    // Every 500 ms: the serial answer time-out and the TCP answer time-out.
    void answer_timeout_tick();
    // "本機が自動切換えでない事を確認してください"; true when the operator answers Yes.
    bool confirm_not_switching();

    // What a line arriving on a link belongs to: the route, and for a run's command its
    // step and command head (for the run's message).
    struct Arrival {
        Route route = Route::single;
        // The characters in front of the answer text: the slave address when the command
        // it answers carried one (on TCP always).
        int address_chars = 2;
        int step = 0;
        std::string label;
        std::string frame;  // the command this line answers; empty for an unsolicited line
        Ticket ticket = 0;
    };
    // Nothing is awaiting its answer or queued: a command written now is the only one the
    // device is asked for. (A late answer to a command that timed out on TCP may still be
    // drained first; the send path holds the next command back for it by itself.)
    bool idle() const { return serial_waiting_.empty() && tcp_waiting_.empty() && tcp_queue_.empty(); }

    // A complete answer line has arrived on a link: ends the wait for it, sends the next
    // queued command, and says what the line belongs to.
    Arrival line_arrived(bool on_tcp);
    // The line has been handled (after its boxes): observers, and the run's completion.
    void answer_handled(bool on_tcp, Route route);
    // The answer to a single command has been handled; `error` for an error answer.
    void single_answered(const Arrival& arrival, std::string_view text, bool error);

    // The link went away: every command awaiting its answer or queued is given up. A
    // running run ends with `text`; otherwise `text` is shown (when not empty) together with
    // the commands that never went out.
    void link_lost(bool on_tcp, std::string_view text);

    // The run whose commands are written from now on; one at a time. The run reports its
    // end, after which its queued commands are dropped and its late answers are stale.
    void attach_run(Run& run);
    void detach_run(const Run& run);
    Run* run() const { return run_ != nullptr && run_->running() ? run_ : nullptr; }
    // The run whose step is sending right now: what is written belongs to it.
    Run* sending_run() const { return run_ != nullptr && run_->running() && run_->sending() ? run_ : nullptr; }
    // The one question every front end asks: is a run of this device under way?
    bool run_under_way() const { return run() != nullptr; }
    int next_run_id() { return ++run_ids_; }

    bool tcp_in_flight() const { return !tcp_waiting_.empty(); }
    std::size_t tcp_queued() const { return tcp_queue_.size(); }
    // Forgets every TCP command in flight or queued (the device was switched).
    void tcp_reset();
    // Forgets every serial command awaiting its answer: the port it was written to has been
    // closed for another, so no answer to it can come.
    void serial_reset();

    // "00".."31", or "FF" for 32 and above.
    static std::string address_field(int slave_address_index);

    // Observers: every frame written (with the interface it went to), every answer line
    // handled, every single command's end (a run's commands report to the run), every
    // answer that did not come in time (a run's too), and every change that may leave the
    // path idle (an answer handled, a time-out, a loss): a run waiting for the device looks
    // again then.
    Observers<std::string_view, bool> frame_written;
    Observers<bool> answered;
    Observers<const ExchangeEnd&> exchange_ended;
    // A command of a run answered without an error (its frame): what the device now holds.
    Observers<const std::string&> run_command_answered;
    Observers<bool> timed_out;
    Observers<> settled;

private:
    struct Pending {
        std::string frame;
        int run_id = 0;  // 0: not sent by a run
        int step = 0;
        int address_chars = 0;  // the slave address in front of the body (0 or 2)
        Ticket ticket = 0;
    };
    Pending tag(std::string frame, int address_chars) const;
    Arrival arrival_of(const Pending& p) const;
    Ticket tcp_send(std::string_view body);
    void tcp_write(Pending p);
    void tcp_send_next();
    void tcp_give_up(RunEnd why, const char* message, const Pending* owner,
                     bool stale_answer_expected);
    // Warns with `message` followed by the commands in `dropped`, or hands the fault to the
    // running run when `owner` is its command.
    void report_fault(RunEnd why, const Pending* owner, std::string_view message,
                      const std::deque<Pending>& dropped, bool always_show);

    void exchange_end(ExchangeEnd::Kind kind, const Pending& p, std::string_view text);
    // Tells each of `gone` that it ended as `kind`; a run whose command is among them ends.
    void give_up(const std::deque<Pending>& gone, ExchangeEnd::Kind kind, const char* text);

    Model& model_;
    Ui& ui_;
    Transport* serial_ = nullptr;
    Transport* tcp_ = nullptr;
    Run* run_ = nullptr;
    int run_ids_ = 0;
    Ticket tickets_ = 0;  // the last one handed out

    std::deque<Pending> serial_waiting_;  // written, answer not yet in (oldest first)
    std::deque<Pending> tcp_waiting_;     // at most one: the command in flight
    std::deque<Pending> tcp_queue_;       // waiting for the one in flight
    int tcp_wait_ticks_ = 0;
    int tcp_stale_ = 0;        // late answers to swallow before the next send
    int tcp_stale_ticks_ = 0;  // how long we have waited for them
    int serial_stale_ = 0;     // timed-out serial commands whose answers may still come
    // How the last serial command was framed: a line that answers no waiting command (a
    // late answer) is read as the answers to it are.
    int serial_last_address_chars_ = 2;
    int tcp_target_ = 0;       // the peer the TCP state above belongs to
};

}  // namespace tqv
