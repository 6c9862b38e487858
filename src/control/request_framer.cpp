#include "control/request_framer.h"

#include <boost/asio/buffer.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/string_body.hpp>
#include <limits>

namespace tqv {

namespace http = boost::beast::http;

namespace {

std::string str(boost::beast::string_view s) { return std::string(s.data(), s.size()); }

bool has_token(boost::beast::string_view list, std::string_view token) {
    for (const auto& word : http::token_list{list})
        if (boost::beast::iequals(word, boost::beast::string_view(token.data(), token.size())))
            return true;
    return false;
}

}  // namespace

struct RequestFramer::Parser {
    http::request_parser<http::string_body> beast;
};

RequestFramer::RequestFramer() { restart(); }

RequestFramer::~RequestFramer() = default;

void RequestFramer::restart() {
    parser_ = std::make_unique<Parser>();
    auto& p = parser_->beast;
    p.header_limit(std::uint32_t(kMaxHead));
    // The body's limit is the caller's choice once it has seen the head: none until then,
    // so that Beast does not refuse a Content-Length before the head was checked. (Not
    // boost::none: Beast 1.74 compares a length with it and finds every length larger.)
    p.body_limit(std::numeric_limits<std::uint64_t>::max());
    p.eager(false);
    state_ = State::head;
    head_ = HttpHead();
    head_size_ = 0;
}

void RequestFramer::add(std::string_view bytes) {
    if (state_ == State::failed) return;
    // What was framed is dropped before more is kept; what is left is short (a part of a
    // head or of a chunk line), or a head waiting for its caller.
    if (at_ > 0) {
        buffer_.erase(0, at_);
        at_ = 0;
    }
    buffer_.append(bytes);
}

RequestFramer::Step RequestFramer::fail(int status, std::string text) {
    state_ = State::failed;
    error_status_ = status;
    error_ = std::move(text);
    return Step::error;
}

RequestFramer::Step RequestFramer::next() {
    switch (state_) {
        case State::head: return frame_head();
        case State::head_done: return Step::head;
        case State::body: return frame_body();
        case State::done: return Step::request;
        case State::failed: return Step::error;
    }
    return Step::error;
}

RequestFramer::Step RequestFramer::frame_head() {
    if (buffered() == 0) return Step::more;
    auto& p = parser_->beast;
    boost::beast::error_code ec;
    // Beast takes nothing until the whole head is there, and looks for its end only in
    // what was added since the last call.
    const std::size_t used = p.put(boost::asio::const_buffer(buffer_.data() + at_, buffered()), ec);
    if (ec == http::error::need_more) return Step::more;
    if (ec == http::error::header_limit) return fail(431, "request head over 16 KiB");
    if (ec) return fail(400, "bad request head: " + ec.message());
    if (!p.is_header_done()) return Step::more;
    const std::string_view bytes = std::string_view(buffer_).substr(at_, used);
    // A line that begins with white space continues the one before (obs-fold): Beast joins
    // them, RFC 9112 says to refuse it.
    for (std::size_t eol = bytes.find("\r\n"); eol != std::string_view::npos && eol + 2 < bytes.size();
         eol = bytes.find("\r\n", eol + 2))
        if (bytes[eol + 2] == ' ' || bytes[eol + 2] == '\t')
            return fail(400, "bad request head: a header line folded onto the one before");

    const auto& m = p.get();
    HttpHead& h = head_;
    h.size = used;
    h.method = str(m.method_string());
    const std::string target = str(m.target());
    const std::size_t question = target.find('?');
    h.path = target.substr(0, question);
    if (question != std::string::npos) h.query = target.substr(question + 1);
    h.http11 = m.version() == 11;
    h.keep_alive = p.keep_alive();
    h.chunked = p.chunked();
    h.content_length = p.content_length().value_or(0);
    const auto field = [&m](http::field f) { return str(m[f]); };
    h.expect_continue = boost::beast::iequals(m[http::field::expect], "100-continue");
    h.websocket = p.upgrade() && has_token(m[http::field::upgrade], "websocket");
    h.authorization = field(http::field::authorization);
    h.if_none_match = field(http::field::if_none_match);
    h.host_given = m.count(http::field::host) > 0;
    h.host = field(http::field::host);
    h.origin_given = m.count(http::field::origin) > 0;
    h.origin = field(http::field::origin);
    h.content_type = field(http::field::content_type);

    // A request says once whom it is for and where it comes from.
    if (h.http11 && !h.host_given) return fail(400, "bad request head: no Host");
    if (m.count(http::field::host) > 1 || m.count(http::field::origin) > 1)
        return fail(400, "bad request head: Host or Origin given twice");
    // Any other coding, or one a 1.0 client cannot mean, leaves the body's end in doubt.
    const std::size_t codings = m.count(http::field::transfer_encoding);
    if (codings > 0 &&
        (codings > 1 || !h.chunked || !h.http11 ||
         !boost::beast::iequals(m[http::field::transfer_encoding], "chunked") ||
         m.count(http::field::content_length) > 0))
        return fail(400, "bad request head: only \"Transfer-Encoding: chunked\" is taken, "
                         "in HTTP/1.1, without a Content-Length");
    head_size_ = used;
    state_ = State::head_done;
    return Step::head;
}

void RequestFramer::read_body(std::size_t max_body) {
    if (state_ != State::head_done) return;
    at_ += head_size_;
    auto& p = parser_->beast;
    if (head_.content_length > max_body) {
        fail(413, "body too large");
        return;
    }
    if (p.is_done()) {
        state_ = State::done;
        return;
    }
    // Counted on the decoded body: chunk sizes, not the bytes that frame them.
    p.body_limit(std::uint64_t(max_body));
    p.eager(true);
    state_ = State::body;
}

RequestFramer::Step RequestFramer::frame_body() {
    auto& p = parser_->beast;
    while (buffered() > 0 && !p.is_done()) {
        boost::beast::error_code ec;
        const std::size_t used = p.put(boost::asio::const_buffer(buffer_.data() + at_, buffered()), ec);
        at_ += used;
        if (ec == http::error::need_more) {
            // Only a chunk line or the trailer waits whole: either is short.
            if (buffered() >= kMaxHead) return fail(400, "bad chunked body: a line over 16 KiB");
            return Step::more;
        }
        if (ec == http::error::body_limit) return fail(413, "body too large");
        if (ec) return fail(400, "bad chunked body: " + ec.message());
        if (used == 0) break;
    }
    if (!p.is_done()) return Step::more;
    state_ = State::done;
    return Step::request;
}

std::string RequestFramer::take_body() {
    if (state_ != State::done) return {};
    std::string body = std::move(parser_->beast.get().body());
    restart();
    return body;
}

void RequestFramer::next_request() {
    if (state_ != State::head_done || !parser_->beast.is_done()) return;
    at_ += head_size_;
    restart();
}

}  // namespace tqv
