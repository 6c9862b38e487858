// tqv7310nx-cli serve end to end: HTTP and OSC requests against the simulated device, which
// logs every frame it receives. Everything stays on 127.0.0.1.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <memory>
#include <vector>

#include "link/sim_process.h"

namespace {

using tqv::test::Sim;
using tqv::test::wait_until;

struct Reply {
    int status = 0;  // 0: no complete answer
    QByteArray body;
};

// One HTTP request on its own connection; the answer is read on the event loop.
class Client {
  public:
    Client(int port, const QByteArray& method, const QByteArray& path, const QByteArray& body,
           const QByteArray& token = {}) {
        QByteArray request = method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
        if (!token.isEmpty()) request += "Authorization: Bearer " + token + "\r\n";
        request +=
            "Content-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size()) +
            "\r\n\r\n" + body;
        socket_.connectToHost(QStringLiteral("127.0.0.1"), quint16(port));
        socket_.write(request);
    }
    // The answer once complete (Content-Length read), else status 0.
    Reply reply() {
        buffer_ += socket_.readAll();
        const qsizetype end = buffer_.indexOf("\r\n\r\n");
        if (end < 0) return {};
        const QByteArray head = buffer_.left(end).toLower();
        const qsizetype at = head.indexOf("content-length:");
        const int length =
            at < 0 ? 0 : head.mid(at + 15, head.indexOf('\r', at) - at - 15).trimmed().toInt();
        if (buffer_.size() < end + 4 + length) return {};
        return {buffer_.mid(9, 3).toInt(), buffer_.mid(end + 4, length)};
    }

  private:
    QTcpSocket socket_;
    QByteArray buffer_;
};

Reply call(int port, const QByteArray& method, const QByteArray& path, const QByteArray& body,
           const QByteArray& token = {}) {
    Client c(port, method, path, body, token);
    Reply r;
    wait_until([&] { return (r = c.reply()).status != 0; }, 15000);
    return r;
}

// OSC strings are NUL-terminated and padded to four bytes.
QByteArray osc_string(const QByteArray& s) {
    QByteArray out = s + '\0';
    while (out.size() % 4 != 0) out += '\0';
    return out;
}

class ControlTest : public ::testing::Test {
  protected:
    void SetUp() override {
#if !defined(TQV_CLI_PATH) || !defined(TQV_SIM_PATH)
        GTEST_SKIP() << "tqv7310nx-cli or tqv7310nx-sim is not built";
#endif
        ASSERT_TRUE(dir_.isValid());
    }
    void TearDown() override {
        if (serve_.state() != QProcess::NotRunning) {
            serve_.terminate();
            EXPECT_TRUE(wait_until([this] { return serve_.state() == QProcess::NotRunning; }));
            EXPECT_EQ(serve_.exitStatus(), QProcess::NormalExit);
            EXPECT_EQ(serve_.exitCode(), 0);
        }
    }

    // The simulated device (with `sim_args`) and the tool serving it; false when either
    // did not come up.
    bool start(const QStringList& sim_args, const QStringList& serve_args = {}) {
        sim_ = std::make_unique<Sim>(QStringList{"--listen", "0", "--log", log_path()} + sim_args,
                                     "listening");
        if (!sim_->ready()) return false;
#ifdef TQV_CLI_PATH
        serve_.setProgram(QStringLiteral(TQV_CLI_PATH));
#endif
        serve_.setArguments(QStringList{"--tcp", "127.0.0.1:" + sim_->value(), "serve", "--http",
                                        "0", "--osc", "0"} +
                            serve_args);
        serve_.setReadChannel(QProcess::StandardError);
        serve_.start();
        while (http_ == 0 || osc_ == 0) {
            if (!wait_until([this] {
                    return serve_.canReadLine() || serve_.state() == QProcess::NotRunning;
                }) ||
                !serve_.canReadLine())
                return false;
            const QByteArray line = serve_.readLine().trimmed();
            if (line.startsWith("http ")) http_ = line.mid(5).toInt();
            if (line.startsWith("osc ")) osc_ = line.mid(4).toInt();
        }
        return true;
    }
    QString log_path() const { return dir_.filePath(QStringLiteral("sim.log")); }
    // The frames the device received, in order, without CR LF.
    std::vector<QByteArray> frames() const {
        QFile f(log_path());
        std::vector<QByteArray> out;
        if (!f.open(QIODevice::ReadOnly)) return out;
        for (const QByteArray& line : f.readAll().split('\n')) {
            const qsizetype at = line.indexOf(" < ");
            if (at >= 0) out.push_back(line.mid(at + 3).replace("\\r\\n", ""));
        }
        return out;
    }

