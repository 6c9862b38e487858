// tqv7310nx-cli serve end to end: HTTP and OSC requests against the simulated device, which
// logs every frame it receives. Everything stays on 127.0.0.1.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkDatagram>
#include <QNetworkRequest>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <QWebSocket>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "control/control.h"
#include "core/commands.h"
#include "held_device.h"
#include "http_exchange.h"
#include "link/device_link.h"
#include "link/sim_process.h"
#include "sim/responder.h"

namespace {

using tqv::test::exchange;
using tqv::test::Reply;
using tqv::test::Sim;
using tqv::test::upgrade;
using tqv::test::wait_until;

// One HTTP request on its own connection; the answer is read on the event loop.
class Client {
  public:
    // `from`: the client's own address (127.x.y.z), as if from another machine.
    Client(int port, const QByteArray& method, const QByteArray& path, const QByteArray& body,
           const QByteArray& token = {}, const char* from = nullptr) {
        QByteArray request = method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
        if (!token.isEmpty()) request += "Authorization: Bearer " + token + "\r\n";
        request +=
            "Content-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size()) +
            "\r\n\r\n" + body;
        if (from != nullptr) socket_.bind(QHostAddress(QString::fromLatin1(from)));
        socket_.connectToHost(QStringLiteral("127.0.0.1"), quint16(port));
        socket_.write(request);
    }
    // The answer once complete (Content-Length read), else status 0.
    Reply reply() {
        buffer_ += socket_.readAll();
        if (!answer_) answer_ = tqv::test::take_answer(buffer_);
        return answer_.value_or(Reply{});
    }
    // The answer, waited for; status 0 if it did not come in `ms`.
    Reply wait(int ms = 15000) {
        wait_until([this] { return reply().status != 0; }, ms);
        return reply();
    }

  private:
    QTcpSocket socket_;
    QByteArray buffer_;
    std::optional<Reply> answer_;
};

Reply call(int port, const QByteArray& method, const QByteArray& path, const QByteArray& body,
           const QByteArray& token = {}) {
    return Client(port, method, path, body, token).wait();
}

QJsonDocument json(const Reply& r) { return QJsonDocument::fromJson(r.body); }

// A connection to `port` on 127.0.0.1, under way.
std::unique_ptr<QTcpSocket> connection(int port) {
    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(QStringLiteral("127.0.0.1"), quint16(port));
    return socket;
}

// The status and the head (in `body`) of the one answer to `raw`, sent on a connection of
// its own: for HEAD and the WebSocket upgrade, whose answers end with their head.
Reply head_of(int port, const QByteArray& raw) {
    const auto socket = connection(port);
    socket->write(raw);
    QByteArray got;
    wait_until([&] {
        got += socket->readAll();
        return got.contains("\r\n\r\n") || socket->state() == QAbstractSocket::UnconnectedState;
    });
    const qsizetype end = got.indexOf("\r\n\r\n");
    if (end < 0) return {};
    return {got.mid(9, 3).toInt(), got.left(end + 2)};
}

QByteArray raw_post(const char* path, const QByteArray& body, const QByteArray& extra = {}) {
    return QByteArray("POST ") + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extra +
           "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

// OSC strings are NUL-terminated and padded to four bytes.
QByteArray osc_string(const QByteArray& s) {
    QByteArray out = s + '\0';
    while (out.size() % 4 != 0) out += '\0';
    return out;
}
QByteArray osc_int(int i) { return QByteArray::fromHex(QByteArray::number(i, 16).rightJustified(8, '0')); }

// One argument of an OSC message: a string, or an int32 when given a number.
struct OscArg {
    OscArg(const char* s) : tag('s'), bytes(osc_string(s)) {}
    OscArg(int i) : tag('i'), bytes(osc_int(i)) {}
    char tag;
    QByteArray bytes;
};
QByteArray osc_message(const char* address, std::initializer_list<OscArg> args = {}) {
    QByteArray tags = ",";
    QByteArray data;
    for (const OscArg& a : args) {
        tags += a.tag;
        data += a.bytes;
    }
    return osc_string(address) + osc_string(tags) + data;
}

// An OSC client of `port` on 127.0.0.1.
struct Osc {
    explicit Osc(int port) : port(quint16(port)) { socket.bind(QHostAddress::LocalHost, 0); }
    void send(const QByteArray& packet) { socket.writeDatagram(packet, QHostAddress::LocalHost, port); }
    // The reply to `packet`; empty if none came.
    QByteArray call(const QByteArray& packet) {
        send(packet);
        if (!wait_until([this] { return socket.hasPendingDatagrams(); })) return {};
        return socket.receiveDatagram().data();
    }
    QUdpSocket socket;
    quint16 port;
};

// A WebSocket client of /api/events that keeps every message.
struct Panel {
    explicit Panel(int port, const QByteArray& token = {}) {
        QObject::connect(&socket, &QWebSocket::textMessageReceived, [this](const QString& text) {
            messages.push_back(QJsonDocument::fromJson(text.toUtf8()).object());
        });
        QObject::connect(&socket, QOverload<QAbstractSocket::SocketError>::of(&QWebSocket::error),
                         [this] { failed = true; });
        QNetworkRequest request(QUrl(QStringLiteral("ws://127.0.0.1:%1/api/events").arg(port)));
        if (!token.isEmpty()) request.setRawHeader("Authorization", "Bearer " + token);
        socket.open(request);
    }
    bool ready() {
        return wait_until([this] { return !messages.empty() || failed; }) && !messages.empty();
    }
    // The first message of `type` not taken yet, waited for.
    QJsonObject next(const char* type) {
        QJsonObject found;
        wait_until([&] {
            for (QJsonObject& m : messages)
                if (m["type"] == QLatin1String(type)) {
                    found = m;
                    m["type"] = "taken";
                    return true;
                }
            return false;
        });
        return found;
    }
    // The change messages after the first `from` that set `path`.
    std::vector<QJsonObject> changes_of(const QString& path, std::size_t from = 0) const {
        std::vector<QJsonObject> out;
        for (std::size_t i = from; i < messages.size(); ++i)
            if (messages[i]["changes"].toObject().contains(path)) out.push_back(messages[i]);
        return out;
    }
    // Whether one of them, from `source` when one is named, set it to a value that `holds`.
    bool heard_where(const QString& path, const std::function<bool(const QJsonValue&)>& holds,
                     const char* source = nullptr, std::size_t from = 0) const {
        for (const QJsonObject& m : changes_of(path, from))
            if ((source == nullptr || m["source"] == QLatin1String(source)) && holds(m["changes"][path])) return true;
        return false;
    }
    bool heard(const QString& path, const QJsonValue& value, std::size_t from = 0) const {
        return heard_where(path, [&value](const QJsonValue& v) { return v == value; }, nullptr, from);
    }
    // The same, waited for.
    bool hears(const QString& path, const QJsonValue& value, std::size_t from = 0, int ms = 10000) const {
        return wait_until([&] { return heard(path, value, from); }, ms);
    }
    // The latest value of `path`: from the state message, then every change.
    QJsonValue latest(const QString& path) const {
        QJsonValue value;
        for (const QJsonObject& m : messages) {
            const QJsonObject o = m[m.contains("state") ? "state" : "changes"].toObject();
            if (o.contains(path)) value = o.value(path);
        }
        return value;
    }
    QWebSocket socket;
    std::vector<QJsonObject> messages;
    bool failed = false;
};

const auto is_object = [](const QJsonValue& v) { return v.isObject(); };

// Every route, the upgrade to events included, refused with `status` at `port`.
void expect_every_route_refused(int port, int status) {
    for (const char* path : {"/api/status", "/api/titles", "/api/openapi.json", "/api/events"})
        EXPECT_EQ(call(port, "GET", path, "").status, status) << path;
    for (const char* path : {"/api/page", "/api/startup", "/api/title"})
        EXPECT_EQ(call(port, "POST", path, R"({"line":"1T","page":1,"text":"タ"})").status, status) << path;
    Panel panel(port);
    EXPECT_FALSE(panel.ready());
}

// A process's resident memory, from /proc.
qint64 resident_kib(qint64 pid) {
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLongLong();
    return -1;
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
            // What the tool said last, when it did not end cleanly.
            const auto last_words = [this] { return serve_.readAllStandardError().right(4000).toStdString(); };
            EXPECT_EQ(serve_.exitStatus(), QProcess::NormalExit) << last_words();
            EXPECT_EQ(serve_.exitCode(), 0) << last_words();
        }
    }

