// tqv7310nx-cli end to end: the real executable against the simulated device, over a
// pseudo-terminal and over TCP in both roles. What is checked is what a user sees: exit
// status, stdout, the message texts on stderr, the files written, and the lines the device
// received (from the simulator's log).
#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>
#include <memory>
#include <string>
#include <vector>

#include "cli_process.h"
#include "core/codec.h"
#include "core/document.h"
#include "core/glyph.h"
#include "core/model.h"
#include "core/texts.h"

namespace tqv::clitest {
namespace {

std::string read_file(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll().toStdString();
}

void write_file(const QString& path, const std::string& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes.data(), qint64(bytes.size()));
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Lines the device received, as its log shows them ("0.017 device 2 < 00RCEL\r\n"), for the
// endpoint named `who` ("serial", "client 1", "device 2"), or for all when `who` is empty.
std::vector<std::string> received(const QString& log, const std::string& who = {}) {
    std::vector<std::string> lines;
    const std::string text = read_file(log);
    const std::string marker = who.empty() ? " < " : " " + who + " < ";
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t end = text.find('\n', begin);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(begin, end - begin);
        if (const auto at = line.find(marker); at != std::string::npos)
            lines.push_back(line.substr(at + marker.size()));
        begin = end + 1;
    }
    return lines;
}

std::string cp932(const char* utf8) { return utf8_to_cp932(utf8).value_or(std::string()); }

// A document that differs from a new one in every kind of value, with Japanese titles of
// both JIS levels and titles of different lengths.
Model sample_model() {
    Model m;
    for (int line = 0; line < kTitleLines; ++line) {
        for (int page = 0; page < kPages; ++page) {
            m.title_display[line][page] = (page + line) % 3 == 0 ? 0 : 1;
            m.switch_time[line][page] = (page * 7 + line * 13) % 100;
        }
        m.startup_page[line] = line == 1 ? kAutoPage : 10 + line;
        m.current_page[line] = line == 2 ? kAutoPage : 63 - line;
        m.position_offset[line] = 3 + line * 4;
    }
    m.white_level = 3;
    m.edge_level = 0;
    set_slot_text(m.title(0, 0), cp932("テスト"));
    set_slot_text(m.title(0, 4), cp932("日本語タイトル"));
    set_slot_text(m.title(1, 63), cp932("弌と丼と漱石"));  // JIS level 2 characters
    set_slot_text(m.title(2, 31), cp932("ＡＢＣ１２３"));
    set_slot_text(m.title(3, 63), cp932("十四文字の題名をここに書くよ"));
    return m;
}

std::string save(Model& m, const QString& path) {
    EXPECT_TRUE(save_document(m, path.toStdString()));
    return read_file(path);
}

class CliTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (cli_path().isEmpty() || sim_path().isEmpty())
            GTEST_SKIP() << "tqv7310nx-cli or tqv7310nx-sim is not built";
        ASSERT_TRUE(dir_.isValid());
    }
    QString file(const char* name) const { return dir_.filePath(QString::fromLatin1(name)); }

    QTemporaryDir dir_;
};

// ------------------------------------------------------------------------ command line

