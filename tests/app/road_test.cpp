// The road of one command, end to end: the operator picks page 05 for ch.1 Top in the page
// switch dialog and presses its "設定"; the simulated device on a pseudo-terminal receives
// the framed command and answers, and the operator is told "Success".
#include <QComboBox>
#include <QFile>
#include <QPushButton>

#include "app/menu_commands.h"
#include "app/page_switch_dialog.h"
#include "serial_simulator.h"
#include "app_fixture.h"

namespace tqv::test {
namespace {

TEST_F(AppTest, PageSwitchReachesTheDeviceAndSuccessIsShown) {
#ifndef TQV_SIM_PATH
    GTEST_SKIP() << "tqv7310nx-sim is not part of this build";
#else
    SerialSimulator sim;
    ASSERT_TRUE(sim.open(link)) << sim.error;
    window->show();

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
#endif
}

}  // namespace
}  // namespace tqv::test
