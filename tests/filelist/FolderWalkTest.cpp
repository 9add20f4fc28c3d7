#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSet>
#include <QTreeWidget>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "TempTree.h"
#include "filelist/AddFolder.h"
#include "filelist/FileList.h"
#include "support/FakeDialogs.h"
#include "util/ErrorReport.h"

namespace trelwick {
namespace {

using testing::FakeDialogs;
using testing::TempTree;

// Names of the folders (dirs) or files directly in folder, in the order the file system lists them.
QStringList listed(const QString& folder, bool dirs) {
    QStringList names;
    for (const auto& entry : std::filesystem::directory_iterator(folder.toStdString()))
        if (entry.is_directory() == dirs) names << QString::fromStdString(entry.path().filename().string());
    return names;
}

class FolderWalkTest : public ::testing::Test {
  protected:
    FolderWalkTest() : list(&widget, [] { return false; }), addFolder(dialogs, list) {}

    // Walks start (as the folder button does) and adds the files matching pattern.
    QStringList walkAndAdd(const QString& start, const QString& pattern) {
        QStringList folders{start + QLatin1Char('/')};
        addFolder.GetSubDirectories2016(folders, true);
        ErrorReport report(dialogs, QStringLiteral("test"));
        addFolder.addFilesOfFolders(folders, pattern, report);
        return list.texts();
    }

    QStringList walk(const QString& start) {
        QStringList folders{start + QLatin1Char('/')};
        addFolder.GetSubDirectories2016(folders, true);
        return folders;
    }

