// The road of one command, end to end: the operator picks page 05 for ch.1 Top in the page
// switch dialog and presses its "設定"; the simulated device on a pseudo-terminal receives
// the framed command and answers, and the operator is told "Success".
#include <QComboBox>
#include <QFile>
#include <QPushButton>

#include "app/menu_commands.h"
#include "app/page_switch_dialog.h"
#include "app/simulator_process.h"
#include "app_fixture.h"

namespace tqv::test {
namespace {

std::string read_text(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll().toStdString();
}

TEST_F(AppTest, PageSwitchReachesTheDeviceAndSuccessIsShown) {
#ifndef TQV_SIM_PATH
    GTEST_SKIP() << "tqv7310nx-sim is not part of this build";
#else
    const QString log = dir.filePath(QStringLiteral("sim.log"));
    SimulatorProcess sim;
    QString error;
    const QString pty = sim.start_serial(QStringLiteral(TQV_SIM_PATH),
                                         {QStringLiteral("--log"), log}, 10000, &error);
    ASSERT_FALSE(pty.isEmpty()) << error.toStdString();
    ASSERT_TRUE(link.open_serial(pty)) << "boxes: " << ui.boxes.size();
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
    EXPECT_NE(read_text(log).find(" < 00P01T05\\r\\n"), std::string::npos) << read_text(log);
#endif
}

}  // namespace
}  // namespace tqv::test
