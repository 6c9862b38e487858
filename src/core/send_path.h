// The one routine every command goes through: puts the slave address in front, picks the
// configured transport, writes the frame and arranges for the answer.
//
// Serial: marks an answer as pending; the 500 ms tick reports "No Connect" on its seventh
// tick without an answer. TCP: at most one command is in flight; later commands wait in
// order for the answer (or the time-out) of the one before, so bulk transfers keep their
// order. The TCP answer wait is the same 500 ms tick, never a spinning loop.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <string_view>

#include "model.h"
#include "transport.h"
#include "ui.h"

namespace tqv {

class SendPath {
public:
    static constexpr std::size_t kFrameCapacity = 600;  // address + body + NUL
    static constexpr std::size_t kMaxBody = kFrameCapacity - 3;
    static constexpr int kTimeoutTicks = 7;  // answer time-out, in 500 ms ticks

    SendPath(Model& model, Ui& ui) : model_(model), ui_(ui) {}

    void set_serial_transport(Transport* transport) { serial_ = transport; }
    void set_tcp_transport(Transport* transport) { tcp_ = transport; }
    Transport* serial_transport() const { return serial_; }
    Transport* tcp_transport() const { return tcp_; }
    Model& model() { return model_; }
    Ui& ui() { return ui_; }

    // Frames and sends one body (ending in CR LF) over the configured interface.
    void send_command(std::string_view body);
    // The serial branch; also used directly by the slave address and device network
    // dialogs, whatever interface is configured.
    void serial_send(std::string_view body);
    // 1 when the interface is RS-232C or a TCP connection exists.
    bool link_ready() const;
    // Every 500 ms: the serial answer time-out and the TCP answer time-out.
    void answer_timeout_tick();
    // "本機が自動切換えでない事を確認してください"; true when the operator answers Yes.
    bool confirm_not_switching();

    // Called by the answer dispatcher after every dispatched answer line.
    void answer_arrived(bool on_tcp);

    bool tcp_in_flight() const { return tcp_in_flight_; }
    std::size_t tcp_queued() const { return tcp_queue_.size(); }
    // Forgets any TCP command in flight or queued (link closed).
    void tcp_reset();

    // "00".."31", or "FF" for 32 and above.
    static std::string address_field(int slave_address_index);

    // Observers: every frame written (with the interface it went to), every answer line
    // dispatched. Used by the command-line tool and by byte traces.
    std::function<void(std::string_view frame, bool on_tcp)> on_frame_written;
    std::function<void(bool on_tcp)> on_answer;

private:
    void tcp_send(std::string_view body);
    void tcp_write(const std::string& frame);
    void tcp_fail(const char* message);

    Model& model_;
    Ui& ui_;
    Transport* serial_ = nullptr;
    Transport* tcp_ = nullptr;
    bool tcp_in_flight_ = false;
    int tcp_wait_ticks_ = 0;
    std::deque<std::string> tcp_queue_;
};

}  // namespace tqv
