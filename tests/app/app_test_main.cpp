// GoogleTest main for the program's windows: the QApplication exists before any test, on
// the offscreen platform unless told otherwise, and standard paths point at test locations.
#include <gtest/gtest.h>

#include <QApplication>
#include <QStandardPaths>

#include "app/appearance.h"

namespace {

// The offscreen platform cannot resize windows to fit their contents and says so each
// time a fixed-size window is shown; the tests do not depend on it.
QtMessageHandler default_handler = nullptr;
void quieter(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.contains(QLatin1String("does not support propagateSizeHints"))) return;
    default_handler(type, context, message);
}

}  // namespace

int main(int argc, char** argv) {
    // Test discovery runs the binary at build time, without the test script's environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    default_handler = qInstallMessageHandler(quieter);
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    tqv::use_japanese(app);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
