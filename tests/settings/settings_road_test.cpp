// A paced "全設定" against the simulated device on a pseudo-terminal, with the real timer:
// the device receives every line, and the operator is told once, at the end.
#include <QFile>
#include <QPushButton>

#include "app/menu_commands.h"
#include "serial_simulator.h"
#include "app_fixture.h"
#include "settings/title_display_dialog.h"

namespace tqv::test {
namespace {

TEST_F(AppTest, DisplayLinesReachTheSimulatedDevice) {
#ifndef TQV_SIM_PATH
    GTEST_SKIP() << "tqv7310nx-sim is not part of this build";
#else
    SerialSimulator sim;
    ASSERT_TRUE(sim.open(link)) << sim.error;
    window->show();

    // Four lines 500 ms apart; the answers during the run show nothing, and the run ends
    // with the last answer, without a box popping up after it.
    window->run_command(command::kTitleDisplay);
    auto* display = opener.last<TitleDisplayDialog>();
    ASSERT_NE(display, nullptr);
    ASSERT_TRUE(run_until_called([&](std::function<void()> done) {
        QObject::connect(&display->bulk(), &BulkRunner::ended, display, done);
        display->set_all_button()->click();
    })) << "the run never finished";
    EXPECT_FALSE(display->bulk().running());
    EXPECT_TRUE(ui.boxes.empty());
    const std::string sent = sim.logged();
    for (const char* line : {"00CTD01T", "00CTD01B", "00CTD02T", "00CTD02B"}) {
        EXPECT_NE(sent.find(std::string(" < ") + line + std::string(64, 'N')), std::string::npos)
            << line << "\n"
            << sent;
    }
#endif
}

}  // namespace
}  // namespace tqv::test
