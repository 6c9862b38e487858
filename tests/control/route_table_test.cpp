// The one route table against what must agree with it: the panel's files the front serves,
// the dispatcher's look-up and the OpenAPI document made from it. A route added to one and
// not the other would be served undocumented, documented and refused, or answered 404.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <set>
#include <string>
#include <utility>

#include "control/http_control.h"
#include "control/web_panel.h"

namespace {

using tqv::HttpControl;

class RouteTable : public ::testing::Test {
  protected:
    const QJsonObject paths =
        QJsonDocument::fromJson(tqv::openapi_document()).object().value("paths").toObject();
};

TEST_F(RouteTable, ThePanelsFilesAreExactlyTheRoutesServedAsFiles) {
    std::set<std::string> routes;
    for (const HttpControl::Route& r : HttpControl::routes())
        if (r.served == HttpControl::Served::file) routes.insert(r.path);
    const auto& files = tqv::web_panel_paths();
    EXPECT_EQ(routes, std::set<std::string>(files.begin(), files.end()));
}

TEST_F(RouteTable, EveryRouteIsFoundHandledAndDocumentedOnce) {
    std::set<std::pair<std::string, std::string>> seen;
    int operations = 0;
    for (const HttpControl::Route& r : HttpControl::routes()) {
        SCOPED_TRACE(std::string(r.method) + " " + r.path);
        EXPECT_TRUE(seen.insert({r.method, r.path}).second) << "listed twice";
        EXPECT_EQ(HttpControl::route(r.method, r.path), &r);
        EXPECT_EQ(r.handler != nullptr, r.served == HttpControl::Served::handler);
        const QJsonObject ops = paths.value(r.path).toObject();
        EXPECT_TRUE(ops.contains(QString::fromLatin1(r.method).toLower()));
        ++operations;
        if (std::string(r.method) != "GET") continue;
        // HEAD is the GET's route, and documented beside it, but for the upgrade's.
        EXPECT_EQ(HttpControl::route("HEAD", r.path), &r);
        const bool head = r.served != HttpControl::Served::upgrade;
        EXPECT_EQ(ops.contains("head"), head);
        operations += head;
    }
    int documented = 0;
    for (const QJsonValue& ops : paths) documented += int(ops.toObject().size());
    EXPECT_EQ(documented, operations);
    EXPECT_EQ(HttpControl::route("GET", "/api/nothing"), nullptr);
    EXPECT_EQ(HttpControl::route("DELETE", "/api/status"), nullptr);
}

}  // namespace
