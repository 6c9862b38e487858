// The interface described for panel software and for the contract test, which calls every
// route listed here with its example and checks the status against the listed ones. The
// paths are the route table's (http_routes.cpp); the schemas they name are here.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <string_view>

#include "control/http_control.h"

namespace tqv {

namespace {

// Everything but the paths, which come from the route table.
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
  "security": [{"bearer": []}, {}]
})json";

QJsonObject object(const char* json) { return QJsonDocument::fromJson(QByteArray(json)).object(); }

QJsonObject ref(const char* kind, const QString& name) {
    return {{"$ref", QStringLiteral("#/components/%1/%2").arg(kind, name)}};
}

// A route's operation. What every route shares is added to what the table says: the gate's
// refusals (a panel file is read without the token and while locked), the Host refusal,
// and the body type refusal of a POST.
QJsonObject operation(const HttpControl::Route& route) {
    const bool file = route.served == HttpControl::Served::file;
    QJsonObject responses = route.answers != nullptr ? object(route.answers) : QJsonObject();
    QStringList shared{"403", "421"};
    if (!file) shared << "401" << "423";
    if (std::string_view(route.method) == "POST") shared << "415";
    for (const QString& status : shared) responses[status] = ref("responses", "Error");
    // "200=Answer 400": an Error, or the response component named.
    for (const QString& word : QString::fromLatin1(route.statuses).split(' ', Qt::SkipEmptyParts)) {
        const QStringList parts = word.split('=');
        responses[parts[0]] = ref("responses", parts.value(1, "Error"));
    }
    QJsonObject op{{"summary", QString::fromUtf8(route.summary)}, {"responses", responses}};
    if (route.body != nullptr) {
        QJsonObject content{{"schema", route.body[0] == '{' ? object(route.body)
                                                            : ref("schemas", QString::fromLatin1(route.body))}};
        if (route.example != nullptr) content["example"] = object(route.example);
        op["requestBody"] = QJsonObject{{"required", route.body_required},
                                        {"content", QJsonObject{{"application/json", content}}}};
    }
    if (route.parameters != nullptr)
        op["parameters"] = QJsonDocument::fromJson(QByteArray(route.parameters)).array();
    if (file) op["security"] = QJsonArray();
    return op;
}

QJsonObject document() {
    QJsonObject paths;
    for (const HttpControl::Route& route : HttpControl::routes()) {
        const QString path = QString::fromLatin1(route.path);
        QJsonObject ops = paths[path].toObject();
        const QJsonObject op = operation(route);
        ops[QString::fromLatin1(route.method).toLower()] = op;
        // HEAD beside each GET: the head of the GET's answer.
        if (std::string_view(route.method) == "GET" && route.served != HttpControl::Served::upgrade) {
            QJsonObject head = op;
            head["summary"] = "the head of GET " + path + "'s answer, without its body";
            ops["head"] = head;
        }
        paths[path] = ops;
    }
    QJsonObject out = object(kDocument);
    out["paths"] = paths;
    return out;
}

}  // namespace

QByteArray openapi_document() {
    // Made once; a typo in the text above shows as an empty document in the test.
    static const QByteArray compacted = QJsonDocument(document()).toJson(QJsonDocument::Compact);
    return compacted;
}

}  // namespace tqv
