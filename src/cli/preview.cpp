#include "cli/preview.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <string>

#include "core/document.h"
#include "core/glyph.h"
#include "core/texts.h"
#include "picture/channel_painter.h"

namespace tqv::cli {

int run_preview(const Options& options, Console& console, int argc, char** argv) {
    Model model;
    if (!load_document(model, options.file)) {
        console.message(text::kCantFileOpen);
        return 1;
    }
    if (!options.glyph_file.empty() && !load_glyph_list(model, options.glyph_file)) {
        console.message(text::kCantFileOpen);
        return 1;
    }
    // Fonts need a Gui application; a terminal without a display still has the offscreen
    // platform.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    std::array<int, kTitleLines> pages = model.current_page;
    if (options.preview_page >= 0) pages.fill(options.preview_page);
    const QImage image = preview_image(model, pages);
    if (!image.save(QFile::decodeName(QByteArray::fromStdString(options.png)), "PNG")) {
        console.message("cannot write " + options.png);
        return 1;
    }
    return 0;
}

}  // namespace tqv::cli
