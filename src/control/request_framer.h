// HTTP/1.1 requests out of the bytes of one connection, framed by Boost.Beast's request
// parser; no socket, so the fuzz harness feeds it as the front does.
//
// Bytes are added as they come and framed as far as they go: a head is given to the caller
// before a byte of its body is taken, so that the request can be checked and refused
// without reading a body it announced; the body limit is chosen after that check. Each byte
// is looked at a bounded number of times whatever size the pieces come in (chunked bodies
// included), and what is held unframed stays under kMaxHead plus the piece last added.
//
// Beyond what Beast refuses, a head is refused (400) for what RFC 9112 forbids and Beast
// lets through: obs-fold lines, HTTP/1.1 without Host, two Hosts or Origins, a
// Transfer-Encoding other than "chunked" alone (or in HTTP/1.0, or beside a Content-Length).
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "control/control_parse.h"

namespace tqv {

class RequestFramer {
  public:
    enum class Step {
        more,     // nothing complete: add bytes
        head,     // a head is complete (head()): read_body() or next_request()
        request,  // the body of the head is complete: take_body()
        error,    // the bytes cannot be framed (error_status(), error()); nothing more is
    };

    RequestFramer();
    ~RequestFramer();
    RequestFramer(const RequestFramer&) = delete;
    RequestFramer& operator=(const RequestFramer&) = delete;

    void add(std::string_view bytes);
    // Frames as far as the bytes go; repeats the last step until the caller answered it.
    Step next();
    const HttpHead& head() const { return head_; }
    // After Step::head: the body is read, at most `max_body` bytes once decoded (a
    // Content-Length is compared by the caller, from the head).
    void read_body(std::size_t max_body);
    // After Step::request: the body; the framer goes on with the next request.
    std::string take_body();
    // After Step::head of a request without a body: drops it and goes on with the next.
    void next_request();

    int error_status() const { return error_status_; }  // 400, 413 or 431
    const std::string& error() const { return error_; }
    // Bytes added and not framed yet (a head still held included).
    std::size_t buffered() const { return buffer_.size() - at_; }
    // The current request's head and every byte after it: for a reader that takes the
    // connection over (the WebSocket upgrade).
    std::string_view from_head() const { return std::string_view(buffer_).substr(at_); }
    // Inside a request: part of a head, a body not complete.
    bool begun() const { return buffered() > 0 || state_ == State::body; }

  private:
    enum class State { head, head_done, body, done, failed };
    struct Parser;
    Step fail(int status, std::string text);
    Step frame_head();
    Step frame_body();
    void restart();

    std::unique_ptr<Parser> parser_;
    State state_ = State::head;
    std::string buffer_;
    std::size_t at_ = 0;         // where the unframed bytes begin
    std::size_t head_size_ = 0;  // of the head at at_, once complete
    HttpHead head_;
    int error_status_ = 0;
    std::string error_;
};

}  // namespace tqv
