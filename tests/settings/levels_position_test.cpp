// The character level and display position dialogs: what they show when they open (after
// "new", after a device read-back), what a choice writes, which command each "設定" sends,
// and one send to the simulated device over a real serial link.
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QPushButton>
#include <QTcpSocket>

#include "app/menu_commands.h"
#include "serial_simulator.h"
#include "app_fixture.h"
#include "fake_transport.h"
#include "settings/character_level_dialog.h"
#include "settings/position_dialog.h"

namespace tqv::test {
namespace {

using namespace command;
using Frames = std::vector<std::string>;

class LevelsPositionTest : public DialogTest {
  protected:
    static std::string items(const QComboBox& list) {
        std::string all;
        for (int i = 0; i < list.count(); ++i) all += list.itemText(i).toStdString() + " ";
        return all;
    }
};

TEST_F(LevelsPositionTest, LevelsAfterNewShowOneAndEachButtonSendsItsOwnLevel) {
    model.white_level = 3;
    model.edge_level = 0;
    window->run_command(kNew);

    auto* dialog = open<CharacterLevelDialog>(kCharacterLevels);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle().toStdString(), "文字レベルの設定");
    EXPECT_EQ(context.windows.notify_window.data(), static_cast<QWidget*>(dialog));
    for (const char* name : {"White Level", "Edge Level"}) {
        QComboBox* list = list_named(*dialog, name);
        ASSERT_NE(list, nullptr) << name;
        EXPECT_EQ(items(*list), "0 1 2 3 ") << name;
        EXPECT_EQ(list->currentText().toStdString(), "1") << name;
        EXPECT_EQ(qobject_cast<QGroupBox*>(list->parentWidget())->title().toStdString(), name);
    }
    EXPECT_EQ(dialog->white_button()->text().toStdString(), "設定");
    EXPECT_EQ(list_named(*dialog, "Slave Address"), dialog->slave_address_list());

    dialog->white_button()->click();
    dialog->edge_button()->click();
    EXPECT_EQ(wire.frames, (Frames{"00CWL1\r\n", "00CEL1\r\n"}));

    wire.frames.clear();
    list_named(*dialog, "Edge Level")->setCurrentIndex(3);
    EXPECT_TRUE(wire.frames.empty()) << "a choice alone sends nothing";
    EXPECT_EQ(model.edge_level, 3);
    EXPECT_EQ(model.white_level, 1);
    dialog->edge_button()->click();
    EXPECT_EQ(wire.frames, (Frames{"00CEL3\r\n"}));
    dialog->white_button()->click();
    EXPECT_EQ(wire.frames.back(), "00CWL1\r\n") << "the white level is untouched";
}

TEST_F(LevelsPositionTest, PositionsAfterNewShowSevenAndEachButtonSendsItsOwnLine) {
    model.position_offset = {0, 1, 2, 3};
    window->run_command(kNew);

    auto* dialog = open<PositionDialog>(kPosition);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle().toStdString(), "表示位置微調整");
    for (int line = 0; line < kTitleLines; ++line) {
        QComboBox* list = list_named(*dialog, kTitleLineGroups[line]);
        ASSERT_EQ(list, dialog->offset_list(line)) << kTitleLineGroups[line];
        EXPECT_EQ(items(*list), "00 01 02 03 04 05 06 07 08 09 10 11 12 13 14 15 ");
        EXPECT_EQ(list->currentText().toStdString(), "07");
    }
    dialog->set_button(3)->click();
    EXPECT_EQ(wire.frames, (Frames{"00CTDPO02B07\r\n"}));

    wire.frames.clear();
    list_named(*dialog, "ch.1 Bottom")->setCurrentIndex(15);
    EXPECT_TRUE(wire.frames.empty());
    EXPECT_EQ(model.position_offset, (std::array<int, 4>{7, 15, 7, 7}));
    dialog->slave_address_list()->setCurrentIndex(kBroadcastIndex);
    for (int line : {1, 0, 2}) dialog->set_button(line)->click();
    EXPECT_EQ(wire.frames,
              (Frames{"FFCTDPO01B15\r\n", "FFCTDPO01T07\r\n", "FFCTDPO02T07\r\n"}));
}

