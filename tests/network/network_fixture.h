// The network dialogs over a real DeviceLink whose serial side is a recording transport,
// with the configuration file in a temporary directory and boxes recorded.
#pragma once

#include <gtest/gtest.h>

#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>
#include <string>

#include "dialogs/app_context.h"
#include "core/config.h"
#include "fake_transport.h"
#include "recording_ui.h"

namespace tqv::test {

class NetworkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        link.send_path().set_serial_transport(&serial);
    }
    void TearDown() override { link.shutdown(); }

    // A key as the file holds it; "-" when it was never written.
    std::string ini(const char* key) const { return config.get(kConfigSection, key, "-"); }

    QTemporaryDir dir;
    IniFile config{dir.filePath(QString::fromLatin1(kConfigFileName)).toStdString()};
    Model model;
    RecordingUi ui;
    DeviceLink link{model, ui};
    CornerClicks clicks;
    AppContext context{model, link, clicks, &config};
    FakeTransport serial;
};

// A real double click on a row, as the operator makes it (the dialog must be shown).
inline void double_click_row(QListWidget* list, int row) {
    // The view lays its rows out on the event loop after a change.
    list->doItemsLayout();
    const QPoint at = list->visualItemRect(list->item(row)).center();
    // The press a double click starts with, as a mouse sends it; then the double click.
    QTest::mousePress(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, Qt::NoModifier, at, 1);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at, 1);
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, Qt::NoModifier, at, 1);
}

inline std::vector<std::string> rows(const QListWidget* list) {
    std::vector<std::string> out;
    for (int r = 0; r < list->count(); ++r) out.push_back(list->item(r)->text().toStdString());
    return out;
}

}  // namespace tqv::test
