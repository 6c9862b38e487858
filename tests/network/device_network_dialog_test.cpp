// The device network dialog: each 設定 as it leaves on the serial line (never addressed),
// the paced read of all values, and a read from the simulated device on a pseudo-terminal.
#include "network/device_network_dialog.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include "serial_simulator.h"
#include "core/texts.h"
#include "network_fixture.h"
#include "sim_process.h"

namespace tqv::test {
namespace {

using Frames = std::vector<std::string>;
using Dialog = DeviceNetworkDialog;

class DeviceNetwork : public NetworkTest {
  protected:
    void SetUp() override {
        NetworkTest::SetUp();
        model.ip_address = {192, 168, 1, 3};
        model.subnet_class = 0;
        model.keep_alive = 0;
        model.time_register = 0;
        set_slot_text(model.device_port_number, "09004");
        // A slave address is chosen; this dialog's commands must not carry it.
        model.slave_address_index = 7;
    }
    static std::string text_of(const QLineEdit* field) { return field->text().toStdString(); }
};

TEST_F(DeviceNetwork, EachSetButtonSendsItsValueWithoutAnAddress) {
    Dialog dialog(context, nullptr);
    dialog.address_field(Dialog::kIpAddress)->setText(QStringLiteral("10.0.0.254"));
    dialog.address_set_button(Dialog::kIpAddress)->click();
    EXPECT_EQ(model.ip_address, (Ipv4{10, 0, 0, 254}));
    dialog.address_field(Dialog::kActiveAddress)->setText(QStringLiteral("172.16.0.1"));
    dialog.address_set_button(Dialog::kActiveAddress)->click();

    // A choice alone sends nothing.
    dialog.subnet_list()->setCurrentIndex(2);
    dialog.keep_alive_list()->setCurrentIndex(1);
    dialog.time_register_list()->setCurrentIndex(5);
    EXPECT_EQ(serial.frames.size(), 2u);
    EXPECT_EQ(model.subnet_class, 2);
    EXPECT_EQ(model.keep_alive, 1);
    EXPECT_EQ(model.time_register, 5);

    dialog.subnet_set_button()->click();
    dialog.keep_alive_set_button()->click();
    dialog.time_register_set_button()->click();
    dialog.port_field()->setText(QStringLiteral("10001"));
    dialog.port_set_button()->click();
    EXPECT_EQ(slot_text(model.device_port_number), "10001");

    EXPECT_EQ(serial.frames, (Frames{"IA010.000.000.254\r\n", "AA172.016.000.001\r\n", "SMC\r\n",
                                     "KAON\r\n", "TR6\r\n", "PN10001\r\n"}));
}

TEST_F(DeviceNetwork, IncompleteAddressIsRefusedWithAWarning) {
    Dialog dialog(context, nullptr);
    // Typed key by key, kept as typed, and refused when set.
    auto type = [](QLineEdit* field, const char* text) {
        field->clear();
        for (QChar c : QString::fromLatin1(text)) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
            QCoreApplication::sendEvent(field, &press);
        }
        EXPECT_EQ(field->text().toStdString(), text);
    };
    std::vector<std::string> expected;
    for (const char* typed : {"10.0.0.", "999.1.1.1", "256.300.1.1", "AA025.030.001.001"}) {
        type(dialog.address_field(Dialog::kGatewayAddress), typed);
        dialog.address_set_button(Dialog::kGatewayAddress)->click();
        expected.push_back(text::kAddressInvalid);
    }
    for (const char* typed : {"0", "70000", "99999"}) {
        type(dialog.port_field(), typed);
        dialog.port_set_button()->click();
        expected.push_back(text::kPortInvalid);
    }
    EXPECT_EQ(ui.texts(), expected);
    EXPECT_TRUE(serial.frames.empty());
    EXPECT_EQ(model.gateway_address, (Ipv4{0, 0, 0, 0}));
    EXPECT_EQ(slot_text(model.device_port_number), "09004");
}

TEST_F(DeviceNetwork, ReadPressedTwiceRunsOneSequenceThenShowsTheModel) {
    Dialog dialog(context, nullptr);
    serial.on_write = [this](std::string_view) { link.dispatcher().dispatch_serial("GO\r\n"); };
    dialog.read_button()->click();
    dialog.read_button()->click();
    EXPECT_TRUE(dialog.reading());
    EXPECT_FALSE(dialog.close_button()->isEnabled());
    // Close, Escape and the close box are all refused while reading.
    dialog.show();
    dialog.reject();
    EXPECT_TRUE(dialog.isVisible());

    // Answers arrive meanwhile; the fields wait for the end of the sequence.
    for (int n = 1; n <= 8; ++n) {
        dialog.tick();
        EXPECT_EQ(dialog.progress()->value(), n);
        if (n == 3) model.ip_address = {10, 1, 2, 3};
    }
    EXPECT_EQ(text_of(dialog.address_field(Dialog::kIpAddress)), "192.168.001.003");
    dialog.tick();  // the ninth read, whose answer ends the sequence
    EXPECT_EQ(serial.frames, (Frames{"RAA\r\n", "RGA\r\n", "RIA\r\n", "RMA\r\n", "RPN\r\n",
                                     "RSM\r\n", "RKA\r\n", "RTR\r\n", "RVN\r\n"}));
    EXPECT_TRUE(dialog.close_button()->isEnabled());
    EXPECT_FALSE(dialog.reading());
    EXPECT_EQ(model.bulk_active, 0);
    EXPECT_EQ(dialog.progress()->value(), 0);
    EXPECT_EQ(text_of(dialog.address_field(Dialog::kIpAddress)), "010.001.002.003");
    EXPECT_EQ(serial.frames.size(), 9u);
}

TEST_F(DeviceNetwork, ReadShowsWhatTheSimulatedDeviceAnswers) {
    if (!sim_available()) GTEST_SKIP() << "tqv7310nx-sim is not part of this build";
    link.send_path().set_serial_transport(&link.serial());
    SerialSimulator sim;
    ASSERT_TRUE(sim.open(link)) << sim.error;

    Dialog dialog(context, nullptr);
    // Give the device an address of its own first; the answer is "Success".
    dialog.address_field(Dialog::kIpAddress)->setText(QStringLiteral("10.0.0.254"));
    dialog.address_set_button(Dialog::kIpAddress)->click();
    ASSERT_TRUE(wait_until([&] { return !ui.boxes.empty(); }));
    EXPECT_EQ(ui.texts(), std::vector<std::string>{text::kSuccess});

    model.ip_address = {1, 2, 3, 4};
    ui.clear();
    dialog.read_button()->click();
    ASSERT_TRUE(wait_until([&] { return !dialog.reading(); }));
    // The version, the last answer, is the one reported.
    EXPECT_EQ(ui.texts(), std::vector<std::string>{text::kSuccess});
    EXPECT_EQ(text_of(dialog.address_field(Dialog::kIpAddress)), "010.000.000.254");
    EXPECT_EQ(text_of(dialog.mac_field()), "00-00-00-00-00-00");
    EXPECT_EQ(text_of(dialog.version_field()), "0.00");
    EXPECT_EQ(dialog.subnet_list()->currentText().toStdString(), "Class C");
    EXPECT_EQ(dialog.time_register_list()->currentText().toStdString(), "6");
    EXPECT_TRUE(dialog.close_button()->isEnabled());
}

}  // namespace
}  // namespace tqv::test
