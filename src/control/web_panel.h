// The browser panel: a page, its style sheet and its script, compiled into the program as
// Qt resources and served on the control HTTP port. They hold no data (everything the page
// shows comes from the API, which asks for the token), so they are served without it.
#pragma once

#include <QByteArray>
#include <string>
#include <vector>

namespace tqv {

struct HttpHead;

struct StaticAnswer {
    int status = 404;
    QByteArray headers;  // "Name: value\r\n" lines, Content-Type among them
    QByteArray body;
};

// The request paths of the panel's files: "/" and the files the page loads.
const std::vector<std::string>& web_panel_paths();
// The answer to a GET of one of those paths: the file, or 304 when the browser's
// If-None-Match names the file's ETag.
StaticAnswer web_panel_answer(const HttpHead& head);

}  // namespace tqv
