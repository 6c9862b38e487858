// A small document with custom glyphs in a title, drawn in the process and by
// `tqv7310nx-cli preview`, against the picture stored beside this file. Fonts may be
// rasterised a little differently from one machine to the next, so pixels count as the
// same within a small tolerance, and a few may differ; a line moved by one position step or
// a glyph drawn wrongly is far beyond that.
//
// After an intended change of the picture, TQV_UPDATE_PICTURES=1 writes the stored picture
// anew (look at it before committing it).
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdlib>
#include <functional>

#include "cli_process.h"
#include "core/codec.h"
#include "core/document.h"
#include "core/glyph.h"
#include "picture/channel_painter.h"

namespace tqv {
namespace {

constexpr int kChannelTolerance = 24;       // per colour channel, 0..255
constexpr double kDifferingShare = 0.001;  // of all pixels

QString stored_picture() { return QStringLiteral(TQV_PICTURE_DIR "/glyph_title_preview.png"); }

std::string cp932(const char* utf8) {
    const auto bytes = utf8_to_cp932(utf8);
    return bytes ? *bytes : std::string();
}

struct Difference {
    bool same_size = false;
    long differing = 0;
    long allowed = 0;
    bool within() const { return same_size && differing <= allowed; }
};

Difference compare(const QImage& a, const QImage& b) {
    Difference d;
    d.same_size = a.size() == b.size();
    if (!d.same_size) return d;
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    d.allowed = static_cast<long>(kDifferingShare * x.width() * x.height());
    for (int row = 0; row < x.height(); ++row) {
        const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col) {
            const int diff = std::max({std::abs(qRed(p[col]) - qRed(q[col])),
                                       std::abs(qGreen(p[col]) - qGreen(q[col])),
                                       std::abs(qBlue(p[col]) - qBlue(q[col]))});
            if (diff > kChannelTolerance) ++d.differing;
        }
    }
    return d;
}

class PreviewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        // ch.1 top: glyph 01, text, glyph 27; ch.1 bottom lifted to offset 00; ch.2 top
        // hidden; ch.2 bottom lowered to 15 with two half-width letters the device refuses.
        set_slot_text(model.title(0, 0), "\x10\x20" + cp932("テスト") + "\x10\xDC");
        set_slot_text(model.title(1, 0), cp932("下の行"));
        set_slot_text(model.title(2, 0), cp932("隠れた行"));
        set_slot_text(model.title(3, 0), cp932("ＡＢＣ１２３") + "AB");
        set_slot_text(model.title(0, 1), cp932("二頁目"));
        model.title_display[2][0] = 0;
        model.position_offset = {7, 0, 3, 15};
        model.white_level = 2;
        model.edge_level = 3;
        model.current_page = {1, 1, 1, 1};
        for (int r = 0; r < kGlyphSize; ++r) {
            for (int c = 0; c < kGlyphSize; ++c) {
                const bool inside = r >= 1 && r <= 46 && c >= 1 && c <= 46;
                const int dr = 2 * r - 47, dc = 2 * c - 47;
                set_glyph_dot(model.glyph_data[0], r, c, inside && (std::abs(r - c) < 3 || std::abs(r + c - 47) < 3));
                set_glyph_dot(model.glyph_data[26], r, c, inside && dr * dr + dc * dc < 40 * 40);
            }
        }
        document = dir.filePath(QStringLiteral("show.dat"));
        glyphs = dir.filePath(QStringLiteral("show.tll"));
        ASSERT_TRUE(save_document(model, document.toStdString()));
        ASSERT_TRUE(save_glyph_list(model, glyphs.toStdString()));
    }
    QImage page_one() const { return preview_image(model, {0, 0, 0, 0}); }

    // Runs the tool as a shell would, with no display and no platform named.
    clitest::CliResult preview(const QStringList& args) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            env.remove(QString::fromLatin1(name));
        p.setProcessEnvironment(env);
        p.start(clitest::cli_path(), QStringList{QStringLiteral("preview")} + args);
        p.closeWriteChannel();
        return clitest::finish_cli(p, 60000);
    }

    QTemporaryDir dir;
    Model model;
    QString document;
    QString glyphs;
};

