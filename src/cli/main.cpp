// tqv7310nx-cli: the device operations of the program, for scripts and automation. A thin
// front: the commands, answers, messages and bulk sequences are the core's, the links are
// the transports the program uses.
#include <QCoreApplication>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_ui.h"
#include "cli/console.h"
#include "cli/options.h"
#include "cli/preview.h"
#include "cli/session.h"
#include "cli/show.h"
#include "core/document.h"
#include "core/texts.h"

namespace {

// `show` needs no link and no event loop.
int show_document(const tqv::cli::Options& options, tqv::cli::Console& console) {
    tqv::Model model;
    if (!tqv::load_document(model, options.file)) {
        console.message(tqv::text::kCantFileOpen);
        return 1;
    }
    const std::string text = tqv::cli::document_text(model);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace tqv::cli;
    const std::vector<std::string> args(argv + 1, argv + argc);
    const ParseResult parsed = parse_arguments(args);
    if (parsed.kind == ParseResult::Kind::help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (parsed.kind == ParseResult::Kind::usage_error) {
        std::fprintf(stderr, "tqv7310nx-cli: %s\n\n%s", parsed.error.c_str(), kUsage);
        return 2;
    }
    const Options& options = parsed.options;
    Console console(!options.quiet && Console::stderr_is_terminal());
    if (options.command == Command::show) return show_document(options, console);
    if (options.command == Command::preview) return run_preview(options, console, argc, argv);

    QCoreApplication app(argc, argv);
    tqv::Model model;
    CliUi ui(console, options.quiet);
    Session session(options, model, ui, console);
    QObject::connect(&session, &Session::finished, &app,
                     [](int code) { QCoreApplication::exit(code); });
    QMetaObject::invokeMethod(
        &session, [&session] { session.start(); }, Qt::QueuedConnection);
    const int code = QCoreApplication::exec();
    if (options.stats) {
        std::fprintf(stderr, "bytes sent %llu, bytes received %llu, command time %.3f s\n",
                     static_cast<unsigned long long>(session.bytes_sent()),
                     static_cast<unsigned long long>(session.bytes_received()),
                     session.command_seconds());
    }
    return code;
}
