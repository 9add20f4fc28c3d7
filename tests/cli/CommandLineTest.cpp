#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <iterator>

#include "CommandLine.h"
#include "UsageError.h"

namespace trelwick::cli {
namespace {

using Args = std::vector<std::string>;

struct UsageCase {
    const char* name;
    Args args;
    const char* messagePart;
};

class CommandLineUsageError : public ::testing::TestWithParam<UsageCase> {};

TEST_P(CommandLineUsageError, IsRefusedWithAMessageNamingTheProblem) {
    const UsageCase& c = GetParam();
    try {
        CommandLine::parse(c.args);
        FAIL() << "accepted";
    } catch (const UsageError& e) {
        EXPECT_NE(std::string(e.what()).find(c.messagePart), std::string::npos) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, CommandLineUsageError,
    ::testing::Values(
        UsageCase{"Nothing", {}, "no output folder"}, UsageCase{"NoOutput", {"a.pptx"}, "no output folder"},
        UsageCase{"NoPath", {"-o", "out"}, "no presentation"},
        UsageCase{"OutputWithoutValue", {"a.pptx", "-o"}, "--output needs a value"},
        UsageCase{"EmptyOutput", {"--output=", "a.pptx"}, "--output needs a folder"},
        UsageCase{"OutputTwice", {"-o", "x", "--output", "y", "a.pptx"}, "--output given twice"},
        UsageCase{"UnknownLong", {"-o", "x", "--colour", "a.pptx"}, "unknown option --colour"},
        UsageCase{"UnknownShort", {"-o", "x", "-v", "a.pptx"}, "unknown option -v"},
        UsageCase{"HelpHasNoShortForm", {"-h"}, "unknown option -h"},
        UsageCase{"DateWithoutValue", {"-o", "x", "a.pptx", "--date"}, "--date needs a value"},
        UsageCase{"EmptyFooter", {"-o", "x", "--footer", "", "a.pptx"}, "--footer needs a non-empty text"},
        UsageCase{"EmptyNotesHeader", {"-o", "x", "--notes-header=", "a.pptx"}, "--notes-header needs"},
        UsageCase{
            "ControlCharactersOnly", {"-o", "x", "--date", "\x01\x02", "a.pptx"}, "--date needs a non-empty"},
        UsageCase{
            "Latin1Footer", {"-o", "x", "--footer", "M\xFCller", "a.pptx"}, "--footer is not valid UTF-8"},
        UsageCase{"SurrogateNotesHeader",
                  {"-o", "x", "--notes-header=\xED\xA0\x80", "a.pptx"},
                  "--notes-header is not valid UTF-8"},
        UsageCase{
            "TruncatedDate", {"-o", "x", "--date", "8 Dec \xE2\x82", "a.pptx"}, "--date is not valid UTF-8"},
        UsageCase{"DateTwice", {"-o", "x", "--date", "a", "--date", "b", "a.pptx"}, "--date given twice"},
        UsageCase{"FlagTwice", {"-o", "x", "--slide-number", "--slide-number", "a.pptx"}, "given twice"},
        UsageCase{"FlagWithValue", {"-o", "x", "--slide-number=yes", "a.pptx"}, "takes no value"},
        UsageCase{"JobsZero", {"-o", "x", "-j", "0", "a.pptx"}, "--jobs needs a whole number"},
        UsageCase{"JobsNegative", {"-o", "x", "-j", "-3", "a.pptx"}, "--jobs needs a whole number"},
        UsageCase{"JobsText", {"-o", "x", "--jobs=many", "a.pptx"}, "--jobs needs a whole number"},
        UsageCase{"JobsTrailing", {"-o", "x", "-j4x", "a.pptx"}, "--jobs needs a whole number"},
        UsageCase{"JobsHuge", {"-o", "x", "-j", "99999999999", "a.pptx"}, "--jobs needs a whole number"},
        UsageCase{"JobsTwice", {"-o", "x", "-j1", "-j2", "a.pptx"}, "--jobs given twice"},
        UsageCase{"StandardInput", {"-o", "x", "-"}, "standard input"},
        UsageCase{"EmptyPath", {"-o", "x", ""}, "empty PATH"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CommandLine, ParsesEveryOptionInLongShortAndAttachedForms) {
    const CliOptions o = CommandLine::parse(
        {"--output=out", "--date", "1 May", "--footer=Acme", "--slide-number", "--notes-date", "2 May",
         "--notes-header", "Hdr", "--notes-footer=Ftr", "--notes-page-number", "-j3", "a.pptx", "folder"});
    EXPECT_EQ(o.output, "out");
    EXPECT_EQ(o.stamp.date, "1 May");
    EXPECT_EQ(o.stamp.footer, "Acme");
    EXPECT_TRUE(o.stamp.slideNumber);
    EXPECT_EQ(o.stamp.notesDate, "2 May");
    EXPECT_EQ(o.stamp.notesHeader, "Hdr");
    EXPECT_EQ(o.stamp.notesFooter, "Ftr");
    EXPECT_TRUE(o.stamp.notesPageNumber);
    EXPECT_EQ(o.jobs, 3u);
    EXPECT_EQ(o.inputs, (std::vector<std::filesystem::path>{"a.pptx", "folder"}));
}

TEST(CommandLine, AbsentElementsAreHiddenAndJobsDefaultToCores) {
    const CliOptions o = CommandLine::parse({"-oout", "a.pptx"});
    EXPECT_EQ(o.output, "out");
    EXPECT_FALSE(o.stamp.date);
    EXPECT_FALSE(o.stamp.footer);
    EXPECT_FALSE(o.stamp.slideNumber);
    EXPECT_FALSE(o.stamp.anyNotesVisible());
    EXPECT_EQ(o.jobs, 0u);
}

TEST(CommandLine, AnyNotesElementCountsAsNotesVisible) {
    EXPECT_TRUE(CommandLine::parse({"-o", "x", "--notes-page-number", "a"}).stamp.anyNotesVisible());
    EXPECT_TRUE(CommandLine::parse({"-o", "x", "--notes-footer", "f", "a"}).stamp.anyNotesVisible());
    EXPECT_FALSE(
        CommandLine::parse({"-o", "x", "--footer", "f", "--slide-number", "a"}).stamp.anyNotesVisible());
}

TEST(CommandLine, ValuesMayLookLikeOptionsAndDoubleDashEndsOptions) {
    const CliOptions o =
        CommandLine::parse({"-o", "x", "--footer", "--draft--", "--", "-odd.pptx", "--date"});
    EXPECT_EQ(o.stamp.footer, "--draft--");
    EXPECT_FALSE(o.stamp.date);
    EXPECT_EQ(o.inputs, (std::vector<std::filesystem::path>{"-odd.pptx", "--date"}));
}

TEST(CommandLine, HelpAndVersionNeedNoOtherArgument) {
    EXPECT_TRUE(CommandLine::parse({"--help"}).showHelp);
    EXPECT_TRUE(CommandLine::parse({"--version"}).showVersion);
    // An error before --help is still an error.
    EXPECT_THROW(CommandLine::parse({"--bogus", "--help"}), UsageError);
}

// The help and the manual page name every option the parser takes: a new option left out of either
// fails here.
TEST(CommandLine, HelpAndManualPageNameEveryOption) {
    const std::string usage = CommandLine::usage();
    std::ifstream file(TRELWICK_MANUAL_PAGE);
    ASSERT_TRUE(file) << TRELWICK_MANUAL_PAGE;
    std::string page((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    // roff writes a hyphen meant literally as "\-".
    for (std::size_t at = page.find("\\-"); at != std::string::npos; at = page.find("\\-", at))
        page.erase(at, 1);
    const std::vector<std::string> names = CommandLine::optionNames();
    EXPECT_GE(names.size(), 13u);
    for (const std::string& option : names) {
        // Whole words only: "--notes-date" must not count for "--date".
        auto named = [&](const std::string& text) {
            for (std::size_t at = text.find(option); at != std::string::npos;
                 at = text.find(option, at + 1)) {
                const bool startsWord = at == 0 || (text[at - 1] != '-' &&
                                                    !std::isalnum(static_cast<unsigned char>(text[at - 1])));
                const std::size_t end = at + option.size();
                const bool endsWord =
                    end == text.size() ||
                    (text[end] != '-' && !std::isalnum(static_cast<unsigned char>(text[end])));
                if (startsWord && endsWord) return true;
            }
            return false;
        };
        EXPECT_TRUE(named(usage)) << option << " is missing from --help";
        EXPECT_TRUE(named(page)) << option << " is missing from the manual page";
    }
}

}  // namespace
}  // namespace trelwick::cli
