// The glyph dialogs opened from the main window, with the wire captured, file dialogs and
// questions answered from a script, and mouse input sent through the window system as an
// operator's would be.
#pragma once

#include <QCoreApplication>
#include <QImage>
#include <QPixmap>
#include <QtTest/QTest>

#include "app/menu_commands.h"
#include "app_fixture.h"
#include "core/glyph.h"
#include "fake_transport.h"
#include "glyphs/glyph_editor_dialog.h"
#include "glyphs/glyph_list_dialog.h"

namespace tqv::test {

class GlyphTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        context.files = &files;
        link.send_path().set_serial_transport(&wire);
        window->show();
    }

    GlyphEditorDialog* open_editor() {
        window->run_command(command::kGlyphEditor);
        auto* editor = opener.last<GlyphEditorDialog>();
        if (editor != nullptr) settle(editor);
        return editor;
    }
    GlyphListDialog* open_list() {
        window->run_command(command::kGlyphList);
        auto* list = opener.last<GlyphListDialog>();
        if (list != nullptr) settle(list);
        return list;
    }
    // Lets a shown window be exposed and every pending paint run.
    static void settle(QWidget* w) {
        (void)QTest::qWaitForWindowExposed(w);
        QCoreApplication::processEvents();
    }
    static QRgb pixel(QWidget* w, int x, int y) {
        return w->grab().toImage().pixel(x, y) & 0xFFFFFFu;
    }
    std::string glyph_digits(int slot) const {
        return std::string(model.glyph_data[slot].data(), kGlyphDigits);
    }

    FakeTransport wire;
};

inline constexpr QRgb kWhite = 0xFFFFFF;
inline constexpr QRgb kBlack = 0x000000;
inline constexpr QRgb kBlue = 0x0000FF;

}  // namespace tqv::test
