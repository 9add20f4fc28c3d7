#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "ProgressBar.h"

namespace trelwick::cli {
namespace {

struct RenderCase {
    std::size_t done, failed, total;
    const char* expected;
};

class ProgressBarRender : public ::testing::TestWithParam<RenderCase> {};

TEST_P(ProgressBarRender, ShowsFillAndCounts) {
    const RenderCase& c = GetParam();
    EXPECT_EQ(ProgressBar::render(c.done, c.failed, c.total, 10), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Table, ProgressBarRender,
                         ::testing::Values(RenderCase{0, 0, 4, "[..........] 0/4"},
                                           RenderCase{1, 0, 4, "[##........] 1/4"},
                                           RenderCase{3, 1, 4, "[#######...] 3/4  failed 1"},
                                           RenderCase{4, 4, 4, "[##########] 4/4  failed 4"},
                                           RenderCase{0, 0, 0, "[##########] 0/0"}),
                         [](const ::testing::TestParamInfo<RenderCase>& info) {
                             const RenderCase& c = info.param;
                             return "Done" + std::to_string(c.done) + "Failed" + std::to_string(c.failed) +
                                    "Of" + std::to_string(c.total);
                         });

TEST(ProgressBar, DisabledWritesNothing) {
    std::ostringstream out;
    ProgressBar bar(out, 3, false);
    bar.update(1, 0);
    bar.clear();
    bar.update(3, 1);
    EXPECT_EQ(out.str(), "");
}

TEST(ProgressBar, EnabledRedrawsInPlaceAndClearsBeforeMessages) {
    std::ostringstream out;
    ProgressBar bar(out, 2, true);
    bar.clear();  // nothing drawn yet: nothing to clear
    EXPECT_EQ(out.str(), "");
    bar.update(1, 0);
    bar.clear();
    const std::string text = out.str();
    EXPECT_EQ(text.find('\n'), std::string::npos);
    EXPECT_NE(text.find("\r[###############...............] 1/2\x1b[K"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 4), "\r\x1b[K");
}

}  // namespace
}  // namespace trelwick::cli