    // The simulated device (with `sim_args`) and the tool serving it; false when either
    // did not come up.
    bool start(const QStringList& sim_args, const QStringList& serve_args = {}) {
        sim_ = std::make_unique<Sim>(QStringList{"--listen", "0", "--log", log_path()} + sim_args,
                                     "listening");
        if (!sim_->ready()) return false;
        sim_port_ = sim_->value();
        launch(QStringList{"--tcp", "127.0.0.1:" + sim_port_, "serve"} + serve_args);
        return ports();
    }
    // The device of start() back on its port after it went, logging to `log`.
    bool restart_device(const QString& log) {
        sim_ = std::make_unique<Sim>(QStringList{"--listen", sim_port_, "--log", log}, "listening");
        return sim_->ready();
    }
    // The tool in the server role for `count` devices (`link_args` before "serve",
    // `serve_args` after); false when it does not listen. device() connects one.
    bool listen_for(int count, const QStringList& serve_args = {}, const QStringList& link_args = {}) {
        launch(QStringList{"--listen", "0", "--devices", QString::number(count)} + link_args +
               QStringList{"serve"} + serve_args);
        const QByteArray listening = said("listening ");
        server_ = "127.0.0.1:" + QString::fromLatin1(listening.mid(10));
        return !listening.isEmpty();
    }
    // A simulated device connecting to listen_for()'s tool: device n is the n-th to connect.
    // Its ready() waits until it has.
    std::unique_ptr<Sim> device(const QStringList& sim_args = {}) const {
        return std::make_unique<Sim>(QStringList{"--connect", server_} + sim_args, "connected");
    }
    // The tool with `args` (serve's ports added).
    void launch(const QStringList& args) {
#ifdef TQV_CLI_PATH
        serve_.setProgram(QStringLiteral(TQV_CLI_PATH));
#endif
        serve_.setArguments(args + QStringList{"--http", "0", "--osc", "0"});
        serve_.setReadChannel(QProcess::StandardError);
        // Only the token a test gives: none from whoever runs the tests. What else a test set
        // (the sanitizer's options) is kept.
        QProcessEnvironment env = serve_.processEnvironment();
        if (env.isEmpty()) env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("TQV_TOKEN"));
        if (!token_env_.isEmpty()) env.insert(QStringLiteral("TQV_TOKEN"), token_env_);
        serve_.setProcessEnvironment(env);
        serve_.start();
        said_.clear();
        heard_ = 0;
        wants_rosstalk_ = args.contains(QStringLiteral("--rosstalk"));
    }
    bool ports() {
        const std::size_t from = heard_;
        // Each port's line is looked for from the same place: their order is not fixed.
        auto port = [&](const char* name, int& value) {
            heard_ = from;
            const QByteArray line = said(name);
            value = line.isEmpty() ? 0 : line.mid(qsizetype(std::strlen(name))).toInt();
            return value != 0;
        };
        const bool up = port("http ", http_) && port("osc ", osc_) &&
                        (!wants_rosstalk_ || port("rosstalk ", rosstalk_));
        heard_ = from;  // lines before the ports are still to be heard
        return up;
    }
    // The next line of the tool's stderr that holds `text` (empty if none came in `ms`),
    // after the last one found; every line read is kept in said_.
    QByteArray said(const char* text, int ms = 10000) {
        QByteArray found;
        wait_until([&] {
            while (serve_.canReadLine()) said_.push_back(serve_.readLine().trimmed());
            for (; found.isEmpty() && heard_ < said_.size(); ++heard_)
                if (said_[heard_].contains(text)) found = said_[heard_];
            return !found.isEmpty() || serve_.state() == QProcess::NotRunning;
        }, ms);
        return found;
    }
    // The read of device `n`'s pages, start-up pages and display flags after it connected
    // has ended, each read answered.
    bool pages_read(int n = 1) {
        return said(QStringLiteral("device %1: pages read, 12/12 answered").arg(n).toUtf8().constData()).size() > 0;
    }
    Reply get(const QByteArray& path) const { return call(http_, "GET", path, ""); }
    Reply post(const QByteArray& path, const QByteArray& body) const { return call(http_, "POST", path, body); }

    // A file of the test's folder that holds `content`.
    QString file(const QString& name, const QByteArray& content) const {
        const QString path = dir_.filePath(name);
        QFile f(path);
        if (f.open(QIODevice::WriteOnly)) f.write(content);
        return path;
    }
    // A cue file, its header added (with a device column when `per_device`).
    QString cues(const QByteArray& rows, bool per_device = false) const {
        return file("show.csv", QByteArray("cue,action,line,page,text,memory,seconds") +
                                    (per_device ? ",device\n" : "\n") + rows);
    }
    QString log_path() const { return dir_.filePath(QStringLiteral("sim.log")); }
    // The frames the device received, in order, without CR LF; without the reads of its
    // pages, start-up pages and display flags that follow its connection unless `reads`.
    std::vector<QByteArray> frames(bool reads = false) const { return frames(log_path(), reads); }
    // The same from the log at `path`.
    static std::vector<QByteArray> frames(const QString& path, bool reads = false) {
        QFile f(path);
        std::vector<QByteArray> out;
        if (!f.open(QIODevice::ReadOnly)) return out;
        for (const QByteArray& line : f.readAll().split('\n')) {
            const qsizetype at = line.indexOf(" < ");
            if (at < 0) continue;
            const QByteArray frame = line.mid(at + 3).replace("\\r\\n", "");
            const QByteArray body = frame.mid(2);
            if (!reads && (body.startsWith("RP0") || body.startsWith("RSUS") || body.startsWith("RCTD"))) continue;
            out.push_back(frame);
        }
        return out;
    }
    // How far serve's resident memory rose above `before` (KiB) until `done` holds or `ms`
    // have passed; the watch ends as soon as it rose beyond kBoundKib.
    static constexpr qint64 kBoundKib = 64 * 1024;
    qint64 growth(qint64 before, const std::function<bool()>& done, int ms) {
        qint64 peak = before;
        wait_until([&] {
            peak = std::max(peak, resident_kib(serve_.processId()));
            return peak - before > kBoundKib || done();
        }, ms);
        return peak - before;
    }

    QTemporaryDir dir_;
    QString token_env_;  // TQV_TOKEN for the next launch
    std::unique_ptr<Sim> sim_;
    QString sim_port_;  // where start()'s device listens
    QString server_;    // where listen_for()'s tool listens for devices
    QProcess serve_;
    std::vector<QByteArray> said_;
    std::size_t heard_ = 0;
    int http_ = 0;
    int osc_ = 0;
    int rosstalk_ = 0;
    bool wants_rosstalk_ = false;
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
        // Half-width text goes out in full width.
        {"POST", "/api/title", R"({"line":"1T","page":3,"text":"ﾆｭｰｽ A"})", "s3cret", 200, "GO"},
        {"GET", "/api/status", "", "s3cret", 200, R"("1T":5)"},
        {"POST", "/api/page", R"({"line":"1T","page":5})", "wrong", 401, "unauthorized"},
        {"POST", "/api/page", R"({"line":"1T",)", "s3cret", 400, "bad JSON"},
        {"POST", "/api/page", R"({"line":"3T","page":5})", "s3cret", 400, "unknown line"},
        {"POST", "/api/page", R"({"line":"1T","page":65})", "s3cret", 400, "out of range"},
        {"POST", "/api/title", R"({"line":"1T","page":"AUTO","text":"x"})", "s3cret", 400,
         "out of range"},
        {"POST", "/api/title", R"({"line":"1T","page":1,"text":"한국"})", "s3cret", 400,
         R"(text cannot be sent: characters the device cannot show: \"한\", \"국\")"},
        {"POST", "/api/title", R"({"line":"1T","page":1,"text":"abcdefghijklmno"})", "s3cret",
         400, "text cannot be sent: 15 characters, at most 14"},
        {"POST", "/api/title", big, "s3cret", 413, "4 KiB"},
    };
    for (const Case& c : cases) {
        const Reply r = call(http_, c.method, c.path, c.body, c.token);
        EXPECT_EQ(r.status, c.status) << c.path << " " << c.body.left(60).toStdString();
        EXPECT_TRUE(r.body.contains(c.said)) << r.body.toStdString();
    }
    // OSC: a malformed packet and an unknown address are ignored; the next message is served.
    Osc osc(osc_);
    osc.send(osc_string("/tqv/page") + ",si");
    osc.send(osc_message("/tqv/jump", {0}));
    osc.send(osc_message("/tqv/page", {"2T", 7}));
    // A bundle's message (size-prefixed, after "#bundle" and the time tag).
    const QByteArray startup = osc_message("/tqv/startup", {"1B", "AUTO"});
    osc.send(osc_string("#bundle") + QByteArray::fromHex("0000000000000001") + osc_int(int(startup.size())) + startup);
    osc.send(osc_message("/tqv/title", {"2B", "9", "ｶﾞ"}));
    ASSERT_TRUE(wait_until([this] { return frames().size() == 7; }));
    const std::vector<QByteArray> expected = {
        "00P01T05", "00CN01B02253F25242548256B2121212121212121212121212121212121212121",
        "00SUS02BAS", "00CT01T03254B2565213C25392121234121212121212121212121212121212121",
        "00P02T07", "00SUS01BAS", "00CT02B09252C2121212121212121212121212121212121212121212121212121"};
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
        const Reply r = post("/api/page", R"({"line":"2T","page":64})");
        EXPECT_EQ(r.status, c.status) << r.body.toStdString();
        EXPECT_TRUE(r.body.contains("\"error\"") && r.body.contains(c.said)) << r.body.toStdString();
        // The page never reached the device: the status does not claim it.
        EXPECT_TRUE(get("/api/status").body.contains(R"("2T":null)"));
        TearDown();
        http_ = osc_ = 0;
    }
}

