#include <gtest/gtest.h>

#include <stdexcept>
#include <utility>

#include "support/FakeDialogs.h"
#include "util/AppError.h"
#include "util/ErrorReport.h"

namespace trelwick {
namespace {

using testing::FakeDialogs;

TEST(ErrorReport, TextIsExact) {
    EXPECT_EQ(ErrorReport::locationTag("Dunmere", "Form1", "PushButton7_Click"),
              "Dunmere2021/08/31.Form1.PushButton7_Click");
    EXPECT_EQ(ErrorReport::reportText("Disk full", "Dunmere2021/08/31.Form1.Form_Load", 108),
              "Disk full\r\nin Dunmere2021/08/31.Form1.Form_Load at line 108\r\r"
              "Please email screenshot of this message to support@example.com");
    // An empty description leaves the first line empty.
    EXPECT_TRUE(ErrorReport::reportText("", "T", 100).startsWith("\r\nin T at line 100\r\r"));
}

TEST(ErrorReport, ReportsEachFailureWithItsStepAndGoesOn) {
    FakeDialogs dialogs;
    ErrorReport r(dialogs, ErrorReport::locationTag("Orlinth", "AddFolder", "GetSubDirectories2016"));
    std::vector<int> ran;
    EXPECT_TRUE(r.step(100, [&] { ran.push_back(100); }));
    EXPECT_FALSE(r.step(102, [&] { throw AppError(kPathNotFound, "Path not found"); }));
    EXPECT_FALSE(r.step(104, [&] { throw std::runtime_error("boom"); }));
    EXPECT_TRUE(r.step(106, [&] { ran.push_back(106); }));
    EXPECT_EQ(ran, (std::vector<int>{100, 106}));
    EXPECT_EQ(r.currentStep(), 106);

    const auto reports = dialogs.errorReports();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].text,
              "Path not found\r\nin Orlinth2021/08/31.AddFolder.GetSubDirectories2016 at line 102"
              "\r\rPlease email screenshot of this message to support@example.com");
    EXPECT_TRUE(reports[1].text.startsWith("boom\r\n"));
    EXPECT_TRUE(reports[1].text.contains("at line 104\r\r"));
    EXPECT_EQ(reports[0].icon, MessageIcon::Warning);
    EXPECT_EQ(reports[0].buttons, MessageButtons::Ok);
}

TEST(ErrorReport, FailedTestTakesTheFirstBranch) {
    FakeDialogs dialogs;
    ErrorReport r(dialogs, "T");
    EXPECT_TRUE(r.test(124, [] { return true; }));
    EXPECT_FALSE(r.test(124, [] { return false; }));
    EXPECT_TRUE(r.test(126, []() -> bool { throw AppError(5, "Invalid procedure call"); }));
    ASSERT_EQ(dialogs.errorReports().size(), 1u);
    EXPECT_TRUE(dialogs.errorReports()[0].text.contains("at line 126"));
}

// Failures found elsewhere are told before the one at hand, which keeps its own step; the reports the
// hook makes do not call it again.
TEST(ErrorReport, WhatRunsBeforeAReportIsToldFirst) {
    FakeDialogs dialogs;
    ErrorReport r(dialogs, "T");
    int calls = 0;
    bool pending = true;
    r.setBeforeReport([&] {
        ++calls;
        if (std::exchange(pending, false)) r.step(234, [] { throw std::runtime_error("earlier"); });
    });
    EXPECT_TRUE(r.step(120, [] {}));
    EXPECT_FALSE(r.step(122, [] { throw std::runtime_error("later"); }));
    EXPECT_FALSE(r.step(124, [] { throw std::runtime_error("last"); }));
    EXPECT_EQ(calls, 2);
    const auto reports = dialogs.errorReports();
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_TRUE(reports[0].text.startsWith("earlier\r\nin T at line 234\r\r"));
    EXPECT_TRUE(reports[1].text.startsWith("later\r\nin T at line 122\r\r"));
    EXPECT_TRUE(reports[2].text.startsWith("last\r\nin T at line 124\r\r"));
    EXPECT_EQ(r.currentStep(), 124);
}

}  // namespace
}  // namespace trelwick
