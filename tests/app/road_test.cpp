// The road of one command, end to end: the operator picks page 05 for ch.1 Top in the page
// switch dialog and presses its "設定"; the simulated device on a pseudo-terminal receives
// the framed command and answers, and the operator is told "Success". The same road for
// the first cue after start.
#include <QComboBox>
#include <QFile>
#include <QPushButton>

#include "app/cue_list_window.h"
#include "app/menu_commands.h"
#include "app/page_switch_dialog.h"
#include "app_fixture.h"
#include "control/cue_show.h"
#include "core/cues.h"
#include "serial_simulator.h"

namespace tqv::test {
namespace {

// The main window shown over the simulated device on a pseudo-terminal, right after start.
class RoadTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        if (!SerialSimulator::available()) GTEST_SKIP() << "tqv7310nx-sim is not part of this build";
        ASSERT_TRUE(sim.open(link)) << sim.error;
        window->show();
    }
    SerialSimulator sim;
};

TEST_F(RoadTest, PageSwitchReachesTheDeviceAndSuccessIsShown) {
    window->run_command(command::kPageSwitch);
    auto* dialog = opener.last<PageSwitchDialog>();
    ASSERT_NE(dialog, nullptr);
    dialog->page_list(0)->setCurrentIndex(4);
    EXPECT_EQ(model.current_page[0], 4);

    ASSERT_TRUE(run_until_called([&](std::function<void()> done) {
        ui.on_box = done;
        dialog->set_button(0)->click();
    })) << "no answer from the simulated device";
    ui.on_box = nullptr;

    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "Success");
    EXPECT_EQ(ui.boxes[0].caption, "設定完了");
    EXPECT_EQ(model.answer_pending, 0);
    // The device logged the line before it answered it.
    EXPECT_NE(sim.logged().find(" < 00P01T05\\r\\n"), std::string::npos) << sim.logged();
}

// Right after start, with no dialog opened before, the first cue of the cue window carries
// the slave address as every dialog's command does, and the device carries it out.
TEST_F(RoadTest, TheFirstCueAfterStartIsAddressed) {
    window->run_command(command::kCueList);
    CueListWindow* cues = window->cue_window();
    ASSERT_NE(cues, nullptr);
    files.cue_files = {file("show.csv")};
    save_cue_file(file("show.csv"), {{"A", {{CueAction::page, 0, 4, "", true, 0}}}});  // page 05
    ASSERT_TRUE(cues->open_file());

    CueOutcome outcome;
    ASSERT_TRUE(run_until_called([&](std::function<void()> done) {
        window->cue_show().go([&, done](const CueOutcome& o) {
            outcome = o;
            done();
        });
    })) << "the cue never ended";
    EXPECT_EQ(outcome.end, RunEnd::completed) << outcome.message;
    EXPECT_NE(sim.logged().find(" < 00P01T05\\r\\n"), std::string::npos) << sim.logged();
    EXPECT_EQ(model.current_page[0], 4);
}

}  // namespace
}  // namespace tqv::test
