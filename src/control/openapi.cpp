// The interface described for panel software and for the contract test, which calls every
// route listed here with its example and checks the status against the listed ones.
#include <QJsonDocument>
#include <QJsonObject>

#include "control/control.h"

namespace tqv {

namespace {

constexpr const char* kDocument = R"json({
  "openapi": "3.1.0",
  "info": {"title": "TQV-7310NX show control", "version": "1.33",
           "description": "Every request, the WebSocket upgrade included, passes in this order: the client allow-list (403), the Host (an IP address, localhost or a configured name; 421), the Origin (none, the server's own or a configured one; 403), the token (401) and the lock (423); reading the panel's files skips the token and the lock. A POST body is JSON (text/plain and the form type only with a JSON object in them; other types 415). OPTIONS answers Allow and never a CORS permission."},
  "components": {
    "securitySchemes": {"bearer": {"type": "http", "scheme": "bearer"}},
    "schemas": {
      "Line": {"type": "string", "enum": ["1T", "1B", "2T", "2B"]},
      "Page": {"oneOf": [{"type": "integer", "minimum": 1, "maximum": 64},
                         {"type": "string", "enum": ["AUTO"]}]},
      "Device": {"description": "which devices: a number as GET /api/devices lists it, a list of them, or \"all\"; without it the link's target. A list or \"all\" is answered with one result per device",
                 "oneOf": [{"type": "integer", "minimum": 1, "maximum": 96},
                           {"type": "array", "items": {"type": "integer", "minimum": 1, "maximum": 96}, "minItems": 1, "maxItems": 96},
                           {"type": "string", "enum": ["all"]}]},
      "PageBody": {"type": "object", "required": ["line", "page"],
                   "properties": {"line": {"$ref": "#/components/schemas/Line"},
                                  "page": {"$ref": "#/components/schemas/Page"},
                                  "device": {"$ref": "#/components/schemas/Device"}}},
      "TitleBody": {"type": "object", "required": ["line", "page", "text"],
                    "properties": {"line": {"$ref": "#/components/schemas/Line"},
                                   "page": {"type": "integer", "minimum": 1, "maximum": 64},
                                   "text": {"type": "string", "description": "UTF-8; half-width letters, digits, symbols, spaces and katakana are sent in full width; at most 14 characters the device can show"},
                                   "memory": {"type": "boolean", "default": true},
                                   "device": {"$ref": "#/components/schemas/Device"}}},
      "Answer": {"type": "object", "required": ["answer", "request"],
                 "properties": {"answer": {"type": "string"}, "request": {"type": "integer"}}},
      "CuePosition": {"oneOf": [{"type": "null"}, {"type": "object", "required": ["cue", "name"],
                      "properties": {"cue": {"type": "integer", "minimum": 1}, "name": {"type": "string"},
                                     "failed": {"type": "boolean", "description": "the current cue failed part-way: it stays current until the next GO, which goes on from the cue after it"},
                                     "message": {"type": "string", "description": "with failed: the cue's message"}}}]},
      "CueBody": {"type": "object", "properties": {"device": {"$ref": "#/components/schemas/Device"}}},
      "CueEnd": {"type": "object", "required": ["cue", "name", "outcome", "steps"],
                 "description": "how a cue ended; a cue that did not complete also has error: the one message naming the cue, the failing step and the steps not sent",
                 "properties": {"cue": {"type": "integer"}, "name": {"type": "string"},
                                "outcome": {"type": "string", "enum": ["completed", "stopped", "error answer", "refused", "time-out", "link lost"]},
                                "steps": {"type": "array", "items": {"type": "object", "required": ["step", "state"],
                                          "properties": {"step": {"type": "string"}, "state": {"type": "string", "enum": ["pending", "sent", "done", "failed", "stopped", "not sent"]}}}},
                                "error": {"type": "string"}}},
      "CueResults": {"type": "object", "required": ["cue", "name", "results"], "description": "a cue sent to a list of devices or \"all\", or whose steps name devices of their own: one CueEnd per device, each with the steps that device took; 200 when every device completed it, else 502",
                     "properties": {"cue": {"type": "integer"}, "name": {"type": "string"},
                                    "results": {"type": "array", "items": {"allOf": [{"$ref": "#/components/schemas/CueEnd"},
                                      {"type": "object", "required": ["device", "status"], "properties": {"device": {"type": "integer"}, "status": {"type": "integer"}}}]}}}},
      "Position": {"type": "object", "required": ["current", "next"],
                   "properties": {"current": {"$ref": "#/components/schemas/CuePosition"}, "next": {"$ref": "#/components/schemas/CuePosition"}}},
      "Results": {"type": "object", "required": ["results", "request"], "description": "one result per device named; the status is 200 when every device answered, else 502",
                  "properties": {"request": {"type": "integer"},
                                 "results": {"type": "array", "items": {"type": "object", "required": ["device", "address", "status"],
                                   "properties": {"device": {"type": "integer"}, "address": {"type": "string"}, "status": {"type": "integer"},
                                                  "answer": {"type": "string"}, "error": {"type": "string"}}}}}},
      "Error": {"type": "object", "required": ["error"],
                "properties": {"error": {"type": "string"}, "answer": {"type": "string"}}}
    },
    "responses": {
      "Answer": {"description": "the device answered (with a list of devices: every device answered)", "content": {"application/json": {"schema": {"oneOf": [{"$ref": "#/components/schemas/Answer"}, {"$ref": "#/components/schemas/Results"}]}}}},
      "Failed": {"description": "an error answer; with a list of devices: one of them did not take it", "content": {"application/json": {"schema": {"oneOf": [{"$ref": "#/components/schemas/Error"}, {"$ref": "#/components/schemas/Results"}]}}}},
      "Error": {"description": "refused, or the device did not take it", "content": {"application/json": {"schema": {"$ref": "#/components/schemas/Error"}}}},
      "CueEnd": {"description": "the cue has ended; 502, 503 and 504 for a cue that failed carry the same fields and error", "content": {"application/json": {"schema": {"oneOf": [{"$ref": "#/components/schemas/CueEnd"}, {"$ref": "#/components/schemas/CueResults"}]}}}},
      "Position": {"description": "the current and next cue", "content": {"application/json": {"schema": {"$ref": "#/components/schemas/Position"}}}}
    }
  },
  "security": [{"bearer": []}, {}],
  "paths": {
    "/": {"get": {"summary": "the web panel (HTML); its files are served without the token and while locked: they hold no data", "security": [],
      "responses": {"200": {"description": "the page", "content": {"text/html": {"schema": {"type": "string"}}}},
                    "304": {"description": "not modified (If-None-Match)"}, "403": {"$ref": "#/components/responses/Error"}}}},
    "/panel.css": {"get": {"summary": "the web panel's style sheet", "security": [],
      "responses": {"200": {"description": "CSS", "content": {"text/css": {"schema": {"type": "string"}}}},
                    "304": {"description": "not modified (If-None-Match)"}, "403": {"$ref": "#/components/responses/Error"}}}},
    "/panel.js": {"get": {"summary": "the web panel's script", "security": [],
      "responses": {"200": {"description": "JavaScript", "content": {"text/javascript": {"schema": {"type": "string"}}}},
                    "304": {"description": "not modified (If-None-Match)"}, "403": {"$ref": "#/components/responses/Error"}}}},
    "/favicon.svg": {"get": {"summary": "the web panel's icon", "security": [],
      "responses": {"200": {"description": "SVG", "content": {"image/svg+xml": {"schema": {"type": "string"}}}},
                    "304": {"description": "not modified (If-None-Match)"}, "403": {"$ref": "#/components/responses/Error"}}}},
    "/api/status": {"get": {"summary": "the link, the run, the requests waiting and the pages the device confirmed (read from it when it connected, then as commands are answered). link.devices says how many of the devices are up (\"3/4\"), link.down lists the others as GET /api/devices does; in the server role link.up follows the target device (device 1 of serve) the moment it comes or goes",
      "responses": {"200": {"description": "status", "content": {"application/json": {"schema": {"type": "object", "required": ["link", "run", "waiting", "pages", "locked"]}}}},
                    "401": {"$ref": "#/components/responses/Error"}, "403": {"$ref": "#/components/responses/Error"},
                    "423": {"$ref": "#/components/responses/Error"}}}},
    "/api/titles": {"get": {"summary": "the document's titles by line and page (\"01\"..\"64\"), UTF-8",
      "responses": {"200": {"description": "titles", "content": {"application/json": {"schema": {"type": "object", "required": ["titles"]}}}},
                    "401": {"$ref": "#/components/responses/Error"}, "403": {"$ref": "#/components/responses/Error"},
                    "423": {"$ref": "#/components/responses/Error"}}}},
    "/api/devices": {"get": {"summary": "the devices a request may name: serve --listen lists each of its --devices by number (absent until it first connects), the program's server role each connected device, otherwise the link's one device as number 1. address is the address alone, port the port the device connected from (the client role: the device's port; null while unknown); status is up, connecting, lost (away now) or absent (not connected yet)",
      "responses": {"200": {"description": "devices", "content": {"application/json": {"schema": {"type": "object", "required": ["devices"],
                      "properties": {"devices": {"type": "array", "items": {"type": "object", "required": ["device", "address", "port", "up", "status", "target"],
                        "properties": {"device": {"type": "integer"}, "address": {"type": "string"}, "port": {"oneOf": [{"type": "integer"}, {"type": "null"}]},
                                       "up": {"type": "boolean"}, "status": {"type": "string", "enum": ["up", "connecting", "lost", "absent"]}, "target": {"type": "boolean"}}}}}}}}},
                    "401": {"$ref": "#/components/responses/Error"}, "403": {"$ref": "#/components/responses/Error"},
                    "423": {"$ref": "#/components/responses/Error"}}}},
    "/api/openapi.json": {"get": {"summary": "this document",
      "responses": {"200": {"description": "OpenAPI 3.1", "content": {"application/json": {"schema": {"type": "object", "required": ["openapi", "paths"]}}}},
                    "401": {"$ref": "#/components/responses/Error"}, "403": {"$ref": "#/components/responses/Error"},
                    "423": {"$ref": "#/components/responses/Error"}}}},
    "/api/events": {"get": {"summary": "WebSocket: a state message, then one change message per change ({\"type\":\"change\",\"seq\":N,\"source\":…,\"changes\":{path:value}}); (paths: link/… (link/status, link/devices \"3/4\", link/down as in GET /api/status), lines/… (page, startup, titles/NN, display/NN: whether the page's title is shown), run/…, devices/N/… (up, status, address, port, lines/…), device/differs, remote/locked, cue/…) takes {\"op\":\"page\"|\"startup\"|\"title\"|\"cue/go\"|\"cue/back\"|\"cue/goto\"|\"cue/load\",\"id\":…,…the route's body} (at most 4 KiB) and answers {\"type\":\"result\",\"id\":…,\"status\":…,…the route's answer}. Cue paths: cue/list {count, loaded}, cue/current and cue/next {cue, name} or null (cue/current with failed and message after a cue that failed part-way), cue/running {cue, name, step, total} or null, cue/end (a CueEnd with run, a count), cue/refused {source, reason, count}; a browser, which cannot set the Authorization header on a WebSocket, may give the token as ?access_token=TOKEN",
      "responses": {"101": {"description": "upgraded"},
                    "401": {"$ref": "#/components/responses/Error"}, "403": {"$ref": "#/components/responses/Error"},
                    "423": {"$ref": "#/components/responses/Error"},
                    "426": {"$ref": "#/components/responses/Error"}, "503": {"$ref": "#/components/responses/Error"}}}},
    "/api/page": {"post": {"summary": "switches the page a line shows",
      "requestBody": {"required": true, "content": {"application/json": {"schema": {"$ref": "#/components/schemas/PageBody"}, "example": {"line": "1T", "page": 5}}}},
      "responses": {"200": {"$ref": "#/components/responses/Answer"}, "400": {"$ref": "#/components/responses/Error"},
                    "401": {"$ref": "#/components/responses/Error"}, "403": {"$ref": "#/components/responses/Error"},
                    "409": {"$ref": "#/components/responses/Error"}, "413": {"$ref": "#/components/responses/Error"},
                    "404": {"$ref": "#/components/responses/Error"}, "423": {"$ref": "#/components/responses/Error"}, "502": {"$ref": "#/components/responses/Failed"},
                    "503": {"$ref": "#/components/responses/Error"}, "504": {"$ref": "#/components/responses/Error"}}}},
    "/api/startup": {"post": {"summary": "sets the page a line shows at start-up",
      "requestBody": {"required": true, "content": {"application/json": {"schema": {"$ref": "#/components/schemas/PageBody"}, "example": {"line": "2B", "page": "AUTO"}}}},
      "responses": {"200": {"$ref": "#/components/responses/Answer"}, "400": {"$ref": "#/components/responses/Error"},
                    "401": {"$ref": "#/components/responses/Error"}, "403": {"$ref": "#/components/responses/Error"},
                    "409": {"$ref": "#/components/responses/Error"}, "413": {"$ref": "#/components/responses/Error"},
                    "404": {"$ref": "#/components/responses/Error"}, "423": {"$ref": "#/components/responses/Error"}, "502": {"$ref": "#/components/responses/Failed"},
                    "503": {"$ref": "#/components/responses/Error"}, "504": {"$ref": "#/components/responses/Error"}}}},
    "/api/title": {"post": {"summary": "sets one title; memory false sends it without storing",
      "requestBody": {"required": true, "content": {"application/json": {"schema": {"$ref": "#/components/schemas/TitleBody"}, "example": {"line": "1B", "page": 2, "text": "ニュース速報", "memory": true}}}},
      "responses": {"200": {"$ref": "#/components/responses/Answer"}, "400": {"$ref": "#/components/responses/Error"},
                    "401": {"$ref": "#/components/responses/Error"}, "403": {"$ref": "#/components/responses/Error"},
                    "409": {"$ref": "#/components/responses/Error"}, "413": {"$ref": "#/components/responses/Error"},
                    "404": {"$ref": "#/components/responses/Error"}, "423": {"$ref": "#/components/responses/Error"}, "502": {"$ref": "#/components/responses/Failed"},
                    "503": {"$ref": "#/components/responses/Error"}, "504": {"$ref": "#/components/responses/Error"}}}},
    "/api/picture": {"get": {"summary": "what each channel of a device shows over its video, as the program's on-air window draws it: the layout in units of a 1920 x 1080 frame (each line's field where its position offset puts it, the cells of the title on air, left out when its display is off or the line switches by itself), the white and edge levels as brightness 0..255, and the 48 x 48 dots of the custom glyphs used (48 rows of 12 hex digits, the left dot the high bit). Layout and content, not the device's own font",
      "parameters": [{"name": "device", "in": "query", "required": false, "description": "a device as /api/devices numbers it; the target by default", "schema": {"type": "integer", "minimum": 1}}],
      "responses": {"200": {"description": "both channels", "content": {"application/json": {"schema": {"type": "object", "required": ["device", "width", "height", "dot", "edge", "levels", "channels", "glyphs"],
                      "properties": {"channels": {"type": "array", "items": {"type": "object", "required": ["channel", "lines"], "properties": {"lines": {"type": "array", "items": {"type": "object", "required": ["line", "page", "shown", "offset", "field", "cells"]}}}}}}}}}},
                    "401": {"$ref": "#/components/responses/Error"}, "403": {"$ref": "#/components/responses/Error"}, "423": {"$ref": "#/components/responses/Error"},
                    "404": {"$ref": "#/components/responses/Error"}, "503": {"$ref": "#/components/responses/Error"}}}},
    "/api/read": {"post": {"summary": "reads the devices named (see Device) now: what \"pages\" (the page on air, the start-up page and the display flags of each line; also read by itself when a device connects) or \"titles\" (all 256). The reads go one at a time after the requests waiting for the device; what they confirm comes as changes of lines/… and devices/N/lines/…. Answered at once with one result per device: 202 when every device named began, else that device's status (503 absent or away, 409 a bulk run holds it, 404 no such device); with a list of devices 502 when one did not begin",
      "requestBody": {"required": true, "content": {"application/json": {"schema": {"type": "object", "required": ["what"], "properties": {"what": {"type": "string", "enum": ["titles", "pages"]}, "device": {"$ref": "#/components/schemas/Device"}}}, "example": {"what": "titles"}}}},
      "responses": {"202": {"description": "the reads are queued", "content": {"application/json": {"schema": {"type": "object", "required": ["what", "results"]}}}},
                    "400": {"$ref": "#/components/responses/Error"}, "401": {"$ref": "#/components/responses/Error"}, "403": {"$ref": "#/components/responses/Error"},
                    "404": {"description": "no such device", "content": {"application/json": {"schema": {"type": "object", "required": ["results"]}}}},
                    "409": {"description": "a bulk run holds the device", "content": {"application/json": {"schema": {"type": "object", "required": ["results"]}}}},
                    "413": {"$ref": "#/components/responses/Error"}, "423": {"$ref": "#/components/responses/Error"},
                    "502": {"description": "one of the devices named did not begin", "content": {"application/json": {"schema": {"type": "object", "required": ["results"]}}}},
                    "503": {"description": "the device is absent or away", "content": {"application/json": {"schema": {"type": "object", "required": ["results"]}}}}}}},
    "/api/cues": {"get": {"summary": "the cue list in file order with each cue's steps, and which cue is current, next and running (numbers from 1, or null); failed (and its message) when the current cue failed part-way",
      "responses": {"200": {"description": "cues", "content": {"application/json": {"schema": {"type": "object", "required": ["cues", "current", "next", "running", "failed"]}}}},
                    "401": {"$ref": "#/components/responses/Error"}, "403": {"$ref": "#/components/responses/Error"}, "423": {"$ref": "#/components/responses/Error"}, "404": {"$ref": "#/components/responses/Error"}}}},
    "/api/cue/go": {"post": {"summary": "fires the next cue on the devices named (and on those its steps' device column names), each device at its own pace, and moves on; answers when the cue has ended on every device. Refused (409) while a cue runs: never queued. Refused (503, the device named) when a device it would reach is down, connecting again or absent: nothing is sent and the list does not move. A cue that fails part-way stays current, marked failed",
      "requestBody": {"required": false, "content": {"application/json": {"schema": {"$ref": "#/components/schemas/CueBody"}, "example": {"device": 2}}}},
      "responses": {"200": {"$ref": "#/components/responses/CueEnd"}, "400": {"$ref": "#/components/responses/Error"}, "401": {"$ref": "#/components/responses/Error"}, "403": {"$ref": "#/components/responses/Error"}, "423": {"$ref": "#/components/responses/Error"}, "404": {"$ref": "#/components/responses/Error"}, "409": {"$ref": "#/components/responses/Error"},
                    "502": {"$ref": "#/components/responses/Error"}, "503": {"$ref": "#/components/responses/Error"}, "504": {"$ref": "#/components/responses/Error"}}}},
    "/api/cue/back": {"post": {"summary": "makes the cue before the next one next (a device is checked as on every route; the list is one for every device)",
      "requestBody": {"required": false, "content": {"application/json": {"schema": {"$ref": "#/components/schemas/CueBody"}}}},
      "responses": {"200": {"$ref": "#/components/responses/Position"}, "400": {"$ref": "#/components/responses/Error"}, "401": {"$ref": "#/components/responses/Error"}, "403": {"$ref": "#/components/responses/Error"}, "423": {"$ref": "#/components/responses/Error"}, "404": {"$ref": "#/components/responses/Error"}, "409": {"$ref": "#/components/responses/Error"}}}},
    "/api/cue/goto": {"post": {"summary": "chooses the next cue: a number from 1, or a cue's name (a name wins)",
      "requestBody": {"required": true, "content": {"application/json": {"schema": {"type": "object", "required": ["cue"], "properties": {"cue": {"oneOf": [{"type": "integer", "minimum": 1}, {"type": "string"}]}, "device": {"$ref": "#/components/schemas/Device"}}}, "example": {"cue": 1}}}},
      "responses": {"200": {"$ref": "#/components/responses/Position"}, "401": {"$ref": "#/components/responses/Error"}, "403": {"$ref": "#/components/responses/Error"}, "423": {"$ref": "#/components/responses/Error"}, "400": {"$ref": "#/components/responses/Error"}, "404": {"$ref": "#/components/responses/Error"}, "413": {"$ref": "#/components/responses/Error"}}}},
    "/api/cue/load": {"post": {"summary": "replaces the cue list with a cue file (UTF-8 CSV, header cue,action,line,page,text,memory,seconds and optionally device: a step's own devices, a number, numbers joined by ';' or all); all or nothing. This route alone takes a body of up to 256 KiB",
      "requestBody": {"required": true, "content": {"application/json": {"schema": {"type": "object", "required": ["csv"], "properties": {"csv": {"type": "string"}}}, "example": {"csv": "cue,action,line,page,text,memory,seconds\nOpening,page,1T,1,,,\n"}}}},
      "responses": {"200": {"description": "loaded", "content": {"application/json": {"schema": {"type": "object", "required": ["cues"]}}}},
                    "401": {"$ref": "#/components/responses/Error"}, "403": {"$ref": "#/components/responses/Error"}, "423": {"$ref": "#/components/responses/Error"}, "400": {"$ref": "#/components/responses/Error"}, "404": {"$ref": "#/components/responses/Error"}, "409": {"$ref": "#/components/responses/Error"}, "413": {"$ref": "#/components/responses/Error"}}}}
  }
})json";