// Levels and offsets are saved in the settings document, so an operator change must be
// caught by the question on exit; the slave address and the device's own reports are not
// operator edits of the document.
TEST_F(LevelsPositionTest, OnlyOperatorChangesToDocumentValuesMarkTheDocumentChanged) {
    auto* levels = open<CharacterLevelDialog>(kCharacterLevels);
    levels->slave_address_list()->setCurrentIndex(5);
    EXPECT_EQ(model.slave_address_index, 5);
    levels->white_list()->setCurrentIndex(1);  // already the value
    EXPECT_EQ(model.document_dirty, 0);
    levels->white_list()->setCurrentIndex(2);
    EXPECT_EQ(model.white_level, 2);
    EXPECT_EQ(model.document_dirty, 1);
    levels->close();

    model.document_dirty = 0;
    auto* positions = open<PositionDialog>(kPosition);
    EXPECT_EQ(positions->slave_address_list()->currentIndex(), 5) << "the choice carries over";
    EXPECT_EQ(model.document_dirty, 0) << "opening changes nothing";
    positions->offset_list(2)->setCurrentIndex(0);
    EXPECT_EQ(model.document_dirty, 1);
}

TEST_F(LevelsPositionTest, ValuesReadBackFromTheDeviceAreShownAtTheNextOpening) {
    for (const char* answer : {"00CWL2\r\n", "00CEL0\r\n", "00CTDPO02T12\r\n", "00CTDPO01B03\r\n"})
        link.dispatcher().dispatch_serial(answer);

    auto* levels = open<CharacterLevelDialog>(kCharacterLevels);
    EXPECT_EQ(levels->white_list()->currentText().toStdString(), "2");
    EXPECT_EQ(levels->edge_list()->currentText().toStdString(), "0");
    levels->edge_button()->click();
    levels->close();

    auto* positions = open<PositionDialog>(kPosition);
    const char* expected[] = {"07", "03", "12", "07"};
    for (int line = 0; line < kTitleLines; ++line)
        EXPECT_EQ(positions->offset_list(line)->currentText().toStdString(), expected[line]);
    positions->set_button(2)->click();
    EXPECT_EQ(wire.frames, (Frames{"00CEL0\r\n", "00CTDPO02T12\r\n"}));
    EXPECT_EQ(model.document_dirty, 0);
}

TEST_F(LevelsPositionTest, CaptionNamesTheSelectedPeer) {
    // Server role with one device connected and chosen as the target of the commands.
    QTcpSocket device;
    ASSERT_TRUE(connect_one_device(device));

    auto* levels = open<CharacterLevelDialog>(kCharacterLevels);
    EXPECT_EQ(levels->windowTitle().toStdString(), "文字レベルの設定 127.0.0.1");
    levels->close();
    auto* positions = open<PositionDialog>(kPosition);
    EXPECT_EQ(positions->windowTitle().toStdString(), "表示位置の微調整 127.0.0.1");
}

TEST_F(LevelsPositionTest, EdgeLevelReachesTheSimulatedDevice) {
#ifndef TQV_SIM_PATH
    GTEST_SKIP() << "tqv7310nx-sim is not part of this build";
#else
    link.send_path().set_serial_transport(&link.serial());  // the real port, not the recorder
    SerialSimulator sim;
    ASSERT_TRUE(sim.open(link)) << sim.error;

    auto* dialog = open<CharacterLevelDialog>(kCharacterLevels);
    ASSERT_NE(dialog, nullptr);
    dialog->slave_address_list()->setCurrentIndex(0);
    dialog->edge_list()->setCurrentIndex(3);
    ASSERT_TRUE(run_until_called([&](std::function<void()> done) {
        ui.on_box = done;
        dialog->edge_button()->click();
    })) << "no answer from the simulated device";
    ui.on_box = nullptr;

    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "Success");
    EXPECT_EQ(model.answer_pending, 0);
    const std::string logged = sim.logged();
    EXPECT_NE(logged.find(" < 00CEL3\\r\\n"), std::string::npos) << logged;
#endif
}

}  // namespace
}  // namespace tqv::test
