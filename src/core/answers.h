// Turns answer lines from the device into model updates and operator messages. Two
// dispatchers share one table; they differ in where the slave address is dropped, how
// "GO" is recognised and which texts they show.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "line_assembler.h"
#include "observers.h"
#include "send_path.h"

namespace tqv {

// A value of the model that front ends show as the device's own, written by an answer line
// or held by the device once a command was answered: a line's page, its start-up page, a
// title slot, a line's title display flags, a line's position offset, or the white or edge
// level. Front ends that publish those values convert and announce just the one touched, not
// the whole model.
struct Touched {
    enum class Kind { page, startup, title, display, position, white_level, edge_level };
    Kind kind = Kind::page;
    int index = 0;  // the title line (page, startup, display, position), the title slot
                    // (title); 0 for the levels
    friend bool operator==(const Touched&, const Touched&) = default;
};

// What a command has the device hold once it is answered, read from its body (or from its
// frame, the slave address in front): a page switch, a start-up page, a title with or without
// memory, a position offset, a white or edge level. Other commands, and display commands
// (whose flags a read answer tells), give nullopt.
struct CommandSetting {
    Touched touched;
    int page = 0;       // page and startup: 0..63, or kAutoPage
    std::string title;  // title: the slot's text, code page 932 bytes
    int value = 0;      // position: the offset; white_level, edge_level: the level
};
std::optional<CommandSetting> command_setting(std::string_view body);

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
    Observers<std::string_view, bool> answer_text;
    // After every line handled (stale ones included), for front ends that refresh.
    Observers<> line_handled;
    // Every value an answer line wrote into the model, right after it was written (before
    // any box the line shows).
    Observers<const Touched&> touched;

private:
    enum class Link { serial, tcp };
    struct Arrived {
        std::string line;
        Link link;
        SendPath::Arrival arrival;
    };
    // Each complete line ends its command's wait at once; the lines are then handled one
    // after the other, in order, between the Ui's answers_begin() and answers_end(): their
    // boxes wait until every line in hand is handled (BoxQueue), so that a box's nested
    // event loop, in which more bytes arrive, never finds a line half handled.
    void arrive(std::string line, Link link);
    void handle(const Arrived& item);
    void dispatch(std::string_view text, Link link, const SendPath::Arrival& arrival);
    bool apply_report(std::string_view text, Link link, bool boxes);
    // True when the text is an error answer; `message` is what the link's box would say.
    bool error_steps(std::string_view text, Link link, bool boxes, const char** message);

    SendPath& path_;
    Model& model_;
    Ui& ui_;
    LineAssembler serial_line_;
    std::deque<Arrived> inbox_;
    bool handling_ = false;
};

// Title line index from a channel field and position letter ("02", 'B' -> 3); -1 when the
// channel is not "01" or "02".
int title_line_from_fields(char ch_tens, char ch_units, char position);

}  // namespace tqv
