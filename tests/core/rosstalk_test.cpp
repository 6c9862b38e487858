// RossTalk lines as a vision mixer sends them: the command, its cue, and the devices it is
// for when named.
#include "core/rosstalk.h"

#include <gtest/gtest.h>

namespace tqv {
namespace {

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
    };
    for (const auto& c : cases) EXPECT_EQ(parse_rosstalk(c.line), c.command) << c.line;
}

}  // namespace
}  // namespace tqv
