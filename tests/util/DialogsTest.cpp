#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "support/FakeDialogs.h"
#include "util/FolderPicker.h"
#include "util/QtDialogs.h"

namespace trelwick {
namespace {

TEST(QtDialogsText, CarriageReturnsBecomeLineBreaks) {
    struct Case {
        QString in, out;
    } cases[] = {
        {"a\r\rb", "a\n\nb"},
        {"a\r\nb", "a\nb"},
        {"a\r\n\r\nb", "a\n\nb"},
        {"a\rb\r\nc\r\rd", "a\nb\nc\n\nd"},
        {"", ""},
        {"\r\nx", "\nx"},
    };
    for (const auto& c : cases) EXPECT_EQ(QtDialogs::displayText(c.in), c.out) << c.in.toStdString();
}

TEST(QtDialogsText, ChosenFolderHasNoTrailingSeparatorExceptRoot) {
    EXPECT_EQ(QtDialogs::chosenFolderText("/data/out/"), "/data/out");
    EXPECT_EQ(QtDialogs::chosenFolderText("/data/out"), "/data/out");
    EXPECT_EQ(QtDialogs::chosenFolderText("/"), "/");
    EXPECT_EQ(QtDialogs::chosenFolderText(""), "");
}

TEST(FolderPicker, PassesOwnerTitleAndInitialFolderAndGivesTheAnswer) {
    testing::FakeDialogs dialogs;
    dialogs.folderAnswers.push_back("/data/out");
    EXPECT_EQ(BrowseForFolder(dialogs, nullptr, "Please select folder:", "/data"), "/data/out");
    EXPECT_EQ(BrowseForFolder(dialogs, nullptr, "Again", "/gone"), "");  // cancelled
    const auto calls = dialogs.callsOf(testing::FakeDialogs::Kind::BrowseForFolder);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].title, "Please select folder:");
    EXPECT_EQ(calls[0].defaultText, "/data");
    EXPECT_EQ(calls[1].defaultText, "/gone");
}

}  // namespace
}  // namespace trelwick