// What every route shares, added to the text above: HEAD beside each GET (the head of the
// GET's answer), the Host refusal on every operation, the body type refusal on every POST.
QJsonObject with_shared_answers(QJsonObject document) {
    const QJsonObject refused{{"$ref", "#/components/responses/Error"}};
    QJsonObject paths = document["paths"].toObject();
    for (const QString& path : paths.keys()) {
        QJsonObject ops = paths[path].toObject();
        if (ops.contains("get") && path != "/api/events") {
            QJsonObject head = ops["get"].toObject();
            head["summary"] = "the head of GET " + path + "'s answer, without its body";
            ops["head"] = head;
        }
        for (const QString& method : ops.keys()) {
            QJsonObject op = ops[method].toObject();
            QJsonObject responses = op["responses"].toObject();
            responses["421"] = refused;
            if (method == "post") responses["415"] = refused;
            op["responses"] = responses;
            ops[method] = op;
        }
        paths[path] = ops;
    }
    document["paths"] = paths;
    return document;
}

}  // namespace

QByteArray Control::openapi_json() {
    // Compacted once; a typo in the text above shows as an empty document in the test.
    static const QByteArray compacted =
        QJsonDocument(with_shared_answers(QJsonDocument::fromJson(QByteArray(kDocument)).object()))
            .toJson(QJsonDocument::Compact);
    return compacted;
}

}  // namespace tqv