TEST_F(ControlTest, ConcurrentRequestsAreAllAnsweredInTheOrderTheyCame) {
    ASSERT_TRUE(start({}));
    ASSERT_TRUE(pages_read());
    constexpr int kRequests = 100;
    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < kRequests; ++i) {
        const QByteArray body = "{\"line\":\"" + QByteArray(i % 2 ? "1B" : "2T") +
                                "\",\"page\":" + QByteArray::number(i % 64 + 1) + "}";
        // From eight addresses: one address holds 16 connections at most.
        const QByteArray from = "127.0.0." + QByteArray::number(i % 8 + 1);
        clients.push_back(std::make_unique<Client>(http_, "POST", "/api/page", body, QByteArray(), from.constData()));
    }
    ASSERT_TRUE(wait_until([&] {
        return std::all_of(clients.begin(), clients.end(), [](const auto& c) { return c->reply().status != 0; });
    }, 30000));
    // Beyond one in flight and 64 waiting a request is refused at once; every other one's
    // frame stands at the place of its arrival number.
    const int served = int(std::count_if(clients.begin(), clients.end(), [](const auto& c) { return c->reply().status == 200; }));
    EXPECT_GE(served, 65);
    EXPECT_TRUE(wait_until([&] { return frames().size() >= std::size_t(served); }));
    const std::vector<QByteArray> sent = frames();
    ASSERT_EQ(sent.size(), std::size_t(served));
    for (int i = 0; i < kRequests; ++i) {
        const Reply r = clients[std::size_t(i)]->reply();
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

// The limits of the front itself (the head's size, a chunked body's decoded length) are
// HttpFrontTest's; here what serve's routes and gate make of them.
TEST_F(ControlTest, EachClientsMemoryIsBoundedAndItsAnswersComeInOrder) {
    ASSERT_TRUE(start({}, {"--token", "s3cret"}));
    const QByteArray auth = "Authorization: Bearer s3cret\r\n";
    const QByteArray host = "Host: 127.0.0.1\r\n";
    const QByteArray huge = "Content-Length: 209715200\r\n";
    const struct {
        const char* what;
        QByteArray raw;  // never the announced body: the answer must come without it
        std::vector<int> statuses;
        bool closes;
    } cases[] = {
        {"body over 4 KiB", "POST /api/page HTTP/1.1\r\n" + host + auth + huge + "\r\n", {413}, true},
        {"wrong token", "POST /api/page HTTP/1.1\r\n" + host + "Authorization: Bearer x\r\n" + huge + "\r\n", {401}, true},
        {"scheme in any case", raw_post("/api/page", R"({"line":"1T","page":3})", "authorization: bEaReR s3cret\r\n"), {200}, false},
        {"NUL in a title", raw_post("/api/title", R"({"line":"1T","page":1,"text":"タ\u0000イ"})", auth), {400}, false},
        {"page beyond int", raw_post("/api/page", R"({"line":"1T","page":"99999999999"})", auth), {400}, false},
        {"pipelined", raw_post("/api/page", R"({"line":"2T","page":9})", auth) + "GET /api/status HTTP/1.1\r\n" + host + auth +
             "\r\n" + raw_post("/api/page", "{", auth), {200, 200, 400}, false},
        {"expect 100-continue", raw_post("/api/page", R"({"line":"1B","page":4})", auth + "Expect: 100-continue\r\n"),
         {100, 200}, false},
        // The connection ends after both answers, though the second waits for the device.
        {"pipelined close", "GET /api/status HTTP/1.1\r\n" + host + auth + "\r\n" +
             raw_post("/api/page", R"({"line":"2T","page":17})", auth + "Connection: close\r\n"), {200, 200}, true},
    };
    for (const auto& c : cases) {
        bool closed = false;
        const std::vector<Reply> replies =
            exchange(http_, c.raw, c.statuses.size(), c.closes ? &closed : nullptr);
        std::vector<int> statuses;
        for (const Reply& r : replies) statuses.push_back(r.status);
        EXPECT_EQ(statuses, c.statuses) << c.what;
        EXPECT_EQ(closed, c.closes) << c.what;
    }
    // Expect: 100-continue is answered before the body is sent.
    const auto socket = connection(http_);
    socket->write("POST /api/page HTTP/1.1\r\n" + host + auth + "Expect: 100-continue\r\nContent-Length: 22\r\n\r\n");
    QByteArray got;
    EXPECT_TRUE(wait_until([&] { return (got += socket->readAll()).contains("100 Continue"); }, 900));
}

// Neither HTTP clients that only send nor a WebSocket client that floods pings and reads no
// pong can make serve hold more; the latter is closed.
TEST_F(ControlTest, ClientsThatNeverReadCannotGrowTheServersMemoryAndAPingFlooderIsClosed) {
    // The sanitizer's quarantine would keep every freed answer resident: keep it small, so
    // that what is measured is what serve holds.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":quarantine_size_mb=8");
    serve_.setProcessEnvironment(env);
    ASSERT_TRUE(start({}));
    ASSERT_EQ(get("/panel.js").status, 200);
    qint64 before = resident_kib(serve_.processId());
    ASSERT_GT(before, 0);
    QByteArray requests;
    for (int i = 0; i < 20000; ++i) requests += "GET /panel.js HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    for (int i = 0; i < 4; ++i) {
        clients.push_back(connection(http_));
        clients.back()->write(requests);
    }
    // Every request is sent and never an answer read; the growth is watched for 4 s (the
    // front without a cap grew by a gigabyte in that time).
    qint64 grown = growth(before, [] { return false; }, 4000);
    EXPECT_LT(grown, kBoundKib) << "KiB before: " << before;
    std::printf("serve's resident memory: %lld KiB before, %lld KiB at most with 4 clients not reading\n",
                qlonglong(before), qlonglong(before + grown));
    // The clients are served as they read.
    clients.clear();
    EXPECT_EQ(get("/api/status").status, 200);

    const auto client = connection(http_);
    client->write(upgrade("/api/events", "Host: 127.0.0.1\r\n"));
    QByteArray got;
    ASSERT_TRUE(wait_until([&] { return (got += client->readAll()).contains("\r\n\r\n"); }));
    ASSERT_TRUE(got.startsWith("HTTP/1.1 101"));
    // From here on nothing is read: the pongs pile up at the server.
    client->setReadBufferSize(1024);
    before = resident_kib(serve_.processId());
    const QByteArray ping = QByteArray::fromHex("89fd") + QByteArray(4, '\x5a') + QByteArray(125, 'p');
    QByteArray burst;
    for (int i = 0; i < 512; ++i) burst += ping;  // 67 KiB of pings
    constexpr qint64 kFlood = qint64(256) << 20;
    qint64 sent = 0;
    grown = growth(before, [&] {
        while (client->state() == QAbstractSocket::ConnectedState && client->bytesToWrite() < (1 << 20) && sent < kFlood) {
            client->write(burst);
            sent += burst.size();
        }
        return client->state() != QAbstractSocket::ConnectedState || sent >= kFlood;
    }, 60000);
    EXPECT_EQ(client->state(), QAbstractSocket::UnconnectedState) << sent << " bytes of pings sent";
    EXPECT_FALSE(said("closed: more than 1 MiB waiting for it").isEmpty());
    EXPECT_LT(grown, kBoundKib) << "KiB; " << sent << " bytes of pings sent";
    std::printf("# ping flood: %lld MiB sent until closed, serve grew by %lld KiB\n",
                static_cast<long long>(sent >> 20), static_cast<long long>(grown));
}

TEST_F(ControlTest, EveryRequestIsOneChangeEventWithItsSourceAndOscIsAnswered) {
    ASSERT_TRUE(start({}));
    ASSERT_TRUE(pages_read());
    Panel panel(http_);
    ASSERT_TRUE(panel.ready());
    const QJsonObject state = panel.messages[0];
    EXPECT_EQ(state["type"], "state");
    EXPECT_EQ(state["state"]["link/status"], "ok");
    EXPECT_EQ(state["state"]["lines/1T/page"], 1);  // read from the device when it connected
    EXPECT_TRUE(state["state"].toObject().contains("lines/2B/titles/64"));
    EXPECT_TRUE(state["state"]["lines/2B/display/64"].isBool());  // read as well
    qint64 seq = state["seq"].toInteger();

    EXPECT_EQ(post("/api/page", R"({"line":"1T","page":5})").status, 200);
    const QByteArray reply = Osc(osc_).call(osc_message("/tqv/startup", {"2B", "AUTO"}));
    EXPECT_TRUE(reply.startsWith(osc_string("/reply/tqv/startup") + osc_string(",s"))) << reply.toStdString();
    EXPECT_TRUE(reply.contains(R"("answer":"GO")")) << reply.toStdString();
    panel.socket.sendTextMessage(R"({"op":"title","id":"t1","line":"1B","page":2,"text":"タイトル"})");
    const QJsonObject result = panel.next("result");
    EXPECT_EQ(result["id"], "t1");
    EXPECT_EQ(result["status"], 200);

    const struct {
        const char* source;
        const char* path;
        QJsonValue value;
    } expected[] = {{"http", "lines/1T/page", 5}, {"osc", "lines/2B/startup", "AUTO"},
                    {"ws", "lines/1B/titles/02", "タイトル"}};
    for (const auto& e : expected) {
        const QJsonObject change = panel.next("change");
        EXPECT_EQ(change["seq"].toInteger(), ++seq);
        EXPECT_EQ(change["source"], e.source);
        EXPECT_EQ(change["changes"].toObject(), QJsonObject({{e.path, e.value}}));
    }
}

