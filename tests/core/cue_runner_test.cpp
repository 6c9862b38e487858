// A cue run tick by tick against a scripted link, and the lines a vision mixer sends.
#include "core/cue_runner.h"

#include <gtest/gtest.h>

#include "core/rosstalk.h"

namespace tqv {
namespace {

using Kind = ExchangeEnd::Kind;

class CueRun : public ::testing::Test {
protected:
    CueRun() {
        std::vector<Cue> cues;
        EXPECT_TRUE(parse_cue_csv("cue,action,line,page,text,memory,seconds\n"
                                  "Open,page,1T,5,,,\nOpen,wait,,,,,2\nOpen,title,1B,1,あ,,\n"
                                  "Open,startup,2B,AUTO,,,\nNext,page,2T,1,,,\n",
                                  cues, error));
        list = CueList(cues);
    }
    // Reports how the command in flight ended, as the link would: address in front.
    bool report(Kind kind, std::string text = {}) {
        return runner.command_ended({kind, "00" + runner.body_in_flight(), std::move(text)});
    }
    CueFileError error;
    CueList list;
    std::vector<std::string> sent;
    std::function<void(const std::string&)> on_send;  // a link that reports at once
    CueRunner runner{[this](const std::string& body) {
        sent.push_back(body);
        if (on_send) on_send(body);
    }};
};

TEST_F(CueRun, EachCueEndsOneWayAndNamesTheStepsNotSent) {
    // Events: a: answered, e: error answer, t: time-out, l: lost, n: not sent, w: 1999 ms,
    // W: 1 ms more, s: stop.
    struct Case { const char* events; CueEnd end; int step; std::size_t sent, not_sent; const char* reason; };
    const Case cases[] = {
        {"awWaa", CueEnd::completed, 0, 3, 0, ""},
        {"awWe", CueEnd::failed, 3, 2, 1, "E3"},
        {"t", CueEnd::failed, 1, 1, 3, "Answer が､きません"},
        {"awWal", CueEnd::failed, 4, 3, 0, "E3"},
        {"awWn", CueEnd::failed, 3, 2, 2, "E3"},
        {"aws", CueEnd::stopped, 2, 1, 2, ""},
        {"s", CueEnd::stopped, 1, 1, 3, ""},
    };
    for (const Case& c : cases) {
        sent.clear();
        ASSERT_EQ(cue_go(list, runner), GoResult::started);
        for (const char* e = c.events; *e; ++e) {
            if (*e == 'w' || *e == 'W') runner.tick(*e == 'w' ? 1999 : 1);
            if (*e == 's') runner.stop();
            const std::string kinds = "aetnl";  // in the order of ExchangeEnd::Kind
            if (auto k = kinds.find(*e); k != std::string::npos) {
                EXPECT_TRUE(report(Kind(k), *e == 't' ? "" : "E3")) << c.events << " at " << *e;
            }
        }
        auto outcome = runner.take_outcome();
        ASSERT_TRUE(outcome && !runner.running()) << c.events;
        EXPECT_EQ(outcome->end, c.end) << c.events;
        EXPECT_EQ(outcome->step, c.step) << c.events;
        EXPECT_EQ(sent.size(), c.sent) << c.events;
        EXPECT_EQ(outcome->not_sent.size(), c.not_sent) << c.events;
        EXPECT_EQ(outcome->reason, c.reason) << c.events;
        EXPECT_FALSE(report(Kind::answered)) << "nothing is awaited after the end";
        list.select_next(0);
    }
    EXPECT_EQ(sent, (std::vector<std::string>{"P01T05\r\n"}));
    sent.clear();
    cue_go(list, runner);
    report(Kind::answered);
    runner.tick(2000);
    EXPECT_EQ(sent.at(1).substr(0, 11), "CT01B012422");
    EXPECT_FALSE(runner.command_ended({Kind::error_answer, "00P01T05\r\n", "E3"})) << "not ours";
    report(Kind::error_answer, "Command Error");
    EXPECT_EQ(runner.steps(), (std::vector<StepState>{StepState::done, StepState::done,
                                                      StepState::failed, StepState::not_sent}));
    EXPECT_EQ(runner.take_outcome()->message(),
              "キュー \"Open\" ステップ 3/4 (title 1B 1 あ memory) で中断しました。\n"
              "Command Error\n送信されなかったコマンド: startup 2B AUTO");
}

TEST_F(CueRun, GoWhileACueRunsIsRefusedAndTheListStays) {
    ASSERT_EQ(cue_go(list, runner), GoResult::started);
    EXPECT_EQ(cue_go(list, runner), GoResult::cue_running);
    EXPECT_EQ(cue_fire(list, runner, 0), GoResult::cue_running);
    EXPECT_EQ(list.current(), 0u);
    EXPECT_EQ(list.next(), 1u);
    runner.stop();
    EXPECT_EQ(cue_fire(list, runner, 5), GoResult::no_next);
    EXPECT_EQ(cue_fire(list, runner, 1), GoResult::started);
    report(Kind::answered);
    EXPECT_EQ(runner.take_outcome()->end, CueEnd::completed);
    EXPECT_EQ(cue_go(list, runner), GoResult::no_next);
}

TEST_F(CueRun, ALinkThatReportsAtOnceRunsLongCuesWithoutRecursion) {
    Cue cue{"Long", std::vector<CueStep>(kCueMaxRows, list.cues()[1].steps[0])};
    on_send = [this](const std::string& body) { runner.command_ended({Kind::answered, body, ""}); };
    ASSERT_TRUE(runner.start(cue));
    EXPECT_EQ(sent.size(), std::size_t(kCueMaxRows));
    EXPECT_EQ(runner.take_outcome()->end, CueEnd::completed);
    on_send = [this](const std::string& body) { runner.command_ended({Kind::not_sent, body, ""}); };
    ASSERT_TRUE(runner.start(cue));
    EXPECT_EQ(runner.take_outcome()->not_sent.size(), std::size_t(kCueMaxRows));
}

TEST_F(CueRun, RossTalkLinesFireCuesAndOverlongLinesAreDropped) {
    struct Case { const char* line; RossTalkCommand command; };
    using K = RossTalkCommand::Kind;
    const Case cases[] = {
        {"GO", {K::go, 0}},          {"  go \r\n", {K::go, 0}},  {"GPI 3", {K::fire, 3}},
        {"gpi\t 012", {K::fire, 12}}, {"CC 1:7", {K::fire, 7}},  {"cc 1:99999", {K::fire, 99999}},
        {"GO 1", {}},                {"GPI 0", {}},              {"GPI 100000", {}},
        {"GPI", {}},                 {"CC 2:7", {}},             {"CC 1: 7", {}},
        {"GPI 3x", {}},              {"GOGO", {}},               {"", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(parse_rosstalk(c.line), c.command) << c.line;

    RossTalkLines lines;
    std::string flood;
    for (int i = 0; i < 10000; ++i) flood += "GO\r\n";
    EXPECT_EQ(lines.feed(flood + "GPI ").lines.size(), 10000u);
    auto fed = lines.feed("1\n" + std::string(kRossTalkMaxLine + 1, 'x'));
    EXPECT_EQ(fed.lines, std::vector<std::string>{"GPI 1"});
    EXPECT_EQ(fed.dropped, 1u);
    fed = lines.feed(std::string(kRossTalkMaxLine, 'x') + "\nCC 1:2\n" +
                     std::string(kRossTalkMaxLine - 1, 'y') + "\n");
    EXPECT_EQ(fed.lines.size(), 2u);
    EXPECT_EQ(fed.lines.at(0), "CC 1:2");
    EXPECT_EQ(fed.lines.at(1).size(), kRossTalkMaxLine - 1) << "a line of 4 KiB with its LF is kept";
}

}  // namespace
}  // namespace tqv