    TempTree tree;
    FakeDialogs dialogs;
    QTreeWidget widget;
    FileList list;
    AddFolder addFolder;
};

TEST_F(FolderWalkTest, WalksBreadthFirstGroupedByParent) {
    for (const char* f : {"A/a1.ppt", "A/a2.ppt", "A/B/b1.ppt", "A/B/D/d1.ppt", "A/C/c1.ppt"})
        tree.file(QString::fromLatin1(f));
    const QString a = tree.path("A");

    const QStringList entries = walkAndAdd(a, "*.ppt");

    ASSERT_EQ(entries.size(), 5);
    QStringList expected;
    for (const QString& n : listed(a, false)) expected << a + "/" + n;
    for (const QString& sub : listed(a, true))
        for (const QString& n : listed(a + "/" + sub, false)) expected << a + "/" + sub + "/" + n;
    expected << a + "/B/D/d1.ppt";
    EXPECT_EQ(entries, expected);
    EXPECT_TRUE(dialogs.errorReports().empty());
}

TEST_F(FolderWalkTest, SecondLevelFollowsTheOrderOfItsParents) {
    tree.folder("A/B/D");
    tree.folder("A/C/E");
    const QString a = tree.path("A");
    const QStringList level1 = listed(a, true);
    ASSERT_EQ(level1.size(), 2);
    const QString deeper1 = level1[0] == "B" ? "D" : "E";
    const QString deeper2 = level1[0] == "B" ? "E" : "D";

    const QStringList folders = walk(a);

    EXPECT_EQ(folders, (QStringList{a + "/", a + "/" + level1[0] + "/", a + "/" + level1[1] + "/",
                                    a + "/" + level1[0] + "/" + deeper1 + "/",
                                    a + "/" + level1[1] + "/" + deeper2 + "/"}));
}

TEST_F(FolderWalkTest, FileRulesForTildeHiddenAndReadOnly) {
    struct Case {
        const char* name;
        bool added;
    };
    const Case cases[] = {
        {"plain.ppt", true},        // archive only
        {"~$lock.ppt", false},      // leading tilde
        {".hidden.ppt", false},     // hidden + archive, exactly 34
        {".readonly.ppt", true},    // hidden + archive + read-only, 35
        {"other.txt", false},       // not matched by the pattern
        {"sub/nested.ppt", true},   // below, in a plain folder
        {"sub/~nested.ppt", false}  // tilde below too
    };
    for (const Case& c : cases) tree.file(QString("A/") + c.name);
    QFile::setPermissions(tree.path("A/.readonly.ppt"), QFile::ReadOwner | QFile::ReadGroup);
    tree.link("A/dangling.ppt", tree.path("A/missing.ppt"));

    const QStringList entries = walkAndAdd(tree.path("A"), "*.ppt");

    for (const Case& c : cases)
        EXPECT_EQ(entries.contains(tree.path(QString("A/") + c.name)), c.added) << c.name;
    EXPECT_FALSE(entries.contains(tree.path("A/dangling.ppt")));
    EXPECT_EQ(entries.size(), 3);
}

TEST_F(FolderWalkTest, StarAddsEveryExtensionAndAnExtensionMatchesInAnyCase) {
    for (const char* f : {"A/one.ppt", "A/two.pptx", "A/notes.txt", "A/noextension", "A/UPPER.PPTX"})
        tree.file(QString::fromLatin1(f));
    EXPECT_EQ(walkAndAdd(tree.path("A"), "*.*").size(), 5);
    list.clearEntries();
    QStringList pptx = walkAndAdd(tree.path("A"), "*.pptx");
    pptx.sort();
    EXPECT_EQ(pptx, (QStringList{tree.path("A/UPPER.PPTX"), tree.path("A/two.pptx")}));
}

TEST_F(FolderWalkTest, DotFolderMetBelowIsSkippedButChosenDirectlyKeepsItsOwnFiles) {
    tree.file("A/keep.ppt");
    tree.file("A/.git/inside.ppt");
    tree.file("A/.git/objects/deep.ppt");

    const QStringList below = walkAndAdd(tree.path("A"), "*.ppt");
    EXPECT_EQ(below, QStringList{tree.path("A/keep.ppt")});

    list.clearEntries();
    const QStringList direct = walkAndAdd(tree.path("A/.git"), "*.ppt");
    EXPECT_EQ(direct, QStringList{tree.path("A/.git/inside.ppt")});
}

// Creates a file under the tree at a path given as bytes, as the file system holds it (and its folders).
void rawFile(const TempTree& tree, const QByteArray& relative) {
    const std::filesystem::path full = (QFile::encodeName(tree.path()) + '/' + relative).toStdString();
    std::filesystem::create_directories(full.parent_path());
    std::ofstream out(full);
    out << "sample";
    ASSERT_TRUE(out.good()) << relative.toStdString();
}

TEST_F(FolderWalkTest, UnusableFolderNamesAreSkippedWithTheirTrees) {
    tree.file("A/good/g.ppt");
    tree.file("A/tab\there/t.ppt");
    tree.file("A/what?/q.ppt");
    tree.file("A/tab\there/below/b.ppt");
    tree.link("A/dangling", tree.path("nowhere"));
    // Names in Latin-1: one a level down from the other, and a dangling link, which is no folder.
    rawFile(tree, "A/caf\xe9/c.ppt");
    rawFile(tree, "A/caf\xe9/below/b.ppt");
    rawFile(tree, "A/good/na\xefve/n.ppt");
    ASSERT_EQ(::symlink("gone", (QFile::encodeName(tree.path("A")) + "/lien\xe9").constData()), 0);

    const QStringList entries = walkAndAdd(tree.path("A"), "*.ppt");

    EXPECT_EQ(entries, QStringList{tree.path("A/good/g.ppt")});
    // Told once, the nearer one named first, so the user knows which decks were not listed.
    const QString replaced(QChar::ReplacementCharacter);
    auto reports = dialogs.errorReports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_TRUE(reports[0].text.contains(tree.path("A/caf") + replaced +
                                         " and 1 more: folders whose names are not valid UTF-8 were "
                                         "not searched; their files were not added. Rename them"))
        << reports[0].text.toStdString();
    EXPECT_TRUE(reports[0].text.contains("at line 116")) << reports[0].text.toStdString();

    dialogs.calls.clear();
    list.clearEntries();
    walkAndAdd(tree.path("A/good"), "*.ppt");
    reports = dialogs.errorReports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_TRUE(reports[0].text.contains(tree.path("A/good/na") + replaced +
                                         "ve: a folder whose name is not valid UTF-8 was not searched"))
        << reports[0].text.toStdString();
}

TEST_F(FolderWalkTest, UnreadableFolderIsDroppedSilentlyAndSiblingsStillWalked) {
    tree.file("A/open/o.ppt");
    tree.file("A/locked/l.ppt");
    tree.file("A/locked/inner/i.ppt");
    const QString locked = tree.path("A/locked");
    QFile::setPermissions(locked, QFileDevice::Permissions());

    // Root reads a folder of mode 000 anyway; then the walk runs in a child that gives up root.
    const auto walkAsUser = [&] {
        if (::geteuid() == 0) {
            const QFileDevice::Permissions open = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                  QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                                  QFile::ExeOther;
            for (const char* f : {"", "A", "A/open"}) QFile::setPermissions(tree.path(f), open);
            if (::setgid(65534) != 0 || ::setuid(65534) != 0) std::exit(3);
        }
        if (::access(locked.toLocal8Bit().constData(), R_OK) == 0) std::exit(4);
        const QStringList folders = walk(tree.path("A"));
        const QStringList entries = walkAndAdd(tree.path("A"), "*.ppt");
        const bool right = !folders.contains(locked + "/") &&
                           entries == QStringList{tree.path("A/open/o.ppt")} && dialogs.calls.empty();
        std::exit(right ? 0 : 1);
    };
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(walkAsUser(), ::testing::ExitedWithCode(0), "");
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

TEST_F(FolderWalkTest, FolderVanishingBeforeItsListingIsDroppedSilently) {
    tree.file("A/a.ppt");
    const QString a = tree.path("A");
    // The walk's first chance to process events comes between the folder test and the listing.
    QMetaObject::invokeMethod(
        qApp, [&] { QDir(a).removeRecursively(); }, Qt::QueuedConnection);

    const QStringList folders = walk(a);

    EXPECT_TRUE(folders.isEmpty());
    EXPECT_TRUE(dialogs.calls.empty());
}

TEST_F(FolderWalkTest, SymlinkLoopEndsAndListsEachFileOnce) {
    tree.file("A/x.ppt");
    tree.file("A/B/y.ppt");
    tree.link("A/loop", tree.path("A"));
    tree.link("A/B/up", tree.path("A"));
    tree.link("A/B/again", tree.path("A/B"));

    const QStringList entries = walkAndAdd(tree.path("A"), "*.ppt");

    EXPECT_EQ(entries.size(), 2);
    EXPECT_EQ(QSet<QString>(entries.begin(), entries.end()),
              (QSet<QString>{tree.path("A/x.ppt"), tree.path("A/B/y.ppt")}));
}

TEST_F(FolderWalkTest, LinkToAFolderOutsideTheTreeIsWalked) {
    tree.file("elsewhere/e.ppt");
    tree.file("A/a.ppt");
    tree.link("A/link", tree.path("elsewhere"));

    const QStringList entries = walkAndAdd(tree.path("A"), "*.ppt");

    EXPECT_TRUE(entries.contains(tree.path("A/link/e.ppt")));
    EXPECT_EQ(entries.size(), 2);
}

TEST_F(FolderWalkTest, HundredAndThirtyFilesAreAllAdded) {
    for (int i = 0; i < 130; ++i) tree.file(QString("A/deck%1.ppt").arg(i, 3, 10, QLatin1Char('0')));
    EXPECT_EQ(walkAndAdd(tree.path("A"), "*.ppt").size(), 130);
}

TEST_F(FolderWalkTest, FolderOfLongPathIsNotWalkedFurtherButItsFilesCount) {
    // Each level adds 51 characters; the fourth level passes 260 characters.
    const QString segment(50, QLatin1Char('n'));
    QString relative = "A";
    QString longFolder;
    while (true) {
        relative += "/" + segment;
        if (tree.path(relative).size() + 1 >= 260) {
            longFolder = relative;
            break;
        }
    }
    tree.file(longFolder + "/here.ppt");
    tree.file(longFolder + "/" + segment + "/beyond.ppt");

    const QStringList entries = walkAndAdd(tree.path("A"), "*.ppt");

    EXPECT_EQ(entries, QStringList{tree.path(longFolder + "/here.ppt")});
}

TEST_F(FolderWalkTest, FolderOfLongPathWhoseFoldersAreNotWalkedIsReportedOnce) {
    const QString segment(50, QLatin1Char('n'));
    QString relative = "A";
    while (tree.path(relative).size() + 1 < 260) relative += "/" + segment;
    // Two long folders holding folders, and a long one holding only a file.
    tree.file(relative + "/" + segment + "/beyond.ppt");
    tree.file(relative + "x/" + segment + "/beyond.ppt");
    tree.file(relative + "y/here.ppt");

    QStringList entries = walkAndAdd(tree.path("A"), "*.ppt");

    entries.sort();
    EXPECT_EQ(entries, QStringList{tree.path(relative + "y/here.ppt")});
    const auto reports = dialogs.errorReports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_TRUE(reports[0].text.contains("and 1 more: the folders inside them were not searched"))
        << reports[0].text.toStdString();
    EXPECT_TRUE(reports[0].text.contains("at line 110")) << reports[0].text.toStdString();

    dialogs.calls.clear();
    list.clearEntries();
    walkAndAdd(tree.path(relative + "y"), "*.ppt");
    EXPECT_TRUE(dialogs.errorReports().empty());
}

TEST_F(FolderWalkTest, StartingFolderThatIsNotAFolderAddsNothing) {
    const QString missing = tree.path("gone");
    EXPECT_EQ(walk(missing), QStringList{missing + "/"});
    EXPECT_TRUE(walkAndAdd(missing, "*.*").isEmpty());
    EXPECT_TRUE(dialogs.errorReports().empty());
}

TEST_F(FolderWalkTest, WalkKeepsProcessingEvents) {
    for (int i = 0; i < 5; ++i) tree.folder(QString("A/s%1/t").arg(i));
    bool walking = true;
    bool ranDuringWalk = false;
    QMetaObject::invokeMethod(
        qApp, [&] { ranDuringWalk = walking; }, Qt::QueuedConnection);
    walk(tree.path("A"));
    walking = false;
    EXPECT_TRUE(ranDuringWalk);
}

}  // namespace
}  // namespace trelwick
