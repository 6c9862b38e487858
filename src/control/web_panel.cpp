#include "control/web_panel.h"

#include <QCryptographicHash>
#include <QFile>

#include "control/control_parse.h"

// Resources of a static library are registered only when something refers to them.
static void init_web_panel_resources() { Q_INIT_RESOURCE(web_panel); }

namespace tqv {

namespace {

struct File {
    std::string path;
    const char* resource;
    const char* type;
    QByteArray body;
    QByteArray etag;
};

// The page may load and connect to its own origin only: no inline script or style, no
// other address, not framed by another site.
constexpr const char* kSecurity =
    "Content-Security-Policy: default-src 'none'; script-src 'self'; style-src 'self'; "
    "img-src 'self'; connect-src 'self'; base-uri 'none'; form-action 'none'; "
    "frame-ancestors 'none'\r\n"
    "X-Content-Type-Options: nosniff\r\n"
    "Referrer-Policy: no-referrer\r\n";

std::vector<File>& files() {
    static std::vector<File> all = [] {
        init_web_panel_resources();
        std::vector<File> out{
            {"/", ":/web/index.html", "text/html; charset=utf-8", {}, {}},
            {"/panel.css", ":/web/panel.css", "text/css; charset=utf-8", {}, {}},
            {"/panel.js", ":/web/panel.js", "text/javascript; charset=utf-8", {}, {}},
            {"/favicon.svg", ":/web/favicon.svg", "image/svg+xml", {}, {}},
        };
        for (File& f : out) {
            QFile file(QString::fromLatin1(f.resource));
            if (file.open(QIODevice::ReadOnly)) f.body = file.readAll();
            // The content's own hash: a new program with other files is fetched again.
            f.etag = '"' + QCryptographicHash::hash(f.body, QCryptographicHash::Sha256).toHex().left(20) + '"';
        }
        return out;
    }();
    return all;
}

}  // namespace

const std::vector<std::string>& web_panel_paths() {
    static const std::vector<std::string> paths = [] {
        std::vector<std::string> out;
        for (const File& f : files()) out.push_back(f.path);
        return out;
    }();
    return paths;
}

StaticAnswer web_panel_answer(const HttpHead& head) {
    for (const File& f : files()) {
        if (f.path != head.path) continue;
        // Always asked again (no-cache), answered with 304 while the file is the same.
        QByteArray headers = "ETag: " + f.etag + "\r\nCache-Control: no-cache\r\n" + kSecurity;
        const QByteArray wanted = QByteArray::fromStdString(head.if_none_match);
        if (wanted == "*" || wanted.split(',').contains(f.etag) ||
            wanted.split(',').contains(' ' + f.etag))
            return {304, headers, {}};
        return {200, "Content-Type: " + QByteArray(f.type) + "\r\n" + headers, f.body};
    }
    return {404, "Content-Type: application/json\r\n", "{\"error\":\"no such route\"}"};
}

}  // namespace tqv
