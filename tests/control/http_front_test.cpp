// The HTTP front on 127.0.0.1, in this process: framing, ordering, limits and the hand-over
// of an upgrade, with routes that echo what they were given.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QTcpSocket>
#include <QWebSocket>
#include <memory>
#include <vector>

#include "control/http_front.h"
#include "http_exchange.h"
#include "link/sim_process.h"

namespace {

using tqv::HttpFront;
using tqv::HttpHead;
using tqv::test::exchange;
using tqv::test::Reply;
using tqv::test::take_answers;
using tqv::test::wait_until;

constexpr qsizetype kFileSize = 64 * 1024;

class HttpFrontTest : public ::testing::Test {
  protected:
    void SetUp() override {
        front_.check = [this](const HttpHead& head, const QHostAddress&) -> HttpFront::Refusal {
            ++heads_;
            if (head.path == "/refused") return {403, R"({"error":"refused"})"};
            return {};
        };
        front_.max_body = [](const HttpHead& head) {
            return head.path == "/big" ? tqv::kMaxCueLoadBody : tqv::kMaxBody;
        };
        // Echoes the method and the body; /held answers when the test says so, /allow with
        // a header of its own.
        front_.request = [this](const HttpHead& head, const QByteArray& body, const QHostAddress&,
                                HttpFront::Answer answer) {
            if (head.path == "/held") {
                held_.push_back(std::move(answer));
                return;
            }
            const QByteArray json = QJsonDocument(QJsonObject{{"method", QString::fromStdString(head.method)},
                                                              {"body", QString::fromLatin1(body)}})
                                        .toJson(QJsonDocument::Compact);
            answer(200, json, head.path == "/allow" ? "Allow: GET, HEAD\r\n" : "");
        };
        front_.file = [](const HttpHead& head) -> HttpFront::File {
            if (head.path != "/file.js") return {};
            return {200, "Content-Type: text/javascript\r\n", QByteArray(kFileSize, 'f')};
        };
        front_.websocket = [this](QWebSocket* socket) {
            upgraded_.emplace_back(socket);
            QObject::connect(socket, &QWebSocket::textMessageReceived,
                             [this](const QString& text) { messages_.push_back(text); });
        };
    }
    void listen(const HttpFront::Limits& limits = {}) {
        front_.set_limits(limits);
        ASSERT_TRUE(front_.listen(QHostAddress::LocalHost, 0));
        port_ = front_.port();
    }
    // A connection, from `from` when given, that has connected.
    std::unique_ptr<QTcpSocket> connected(const char* from = nullptr) {
        auto socket = std::make_unique<QTcpSocket>();
        if (from != nullptr) socket->bind(QHostAddress(QString::fromLatin1(from)));
        socket->connectToHost(QStringLiteral("127.0.0.1"), port_);
        wait_until([&] { return socket->state() == QAbstractSocket::ConnectedState; });
        return socket;
    }
    // Everything the server says until it closes.
    QByteArray until_closed(QTcpSocket& socket) {
        QByteArray got;
        wait_until([&] {
            got += socket.readAll();
            return socket.state() == QAbstractSocket::UnconnectedState;
        });
        return got + socket.readAll();
    }

