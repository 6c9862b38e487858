#include "send_path.h"

#include "digits.h"
#include "texts.h"

namespace tqv {

std::string SendPath::address_field(int slave_address_index) {
    if (slave_address_index < 0 || slave_address_index >= kBroadcastIndex) return "FF";
    return two_digits(slave_address_index);
}

bool SendPath::link_ready() const { return model_.interface_kind == 0 || model_.tcp_connected == 1; }

void SendPath::send_command(std::string_view body) {
    if (model_.interface_kind != 0) {
        tcp_send(body);
    } else {
        serial_send(body);
    }
}

void SendPath::serial_send(std::string_view body) {
    // A body that cannot fit the 600-byte frame is never cut into a malformed command.
    if (body.size() > kMaxBody) return;
    model_.answer_pending = 1;
    std::string frame;
    if (model_.address_prefix_on == 1) {
        frame = address_field(model_.slave_address_index);
        // No device answers a broadcast on the serial line.
        if (frame == "FF") model_.answer_pending = 0;
    }
    frame.append(body);
    // A failed serial write is not reported here: the answer time-out says "No Connect".
    if (serial_) serial_->write(frame);
    if (on_frame_written) on_frame_written(frame, false);
}

void SendPath::tcp_send(std::string_view body) {
    if (body.size() > kMaxBody) return;
    std::string frame = address_field(model_.slave_address_index);
    frame.append(body);
    if (!link_ready() || tcp_ == nullptr || !tcp_->link_up()) {
        warning_box(ui_, text::kSocketNotConnected);
        return;
    }
    if (tcp_in_flight_) {
        tcp_queue_.push_back(std::move(frame));
        return;
    }
    tcp_write(frame);
}

void SendPath::tcp_write(const std::string& frame) {
    if (!tcp_->write(frame)) {
        tcp_fail(text::kSocketSend);
        return;
    }
    tcp_in_flight_ = true;
    tcp_wait_ticks_ = 0;
    if (on_frame_written) on_frame_written(frame, true);
}

void SendPath::tcp_fail(const char* message) {
    tcp_reset();
    model_.answer_error = 1;
    warning_box(ui_, message);
    model_.bulk_active = 0;
}

void SendPath::tcp_reset() {
    tcp_in_flight_ = false;
    tcp_wait_ticks_ = 0;
    tcp_queue_.clear();
}

void SendPath::answer_timeout_tick() {
    if (model_.answer_pending != 0) {
        int old = model_.pending_ticks;
        model_.pending_ticks = old + 1;
        if (old >= kTimeoutTicks - 1) {
            model_.answer_pending = 0;
            model_.pending_ticks = 0;
            error_box(ui_, text::kNoConnect);
        }
    }
    if (tcp_in_flight_ && ++tcp_wait_ticks_ >= kTimeoutTicks) {
        // The device stays silent: later commands would only time out in turn.
        tcp_fail(text::kAnswerTimeout);
    }
}

void SendPath::answer_arrived(bool on_tcp) {
    if (on_tcp && tcp_in_flight_) {
        tcp_in_flight_ = false;
        tcp_wait_ticks_ = 0;
        if (!tcp_queue_.empty()) {
            std::string next = std::move(tcp_queue_.front());
            tcp_queue_.pop_front();
            if (tcp_ == nullptr || !tcp_->link_up()) {
                tcp_reset();
                warning_box(ui_, text::kSocketNotConnected);
            } else {
                tcp_write(next);
            }
        }
    }
    if (on_answer) on_answer(on_tcp);
}

bool SendPath::confirm_not_switching() {
    return ui_.ask(text::kConfirmNotSwitching, text::kConfirmCaption);
}

}  // namespace tqv