TEST_F(CliTest, UsageErrorsExitTwoWithTheUsageText) {
    const std::vector<QStringList> bad = {
        {},
        {"send", "RCEL"},                                        // no link
        {"--serial", "/dev/null", "--tcp", "h:1", "send", "X"},  // two links
        {"--serial", "/dev/null", "jump"},
        {"--serial", "/dev/null", "page", "3T", "1"},
        {"--serial", "/dev/null", "page", "1T", "65"},
        {"--serial", "/dev/null", "title", "1T", "AUTO", "x"},
        {"--serial", "/dev/null", "--address", "32", "send", "RCEL"},
        {"--serial", "/dev/null", "--devices", "2", "send", "RCEL"},
        {"--serial", "/dev/null", "--no-memory", "page", "1T", "1"},
        {"--tcp", "127.0.0.1", "send", "RCEL"},  // no port
        {"--serial", "/dev/null", "push"},
        {"--serial", "/dev/null", "glyphs", "send", "a.tll"},
        {"--serial", "/dev/null", "--token-file", "t", "page", "1T", "1"},  // serve's
        {"--serial", "/dev/null", "serve", "--http", "0", "--allow-host", ""},
        {"--serial", "/dev/null", "serve", "--http", "0", "--allow-origin", "http://a,,http://b"},
    };
    for (const QStringList& args : bad) {
        const CliResult r = run_cli(args);
        EXPECT_EQ(r.code, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(contains(r.err, "usage: tqv7310nx-cli")) << args.join(' ').toStdString();
        EXPECT_TRUE(r.out.empty());
    }
    // The device network values travel on the serial line only.
    const CliResult network = run_cli({"--tcp", "127.0.0.1:9004", "network", "show"});
    EXPECT_EQ(network.code, 2);
    EXPECT_TRUE(contains(network.err, text::kUseRs232c));

    const CliResult help = run_cli({"--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_TRUE(contains(help.out, "usage: tqv7310nx-cli"));
}

TEST_F(CliTest, ShowPrintsADocumentReadablyAndRefusesAMissingFile) {
    Model m = sample_model();
    save(m, file("a.dat"));
    const CliResult r = run_cli({"show", file("a.dat")});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "white level     3\n"));
    EXPECT_TRUE(contains(r.out, "01    off         0  テスト\n"));
    EXPECT_TRUE(contains(r.out, "64    on         54  弌と丼と漱石\n"));
    EXPECT_TRUE(contains(r.out, "ch.1 Bottom\ncurrent page    63\nstart-up page   AUTO\n"));

    const CliResult missing = run_cli({"show", file("none.dat")});
    EXPECT_EQ(missing.code, 1);
    EXPECT_TRUE(contains(missing.err, text::kCantFileOpen));
}

// ------------------------------------------------------------------------ whole documents

// Push a document, pull it back: the same bytes, over the pseudo-terminal and as a TCP
// client. Glyphs 01..28 likewise.
TEST_F(CliTest, PushThenPullGivesTheSameDocumentOnSerialAndTcp) {
    Model m = sample_model();
    const std::string pushed = save(m, file("pushed.dat"));

    Model glyphs;
    for (int slot = 0; slot < 28; ++slot) {
        for (int row = 0; row < 48; ++row)
            set_glyph_dot(glyphs.glyph_data[slot], row, (row + slot) % 48, true);
        set_glyph_dot(glyphs.glyph_data[slot], slot, 47 - slot, true);
    }
    ASSERT_TRUE(save_glyph_list(glyphs, file("pushed.tll").toStdString()));
    const std::string pushed_glyphs = read_file(file("pushed.tll"));

    struct Case {
        QStringList sim_args;
        const char* ready;
        const char* link;
    };
    for (const Case& c : {Case{{"--serial"}, "serial", "--serial"},
                          Case{{"--listen", "0"}, "listening", "--tcp"}}) {
        SCOPED_TRACE(c.link);
        Sim sim(c.sim_args, c.ready);
        ASSERT_TRUE(sim.ready());
        const QString target =
            QString(c.link) == "--serial" ? sim.value() : "127.0.0.1:" + sim.value();
        const QStringList link = {c.link, target, "--fast"};

        const CliResult push = run_cli(link + QStringList{"push", file("pushed.dat")});
        ASSERT_EQ(push.code, 0) << push.err;
        const CliResult pull = run_cli(link + QStringList{"pull", file("pulled.dat")});
        ASSERT_EQ(pull.code, 0) << pull.err;
        EXPECT_EQ(read_file(file("pulled.dat")), pushed);
        EXPECT_TRUE(contains(pull.err, text::kSocketReadOk));

        const CliResult gpush =
            run_cli(link + QStringList{"--quiet", "glyphs", "push", file("pushed.tll")});
        ASSERT_EQ(gpush.code, 0) << gpush.err;
        EXPECT_TRUE(gpush.err.empty()) << gpush.err;  // --quiet: no confirmation, no success
        const CliResult gpull = run_cli(link + QStringList{"glyphs", "pull", file("pulled.tll")});
        ASSERT_EQ(gpull.code, 0) << gpull.err;
        EXPECT_EQ(read_file(file("pulled.tll")), pushed_glyphs);
        QFile::remove(file("pulled.dat"));
        QFile::remove(file("pulled.tll"));
    }
}

// Server role: the devices connect to the tool; each one gets the whole command, in the
// order they connected. The simulated devices keep no state past their connection, so
// the push is checked in their logs and the pull against fresh devices.
TEST_F(CliTest, ServerRoleRunsTheCommandOnEveryDevice) {
    Model m = sample_model();
    save(m, file("pushed.dat"));
    const std::vector<std::string> serial_frames = [&] {
        // The frames the one device on the serial link gets, for comparison.
        Sim sim({"--serial", "--log", file("serial.log")}, "serial");
        EXPECT_EQ(run_cli({"--serial", sim.value(), "--fast", "push", file("pushed.dat")}).code, 0);
        return received(file("serial.log"), "serial");
    }();
    ASSERT_EQ(serial_frames.size(), 278u);  // 280 steps, two of which only change the pace

    {
        ListeningCli cli({"--listen", "0", "--devices", "2", "--fast", "push", file("pushed.dat")});
        ASSERT_NE(cli.port(), 0);
        Sim devices({"--connect", "127.0.0.1:" + QString::number(cli.port()), "--count", "2",
                     "--log", file("devices.log")},
                    "connected");
        ASSERT_TRUE(devices.ready());
        const CliResult r = cli.finish();
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_TRUE(contains(r.err, "device 1 127.0.0.1 ok")) << r.err;
        EXPECT_TRUE(contains(r.err, "device 2 127.0.0.1 ok")) << r.err;
        ASSERT_TRUE(devices.wait_end());
        EXPECT_EQ(received(file("devices.log"), "device 1"), serial_frames);
        EXPECT_EQ(received(file("devices.log"), "device 2"), serial_frames);
    }
    {
        ListeningCli cli({"--listen", "0", "--devices", "3", "--fast", "pull", file("backup.dat")});
        ASSERT_NE(cli.port(), 0);
        Sim devices({"--connect", "127.0.0.1:" + QString::number(cli.port()), "--count", "3"},
                    "connected");
        ASSERT_TRUE(devices.ready());
        const CliResult r = cli.finish();
        EXPECT_EQ(r.code, 0) << r.err;
        Model fresh;
        const std::string fresh_document = save(fresh, file("fresh.dat"));
        for (const char* name : {"backup-1.dat", "backup-2.dat", "backup-3.dat"})
            EXPECT_EQ(read_file(file(name)), fresh_document) << name;
        EXPECT_FALSE(QFile::exists(file("backup.dat")));
    }
    {
        // Every device fails on its own, and the failed ones are named at the end.
        ListeningCli cli({"--listen", "0", "--devices", "2", "--fast", "send", "RCEL"});
        Sim devices({"--connect", "127.0.0.1:" + QString::number(cli.port()), "--count", "2",
                     "--error", "E3"},
                    "connected");
        const CliResult r = cli.finish();
        EXPECT_EQ(r.code, 1);
        EXPECT_TRUE(contains(r.err, "failed: device 1 (127.0.0.1), device 2 (127.0.0.1)")) << r.err;
    }
    {
        // Only the allowed peers are taken.
        ListeningCli cli({"--listen", "0", "--bind", "127.0.0.1", "--allow", "127.0.0.2",
                          "--wait", "2", "send", "RCEL"});
        Sim devices({"--connect", "127.0.0.1:" + QString::number(cli.port()), "--count", "1"},
                    "connected");
        const CliResult r = cli.finish();
        EXPECT_EQ(r.code, 1);
        EXPECT_TRUE(contains(r.err, "127.0.0.1 is not allowed: closed")) << r.err;
    }
}

// ------------------------------------------------------------------------ failures

// A title that cannot be sent stops push after that title: the titles before it went out,
// nothing after it.
TEST_F(CliTest, UnconvertibleTitleStopsPushAfterThatTitle) {
    Model m;
    set_slot_text(m.title(0, 0), cp932("一"));
    set_slot_text(m.title(0, 1), cp932("二"));
    set_slot_text(m.title(0, 2), "AB");  // single-byte letters have no JIS X 0208 code
    set_slot_text(m.title(0, 3), cp932("四"));
    save(m, file("bad.dat"));

    Sim sim({"--listen", "0", "--log", file("sim.log")}, "listening");
    ASSERT_TRUE(sim.ready());
    const CliResult r =
        run_cli({"--tcp", "127.0.0.1:" + sim.value(), "--fast", "push", file("bad.dat")});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(contains(r.err, text::kNotJis)) << r.err;
    const auto frames = received(file("sim.log"), "client 1");
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].substr(0, 9), "00CT01T01");
    EXPECT_EQ(frames[1].substr(0, 9), "00CT01T02");

    // A single title the device cannot show is refused unsent, naming the characters and
    // the limit; half-width text goes out in full width.
    const QString tcp = "127.0.0.1:" + sim.value();
    const struct {
        const char* title;
        int code;
        const char* says;
    } singles[] = {
        {"A\xF0\x9F\x98\x80", 1, "\xE3\x80\x8C\xF0\x9F\x98\x80\xE3\x80\x8D"},  // 「😀」
        {"abcdefghijklmno", 1, text::kTitleLimit},
        {"AB", 0, ""},
    };
    for (const auto& s : singles) {
        const CliResult single = run_cli({"--tcp", tcp, "title", "1T", "1", s.title});
        EXPECT_EQ(single.code, s.code) << s.title;
        EXPECT_TRUE(contains(single.err, s.says)) << single.err;
    }
    const auto sent = received(file("sim.log"));
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[2].substr(0, 17), "00CT01T0123412342");
}

