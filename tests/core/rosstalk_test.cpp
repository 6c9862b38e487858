// RossTalk lines: what a mixer sends is a command (its cue, and the devices it is for when
// named), what a browser sends is told apart.
#include <gtest/gtest.h>

#include "core/rosstalk.h"

namespace tqv {
namespace {

TEST(RossTalk, CommandsAreTakenAndABrowsersLinesAreToldApart) {
    using Kind = RossTalkCommand::Kind;
    const struct {
        const char* line;
        Kind kind;
        bool http;
    } cases[] = {
        {"GO", Kind::go, false},
        {" gpi  3\r", Kind::fire, false},
        {"CC 1:12", Kind::fire, false},
        {"CC 2:1", Kind::unknown, false},
        {"nonsense", Kind::unknown, false},
        {"GPI:3", Kind::unknown, true},  // a header's shape, no command's
        {"", Kind::unknown, false},
        {"POST / HTTP/1.1", Kind::unknown, true},
        {"GET /?GO HTTP/1.0", Kind::unknown, true},
        {"GET /api", Kind::unknown, true},
        {"OPTIONS * HTTP/1.1", Kind::unknown, true},
        {"CONNECT 127.0.0.1:80 HTTP/1.1", Kind::unknown, true},
        {"GET http://127.0.0.1/ HTTP/1.1", Kind::unknown, true},
        {"Host: 127.0.0.1", Kind::unknown, true},
        {"content-type:text/plain", Kind::unknown, true},
        {"X-Forwarded-For: a", Kind::unknown, true},
        {": no name", Kind::unknown, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parse_rosstalk(c.line).kind, c.kind) << c.line;
        EXPECT_EQ(looks_like_http(c.line), c.http) << c.line;
    }
}

TEST(RossTalk, CommandsTakeTheirCueAndOptionallyTheDevicesAfterIt) {
    using K = RossTalkCommand::Kind;
    const struct {
        const char* line;
        RossTalkCommand command;
    } cases[] = {
        {"GO", {K::go, 0, ""}},
        {" go 2 \r", {K::go, 0, "2"}},
        {"GO all", {K::go, 0, "ALL"}},
        {"GPI 3", {K::fire, 3, ""}},
        {"gpi\t3  1,2", {K::fire, 3, "1,2"}},
        {"CC 1:12 all", {K::fire, 12, "ALL"}},
        {"GO 2 3", {}},
        {"GPI 3 1 2", {}},
        {"GPI", {}},
        {"GPI 0 2", {}},
        {"CC 2:1", {}},
        {"CC 1: 4", {}},
        {"FIRE 1", {}},
        {"GO ://x", {}},
        {"GPI 3 /", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(parse_rosstalk(c.line), c.command) << c.line;
}

}  // namespace
}  // namespace tqv
