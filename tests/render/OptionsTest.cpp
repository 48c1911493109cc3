#include "render/Render.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace orvex::render {
namespace {

TEST(ParseSize, TakesASideOrWidthByHeightWithinTheLimits) {
    struct Case {
        std::string text;
        int width, height;  // 0: refused
    };
    const Case cases[] = {{"512", 512, 512},
                          {"640x480", 640, 480},
                          {"1", 1, 1},
                          {"8192x1", 8192, 1},
                          {"0", 0, 0},
                          {"8193", 0, 0},
                          {"1x8193", 0, 0},
                          {"512x0", 0, 0},
                          {"-5", 0, 0},
                          {"+5", 0, 0},
                          {"", 0, 0},
                          {"x", 0, 0},
                          {"512x", 0, 0},
                          {"x512", 0, 0},
                          {"512X512", 0, 0},
                          {" 512", 0, 0},
                          {"512 ", 0, 0},
                          {"1e3", 0, 0},
                          {"12x34x56", 0, 0},
                          {"4294967808", 0, 0},
                          {"99999999999999999999", 0, 0}};
    for (const Case& c : cases) {
        const std::optional<FrameSize> size = parseSize(c.text);
        EXPECT_EQ(size ? size->width : 0, c.width) << '"' << c.text << '"';
        EXPECT_EQ(size ? size->height : 0, c.height) << '"' << c.text << '"';
    }
}

TEST(ParseView, KnowsTheFourViewNamesOnly) {
    EXPECT_EQ(parseView("front"), View::Front);
    EXPECT_EQ(parseView("side"), View::Side);
    EXPECT_EQ(parseView("top"), View::Top);
    EXPECT_EQ(parseView("iso"), View::Iso);
    for (const char* bad : {"", "Front", "ISO", "iso ", "isometric", "back"}) {
        EXPECT_EQ(parseView(bad), std::nullopt) << bad;
    }
}

}  // namespace
}  // namespace orvex::render