// An error answer stops a bulk transfer at once: one command sent, status 1, the error's
// own text per link, and a pull leaves the file it would have written untouched.
TEST_F(CliTest, ErrorAnswerStopsTheTransfer) {
    Model m = sample_model();
    save(m, file("a.dat"));
    write_file(file("old.dat"), "kept\r\n");
    {
        Sim sim({"--serial", "--error", "E3", "--log", file("serial.log")}, "serial");
        ASSERT_TRUE(sim.ready());
        const CliResult push = run_cli({"--serial", sim.value(), "--fast", "push", file("a.dat")});
        EXPECT_EQ(push.code, 1);
        EXPECT_TRUE(contains(push.err, text::kCommandError)) << push.err;
        EXPECT_EQ(received(file("serial.log"), "serial").size(), 1u);

        const CliResult pull =
            run_cli({"--serial", sim.value(), "--fast", "pull", file("old.dat")});
        EXPECT_EQ(pull.code, 1);
        EXPECT_EQ(read_file(file("old.dat")), "kept\r\n");
        EXPECT_EQ(received(file("serial.log"), "serial").size(), 2u);
    }
    {
        Sim sim({"--listen", "0", "--error", "E3", "--log", file("tcp.log")}, "listening");
        ASSERT_TRUE(sim.ready());
        const QString tcp = "127.0.0.1:" + sim.value();
        const CliResult push = run_cli({"--tcp", tcp, "--fast", "push", file("a.dat")});
        EXPECT_EQ(push.code, 1);
        EXPECT_TRUE(contains(push.err, text::kSocketCommand)) << push.err;
        EXPECT_EQ(received(file("tcp.log"), "client 1").size(), 1u);

        const CliResult glyphs = run_cli({"--tcp", tcp, "--fast", "glyphs", "pull", file("g.tll")});
        EXPECT_EQ(glyphs.code, 1);
        EXPECT_FALSE(QFile::exists(file("g.tll")));
    }
}