TEST_F(PreviewTest, GlyphTitleMatchesTheStoredPicture) {
    const QImage drawn = page_one();
    if (qEnvironmentVariableIsSet("TQV_UPDATE_PICTURES")) {
        ASSERT_TRUE(drawn.save(stored_picture(), "PNG"));
        GTEST_SKIP() << "stored picture written anew";
    }
    const QImage stored(stored_picture());
    ASSERT_FALSE(stored.isNull()) << stored_picture().toStdString();
    EXPECT_EQ(drawn.size(), QSize(kPreviewFrameWidth, 2 * (kPreviewCaptionHeight + kPreviewFrameWidth * 9 / 16)));
    const Difference d = compare(drawn, stored);
    EXPECT_TRUE(d.within()) << d.differing << " pixels differ, " << d.allowed << " allowed";
}

TEST_F(PreviewTest, TheToleranceStillSeesAMovedLineAWrongGlyphAndALevel) {
    const QImage reference = page_one();
    struct Fault {
        const char* what;
        std::function<void(Model&)> make;
    };
    const Fault faults[] = {
        {"ch.1 bottom one position step lower", [](Model& m) { m.position_offset[1] = 1; }},
        {"glyph 27 blank", [](Model& m) { clear_glyph(m.glyph_data[26]); }},
        {"ch.2 top shown", [](Model& m) { m.title_display[2][0] = 1; }},
        {"edge level 0", [](Model& m) { m.edge_level = 0; }},
        {"white level 3", [](Model& m) { m.white_level = 3; }},
    };
    for (const Fault& fault : faults) {
        Model changed = model;
        fault.make(changed);
        const Difference d = compare(reference, preview_image(changed, {0, 0, 0, 0}));
        EXPECT_FALSE(d.within()) << fault.what << ": only " << d.differing << " pixels differ";
    }
}

TEST_F(PreviewTest, TheToolWritesThePictureDrawnHere) {
    struct Case {
        QStringList args;
        std::array<int, kTitleLines> pages;
        bool glyphs;
    };
    const Case cases[] = {
        {{QStringLiteral("--page"), QStringLiteral("1")}, {0, 0, 0, 0}, true},
        // Without a page, the document's current pages; without a glyph list, empty boxes.
        {{}, {1, 1, 1, 1}, true},
        {{QStringLiteral("--page"), QStringLiteral("1")}, {0, 0, 0, 0}, false},
    };
    for (const Case& c : cases) {
        const QString out = dir.filePath(QStringLiteral("out.png"));
        QStringList args{document};
        args << c.args;
        if (c.glyphs) args << QStringLiteral("--glyphs") << glyphs;
        args << QStringLiteral("--png") << out;
        SCOPED_TRACE(args.join(QLatin1Char(' ')).toStdString());
        const clitest::CliResult r = preview(args);
        ASSERT_EQ(r.code, 0) << r.err;
        Model expected = model;
        if (!c.glyphs) expected.glyph_data = Model().glyph_data;
        // The same code from the same files: not a pixel apart.
        const QImage written = QImage(out).convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(written, preview_image(expected, c.pages));
        if (&c == &cases[0]) {
            const Difference d = compare(written, QImage(stored_picture()));
            EXPECT_TRUE(d.within()) << d.differing << " pixels differ from the stored picture";
        }
    }
}

TEST_F(PreviewTest, FilesThatCannotBeReadOrWrittenAndUsageErrors) {
    const QString out = dir.filePath(QStringLiteral("out.png"));
    const QString missing = dir.filePath(QStringLiteral("missing.dat"));
    struct Case {
        QStringList args;
        int code;
        const char* message;
    };
    const Case cases[] = {
        {{missing, QStringLiteral("--png"), out}, 1, "Can't file open"},
        {{document, QStringLiteral("--glyphs"), missing, QStringLiteral("--png"), out}, 1,
         "Can't file open"},
        {{document, QStringLiteral("--png"), dir.filePath(QStringLiteral("no/such/dir/out.png"))}, 1,
         "cannot write"},
        {{document}, 2, "preview needs --png OUT.png"},
        {{document, QStringLiteral("--page"), QStringLiteral("65"), QStringLiteral("--png"), out}, 2,
         "--page needs a page 1..64"},
        {{document, QStringLiteral("--tcp"), QStringLiteral("127.0.0.1:9004"), QStringLiteral("--png"), out},
         2, "preview takes no LINK"},
    };
    for (const Case& c : cases) {
        const clitest::CliResult r = preview(c.args);
        SCOPED_TRACE(c.args.join(QLatin1Char(' ')).toStdString());
        EXPECT_EQ(r.code, c.code);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_FALSE(QFile::exists(out));
    }
    // The picture's options belong to preview alone.
    const clitest::CliResult r = clitest::run_cli({QStringLiteral("show"), document, QStringLiteral("--png"), out});
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("belong to preview"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace tqv
