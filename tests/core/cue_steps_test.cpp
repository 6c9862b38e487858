#include "core/cue_steps.h"

#include <gtest/gtest.h>

#include "core/answers.h"
#include "core/commands.h"
#include "core_fixture.h"

namespace tqv {
namespace {

struct CueRun : CoreFixture {
    AnswerDispatcher dispatcher{path};
    std::unique_ptr<CueSteps> steps;
    std::unique_ptr<tqv::Run> run;

    // Runs `cue` on TCP tick by tick; each frame gets the next of `answers` ("GO" once they
    // run out). 中止 before step `stop_before` when given.
    static Cue cue_of(const std::string& csv) {
        std::vector<Cue> cues;
        CueFileError error;
        EXPECT_TRUE(parse_cue_csv("cue,action,line,page,text,memory,seconds\n" + csv, cues, error))
            << error.message();
        return cues.empty() ? Cue{} : cues.front();
    }
    void run_cue(Cue cue, std::vector<std::string> answers, int stop_before = 0) {
        use_tcp();
        steps = std::make_unique<CueSteps>(std::move(cue));
        run = std::make_unique<tqv::Run>(path, *steps);
        ASSERT_TRUE(run->start(true));
        std::size_t answered = 0;
        for (int i = 0; i < 50 && run->running(); ++i) {
            if (stop_before != 0 && run->step() + 1 == stop_before) run->stop();
            run->tick();
            for (; answered < tcp.frames.size(); ++answered) {
                const std::string a = answered < answers.size() ? answers[answered] : "GO";
                dispatcher.dispatch_tcp("00" + a + "\r\n");
            }
        }
    }
    std::string states() const {
        std::string s;
        for (StepState st : cue_step_states(*run)) s += std::string(s.empty() ? "" : ",") + step_state_name(st);
        return s;
    }
};

TEST_F(CueRun, StepsGoThroughTheEngineAndEndWithOneMessageNamingCueStepAndUnsent) {
    const std::string show =
        "Open,title,1T,5,速報,nomemory,\nOpen,page,1T,5,,,\nOpen,wait,,,,,3\n"
        "Open,startup,2B,AUTO,,,\n";
    struct Case {
        std::vector<std::string> answers;
        int stop_before;
        RunEnd end;
        int frames;
        const char* states;
        const char* message;  // empty: no message
    };
    const Case cases[] = {
        {{}, 0, RunEnd::completed, 3, "done,done,done,done", ""},
        {{"GO", "E3"}, 0, RunEnd::error_answer, 2, "done,failed,not sent,not sent",
         "キュー \"Open\" ステップ 2/4 (P01T05) で中断しました。\nSocket Command\n応答済み 1/4\n"
         "送信されなかったコマンド: wait 3, startup 2B AUTO"},
        {{}, 2, RunEnd::stopped, 1, "done,not sent,not sent,not sent",
         "キュー \"Open\" ステップ 2/4 (P01T05) で中止しました。\n応答済み 1/4\n"
         "送信されなかったコマンド: page 1T 5, wait 3, startup 2B AUTO"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        tcp.frames.clear();
        ui.clear();
        model = Model{};
        run_cue(cue_of(show), c.answers, c.stop_before);
        EXPECT_EQ(run->end(), c.end);
        ASSERT_EQ(tcp.frames.size(), std::size_t(c.frames));
        EXPECT_EQ(states(), c.states);
        EXPECT_EQ(run->closing_text(), c.message);
        EXPECT_EQ(model.bulk_active, 0);
        // The very commands the dialogs send, and the model as the dialogs leave it.
        EXPECT_EQ(tcp.frames[0].substr(2), step_body({CueAction::title, 0, 4, "速報", false, 0}));
        EXPECT_EQ(slot_text(model.title(0, 4)), "\x91\xac\x95\xf1");
        EXPECT_EQ(model.current_page[0], c.frames >= 2 ? 4 : 0);
        EXPECT_EQ(model.startup_page[3], c.frames == 3 ? kAutoPage : 0);
    }
    // The wait is held its seconds after the step before, whatever the pace, and the step
    // after it follows at once.
    EXPECT_EQ(steps->hold_ms(3), 3000);
    EXPECT_EQ(steps->hold_ms(4), 0);
    EXPECT_EQ(steps->period_ms(4), 0);
}

TEST_F(CueRun, ATitleTheDeviceCannotShowIsRefusedBeforeAnythingOfItGoesOut) {
    Cue bad = cue_of("Bad,page,1T,2,,,\n");
    bad.steps.push_back({CueAction::title, 1, 0, "ABC😀", true});
    run_cue(bad, {});
    EXPECT_EQ(run->end(), RunEnd::refused);
    EXPECT_EQ(tcp.frames.size(), 1u);
    EXPECT_EQ(states(), "done,not sent");
    // The operator is told which character it is.
    ASSERT_FALSE(ui.texts().empty());
    EXPECT_NE(ui.texts().back().find("「😀」"), std::string::npos) << ui.texts().back();
}

}  // namespace
}  // namespace tqv