// A device that never answers: the send path's time-out texts, status 1.
// The serial device goes away while the tool waits for an answer: it ends at once with
// the port's message, not after the answer time-out.
TEST_F(CliTest, LostSerialPortEndsTheToolAtOnce) {
    auto sim = std::make_unique<Sim>(
        QStringList{"--serial", "--no-answer", "--log", file("sim.log")}, "serial");
    ASSERT_TRUE(sim->ready());
    QProcess cli;
    cli.start(cli_path(), {"--serial", sim->value(), "send", "RCEL"});
    cli.closeWriteChannel();
    QDeadlineTimer deadline(10000);
    while (received(file("sim.log")).empty() && !deadline.hasExpired()) cli.waitForFinished(20);
    ASSERT_FALSE(received(file("sim.log")).empty());
    sim.reset();
    const CliResult r = finish_cli(cli, 10000);
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(contains(r.err, text::kSerialPortLost)) << r.err;
    EXPECT_FALSE(contains(r.err, text::kNoConnect)) << r.err;
}

TEST_F(CliTest, SilentDeviceTimesOut) {
    {
        Sim sim({"--serial", "--no-answer"}, "serial");
        ASSERT_TRUE(sim.ready());
        const CliResult r = run_cli({"--serial", sim.value(), "send", "RCEL"});
        EXPECT_EQ(r.code, 1);
        EXPECT_TRUE(contains(r.err, text::kNoConnect)) << r.err;
        EXPECT_TRUE(r.out.empty());
    }
    {
        Sim sim({"--listen", "0", "--no-answer"}, "listening");
        ASSERT_TRUE(sim.ready());
        const CliResult r =
            run_cli({"--tcp", "127.0.0.1:" + sim.value(), "--fast", "pull", file("x.dat")});
        EXPECT_EQ(r.code, 1);
        EXPECT_TRUE(contains(r.err, text::kAnswerTimeout)) << r.err;
        EXPECT_FALSE(QFile::exists(file("x.dat")));
    }
}