TEST_F(ControlTest, BadWebSocketInputGetsAnErrorAndNoClientStopsTheService) {
    ASSERT_TRUE(start({"--no-answer"}));
    Panel panel(http_);
    ASSERT_TRUE(panel.ready());
    for (const char* bad : {"{\"op\":", R"({"op":"jump","id":2})"}) {
        panel.socket.sendTextMessage(bad);
        EXPECT_EQ(panel.next("result")["status"], 400) << bad;
    }
    // A flood: 64 waiting behind the read in flight since the device connected (the device
    // is silent), every other refused at once; each gets its result.
    constexpr int kFlood = 10000;
    for (int i = 0; i < kFlood; ++i)
        panel.socket.sendTextMessage(QStringLiteral(R"({"op":"page","id":%1,"line":"1T","page":1})").arg(i));
    // On a loaded machine the flood can outlast the device's answer time-out: each time-out
    // (504) frees the lane for one more request that is then taken instead of refused.
    int refused = 0;
    int timed_out = 0;
    ASSERT_TRUE(wait_until([&] {
        refused = timed_out = 0;
        for (const QJsonObject& m : panel.messages) {
            refused += m["status"] == 503;
            timed_out += m["status"] == 504;
        }
        return refused + timed_out >= kFlood - 64;
    }, 60000));
    EXPECT_LE(refused, kFlood - 64);
    EXPECT_GE(refused, kFlood - 64 - timed_out);
    // 64 clients at most; a message over 4 KiB closes its own client only. They come one
    // after the other: one address may hold 16 HTTP connections at once, upgrades included.
    std::vector<std::unique_ptr<Panel>> panels;
    for (int i = 1; i < 64; ++i) {
        panels.push_back(std::make_unique<Panel>(http_));
        ASSERT_TRUE(panels.back()->ready());
    }
    Panel extra(http_);
    EXPECT_FALSE(extra.ready());
    panels.back()->socket.sendTextMessage(QString(5000, QLatin1Char('x')));
    EXPECT_TRUE(wait_until([&] { return panels.back()->socket.state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_EQ(get("/api/status").status, 200);
}

TEST_F(ControlTest, TheAllowListHoldsForEveryRouteTheUpgradeAndOsc) {
    ASSERT_TRUE(start({}, {"--allow-clients", "127.0.0.2,::2"}));
    expect_every_route_refused(http_, 403);
    Osc(osc_).send(osc_message("/tqv/page", {"2T", 7}));
    EXPECT_FALSE(said("dropped: client not allowed").isEmpty());
    EXPECT_TRUE(frames().empty());
}

TEST_F(ControlTest, EveryDocumentedRouteAnswersAsDocumented) {
    ASSERT_TRUE(start({}));
    const Reply doc = get("/api/openapi.json");
    ASSERT_EQ(doc.status, 200);
    const QJsonObject api = json(doc).object();
    EXPECT_EQ(api["openapi"], "3.1.0");
    const QJsonObject paths = api["paths"].toObject();
    ASSERT_EQ(paths.size(), 19);
    for (auto it = paths.begin(); it != paths.end(); ++it) {
        const QJsonObject ops = it.value().toObject();
        for (auto op = ops.begin(); op != ops.end(); ++op) {
            const QJsonObject operation = op.value().toObject();
            const QJsonValue example =
                operation["requestBody"]["content"]["application/json"]["example"];
            const QByteArray body = QJsonDocument(example.toObject()).toJson(QJsonDocument::Compact);
            QJsonObject to_all = example.toObject();
            to_all["device"] = "all";
            const QByteArray all = QJsonDocument(to_all).toJson(QJsonDocument::Compact);
            // The cue list is the program's own: its routes name no device.
            const bool per_device = !example.isUndefined() && !it.key().startsWith("/api/cue");
            if (op.key() == "head") {
                // The head of the GET's answer, with its length, and no body.
                const Reply r = head_of(http_, "HEAD " + it.key().toLatin1() + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
                EXPECT_FALSE(operation["responses"][QString::number(r.status)].toObject().isEmpty())
                    << it.key().toStdString() << " HEAD " << r.status;
                EXPECT_TRUE(r.body.toLower().contains("content-length:")) << r.body.toStdString();
                continue;
            }
            for (const QByteArray& b : {example.isUndefined() ? QByteArray() : body, QByteArray("{}"),
                                        per_device ? all : QByteArray()}) {
                const Reply r = call(http_, op.key().toUpper().toLatin1(), it.key().toLatin1(), b);
                const QJsonObject response = operation["responses"][QString::number(r.status)].toObject();
                EXPECT_FALSE(response.isEmpty()) << it.key().toStdString() << " " << r.status;
                // A list of devices is answered with one result per device.
                const QString ref = b == all && r.status == 200 ? "#/components/schemas/Results"
                                                                : response["$ref"].toString();
                const QJsonArray required =
                    ref.isEmpty() ? response["content"]["application/json"]["schema"]["required"].toArray()
                                  : api["components"]["schemas"][ref.section('/', -1)]["required"].toArray();
                const QJsonObject got = json(r).object();
                for (const QJsonValue& key : required)
                    EXPECT_TRUE(got.contains(key.toString())) << it.key().toStdString() << " " << r.body.toStdString();
            }
        }
    }
}

TEST_F(ControlTest, CuesFireFromEveryRouteAndAGoWhileOneRunsIsRefusedNotQueued) {
    ASSERT_TRUE(start({}, {"--rosstalk", "0", "--cues",
                           cues("A,page,1T,2,,,\nB,page,1T,3,,,\nC,wait,,,,,3\nC,page,1T,4,,,\n"
                                "D,page,1T,5,,,\nE,title,1B,1,速報,memory,\n")}));
    Panel panel(http_);
    ASSERT_TRUE(panel.ready());
    EXPECT_EQ(panel.messages.front()["state"].toObject()["cue/next"].toObject(), QJsonObject({{"cue", 1}, {"name", "A"}}));
    auto last_frame = [this] { return frames().empty() ? QByteArray() : frames().back(); };

    Reply r = post("/api/cue/go", "");
    EXPECT_EQ(r.status, 200) << r.body.toStdString();
    EXPECT_TRUE(r.body.contains(R"("outcome":"completed")"));
    EXPECT_EQ(last_frame(), "00P01T02");
    // The cue's run is told as the cue's, whoever fired it, not as a dialog's.
    ASSERT_TRUE(wait_until([&] {
        const auto runs = panel.changes_of("run/active");
        return !runs.empty() && runs.back()["changes"]["run/end"] == "completed";
    }));
    for (const QJsonObject& m : panel.changes_of("run/active")) EXPECT_EQ(m["source"], "cue") << m["seq"].toInt();
    EXPECT_TRUE(Osc(osc_).call(osc_message("/tqv/cue/go")).contains(R"("status":200)"));
    EXPECT_EQ(last_frame(), "00P01T03");

    // C holds its page back for 3 s: every GO meanwhile is refused, whatever carries it.
    panel.socket.sendTextMessage(R"({"op":"cue/go","id":7})");
    ASSERT_TRUE(wait_until([&] { return panel.heard_where("cue/running", is_object); }));
    r = post("/api/cue/go", "{}");
    EXPECT_EQ(r.status, 409);
    EXPECT_TRUE(r.body.contains("a cue is running"));
    const auto mixer = connection(rosstalk_);
    QByteArray flood = "GPI 4\r\n" + QByteArray(5000, 'G') + "\nnonsense\n";
    for (int i = 0; i < 9997; ++i) flood += "GO\n";
    mixer->write(flood);
    EXPECT_TRUE(wait_until([&] {
        return panel.heard_where("cue/refused", [](const QJsonValue& v) { return v["count"].toInt() >= 9999; });
    }));
    const QJsonObject result = panel.next("result");
    EXPECT_EQ(result["status"], 200);
    EXPECT_EQ(result["id"], 7);
    EXPECT_EQ(result["name"], "C");
    EXPECT_EQ(last_frame(), "00P01T04");
    const std::size_t before = frames().size();

    // The mixer's connection is still open; CC 1:n fires cue n.
    mixer->write("CC 1:5\n");
    ASSERT_TRUE(wait_until([&] { return last_frame().startsWith("00CT"); }));
    EXPECT_EQ(frames().size(), before + 1);
    r = get("/api/cues");
    EXPECT_TRUE(r.body.contains(R"("current":5,"failed":false,"next":null,"running":null)")) << r.body.toStdString();
    EXPECT_EQ(post("/api/cue/go", "").status, 409);
    EXPECT_EQ(post("/api/cue/goto", R"({"cue":"B"})").status, 200);
    EXPECT_EQ(post("/api/cue/back", "").status, 200);
    panel.socket.sendTextMessage(R"({"op":"cue/go","id":8})");
    EXPECT_EQ(panel.next("result")["name"], "A");
    EXPECT_EQ(last_frame(), "00P01T02");
}

TEST_F(ControlTest, AFailedStepAndALostLinkEndTheCueWithOneMessage) {
    ASSERT_TRUE(start({"--error", "E3"}, {"--cues", cues("A,page,1T,2,,,\nA,wait,,,,,1\nA,page,1T,3,,,\nB,page,1T,4,,,\n")}));
    Reply r = post("/api/cue/go", "");
    EXPECT_EQ(r.status, 502);
    const QString error = json(r)["error"].toString();
    EXPECT_EQ(error, QStringLiteral("キュー \"A\" ステップ 1/3 (P01T02) で中断しました。\nSocket Command\n"
                                    "応答済み 0/3\n送信されなかったコマンド: wait 1, page 1T 3"))
        << error.toStdString();
    EXPECT_EQ(frames().size(), 1u);
    // The cue stays current, marked failed, in the list and in the events; the next GO goes
    // on from the cue after it.
    const QJsonDocument list = json(get("/api/cues"));
    EXPECT_EQ(list["current"], 1);
    EXPECT_EQ(list["next"], 2);
    EXPECT_EQ(list["failed"], true);
    EXPECT_EQ(list["message"], error);
    {
        Panel watching(http_);
        ASSERT_TRUE(watching.ready());
        EXPECT_EQ(watching.messages.front()["state"][QLatin1String("cue/current")].toObject(),
                  QJsonObject({{"cue", 1}, {"name", "A"}, {"failed", true}, {"message", error}}));
    }
    EXPECT_EQ(post("/api/cue/go", "").status, 502);
    EXPECT_EQ(frames().back(), "00P01T04");
    EXPECT_TRUE(get("/api/cues").body.contains(R"("current":2,"failed":true)"));
    // Loading a list replaces it; the link goes while the cue waits.
    r = post("/api/cue/load", R"({"csv":"cue,action,line,page,text,memory,seconds\nL,wait,,,,,2\nL,page,1T,9,,,\n"})");
    ASSERT_EQ(r.status, 200) << r.body.toStdString();
    Panel panel(http_);
    ASSERT_TRUE(panel.ready());
    Client go(http_, "POST", "/api/cue/go", "");
    ASSERT_TRUE(wait_until([&] { return panel.heard_where("cue/running", is_object); }));
    sim_->stop();
    const Reply lost = go.wait();
    EXPECT_EQ(lost.status, 503) << lost.body.toStdString();
    EXPECT_TRUE(lost.body.contains("送信されなかったコマンド: wait 2, page 1T 9")) << lost.body.toStdString();
    EXPECT_EQ(post("/api/cue/load", R"({"csv":"cue,action\nX,jump\n"})").status, 400);
    // Only this route takes more than 4 KiB, and only up to 256 KiB.
    QByteArray rows = R"({"csv":"cue,action,line,page,text,memory,seconds\n)";
    for (int i = 0; i < 400; ++i) rows += "Cue " + QByteArray::number(i) + ",page,1T,1,,,\\n";
    EXPECT_EQ(post("/api/cue/load", rows + "\"}").status, 200);
    r = post("/api/cue/load", QByteArray(257 * 1024, ' '));
    EXPECT_EQ(r.status, 413);
    EXPECT_TRUE(r.body.contains("256 KiB"));
}

TEST_F(ControlTest, AGoWhileTheLinkIsDownIsRefusedAndTheSameCueFiresOnceItIsBack) {
    ASSERT_TRUE(start({}, {"--cues", cues("A,page,1T,2,,,\nB,page,1T,3,,,\n")}));
    Panel panel(http_);
    ASSERT_TRUE(panel.ready());
    sim_.reset();
    ASSERT_TRUE(panel.hears("link/status", "connecting"));
    const struct { const char* body; const char* error; } refused[] = {
        {"", "device 1: the link is down; connecting again"},
        {R"({"device":1})", "device 1: the link is down; connecting again"},
        {R"({"device":"all"})", "device 1: the link is down; connecting again"},
        {R"({"device":[1,2]})", "device 2: no device 2"},
    };
    for (const auto& c : refused) {
        const Reply r = post("/api/cue/go", c.body);
        EXPECT_EQ(r.status, 503) << c.body;
        EXPECT_TRUE(r.body.contains(c.error)) << r.body.toStdString();
    }
    EXPECT_EQ(post("/api/cue/go", R"({"device":"some"})").status, 400);
    EXPECT_TRUE(get("/api/cues").body.contains(R"("current":null,"failed":false,"next":1)"));

    const QString again = dir_.filePath(QStringLiteral("again.log"));
    const std::size_t before = panel.messages.size();
    ASSERT_TRUE(restart_device(again));
    ASSERT_TRUE(panel.hears("link/status", "ok", before, 5000));
    const Reply r = post("/api/cue/go", "");
    EXPECT_EQ(r.status, 200) << r.body.toStdString();
    EXPECT_EQ(frames(again), std::vector<QByteArray>{"00P01T02"});
}

TEST_F(ControlTest, ACueRunsOnTheDevicesTheGoAndItsStepsNameAndADeviceAwayHoldsTheList) {
    ASSERT_TRUE(listen_for(4, {"--rosstalk", "0", "--cues",
                               cues("A,page,1T,2,,,,\nB,page,1T,3,,,,\nB,title,1B,1,速報,memory,,3\n"
                                    "C,page,1T,4,,,,\nC,startup,2T,5,,,,4\nD,page,2B,6,,,,\nE,page,2B,7,,,,\n", true)}));
    auto log_of = [this](int n) { return dir_.filePath(QStringLiteral("device%1.log").arg(n)); };
    // Device n is the n-th to connect: each waits for the one before.
    std::vector<std::unique_ptr<Sim>> devices;
    for (int n = 1; n <= 4; ++n) {
        devices.push_back(device({"--log", log_of(n)}));
        ASSERT_TRUE(devices.back()->ready());
    }
    ASSERT_TRUE(ports());
    Panel panel(http_);
    ASSERT_TRUE(panel.ready());
    Osc osc(osc_);
    const auto mixer = connection(rosstalk_);
    std::vector<std::size_t> seen(4, 0);
    // What each device received since the last look.
    auto news = [&] {
        std::vector<std::vector<QByteArray>> out(4);
        for (int n = 0; n < 4; ++n) {
            const std::vector<QByteArray> all = frames(log_of(n + 1));
            for (std::size_t i = seen[std::size_t(n)]; i < all.size(); ++i)
                out[std::size_t(n)].push_back(all[i].left(8));
            seen[std::size_t(n)] = all.size();
        }
        return out;
    };
    using Frames = std::vector<std::vector<QByteArray>>;
    const struct {
        const char* how;  // "http", "osc", "ws", "rosstalk"
        QByteArray device;
        int status;
        int results;  // 0: the single result
        Frames frames;
    } cases[] = {
        {"http", "2", 200, 0, {{}, {"00P01T02"}, {}, {}}},
        {"http", "\"all\"", 200, 4, {{"00P01T03"}, {"00P01T03"}, {"00P01T03", "00CT01B0"}, {"00P01T03"}}},
        {"osc", "1", 200, 2, {{"00P01T04"}, {}, {}, {"00SUS02T"}}},
        {"ws", "[3]", 200, 1, {{}, {}, {"00P02B06"}, {}}},
        {"rosstalk", "4", 0, 0, {{}, {}, {}, {"00P02B07"}}},
    };
    int id = 0;
    for (const auto& c : cases) {
        const QString how = QString::fromLatin1(c.how);
        QJsonObject result;
        if (how == "http") {
            const Reply r = post("/api/cue/go", "{\"device\":" + c.device + "}");
            result = json(r).object();
            EXPECT_EQ(r.status, c.status);
        } else if (how == "osc") {
            const QByteArray data = osc.call(osc_message("/tqv/cue/go", {c.device.toInt()}));
            const qsizetype from = data.indexOf('{');  // the reply's one string, NUL-padded
            result = QJsonDocument::fromJson(data.mid(from, data.lastIndexOf('}') + 1 - from)).object();
        } else if (how == "ws") {
            panel.socket.sendTextMessage(QStringLiteral(R"({"op":"cue/go","id":%1,"device":%2})").arg(++id).arg(QString::fromLatin1(c.device)));
            result = panel.next("result");
        } else {
            mixer->write("GO " + c.device + "\r\n");
            ASSERT_TRUE(wait_until([&] { return frames(log_of(4)).size() > seen[3]; }));
        }
        if (how != "http") {
            EXPECT_EQ(result["status"].toInt(), c.status) << c.how;
        }
        EXPECT_EQ(result["results"].toArray().size(), c.results) << c.how;
        for (const QJsonValue& one : result["results"].toArray()) EXPECT_EQ(one["status"], 200);
        if (c.results == 0 && c.status != 0) {
            EXPECT_EQ(result["outcome"], "completed");
        }
        EXPECT_EQ(news(), c.frames) << c.how << " " << c.device.toStdString();
    }
    // What a cue set is confirmed on each device that took it, as the cue's; the cue is as
    // far as its furthest device (cue B's second step went to device 3 alone).
    const struct {
        const char* path;
        QJsonValue value;
    } confirmed[] = {{"devices/3/lines/2B/page", 6}, {"devices/4/lines/2T/startup", 5},
                     {"devices/2/lines/1T/page", 3}, {"cue/running", 2}};
    for (const auto& c : confirmed)
        EXPECT_TRUE(wait_until([&] {
            return panel.heard_where(c.path, [&c](const QJsonValue& v) {
                return v == c.value || (v.isObject() && v["name"] == "B" && v["step"] == c.value);
            }, "cue");
        })) << c.path;

    // Device 2 goes: a GO naming it is refused, nothing is sent and the list stays; the
    // same cue fires on the next GO.
    devices[1].reset();
    ASSERT_FALSE(said("device 2 127.0.0.1 gone").isEmpty());
    ASSERT_EQ(post("/api/cue/goto", R"({"cue":"A"})").status, 200);
    for (const char* body : {R"({"device":[1,2]})", R"({"device":"all"})"}) {
        const Reply r = post("/api/cue/go", body);
        EXPECT_EQ(r.status, 503) << body;
        EXPECT_TRUE(r.body.contains("device 2: the device is not connected")) << r.body.toStdString();
    }
    EXPECT_TRUE(get("/api/cues").body.contains(R"("next":1)"));
    EXPECT_EQ(post("/api/cue/go", R"({"device":[1,3]})").status, 200);
    EXPECT_EQ(news(), (Frames{{"00P01T02"}, {}, {"00P01T02"}, {}}));
}

TEST_F(ControlTest, EveryDeviceAnswersInItsOwnSlotAndASilentOneDelaysNoOther) {
    ASSERT_TRUE(listen_for(3));
    const auto answering = device({"--count", "2"});
    ASSERT_TRUE(answering->ready());
    const auto silent = device({"--no-answer"});
    ASSERT_TRUE(silent->ready() && ports());
    const QJsonArray listed = json(get("/api/devices"))["devices"].toArray();
    ASSERT_EQ(listed.size(), 3);
    EXPECT_EQ(listed[0]["target"], true);
    Panel panel(http_);
    ASSERT_TRUE(panel.ready());
    EXPECT_EQ(panel.messages[0]["state"][QLatin1String("devices/3/up")], true);

    QElapsedTimer clock;
    clock.start();
    Client all(http_, "POST", "/api/page", R"({"line":"1T","page":5,"device":"all"})");
    // The silent device holds up neither the others nor a request for one of them.
    EXPECT_EQ(post("/api/title", R"({"line":"1B","page":2,"text":"タ","device":[2]})").status, 200);
    EXPECT_LT(clock.elapsed(), 2000);
    const Reply r = all.wait();
    EXPECT_LT(clock.elapsed(), 6000);  // the silent one's time-out, not three of them
    EXPECT_EQ(r.status, 502);
    const QJsonArray results = json(r)["results"].toArray();
    ASSERT_EQ(results.size(), 3);
    const int expected[] = {200, 200, 504};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(results[i]["device"], i + 1);
        EXPECT_EQ(results[i]["status"], expected[i]) << r.body.toStdString();
    }
    EXPECT_EQ(results[0]["answer"], "GO");
    for (const char* path : {"devices/1/lines/1T/page", "devices/2/lines/1T/page", "devices/2/lines/1B/titles/02"})
        EXPECT_TRUE(wait_until([&] { return !panel.changes_of(path).empty(); })) << path;
    // OSC names its devices in one more argument.
    const QByteArray reply = Osc(osc_).call(osc_message("/tqv/page", {"2T", 7, "1,2"}));
    EXPECT_EQ(reply.count(R"("status":200)"), 3) << reply.toStdString();  // two devices, and all
    const struct {
        const char* body;
        int status;
    } refused[] = {{R"({"line":"1T","page":1,"device":7})", 404},
                   {R"({"line":"1T","page":1,"device":0})", 400},
                   {R"({"line":"1T","page":1,"device":"some"})", 400}};
    for (const auto& c : refused) EXPECT_EQ(post("/api/page", c.body).status, c.status) << c.body;
}

TEST_F(ControlTest, ServeStartsWithTheDevicesThereAndItsStatusFollowsThem) {
    ASSERT_TRUE(listen_for(2));
    auto first = device();
    ASSERT_TRUE(first->ready() && ports());  // one of two is enough to serve
    ASSERT_TRUE(pages_read(1));
    Panel panel(http_);
    ASSERT_TRUE(panel.ready());
    auto expect_state = [&](const std::vector<std::pair<const char*, QJsonValue>>& table) {
        for (const auto& [path, value] : table)
            EXPECT_TRUE(wait_until([&] { return panel.latest(path) == value; }, 3000))
                << path << " is " << QJsonDocument(QJsonObject{{"v", panel.latest(path)}}).toJson().toStdString();
    };
    expect_state({{"link/status", "ok"}, {"link/devices", "1/2"}, {"devices/1/status", "up"},
                  {"devices/2/status", "absent"}, {"devices/2/up", false}, {"devices/2/port", QJsonValue()}});
    const QJsonObject link = json(get("/api/status"))["link"].toObject();
    EXPECT_EQ(link["devices"], "1/2");
    EXPECT_EQ(link["down"][0]["device"], 2);
    EXPECT_EQ(link["up"], true);

    // The absent device answers 503 for itself alone.
    const struct {
        const char* path;
        const char* body;
        int status;
        std::vector<int> each;  // one result per device, when a list was named
        const char* says = "";
    } requests[] = {
        {"/api/page", R"({"line":"1T","page":5,"device":2})", 503, {}, "absent"},
        {"/api/page", R"({"line":"1T","page":6})", 200, {}},
        {"/api/page", R"({"line":"1T","page":7,"device":"all"})", 502, {200, 503}},
        {"/api/read", R"({"what":"pages","device":2})", 503, {503}},
        {"/api/read", R"({"what":"pages","device":[1,2]})", 502, {202, 503}},
    };
    for (const auto& c : requests) {
        const Reply r = post(c.path, c.body);
        EXPECT_EQ(r.status, c.status) << c.body << " " << r.body.toStdString();
        EXPECT_TRUE(r.body.contains(c.says)) << r.body.toStdString();
        const QJsonArray results = json(r)["results"].toArray();
        ASSERT_EQ(results.size(), qsizetype(c.each.size())) << r.body.toStdString();
        for (std::size_t i = 0; i < c.each.size(); ++i) EXPECT_EQ(results[qsizetype(i)]["status"], c.each[i]);
    }

    // The second joins when it comes, and is read as well: no page of either is unknown.
    const auto second = device();
    ASSERT_TRUE(second->ready());
    ASSERT_TRUE(pages_read(2));
    expect_state({{"link/devices", "2/2"}, {"devices/2/status", "up"}, {"link/down", QJsonArray()}});
    for (const char* device : {"devices/1/", "devices/2/", ""})
        for (const char* line : {"1T", "1B", "2T", "2B"}) {
            const QString at = QStringLiteral("%1lines/%2/").arg(device, line);
            // The panel hears the last answers a moment after the log line.
            EXPECT_TRUE(wait_until([&] { return panel.latest(at + "display/64").isBool(); }, 3000)) << at.toStdString();
            EXPECT_TRUE(panel.latest(at + "page").isDouble()) << at.toStdString();
            EXPECT_TRUE(panel.latest(at + "startup").isDouble() || panel.latest(at + "startup") == "AUTO") << at.toStdString();
        }
    EXPECT_EQ(panel.latest("devices/1/lines/1T/page"), 7);
    const QJsonArray listed = json(get("/api/devices"))["devices"].toArray();
    ASSERT_EQ(listed.size(), 2);
    for (const QJsonValue& d : listed) {
        EXPECT_EQ(d["address"], "127.0.0.1");
        EXPECT_GT(d["port"].toInt(), 0);
    }
    EXPECT_NE(listed[0]["port"], listed[1]["port"]);

    // The titles are read on demand.
    const Reply titles = post("/api/read", R"({"what":"titles","device":2})");
    EXPECT_EQ(titles.status, 202) << titles.body.toStdString();
    EXPECT_FALSE(said("device 2: titles read, 256/256 answered").isEmpty());
    EXPECT_TRUE(wait_until([&] { return panel.latest("devices/2/lines/2B/titles/64").isString(); }, 3000));

    // Device 1 goes and comes back: the status follows at once, with no request.
    first.reset();
    expect_state({{"link/status", "disconnected"}, {"link/devices", "1/2"}, {"devices/1/status", "lost"}});
    EXPECT_EQ(json(get("/api/status"))["link"]["up"], false);
    QElapsedTimer clock;
    clock.start();
    first = device();
    ASSERT_TRUE(first->ready());
    EXPECT_TRUE(wait_until([&] { return panel.latest("link/status") == "ok"; }, 1000));
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_EQ(panel.latest("link/devices"), "2/2");
    const Reply status = get("/api/status");
    EXPECT_EQ(json(status)["link"]["up"], true) << status.body.toStdString();
}

TEST_F(ControlTest, DevicesAreAdmittedByAddressAndKeepTheirNumbers) {
    // "::" takes IPv4 devices (and clients) too, and ::1 admits 127.0.0.1.
    QProcess once;
#ifdef TQV_CLI_PATH
    once.setProgram(QStringLiteral(TQV_CLI_PATH));
#endif
    once.setArguments({"--listen", "0", "--bind", "::", "--allow", "::1", "page", "1T", "5"});
    once.start();
    QByteArray line;
    ASSERT_TRUE(wait_until([&] { return (line += once.readAllStandardError()).contains("\n"); }));
    Sim v4_device({"--connect", "127.0.0.1:" + QString::fromLatin1(line.trimmed().mid(10))}, "connected");
    EXPECT_TRUE(wait_until([&] { return once.state() == QProcess::NotRunning; }));
    EXPECT_EQ(once.exitCode(), 0) << once.readAllStandardError().toStdString();
    ASSERT_TRUE(listen_for(1, {"--bind", "::"}, {"--allow", "::1"}));
    auto one = device();
    ASSERT_TRUE(one->ready() && ports());
    EXPECT_FALSE(said("device 1 127.0.0.1 connected").isEmpty());
    const auto extra = device();
    EXPECT_FALSE(said("closed: 1 devices are connected already").isEmpty());
    one.reset();
    EXPECT_FALSE(said("device 1 127.0.0.1 gone").isEmpty());
    EXPECT_EQ(post("/api/page", R"({"line":"1T","page":3})").status, 503);
    one = device();
    EXPECT_FALSE(said("device 1 127.0.0.1 back").isEmpty());
    EXPECT_EQ(post("/api/page", R"({"line":"1T","page":3})").status, 200);
}

TEST_F(ControlTest, ALostLinkComesBackByItselfAndTheDeviceIsComparedNotResent) {
    ASSERT_TRUE(start({}, {"--reconnect-check"}));
    Panel panel(http_);
    ASSERT_TRUE(panel.ready());
    ASSERT_EQ(post("/api/page", R"({"line":"1T","page":5})").status, 200);
    sim_.reset();
    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(panel.hears("link/status", "connecting", 0, 1000));
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_EQ(post("/api/page", R"({"line":"1T","page":6})").status, 503);
    EXPECT_LT(clock.elapsed(), 1500);

    const QString again = dir_.filePath(QStringLiteral("again.log"));
    const std::size_t before = panel.messages.size();
    ASSERT_TRUE(restart_device(again));
    EXPECT_TRUE(panel.hears("link/status", "ok", before, 5000));
    // The check is one answer-paced read, shown as a run, then its differences.
    ASSERT_TRUE(panel.hears("run/end", "completed", before, 30000));
    EXPECT_TRUE(panel.heard("run/total", 285, before));
    const QJsonObject differs = panel.latest("device/differs").toObject();
    EXPECT_GE(differs["count"].toInt(), 1);
    EXPECT_EQ(differs["items"].toArray().size(), differs["count"].toInt());
    EXPECT_FALSE(said("items differ from the document").isEmpty());
    const std::vector<QByteArray> sent = frames(again, true);
    EXPECT_FALSE(sent.empty());
    for (const QByteArray& frame : sent) EXPECT_TRUE(frame.startsWith("00R")) << frame.toStdString();
}

TEST_F(ControlTest, EveryRequestPassesOneGateWhateverItsPathOrUpgrade) {
    ASSERT_TRUE(start({}, {"--token", "s3cret", "--allow-host", "studio.local", "--allow-origin",
                           "http://panel.example:8000"}));
    const QByteArray port = QByteArray::number(http_);
    const QByteArray own = "127.0.0.1:" + port;
    const QByteArray host = "Host: " + own + "\r\n";
    const QByteArray token = "Authorization: Bearer s3cret\r\n";
    const QByteArray evil = "Origin: http://evil.example\r\n";
    struct Route {
        const char* method;
        const char* path;
        bool file;  // one of the panel's files, read without the token
    } routes[] = {
        {"GET", "/api/status", false},     {"GET", "/api/titles", false},   {"GET", "/api/openapi.json", false},
        {"GET", "/api/devices", false},    {"GET", "/api/cues", false},     {"GET", "/api/events", false},
        {"POST", "/api/page", false},      {"POST", "/api/startup", false}, {"POST", "/api/title", false},
        {"POST", "/api/cue/go", false},    {"POST", "/api/cue/back", false}, {"POST", "/api/cue/goto", false},
        {"POST", "/api/cue/load", false},  {"HEAD", "/api/status", false},  {"OPTIONS", "/api/page", false},
        {"OPTIONS", "/", false},           {"GET", "/nowhere", false},      {"POST", "/", false},
        {"GET", "/", true},                {"GET", "/panel.js", true},      {"GET", "/panel.css", true},
        {"HEAD", "/panel.js", true},
    };
    // 0: the gate lets it through (what the route then says is the route's business).
    const struct {
        const char* what;
        QByteArray lines;
        int route;
        int file;
        const char* version = "HTTP/1.1";
    } credentials[] = {
        {"token", host + token, 0, 0},
        {"no token", host, 401, 0},
        {"wrong token", host + "Authorization: Bearer s3cre\r\n", 401, 0},
        {"own origin", host + "Origin: http://" + own + "\r\n" + token, 0, 0},
        {"own origin, no token", host + "Origin: http://" + own + "\r\n", 401, 0},
        {"listed origin", host + "Origin: http://panel.example:8000\r\n" + token, 0, 0},
        {"foreign origin", host + evil + token, 403, 403},
        {"foreign origin before the token", host + evil, 403, 403},
        {"origin null", host + "Origin: null\r\n" + token, 403, 403},
        {"own address over https", host + "Origin: https://" + own + "\r\n" + token, 403, 403},
        {"own address, other port", host + "Origin: http://127.0.0.1:1\r\n" + token, 403, 403},
        {"loopback spelled otherwise", host + "Origin: http://localhost:" + port + "\r\n" + token, 403, 403},
        {"localhost", "Host: localhost:" + port + "\r\nOrigin: http://localhost:" + port + "\r\n" + token, 0, 0},
        {"IPv6 loopback", "Host: [::1]:" + port + "\r\n" + token, 0, 0},
        {"listed host", "Host: STUDIO.local:" + port + "\r\nOrigin: http://studio.local:" + port + "\r\n" + token, 0, 0},
        {"rebound name", "Host: evil.example:" + port + "\r\n" + token, 421, 421},
        {"rebound name before the token", "Host: evil.example:" + port + "\r\n", 421, 421},
        {"rebound name, its own origin", "Host: evil.example:" + port + "\r\nOrigin: http://evil.example:" + port + "\r\n" + token, 421, 421},
        {"address in short form", "Host: 127.1:" + port + "\r\n" + token, 421, 421},
        {"no Host in HTTP/1.1", token, 400, 400},
        {"no Host in HTTP/1.0", token, 0, 0, "HTTP/1.0"},
    };
    for (const auto& c : credentials) {
        for (const Route& r : routes) {
            const QByteArray body = QByteArray(r.method) == "POST" ? "{}" : "";
            const QByteArray raw = QByteArray(r.method) + " " + r.path + " " + c.version + "\r\n" + c.lines +
                                   (body.isEmpty() ? QByteArray() : "Content-Type: application/json\r\nContent-Length: 2\r\n") +
                                   "\r\n" + body;
            Reply got;
            if (QByteArray(r.method) == "HEAD") {
                got = head_of(http_, raw);
            } else if (const std::vector<Reply> replies = exchange(http_, raw, 1); !replies.empty()) {
                got = replies[0];
            }
            const int expected = r.file ? c.file : c.route;
            if (expected != 0) {
                EXPECT_EQ(got.status, expected) << c.what << ": " << r.method << " " << r.path;
            } else if (r.file) {
                EXPECT_EQ(got.status, 200) << c.what << ": " << r.method << " " << r.path;
            } else {
                EXPECT_TRUE(got.status != 0 && got.status != 401 && got.status != 403 && got.status != 421 &&
                            !got.body.contains("Host missing"))
                    << c.what << ": " << r.method << " " << r.path << " " << got.status;
            }
        }
    }
    // An upgrade: on the events route only, with the token (a browser's in the query).
    const struct { const char* target; QByteArray lines; int status; } upgrades[] = {
        {"/api/events", host + token, 101},
        {"/api/events?access_token=s3cret", host, 101},
        {"/api/events?access_token=s3cret", host + "Origin: http://" + own + "\r\n", 101},
        {"/api/events", host, 401},
        {"/api/events?access_token=x", host, 401},
        {"/api/events", host + evil + token, 403},
        {"/api/events?access_token=s3cret", host + "Origin: null\r\n", 403},
        {"/api/events", "Host: evil.example:" + port + "\r\n" + token, 421},
        {"/", host, 401}, {"/", host + token, 404}, {"/panel.js", host, 401}, {"/panel.js", host + token, 404},
        {"/panel.css", host, 401}, {"/panel.css", host + token, 404},
        {"/?access_token=x", host, 401},
        {"/?access_token=s3cret", host, 404},
        {"/api/status", host + token, 404},
        {"/api/page", host + token, 404},
    };
    for (const auto& u : upgrades)
        EXPECT_EQ(head_of(http_, upgrade(u.target, u.lines)).status, u.status) << u.target << " " << u.lines.toStdString();
}

TEST_F(ControlTest, PagesOfOtherSitesCannotDriveTheDeviceWhileCurlAndThePanelStillDo) {
    ASSERT_TRUE(start({}));  // no token: the default
    const QByteArray host = "Host: 127.0.0.1:" + QByteArray::number(http_) + "\r\n";
    const QByteArray evil = "Origin: http://evil.example\r\n";
    const struct {
        const char* what;
        const char* path;
        QByteArray lines;
        QByteArray body;
        int status;
        const char* frame;  // what the device then receives
    } cases[] = {
        {"a no-cors fetch of another site", "/api/page", evil + "Content-Type: text/plain;charset=UTF-8\r\n",
         R"({"line":"2B","page":33})", 403, nullptr},
        {"a form post of another site", "/api/startup", evil + "Content-Type: application/x-www-form-urlencoded\r\n",
         "line=2B&page=33", 403, nullptr},
        {"a load of another site's cue list", "/api/cue/load", evil + "Content-Type: text/plain\r\n",
         R"({"csv":"cue,action,line,page,text,memory,seconds\nX,page,1T,9,,,\n"})", 403, nullptr},
        {"a form from a browser that names no origin", "/api/page", "Content-Type: application/x-www-form-urlencoded\r\n",
         "%7B%22line%22%3A%222B%22%2C%22page%22%3A33%7D=", 415, nullptr},
        {"a text form shaped as JSON, no origin", "/api/page", "Content-Type: multipart/form-data; boundary=b\r\n",
         "--b\r\nContent-Disposition: form-data; name=\"x\"\r\n\r\n{}\r\n--b--\r\n", 415, nullptr},
        {"an empty form body is no body", "/api/cue/go", "Content-Type: application/x-www-form-urlencoded\r\n", "", 409, nullptr},
        {"another type", "/api/page", "Content-Type: application/xml\r\n", "<page/>", 415, nullptr},
        {"curl -d", "/api/page", "Content-Type: application/x-www-form-urlencoded\r\n", R"({"line":"1T","page":5})", 200, "00P01T05"},
        {"the panel's own fetch with a string", "/api/page",
         "Origin: http://127.0.0.1:" + QByteArray::number(http_) + "\r\nContent-Type: text/plain;charset=UTF-8\r\n",
         R"({"line":"1T","page":6})", 200, "00P01T06"},
        {"curl --json", "/api/page", "Content-Type: application/json\r\n", R"({"line":"1T","page":7})", 200, "00P01T07"},
        {"no type", "/api/page", "", R"({"line":"1T","page":8})", 200, "00P01T08"},
    };
    std::vector<QByteArray> expected;
    for (const auto& c : cases) {
        const std::vector<Reply> got = exchange(
            http_, QByteArray("POST ") + c.path + " HTTP/1.1\r\n" + host + c.lines + "Content-Length: " +
                       QByteArray::number(c.body.size()) + "\r\n\r\n" + c.body, 1);
        ASSERT_EQ(got.size(), 1u) << c.what;
        EXPECT_EQ(got[0].status, c.status) << c.what << " " << got[0].body.toStdString();
        if (c.frame != nullptr) expected.push_back(c.frame);
    }
    ASSERT_TRUE(wait_until([&] { return frames().size() >= expected.size(); }));
    EXPECT_EQ(frames(), expected);
    // OPTIONS says what a path takes and never grants another origin anything; HEAD is GET
    // without the body.
    const struct { QByteArray raw; int status; const char* has; } heads[] = {
        {"OPTIONS /api/page HTTP/1.1\r\n" + host + "\r\n", 200, "Allow: POST, OPTIONS\r\n"},
        {"OPTIONS /api/status HTTP/1.1\r\n" + host + "Origin: http://127.0.0.1:" + QByteArray::number(http_) +
             "\r\nAccess-Control-Request-Method: GET\r\n\r\n", 200, "Allow: GET, HEAD, OPTIONS\r\n"},
        {"OPTIONS /api/page HTTP/1.1\r\n" + host + evil + "Access-Control-Request-Method: POST\r\n"
             "Access-Control-Request-Headers: content-type\r\n\r\n", 403, "\r\n"},
        {"OPTIONS /nowhere HTTP/1.1\r\n" + host + "\r\n", 404, "\r\n"},
        {"HEAD /panel.js HTTP/1.1\r\n" + host + "\r\n", 200, "Content-Type: text/javascript"},
        {"HEAD /api/status HTTP/1.1\r\n" + host + "\r\n", 200, "Content-Type: application/json"},
    };
    for (const auto& h : heads) {
        const Reply r = head_of(http_, h.raw);
        EXPECT_EQ(r.status, h.status) << h.raw.toStdString();
        EXPECT_TRUE(r.body.contains(h.has)) << r.body.toStdString();
        EXPECT_FALSE(r.body.toLower().contains("access-control-")) << r.body.toStdString();
    }
}

TEST_F(ControlTest, RossTalkTakesNothingFromHttpAndMakesRoomForANewMixer) {
    ASSERT_TRUE(start({}, {"--rosstalk", "0", "--cues", cues("A,page,1T,2,,,\nB,page,1T,3,,,\n")}));
    // A page of any site can make a browser send these; none of their lines may fire.
    const std::vector<QByteArray> web[] = {
        {"POST / HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: text/plain\r\nContent-Length: 4\r\n\r\nGO\r\n"},
        {"GET /?GO HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"},
        {"POST /x HTTP/1.1\r\n", "Content-Length: 3\r\n\r\nGO\n"},  // in two writes
        {"Content-Type: text/plain\r\n\r\nGO\n"},                   // a header line first
        {"OPTIONS * HTTP/1.1\r\n\r\nGPI 1\n"},
        {QByteArray(5000, 'a') + "\r\nHost: x\r\n\r\nGO\n"},       // a first line too long to judge
    };
    for (const auto& writes : web) {
        const auto browser = connection(rosstalk_);
        ASSERT_TRUE(browser->waitForConnected(5000));
        for (const QByteArray& w : writes) {
            browser->write(w);
            browser->flush();
        }
        EXPECT_TRUE(wait_until([&] { return browser->state() == QAbstractSocket::UnconnectedState; }))
            << writes[0].left(40).toStdString();
    }
    EXPECT_FALSE(said("closed: HTTP is not RossTalk").isEmpty());
    EXPECT_TRUE(frames().empty());

    // Every slot taken: the one silent longest goes for the newcomer, which is served.
    std::vector<std::unique_ptr<QTcpSocket>> mixers;
    for (int i = 0; i < 16; ++i) {
        mixers.push_back(connection(rosstalk_));
        ASSERT_TRUE(mixers.back()->waitForConnected(5000));
    }
    const auto late = connection(rosstalk_);
    ASSERT_TRUE(late->waitForConnected(5000));
    EXPECT_TRUE(wait_until([&] { return mixers[0]->state() == QAbstractSocket::UnconnectedState; }));
    late->write("GO\n");
    ASSERT_TRUE(wait_until([&] { return frames().size() == 1; }));
    EXPECT_EQ(frames()[0], "00P01T02");
    for (std::size_t i = 1; i < mixers.size(); ++i)
        EXPECT_EQ(mixers[i]->state(), QAbstractSocket::ConnectedState) << i;

    // GO past the last cue, a thousand times: a few lines and a count, not a thousand lines.
    ASSERT_FALSE(said("\"A\" completed").isEmpty());
    late->write("GO\n");
    ASSERT_FALSE(said("\"B\" completed").isEmpty());
    EXPECT_EQ(frames().size(), 2u);
    QByteArray flood;
    for (int i = 0; i < 1000; ++i) flood += "GO\n";
    late->write(flood);
    int counted = 0;  // the most lines one count says were left out
    for (QByteArray line; counted < 1000 - 2 * tqv::Control::kLogPerSecond &&
                          !(line = said("rosstalk: ", 3000)).isEmpty();)
        if (line.contains("more lines not logged"))
            counted = std::max(counted, line.mid(line.indexOf("rosstalk: ") + 10).split(' ')[0].toInt());
    EXPECT_GE(counted, 1000 - 2 * tqv::Control::kLogPerSecond);
    int logged = 0;
    for (const QByteArray& line : said_) logged += line.contains("no next cue");
    EXPECT_LE(logged, 2 * tqv::Control::kLogPerSecond);
    EXPECT_EQ(frames().size(), 2u);
}

TEST_F(ControlTest, TheTokenComesFromTheOptionTheFileOrTheEnvironmentInThatOrder) {
    const QString token_file = file("token", " fromfile \nsecond line\n");
    const struct { QStringList args; QString env; QByteArray taken; QByteArray refused; } cases[] = {
        {{"--token-file", token_file}, "fromenv", "fromfile", "fromenv"},
        {{"--token", "fromoption", "--token-file", token_file}, "fromenv", "fromoption", "fromfile"},
        {{}, "fromenv", "fromenv", "fromfile"},
        {{}, "", "", "x"},  // no token at all: every request is served
    };
    for (const auto& c : cases) {
        token_env_ = c.env;
        ASSERT_TRUE(start({}, c.args)) << c.args.join(' ').toStdString();
        EXPECT_EQ(call(http_, "GET", "/api/status", "", c.taken).status, 200) << c.taken.toStdString();
        EXPECT_EQ(call(http_, "GET", "/api/status", "", c.refused).status, c.taken.isEmpty() ? 200 : 401)
            << c.refused.toStdString();
        TearDown();
    }
    token_env_.clear();
    EXPECT_FALSE(start({}, {"--token-file", dir_.filePath(QStringLiteral("none"))}));
    ASSERT_TRUE(wait_until([this] { return serve_.state() == QProcess::NotRunning; }));
    EXPECT_EQ(serve_.exitCode(), 1);
    EXPECT_TRUE(std::any_of(said_.begin(), said_.end(),
                            [](const QByteArray& line) { return line.contains("cannot read the token"); }));
}

// serve on the serial line: its first request carries the slave address, and the device
// carries it out.
TEST_F(ControlTest, TheFirstRequestOnTheSerialLineIsAddressed) {
    sim_ = std::make_unique<Sim>(QStringList{"--serial", "--log", log_path()}, "serial");
    ASSERT_TRUE(sim_->ready());
    launch({"--serial", sim_->value(), "serve"});
    ASSERT_TRUE(ports());
    const Reply r = call(http_, "POST", "/api/page", R"({"line":"1T","page":5})");
    EXPECT_EQ(r.status, 200) << r.body.toStdString();
    EXPECT_EQ(frames(), std::vector<QByteArray>{"00P01T05"});
}

// The program's side: a dialog's send and the operator's lock, with the control in process.
class ControlInProcessTest : public ::testing::Test {
  protected:
    struct QuietUi : tqv::Ui {
        void box(tqv::Box, std::string_view, std::string_view) override {
            ++boxes;
            if (on_box) on_box();  // while the box would be up
        }
        bool ask(std::string_view, std::string_view) override { return true; }
        int boxes = 0;
        std::function<void()> on_box;
    };
    using HeldDevice = tqv::test::HeldDevice;
    // The link connected over TCP to 127.0.0.1:`port`.
    bool connect_link(const std::string& port) {
        model.interface_kind = 1;
        model.host_list[0] = {127, 0, 0, 1};
        model.host_count = 1;
        model.selected_peer = 0;
        tqv::set_slot_text(model.port_number, port);
        return link.tcp().socket_connect() == 1 && wait_until([this] { return model.tcp_connected == 1; });
    }
    // The control on free ports; with `read`, once it has read the device's state (the
    // test begins after that). What went wrong is in error.
    bool start_control(bool read = true) {
        link.start_answer_timer();
        control.log = [this](const std::string& line) { said += line + "\n"; };
        return control.start({0, 0, "127.0.0.1", "", {}, false}, &error) && (!read || wait_until([this] {
            for (const char* line : {"1T", "1B", "2T", "2B"})
                if (!control.state().value(QStringLiteral("lines/%1/display/64").arg(line)).isBool()) return false;
            return true;
        }));
    }
    // The link connected to `device` and the control started.
    bool connect_to(const HeldDevice& device) {
        return connect_link(std::to_string(device.server.serverPort())) &&
               wait_until([&device] { return device.socket != nullptr; }) && start_control();
    }
    std::string said;  // the control's log
    std::string error;  // why start_control() failed
    tqv::Model model;
    QuietUi ui;
    tqv::DeviceLink link{model, ui};
    tqv::Control control{link};
};

// A dialog's command with the very body of a request in flight is the dialog's: its answer
// ends nothing of the request, which gets its own answer, and each is confirmed once.
TEST_F(ControlInProcessTest, ARequestEndsOnItsOwnAnswerNotOnADialogsWithTheSameBody) {
    HeldDevice device;
    ASSERT_TRUE(connect_to(device));
    Panel panel(control.http_port());
    ASSERT_TRUE(panel.ready());

    struct Case {
        const char* name;
        QByteArray request;      // POST /api/page body
        int dialog_page;         // the dialog's page switch of 1T, the same command
        QByteArray dialog_answer;
        QByteArray own_answer;
        int status;
    };
    const Case cases[] = {
        {"both answered", R"({"line":"1T","page":5})", 4, "00GO", "00GO", 200},
        {"the dialog's refused, ours answered", R"({"line":"1T","page":6})", 5, "00E3", "00GO", 200},
        {"the dialog's answered, ours refused", R"({"line":"1T","page":7})", 6, "00GO", "00E3", 502},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t before = device.lines.size();
        // The dialog's command goes first and waits for its answer; the request's is
        // written after it, with the same body.
        model.current_page[0] = c.dialog_page;
        tqv::send_page_switch(link.send_path(), 0);
        ASSERT_TRUE(wait_until([&] { return device.lines.size() == before + 1; }));
        Client request(control.http_port(), "POST", "/api/page", c.request);
        ASSERT_TRUE(wait_until([&] { return control.command_in_flight(); }));

        device.say(c.dialog_answer);
        ASSERT_TRUE(wait_until([&] { return device.lines.size() == before + 2; }));
        EXPECT_EQ(device.lines[before], device.lines[before + 1]);
        EXPECT_EQ(request.reply().status, 0) << "taken for the dialog's answer";
        EXPECT_TRUE(control.command_in_flight());

        device.say(c.own_answer);
        Reply r;
        ASSERT_TRUE(wait_until([&] { return (r = request.reply()).status != 0; }));
        EXPECT_EQ(r.status, c.status);
        EXPECT_FALSE(control.command_in_flight());
    }
    // Confirmed: what was answered, by whom; an error answer confirms nothing.
    std::vector<std::pair<QString, QJsonValue>> confirmed;
    for (const QJsonObject& m : panel.messages)
        if (m["type"] == QLatin1String("change") && m["changes"].toObject().contains("lines/1T/page"))
            confirmed.emplace_back(m["source"].toString(), m["changes"][QLatin1String("lines/1T/page")]);
    const std::vector<std::pair<QString, QJsonValue>> expected = {
        {"dialog", 5}, {"http", 6}, {"dialog", 7}};
    EXPECT_EQ(confirmed, expected);
}

// What a read answer writes into the model is announced as the device's, and only that.
TEST_F(ControlInProcessTest, ReadAnswersAnnounceWhatTheyWroteAndNothingElse) {
    HeldDevice device;
    ASSERT_TRUE(connect_to(device));
    Panel panel(control.http_port());
    ASSERT_TRUE(panel.ready());

    std::string codes;  // "あ" then full-width spaces
    codes += "2422";
    for (int k = 1; k < 14; ++k) codes += "2121";
    std::string display = "N";
    display += std::string(62, 'F') + "N";
    // Only the flags that differ from those read when the device connected.
    QJsonObject display_changes;
    for (int p = 1; p <= 64; ++p) {
        const QString path = QStringLiteral("lines/2B/display/%1").arg(p, 2, 10, QLatin1Char('0'));
        if (control.state().value(path) != QJsonValue(p == 1 || p == 64)) display_changes[path] = p == 1 || p == 64;
    }
    ASSERT_FALSE(display_changes.isEmpty());
    const struct { QByteArray line; QJsonObject changes; } cases[] = {
        {"00P01T07", {{"lines/1T/page", 7}}},
        {"00P02BA", {{"lines/2B/page", "AUTO"}}},
        {"00SUS01B12", {{"lines/1B/startup", 12}}},
        {QByteArray("00CT02T33") + codes.c_str(), {{"lines/2T/titles/33", QStringLiteral("あ")}}},
        {QByteArray("00CTD02B") + display.c_str(), display_changes},
        {"00CTDPO01T09", {{"lines/1T/position", 9}}},
        {"00CEL3", {{"levels/edge", 3}}},
        {"00CWL2", {{"levels/white", 2}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line.toStdString());
        device.say(c.line);
        const QJsonObject change = panel.next("change");
        EXPECT_EQ(change["source"], "device");
        EXPECT_EQ(change["changes"].toObject(), c.changes);
    }
    // The same values again change nothing; a value the state does not show announces
    // nothing either.
    device.say("00P01T07");
    device.say(QByteArray("00AST01T") + QByteArray(128, '3'));  // switching times: not shown
    device.say("00P01T08");
    const QJsonObject change = panel.next("change");
    EXPECT_EQ(change["changes"].toObject(), QJsonObject({{"lines/1T/page", 8}}));
    EXPECT_EQ(model.switch_time[0][63], 33);
}

TEST_F(ControlInProcessTest, DialogSendsAreEventsAndTheLockHoldsForEveryRoute) {
    if (!tqv::test::sim_available()) GTEST_SKIP();
    Sim sim({"--listen", "0"}, "listening");
    ASSERT_TRUE(sim.ready());
    ASSERT_TRUE(connect_link(sim.value().toStdString()));
    ASSERT_TRUE(start_control()) << error;  // the device's pages are read once it is connected
    EXPECT_EQ(control.state().value("lines/2T/page"), 1);
    Panel panel(control.http_port());
    ASSERT_TRUE(panel.ready());

    // What a dialog's command set, once answered: what the pictures show moves with it.
    model.current_page[2] = 6;
    model.position_offset[1] = 4;
    model.white_level = 3;
    const struct { std::function<void()> send; QJsonObject expected; } sent[] = {
        {[this] { tqv::send_page_switch(link.send_path(), 2); }, {{"lines/2T/page", 7}}},
        {[this] { tqv::send_position(link.send_path(), 1); }, {{"lines/1B/position", 4}}},
        {[this] { tqv::send_white_level(link.send_path()); }, {{"levels/white", 3}}},
    };
    for (const auto& [send, expected] : sent) {
        send();
        const QJsonObject change = panel.next("change");
        EXPECT_EQ(change["source"], "dialog");
        EXPECT_EQ(change["changes"].toObject(), expected);
    }
    QJsonObject change;
    control.set_locked(true);
    change = panel.next("change");
    EXPECT_EQ(change["changes"].toObject(), QJsonObject({{"remote/locked", true}}));

    expect_every_route_refused(control.http_port(), 423);
    // The lock is the gate's last step; the panel's files are read while locked.
    const struct { QByteArray raw; int status; } locked[] = {
        {"GET /api/status HTTP/1.1\r\nHost: evil.example\r\n\r\n", 421},
        {"GET /api/status HTTP/1.1\r\nHost: 127.0.0.1\r\nOrigin: http://evil.example\r\n\r\n", 403},
        {"GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", 200},
        {upgrade("/", "Host: 127.0.0.1\r\n"), 423},
    };
    for (const auto& l : locked) EXPECT_EQ(head_of(control.http_port(), l.raw).status, l.status) << l.raw.toStdString();
    panel.socket.sendTextMessage(R"({"op":"page","id":1,"line":"1T","page":2})");
    EXPECT_EQ(panel.next("result")["status"], 423);
    int frames = 0;
    QObject::connect(&link, &tqv::DeviceLink::traffic, [&frames](bool sent) { frames += sent; });
    Osc(control.osc_port()).send(osc_message("/tqv/page", {"2T", 7}));
    EXPECT_TRUE(wait_until([&] { return said.find("dropped: remote control is locked") != std::string::npos; }));
    control.set_locked(false);
    EXPECT_EQ(call(control.http_port(), "POST", "/api/page", R"({"line":"1T","page":3})").status, 200);
    EXPECT_EQ(frames, 1);
}

// A serial port that cannot be opened is no link: requests are refused at once, also while
// its box is up, and served again once the port that works is chosen again. The port is
// switched while a read of the device's state awaits its answer there: that read ends with
// the port, not at its time-out, and nothing waits behind it.
TEST_F(ControlInProcessTest, ARequestWhileThePortIsNotOpenIsRefusedAtOnce) {
    if (!tqv::test::sim_available()) GTEST_SKIP();
    Sim sim({"--serial"}, "serial");
    ASSERT_TRUE(sim.ready());
    ASSERT_TRUE(link.open_serial(sim.value()));
    link.start_answer_timer();
    int reads = 0;
    const tqv::Subscription written(link.send_path().frame_written,
                                    [&reads](std::string_view f, bool) { reads += f.substr(2, 1) == "R"; });
    std::string error;
    ASSERT_TRUE(control.start({0, 0, "127.0.0.1", "", {}, false}, &error)) << error;
    auto page = [this] { return call(control.http_port(), "POST", "/api/page", R"({"line":"1T","page":3})"); };
    ASSERT_EQ(page().status, 200);
    ASSERT_TRUE(wait_until([&] { return reads > 0 && !link.send_path().idle(); }));
    for (const QString& path : {QStringLiteral("/nonexistent/ttyTQV"), sim.value()}) {
        const bool opens = path == sim.value();
        Reply meanwhile;
        QElapsedTimer clock;
        ui.boxes = 0;
        ui.on_box = [&] {
            clock.start();
            meanwhile = page();
        };
        EXPECT_EQ(link.open_serial(path), opens);
        ui.on_box = nullptr;
        EXPECT_EQ(ui.boxes, opens ? 0 : 1);
        if (!opens) {
            EXPECT_EQ(meanwhile.status, 503) << meanwhile.body.toStdString();
            EXPECT_LT(clock.elapsed(), 1000);
        }
        EXPECT_EQ(page().status, opens ? 200 : 503);
    }
}

// Over the serial line, right after start, the first request of the program's own control
// port carries the slave address as every dialog's command does; the device carries it out.
TEST_F(ControlInProcessTest, TheFirstRequestAfterStartIsAddressedOnTheSerialLine) {
    if (!tqv::test::sim_available()) GTEST_SKIP();
    Sim sim({"--serial"}, "serial");
    ASSERT_TRUE(sim.ready());
    ASSERT_TRUE(link.open_serial(sim.value()));
    // The reads of the device's state when it is there are addressed too; the request's
    // frame is the one that is not a read.
    std::vector<std::string> frames;
    const tqv::Subscription written(link.send_path().frame_written, [&frames](std::string_view f, bool) {
        if (f.substr(2, 1) != "R") frames.emplace_back(f);
    });
    ASSERT_TRUE(start_control(false)) << error;
    const Reply r = call(control.http_port(), "POST", "/api/page", R"({"line":"1T","page":5})");
    EXPECT_EQ(r.status, 200) << r.body.toStdString();
    EXPECT_EQ(frames, std::vector<std::string>{"00P01T05\r\n"});
    EXPECT_EQ(model.current_page[0], 4);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
