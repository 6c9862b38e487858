// One glyph round trip with the simulated device on a pseudo-terminal: the operator draws
// a dot, registers the glyph, clears the buffer and reads the glyph back into the editor.
#include <QPushButton>

#include "app/message_boxes.h"
#include "app/menu_commands.h"
#include "serial_simulator.h"
#include "app_fixture.h"
#include "core/glyph.h"
#include "glyphs/glyph_editor_dialog.h"

#include <QtTest/QTest>

namespace tqv::test {
namespace {

using GlyphDeviceTest = AppTest;

TEST_F(GlyphDeviceTest, AGlyphRegisteredInTheDeviceReadsBackIntoTheEditor) {
#ifndef TQV_SIM_PATH
    GTEST_SKIP() << "tqv7310nx-sim is not part of this build";
#else
    SerialSimulator sim;
    ASSERT_TRUE(sim.open(link)) << sim.error;
    window->show();
    model.glyph_index = 4;

    window->run_command(command::kGlyphEditor);
    auto* editor = opener.last<GlyphEditorDialog>();
    ASSERT_NE(editor, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(editor));
    QTest::mouseClick(editor->grid(), Qt::LeftButton, {}, {235, 180});  // row 22, column 23
    ASSERT_TRUE(glyph_dot(model.glyph_answer, 22, 23));

    ASSERT_TRUE(run_until_called([&](std::function<void()> done) {
        ui.on_box = done;
        editor->register_button()->click();
    })) << "no answer to the register command";
    ui.on_box = nullptr;
    ASSERT_EQ(ui.texts(), std::vector<std::string>{"Success"});

    editor->clear_button()->click();  // Yes to the question
    ASSERT_FALSE(glyph_dot(model.glyph_answer, 22, 23));
    const int paints = editor->grid()->paint_count();

    ASSERT_TRUE(run_until_called([&](std::function<void()> done) {
        QObject::connect(&link, &DeviceLink::answer_applied, editor, done);
        editor->read_button()->click();
    })) << "no answer to the read request";
    EXPECT_EQ(model.glyph_request_pending, 0);
    EXPECT_TRUE(glyph_dot(model.glyph_answer, 22, 23));
    EXPECT_TRUE(glyph_dot(model.glyph_data[4], 22, 23));
    QCoreApplication::processEvents();
    EXPECT_GT(editor->grid()->paint_count(), paints) << "the answer shows at once";
    EXPECT_EQ(editor->grid()->grab().toImage().pixel(235, 180) & 0xFFFFFFu, 0xFFFFFFu);
#endif
}

}  // namespace
}  // namespace tqv::test