// ------------------------------------------------------------------------ single commands

TEST_F(CliTest, SingleCommandsReachTheDeviceAndSendPrintsTheAnswer) {
    Sim sim({"--serial", "--address", "07", "--log", file("sim.log"), "--split"}, "serial");
    ASSERT_TRUE(sim.ready());
    const QStringList link = {"--serial", sim.value(), "--address", "07"};

    EXPECT_EQ(run_cli(link + QStringList{"title", "1B", "5", "テスト"}).code, 0);
    EXPECT_EQ(run_cli(link + QStringList{"page", "2B", "auto"}).code, 0);
    EXPECT_EQ(run_cli(link + QStringList{"startup", "1T", "64"}).code, 0);
    EXPECT_EQ(run_cli(link + QStringList{"title", "2T", "1", "仮", "--no-memory"}).code, 0);

    // Answers arrive in two pieces (--split) and are printed whole, without the address.
    const CliResult title = run_cli(link + QStringList{"send", "RCT01B05"});
    EXPECT_EQ(title.code, 0) << title.err;
    std::string blank;
    for (int i = 0; i < 11; ++i) blank += "2121";
    EXPECT_EQ(title.out, "CT01B05254625392548" + blank + "\n");
    EXPECT_EQ(run_cli(link + QStringList{"send", "RP02B"}).out, "P02BA\n");
    EXPECT_EQ(run_cli(link + QStringList{"send", "RSUS01T"}).out, "SUS01T64\n");

    const auto frames = received(file("sim.log"), "serial");
    ASSERT_EQ(frames.size(), 7u);
    EXPECT_EQ(frames[1], "07P02BAS\\r\\n");
    EXPECT_EQ(frames[2], "07SUS01T64\\r\\n");
    EXPECT_EQ(frames[3].substr(0, 9), "07CN02T01");  // --no-memory

    // A device error answer is printed and fails.
    const CliResult error = run_cli(link + QStringList{"send", "NOSUCH"});
    EXPECT_EQ(error.code, 1);
    EXPECT_EQ(error.out, "E3\n");
    EXPECT_TRUE(contains(error.err, text::kCommandError));

    // Broadcast: every device takes it, none answers on the serial line.
    const CliResult all =
        run_cli({"--serial", sim.value(), "--address", "FF", "--fast", "page", "1T", "3"});
    EXPECT_EQ(all.code, 0) << all.err;
    EXPECT_EQ(received(file("sim.log"), "serial").back(), "FFP01T03\\r\\n");
}