    HttpFront front_;
    quint16 port_ = 0;
    int heads_ = 0;
    std::vector<HttpFront::Answer> held_;
    std::vector<std::unique_ptr<QWebSocket>> upgraded_;
    std::vector<QString> messages_;
};

QByteArray chunked(const QByteArray& chunks) {
    return "POST /echo HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n" + chunks;
}

TEST_F(HttpFrontTest, FramingIsStrictAndBodiesAreLimitedByWhatTheyHold) {
    listen();
    QByteArray one_byte_chunks;
    for (int i = 0; i < 4000; ++i) one_byte_chunks += "1\r\n" + QByteArray(1, char('a' + i % 26)) + "\r\n";
    const struct {
        const char* what;
        QByteArray raw;
        int status;
        const char* body;  // contained in the answer's body
        bool closes;
    } cases[] = {
        {"space before the colon", "POST /echo HTTP/1.1\r\nHost: x\r\nContent-Length : 5\r\n\r\nhello", 400, "bad request head", true},
        {"obs-fold", "GET /echo HTTP/1.1\r\nHost: x\r\nX-A: 1\r\n Content-Length: 5\r\n\r\n", 400, "folded", true},
        {"obs-fold with a tab", "GET /echo HTTP/1.1\r\nHost: x\r\nX-A: 1\r\n\tb\r\n\r\n", 400, "folded", true},
        {"a line that begins folded", "GET /echo HTTP/1.1\r\n Host: x\r\n\r\n", 400, "bad request head", true},
        {"HTTP/1.1 without Host", "GET /echo HTTP/1.1\r\n\r\n", 400, "no Host", true},
        {"two Hosts", "GET /echo HTTP/1.1\r\nHost: x\r\nHost: y\r\n\r\n", 400, "twice", true},
        {"Content-Length and Transfer-Encoding",
         "POST /echo HTTP/1.1\r\nHost: x\r\nContent-Length: 5\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n",
         400, "bad request head", true},
        {"Transfer-Encoding and Content-Length",
         "POST /echo HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\nContent-Length: 5\r\n\r\n", 400, "bad request head", true},
        {"two lengths", "POST /echo HTTP/1.1\r\nHost: x\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\nhello!", 400, "bad request head", true},
        {"a coding other than chunked", "POST /echo HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: gzip\r\n\r\n", 400, "chunked", true},
        {"HTTP/2.0", "GET /echo HTTP/2.0\r\nHost: x\r\n\r\n", 400, "bad request head", true},
        {"a bare LF", "GET /echo HTTP/1.1\nHost: x\n\n", 400, "bad request head", true},
        {"chunk size not hex", chunked("zz\r\nhello\r\n0\r\n\r\n"), 400, "bad chunked body", true},
        {"negative chunk size", chunked("-5\r\nhello\r\n0\r\n\r\n"), 400, "bad chunked body", true},
        {"chunk size over 64 bits", chunked("10000000000000000\r\nx\r\n0\r\n\r\n"), 400, "bad chunked body", true},
        {"white space without an extension", chunked("5 \r\nhello\r\n0\r\n\r\n"), 400, "bad chunked body", true},
        {"a chunk longer than its size", chunked("3\r\nhello\r\n0\r\n\r\n"), 400, "bad chunked body", true},
        {"head over 16 KiB", "GET /echo HTTP/1.1\r\nHost: x\r\nX: " + QByteArray(17000, 'a'), 431, "16 KiB", true},
        {"length over 4 KiB", "POST /echo HTTP/1.1\r\nHost: x\r\nContent-Length: 4097\r\n\r\n", 413, "4 KiB", true},
        {"length over 256 KiB", "POST /big HTTP/1.1\r\nHost: x\r\nContent-Length: 262145\r\n\r\n", 413, "256 KiB", true},
        {"chunks over 4 KiB decoded", chunked("800\r\n" + QByteArray(2048, 'a') + "\r\n801\r\n" + QByteArray(2049, 'b') + "\r\n0\r\n\r\n"),
         413, "4 KiB", true},
        {"refused, with a body", "POST /refused HTTP/1.1\r\nHost: x\r\nContent-Length: 5\r\n\r\nhello", 403, "refused", true},
        // Taken:
        {"white space before an extension", chunked("5 ;name=value\r\nhello\r\n0\r\n\r\n"), 200, R"("body":"hello")", false},
        {"extensions and a trailer", chunked("2;a=\"q\";b\r\nhe\r\n3\t; c = d\r\nllo\r\n0\r\nX-T: 1\r\n\r\n"), 200,
         R"("body":"hello")", false},
        {"4000 one-byte chunks", chunked(one_byte_chunks + "0\r\n\r\n"), 200, R"("body":"abcdefghijklmnopqrstuvwxyzabc)", false},
        {"the same length twice", "POST /echo HTTP/1.1\r\nHost: x\r\nContent-Length: 5\r\nContent-Length: 5\r\n\r\nhello", 200,
         R"("body":"hello")", false},
        {"HTTP/1.0 without Host", "GET /echo HTTP/1.0\r\n\r\n", 200, R"("method":"GET")", true},
        {"refused, without a body", "GET /refused HTTP/1.1\r\nHost: x\r\n\r\n", 403, "refused", false},
    };
    for (const auto& c : cases) {
        bool closed = false;
        const std::vector<Reply> replies = exchange(port_, c.raw, 1, &closed);
        ASSERT_EQ(replies.size(), 1u) << c.what;
        EXPECT_EQ(replies[0].status, c.status) << c.what << ": " << replies[0].body.toStdString();
        EXPECT_TRUE(replies[0].body.contains(c.body)) << c.what << ": " << replies[0].body.toStdString();
        EXPECT_EQ(closed, c.closes) << c.what;
    }
}

TEST_F(HttpFrontTest, AConnectionEndsOnlyAfterEveryAnswerBeforeItsLast) {
    listen();
    auto socket = connected();
    // The first is answered at once, the last waits; the one between is a file.
    socket->write("GET /echo HTTP/1.1\r\nHost: x\r\n\r\nGET /file.js HTTP/1.1\r\nHost: x\r\n\r\n"
                  "POST /held HTTP/1.1\r\nHost: x\r\nConnection: close\r\nContent-Length: 2\r\n\r\nhi"
                  "GET /echo HTTP/1.1\r\nHost: x\r\n\r\n");
    ASSERT_TRUE(wait_until([&] { return held_.size() == 1; }));
    QByteArray got;
    std::vector<Reply> replies;
    wait_until([&] { return take_answers(got += socket->readAll(), replies) == 2; });
    EXPECT_EQ(socket->state(), QAbstractSocket::ConnectedState);
    held_[0](200, R"({"late":true})");
    // Nothing after the request that ended the connection.
    ASSERT_EQ(take_answers(got += until_closed(*socket), replies), 3u);
    EXPECT_EQ(replies[1].body.size(), kFileSize);
    EXPECT_EQ(replies[2].body, R"({"late":true})");
    EXPECT_EQ(heads_, 3);
}

TEST_F(HttpFrontTest, HeadAnswersCarryTheLengthOfTheirBodyAndNoBody) {
    listen();
    auto socket = connected();
    socket->write("HEAD /file.js HTTP/1.1\r\nHost: x\r\n\r\nHEAD /allow HTTP/1.1\r\nHost: x\r\n\r\n"
                  "GET /allow HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    const QByteArray got = until_closed(*socket);
    const QByteArray json = R"({"body":"","method":"GET"})";
    const QByteArray head_json = R"({"body":"","method":"HEAD"})";
    EXPECT_TRUE(got.startsWith("HTTP/1.1 200 OK\r\nContent-Type: text/javascript\r\nContent-Length: " +
                               QByteArray::number(kFileSize) + "\r\n\r\nHTTP/1.1 200 OK\r\n"))
        << got.left(300).toStdString();
    EXPECT_TRUE(got.contains("Allow: GET, HEAD\r\nContent-Length: " + QByteArray::number(head_json.size()) +
                             "\r\n\r\nHTTP/1.1 200 OK\r\n"))
        << got.toStdString();
    EXPECT_TRUE(got.endsWith("Connection: close\r\n\r\n" + json)) << got.toStdString();
    EXPECT_FALSE(got.contains(QByteArray(64, 'f')));
}

TEST_F(HttpFrontTest, SlotsAreSharedAmongAddressesAndASilentConnectionGoesSoon) {
    HttpFront::Limits limits;
    limits.first_byte_ms = 300;
    listen(limits);
    std::vector<std::unique_ptr<QTcpSocket>> mine;
    for (int i = 0; i < 16; ++i) {
        mine.push_back(connected());
        mine.back()->write("GET /echo HTTP/1.1\r\nHost: x\r\n\r\n");  // kept past the first 300 ms
    }
    ASSERT_TRUE(wait_until([&] { return front_.connections() == 16 && heads_ == 16; }));
    auto seventeenth = connected();
    const QByteArray refused = until_closed(*seventeenth);
    EXPECT_TRUE(refused.startsWith("HTTP/1.1 503") && refused.contains("from this address"))
        << refused.toStdString();
    auto other = connected("127.0.0.2");
    other->write("GET /echo HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    EXPECT_TRUE(until_closed(*other).startsWith("HTTP/1.1 200")) << "another address is served";
    // Every accepted socket sends without delay.
    for (QTcpSocket* s : front_.findChildren<QTcpSocket*>())
        EXPECT_EQ(s->socketOption(QAbstractSocket::LowDelayOption).toInt(), 1);
    // A connection that says nothing goes after its first 300 ms; those that spoke stay.
    mine.front()->abort();
    ASSERT_TRUE(wait_until([&] { return front_.connections() == 15; }));
    auto silent = connected();
    EXPECT_TRUE(until_closed(*silent).isEmpty());
    EXPECT_FALSE(wait_until([&] { return front_.connections() < 15; }, 600));
}

TEST_F(HttpFrontTest, AClientThatDoesNotReadIsNotReadUntilItDoes) {
    listen();
    constexpr int kRequests = 400;  // 25 MiB of answers
    QTcpSocket socket;
    socket.setReadBufferSize(64 * 1024);  // what the kernel holds for us stays small too
    socket.connectToHost(QStringLiteral("127.0.0.1"), port_);
    QByteArray requests;
    for (int i = 0; i < kRequests; ++i) requests += "GET /file.js HTTP/1.1\r\nHost: x\r\n\r\n";
    socket.write(requests);
    // The front stops reading at some point well before the last request: the count of
    // heads seen settles.
    int seen = -1;
    QElapsedTimer still;
    still.start();
    ASSERT_TRUE(wait_until([&] {
        if (heads_ != seen) {
            seen = heads_;
            still.restart();
        }
        return still.elapsed() > 500;
    }, 20000));
    EXPECT_LT(seen, kRequests / 2);
    // Read, and every answer comes.
    qsizetype bytes = 0;
    int answers = 0;
    QByteArray got;
    EXPECT_TRUE(wait_until([&] {
        got += socket.readAll();
        while (auto r = tqv::test::take_answer(got)) {
            ++answers;
            bytes += r->body.size();
        }
        return answers == kRequests;
    }, 30000)) << answers;
    EXPECT_EQ(bytes, kRequests * kFileSize);
}

TEST_F(HttpFrontTest, AnUpgradeIsHandedOverWithItsHeadPutBack) {
    listen();
    auto socket = connected();
    ASSERT_TRUE(wait_until([&] { return front_.connections() == 1; }));
    const QPointer<QTcpSocket> server_side = front_.findChild<QTcpSocket*>();
    ASSERT_FALSE(server_side.isNull());
    // The front has read the head to check it; Qt WebSockets reads it again.
    socket->write(tqv::test::upgrade("/events", "Host: 127.0.0.1\r\n"));
    QByteArray got;
    ASSERT_TRUE(wait_until([&] { return (got += socket->readAll()).contains("\r\n\r\n"); }));
    EXPECT_TRUE(got.startsWith("HTTP/1.1 101")) << got.toStdString();
    // "hi" as a masked text frame.
    socket->write(QByteArray::fromHex("818201020304") + char('h' ^ 0x01) + char('i' ^ 0x02));
    ASSERT_TRUE(wait_until([&] { return !messages_.empty(); }));
    EXPECT_EQ(messages_[0], "hi");
    EXPECT_EQ(front_.connections(), 0);  // no longer an HTTP connection
    ASSERT_EQ(upgraded_.size(), 1u);
    ASSERT_FALSE(server_side.isNull());  // the WebSocket's now, and still sending without delay
    EXPECT_EQ(server_side->socketOption(QAbstractSocket::LowDelayOption).toInt(), 1);
}

}  // namespace