    QTemporaryDir dir_;
    std::unique_ptr<Sim> sim_;
    QProcess serve_;
    int http_ = 0;
    int osc_ = 0;
};

TEST_F(ControlTest, RequestsBecomeTheDialogsCommandsAndBadOnesAreRefused) {
    ASSERT_TRUE(start({}, {"--token", "s3cret"}));
    const QByteArray big =
        "{\"line\":\"1T\",\"page\":1,\"text\":\"" + QByteArray(4100, 'x') + "\"}";
    struct Case {
        const char* method;
        const char* path;
        QByteArray body;
        QByteArray token;
        int status;
        const char* said;
    } cases[] = {
        {"POST", "/api/page", R"({"line":"1T","page":5})", "s3cret", 200, R"("answer":"GO")"},
        {"POST", "/api/title", R"({"line":"1b","page":2,"text":"タイトル","memory":false})",
         "s3cret", 200, "GO"},
        {"POST", "/api/startup", R"({"line":"2B","page":"AUTO"})", "s3cret", 200, "GO"},
        {"GET", "/api/status", "", "s3cret", 200, R"("1T":5)"},
        {"POST", "/api/page", R"({"line":"1T","page":5})", "wrong", 401, "unauthorized"},
        {"POST", "/api/page", R"({"line":"1T",)", "s3cret", 400, "bad JSON"},
        {"POST", "/api/page", R"({"line":"3T","page":5})", "s3cret", 400, "unknown line"},
        {"POST", "/api/page", R"({"line":"1T","page":65})", "s3cret", 400, "out of range"},
        {"POST", "/api/title", R"({"line":"1T","page":"AUTO","text":"x"})", "s3cret", 400,
         "out of range"},
        {"POST", "/api/title", R"({"line":"1T","page":1,"text":"한국"})", "s3cret", 400,
         "cannot be sent"},
        {"POST", "/api/title", big, "s3cret", 413, "4 KiB"},
    };
    for (const Case& c : cases) {
        const Reply r = call(http_, c.method, c.path, c.body, c.token);
        EXPECT_EQ(r.status, c.status) << c.path << " " << c.body.left(60).toStdString();
        EXPECT_TRUE(r.body.contains(c.said)) << r.body.toStdString();
    }
    // OSC: a malformed packet and an unknown address are ignored; the next message is served.
    QUdpSocket osc;
    osc.writeDatagram(osc_string("/tqv/page") + ",si", QHostAddress::LocalHost, quint16(osc_));
    osc.writeDatagram(osc_string("/tqv/jump") + osc_string(",i") + QByteArray(4, '\0'),
                      QHostAddress::LocalHost, quint16(osc_));
    osc.writeDatagram(osc_string("/tqv/page") + osc_string(",si") + osc_string("2T") +
                          QByteArray::fromHex("00000007"),
                      QHostAddress::LocalHost, quint16(osc_));
    // A bundle's message (size-prefixed, after "#bundle" and the time tag).
    const QByteArray startup =
        osc_string("/tqv/startup") + osc_string(",ss") + osc_string("1B") + osc_string("AUTO");
    osc.writeDatagram(
        osc_string("#bundle") + QByteArray::fromHex("0000000000000001") +
            QByteArray::fromHex(QByteArray::number(startup.size(), 16).rightJustified(8, '0')) +
            startup,
        QHostAddress::LocalHost, quint16(osc_));
    ASSERT_TRUE(wait_until([this] { return frames().size() == 5; }));
    const std::vector<QByteArray> expected = {
        "00P01T05", "00CN01B02253F25242548256B2121212121212121212121212121212121212121",
        "00SUS02BAS", "00P02T07", "00SUS01BAS"};
    EXPECT_EQ(frames(), expected);
}

TEST_F(ControlTest, ErrorAnswersAndSilenceHaveTheirOwnStatus) {
    const struct {
        QStringList sim_args;
        int status;
        const char* said;
    } cases[] = {{{"--error", "E3"}, 502, R"("answer":"E3")"}, {{"--no-answer"}, 504, "\"error\""}};
    for (const auto& c : cases) {
        ASSERT_TRUE(start(c.sim_args));
        const Reply r = call(http_, "POST", "/api/page", R"({"line":"2T","page":64})");
        EXPECT_EQ(r.status, c.status) << r.body.toStdString();
        EXPECT_TRUE(r.body.contains("\"error\"") && r.body.contains(c.said))
            << r.body.toStdString();
        TearDown();
        http_ = osc_ = 0;
    }
}

TEST_F(ControlTest, ConcurrentRequestsAreAllAnsweredInTheOrderTheyCame) {
    ASSERT_TRUE(start({}));
    constexpr int kRequests = 100;
    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < kRequests; ++i) {
        const QByteArray body = "{\"line\":\"" + QByteArray(i % 2 ? "1B" : "2T") +
                                "\",\"page\":" + QByteArray::number(i % 64 + 1) + "}";
        clients.push_back(std::make_unique<Client>(http_, "POST", "/api/page", body));
    }
    std::vector<Reply> replies(kRequests);
    ASSERT_TRUE(wait_until(
        [&] {
            int done = 0;
            for (int i = 0; i < kRequests; ++i) {
                if (replies[std::size_t(i)].status == 0)
                    replies[std::size_t(i)] = clients[std::size_t(i)]->reply();
                done += replies[std::size_t(i)].status != 0;
            }
            return done == kRequests;
        },
        30000));
    // Beyond one in flight and 64 waiting a request is refused at once; every other one's
    // frame stands at the place of its arrival number.
    int served = 0;
    for (const Reply& r : replies) served += r.status == 200;
    EXPECT_GE(served, 65);
    EXPECT_TRUE(wait_until([&] { return frames().size() >= std::size_t(served); }));
    const std::vector<QByteArray> sent = frames();
    ASSERT_EQ(sent.size(), std::size_t(served));
    for (int i = 0; i < kRequests; ++i) {
        const Reply& r = replies[std::size_t(i)];
        if (r.status != 200) {
            EXPECT_EQ(r.status, 503) << r.body.toStdString();
            continue;
        }
        const QByteArray tail = r.body.mid(r.body.indexOf("\"request\":") + 10);
        const int number = tail.left(tail.indexOf('}')).toInt();
        ASSERT_TRUE(number >= 1 && number <= served) << r.body.toStdString();
        const QByteArray frame = "00P" + QByteArray(i % 2 ? "01B" : "02T") +
                                 QByteArray::number(i % 64 + 1).rightJustified(2, '0');
        EXPECT_EQ(sent[std::size_t(number - 1)], frame) << i;
    }
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
