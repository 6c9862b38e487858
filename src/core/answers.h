// Turns answer lines from the device into model updates and operator messages. Two
// dispatchers share one table; they differ in where the slave address is dropped, how
// "GO" is recognised and which texts they show.
#pragma once

#include <functional>
#include <string_view>

#include "line_assembler.h"
#include "send_path.h"

namespace tqv {

class AnswerDispatcher {
public:
    explicit AnswerDispatcher(SendPath& path) : path_(path), model_(path.model()), ui_(path.ui()) {}

    // Bytes from the serial port: every complete line is dispatched on its own.
    void serial_receive(std::string_view bytes);
    // Bytes from a TCP socket: collected in the model's TCP line buffer.
    void tcp_receive(std::string_view bytes);

    // One complete line, CR LF included.
    void dispatch_serial(std::string_view line);
    void dispatch_tcp(std::string_view line);

    // Observer of every answer text (slave address removed as the link does), before it
    // is applied. The command-line tool prints answers through it.
    std::function<void(std::string_view text, bool on_tcp)> on_answer_text;

private:
    enum class Link { serial, tcp };
    void dispatch(std::string_view text, Link link);
    bool apply_report(std::string_view text, Link link);
    void error_steps(std::string_view text, Link link);

    SendPath& path_;
    Model& model_;
    Ui& ui_;
    LineAssembler serial_line_;
};

// Title line index from a channel field and position letter ("02", 'B' -> 3); -1 when the
// channel is not "01" or "02".
int title_line_from_fields(char ch_tens, char ch_units, char position);

}  // namespace tqv
