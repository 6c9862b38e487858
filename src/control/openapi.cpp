// The interface described for panel software and for the contract test, which calls every
// route listed here with its example and checks the status against the listed ones.
#include <QJsonDocument>
#include <QJsonObject>

#include "control/control.h"

namespace tqv {

namespace {

constexpr const char* kDocument = R"json({
  "openapi": "3.1.0",
  "info": {"title": "TQV-7310NX show control", "version": "1.32"},
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
                                   "text": {"type": "string", "description": "UTF-8, full-width characters, at most 14; no NUL"},
                                   "memory": {"type": "boolean", "default": true},
                                   "device": {"$ref": "#/components/schemas/Device"}}},
      "Answer": {"type": "object", "required": ["answer", "request"],
                 "properties": {"answer": {"type": "string"}, "request": {"type": "integer"}}},
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
      "Error": {"description": "refused, or the device did not take it", "content": {"application/json": {"schema": {"$ref": "#/components/schemas/Error"}}}}
    }
  },
  "security": [{"bearer": []}, {}],
  "paths": {
    "/api/status": {"get": {"summary": "the link, the run, the requests waiting and the pages the device confirmed",
      "responses": {"200": {"description": "status", "content": {"application/json": {"schema": {"type": "object", "required": ["link", "run", "waiting", "pages", "locked"]}}}},
                    "401": {"$ref": "#/components/responses/Error"}, "403": {"$ref": "#/components/responses/Error"},
                    "423": {"$ref": "#/components/responses/Error"}}}},
    "/api/titles": {"get": {"summary": "the document's titles by line and page (\"01\"..\"64\"), UTF-8",
      "responses": {"200": {"description": "titles", "content": {"application/json": {"schema": {"type": "object", "required": ["titles"]}}}},
                    "401": {"$ref": "#/components/responses/Error"}, "403": {"$ref": "#/components/responses/Error"},
                    "423": {"$ref": "#/components/responses/Error"}}}},
    "/api/devices": {"get": {"summary": "the devices a request may name: in the server role each connected device, otherwise the link's one device as number 1",
      "responses": {"200": {"description": "devices", "content": {"application/json": {"schema": {"type": "object", "required": ["devices"],
                      "properties": {"devices": {"type": "array", "items": {"type": "object", "required": ["device", "address", "up", "target"]}}}}}}},
                    "401": {"$ref": "#/components/responses/Error"}, "403": {"$ref": "#/components/responses/Error"},
                    "423": {"$ref": "#/components/responses/Error"}}}},
    "/api/openapi.json": {"get": {"summary": "this document",
      "responses": {"200": {"description": "OpenAPI 3.1", "content": {"application/json": {"schema": {"type": "object", "required": ["openapi", "paths"]}}}},
                    "401": {"$ref": "#/components/responses/Error"}, "403": {"$ref": "#/components/responses/Error"},
                    "423": {"$ref": "#/components/responses/Error"}}}},
    "/api/events": {"get": {"summary": "WebSocket: a state message, then one change message per change (paths: link/…, lines/…, run/…, devices/N/…, device/differs, remote/locked) ({\"type\":\"change\",\"seq\":N,\"source\":…,\"changes\":{path:value}}); takes {\"op\":\"page\"|\"startup\"|\"title\",\"id\":…,…the route's body} and answers {\"type\":\"result\",\"id\":…,\"status\":…}",
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
                    "503": {"$ref": "#/components/responses/Error"}, "504": {"$ref": "#/components/responses/Error"}}}}
  }
})json";

}  // namespace

QByteArray Control::openapi_json() {
    // Compacted once; a typo in the text above shows as an empty document in the test.
    static const QByteArray compacted =
        QJsonDocument::fromJson(QByteArray(kDocument)).toJson(QJsonDocument::Compact);
    return compacted;
}

}  // namespace tqv
