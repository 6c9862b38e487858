// Received bytes in random pieces, on the serial and the TCP path, with answer time-out
// ticks and commands in between: line assembly and both dispatchers.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/answers.h"
#include "fuzz_support.h"

namespace {

class CountingTransport : public tqv::Transport {
public:
    bool write(std::string_view frame) override {
        ++frames;
        return !frame.empty();
    }
    bool link_up() const override { return true; }
    int frames = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tqv;
    if (size < 2) return 0;
    Model m;
    fuzz::QuietUi ui;
    SendPath path(m, ui);
    CountingTransport serial, tcp;
    path.set_serial_transport(&serial);
    path.set_tcp_transport(&tcp);
    AnswerDispatcher dispatcher(path);

    // The first bytes choose the state the answers meet.
    m.interface_kind = data[0] & 1;
    m.tcp_connected = (data[0] >> 1) & 1;
    m.bulk_active = (data[0] >> 2) & 3;
    m.glyph_bulk_active = (data[0] >> 4) & 1;
    m.glyph_index = static_cast<int>(data[1]) - 8;  // also outside 0..69

    std::size_t i = 2;
    while (i < size) {
        const std::uint8_t op = data[i++];
        switch (op & 3) {
            case 0:
                path.answer_timeout_tick();
                break;
            case 1:
                path.send_command(op & 4 ? "RFBM0A01\r\n" : "P01T01\r\n");
                break;
            default: {
                const std::size_t n = std::min<std::size_t>(op >> 2, size - i);
                const std::string_view piece(reinterpret_cast<const char*>(data + i), n);
                if ((op & 3) == 2) {
                    dispatcher.serial_receive(piece);
                } else {
                    dispatcher.tcp_receive(piece);
                }
                i += n;
            }
        }
        fuzz::check(m.tcp_line.pending_bytes() <= LineAssembler::kCapacity,
                    "the TCP line buffer stays within its capacity");
    }
    return 0;
}
