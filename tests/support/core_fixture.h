// A model wired to a send path over two recording transports, as most core tests need.
#pragma once

#include <gtest/gtest.h>

#include "core/send_path.h"
#include "fake_transport.h"
#include "recording_ui.h"

namespace tqv {

struct CoreFixture : ::testing::Test {
    Model model;
    RecordingUi ui;
    FakeTransport serial;
    FakeTransport tcp;
    SendPath path{model, ui};

    void SetUp() override {
        path.set_serial_transport(&serial);
        path.set_tcp_transport(&tcp);
    }
    void use_tcp() {
        model.interface_kind = 1;
        model.tcp_connected = 1;
    }
};

}  // namespace tqv