// One cue fired once over the serial line: one line per step, exit 1 when a step failed.
TEST_F(CliTest, CueGoFiresOneCueWithALinePerStep) {
    write_file(file("show.csv"), "cue,action,line,page,text,memory,seconds\n"
                                 "A,page,1T,2,,,\nB,title,1B,5,速報,nomemory,\nB,page,1B,5,,,\n");
    struct Case {
        QStringList sim_args;
        int code;
        const char* out;
    } cases[] = {
        {{}, 0, "1/2 title 1B 5 速報 nomemory: done\n2/2 page 1B 5: done\n"},
        {{"--error", "E3"}, 1, "1/2 title 1B 5 速報 nomemory: failed\n2/2 page 1B 5: not sent\n"},
    };
    for (const Case& c : cases) {
        Sim sim(QStringList{"--serial", "--log", file("sim.log")} + c.sim_args, "serial");
        ASSERT_TRUE(sim.ready());
        const CliResult r = run_cli({"--serial", sim.value(), "--fast", "cue", file("show.csv"), "--go", "2"});
        EXPECT_EQ(r.code, c.code) << r.err;
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(received(file("sim.log"), "serial").size(), c.code == 0 ? 2u : 1u);
        EXPECT_EQ(contains(r.err, "送信されなかったコマンド: page 1B 5"), c.code != 0) << r.err;
    }
    EXPECT_EQ(run_cli({"--serial", "/dev/null", "cue", file("show.csv")}).code, 2);  // no --go

    // With several devices each runs its part: the steps for every device and its own.
    write_file(file("fleet.csv"), "cue,action,line,page,text,memory,seconds,device\n"
                                  "A,page,1T,2,,,,\nA,page,1T,3,,,,2\nA,startup,1B,4,,,,1\nA,wait,,,,,0,\n");
    ListeningCli cli({"--listen", "0", "--devices", "2", "--fast", "cue", file("fleet.csv"), "--go", "1"});
    ASSERT_NE(cli.port(), 0);
    Sim devices({"--connect", "127.0.0.1:" + QString::number(cli.port()), "--count", "2", "--log", file("devices.log")},
                "connected");
    ASSERT_TRUE(devices.ready());
    const CliResult r = cli.finish();
    EXPECT_EQ(r.code, 0) << r.err;
    ASSERT_TRUE(devices.wait_end());
    EXPECT_EQ(received(file("devices.log"), "device 1"),
              (std::vector<std::string>{"00P01T02\\r\\n", "00SUS01B04\\r\\n"}));
    EXPECT_EQ(received(file("devices.log"), "device 2"),
              (std::vector<std::string>{"00P01T02\\r\\n", "00P01T03\\r\\n"}));
}

// The device network read goes out without an address at the dialog's 200 ms pace, and the
// nine values are printed one per line.
TEST_F(CliTest, NetworkShowReadsTheNineValuesAtTheDialogsPace) {
    Sim sim({"--serial", "--log", file("sim.log")}, "serial");
    ASSERT_TRUE(sim.ready());
    const CliResult r = run_cli({"--serial", sim.value(), "network", "show"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out,
              "Active Address   000.000.000.000\n"
              "Gateway Address  000.000.000.000\n"
              "IP Address       000.000.000.000\n"
              "MAC Address      00-00-00-00-00-00\n"
              "Port Number      09004\n"
              "Subnet Mask      Class C\n"
              "Keep Alive       OFF\n"
              "Time Register    6\n"
              "Version Number   0.00\n");

    // "0.437 serial < RGA\r\n": the reads are a timer period apart.
    const std::string log = read_file(file("sim.log"));
    std::vector<double> times;
    std::size_t at = 0;
    while ((at = log.find(" serial < ", at)) != std::string::npos) {
        const std::size_t start = log.rfind('\n', at);
        times.push_back(std::stod(log.substr(start == std::string::npos ? 0 : start + 1)));
        ++at;
    }
    ASSERT_EQ(times.size(), 9u);
    EXPECT_EQ(received(file("sim.log"), "serial").front(), "RAA\\r\\n");
    for (std::size_t i = 1; i < times.size(); ++i) EXPECT_GE(times[i] - times[i - 1], 0.15);
}

// diff prints what differs and says so in its status; push --changed-only makes the device
// equal to the document, after which only the items changed since differ.
TEST_F(CliTest, DiffAndPushChangedOnly) {
    Model m = sample_model();
    save(m, file("doc.dat"));
    Sim sim({"--serial"}, "serial");
    ASSERT_TRUE(sim.ready());
    const QStringList link = {"--serial", sim.value(), "--fast", "--quiet"};
    const CliResult before = run_cli(link + QStringList{"diff", file("doc.dat")});
    EXPECT_EQ(before.code, 1) << before.err;
    EXPECT_TRUE(contains(before.out, "白レベル\t3\t")) << before.out;
    ASSERT_EQ(run_cli(link + QStringList{"push", "--changed-only", file("doc.dat")}).code, 0);
    const CliResult same = run_cli(link + QStringList{"diff", file("doc.dat")});
    EXPECT_EQ(same.code, 0) << same.out << same.err;
    EXPECT_TRUE(same.out.empty()) << same.out;

    m.edge_level = 2;
    m.switch_time[0][1] = 42;
    save(m, file("doc.dat"));
    const CliResult two = run_cli(link + QStringList{"diff", file("doc.dat")});
    EXPECT_EQ(two.code, 1);
    EXPECT_EQ(two.out, "ch.1 Top 02 切換え時間\t42\t07\nエッジレベル\t2\t0\n");
}

}  // namespace
}  // namespace tqv::clitest
