#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>

#include "common/Permissions.h"
#include "util/AppError.h"
#include "util/PathHelpers.h"

namespace trelwick {
namespace {

struct NormaliseCase {
    const char* in;
    const char* out;
};

TEST(PathNormalisation, WindowsRules) {
    const NormaliseCase cases[] = {
        {R"(C:\\Data\file.ppt)", R"(C:\Data\file.ppt)"},
        {R"(\\server\\share\\file.ppt)", R"(\\server\share\file.ppt)"},
        {R"(\\\server\share)", R"(\\server\share)"},
        {R"(\folder\x)", R"(\\folder\x)"},
        {R"(C:\a\\\b)", R"(C:\a\\b)"},
        {R"(C:\a\\\\b)", R"(C:\a\\b)"},
        {"", ""},
        {R"(\)", R"(\\)"},
        {"C:/a//b", "C:/a//b"},  // only the backslash is touched
    };
    for (const auto& c : cases)
        EXPECT_EQ(normalisePath(QString::fromUtf8(c.in), PathStyle::Windows), QString::fromUtf8(c.out))
            << c.in;
}

TEST(PathNormalisation, PosixRules) {
    const NormaliseCase cases[] = {
        {"/home//user/file.ppt", "/home/user/file.ppt"},
        {"//server/share", "/server/share"},
        {"///a//b", "/a/b"},
        {"/a///b", "/a//b"},
        {"relative//x", "relative/x"},
        {"", ""},
        {"/", "/"},
        {"//", "/"},
        {R"(C:\\x)", R"(C:\\x)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(normalisePath(QString::fromUtf8(c.in), PathStyle::Posix), QString::fromUtf8(c.out)) << c.in;
}

TEST(PathNormalisation, NativeIsPosixHere) {
    EXPECT_EQ(normalisePath("//tmp//x"), "/tmp/x");
    EXPECT_EQ(joinPath("/", "name.ppt"), "/name.ppt");
    EXPECT_EQ(joinPath("/tmp/", "name.ppt"), "/tmp/name.ppt");
}

TEST(FileNameOfPath, Cases) {
    EXPECT_EQ(fileNameOfPath("/data/decks/q3.pptx"), "q3.pptx");
    EXPECT_EQ(fileNameOfPath("q3.pptx"), "q3.pptx");
    EXPECT_EQ(fileNameOfPath("/data/decks/"), "");
    EXPECT_EQ(fileNameOfPath(""), "");
}

TEST(UnusableName, Cases) {
    struct Case {
        QString name;
        bool unusable;
    } cases[] = {
        {"plain.ppt", false},
        {QString::fromUtf8("Résumé über.pptx"), false},
        {QString::fromUtf8("日本語.pptx"), false},  // Unicode names are fine here
        {"", false},
        {"tab\there", true},
        {"what?.ppt", true},
        {QString("del") + QChar(127), true},
        {QString("c1") + QChar(0x9F), true},
        {QString("nbsp") + QChar(0xA0), false},
        {QString("nl\n"), true},
    };
    for (const auto& c : cases) EXPECT_EQ(isUnusableName(c.name), c.unusable) << c.name.toStdString();
}

class FileSystemTest : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    QString path(const QString& rel) const { return dir.path() + "/" + rel; }
    void touch(const QString& rel) {
        QFile f(path(rel));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("x");
    }
    void mkdir(const QString& rel) { ASSERT_TRUE(QDir().mkpath(path(rel))); }
    void link(const QString& target, const QString& rel) {
        ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(path(rel)).constData()),
                  0);
    }
};

TEST_F(FileSystemTest, AttributesOnPosix) {
    touch("deck.ppt");
    touch(".hidden.ppt");
    mkdir("folder");
    mkdir(".dotfolder");
    link(path("folder"), "folderlink");
    link(path("deck.ppt"), "filelink");
    link(path("gone"), "dangling");
    touch("readonly.ppt");
    ASSERT_EQ(::chmod(QFile::encodeName(path("readonly.ppt")).constData(), 0444), 0);

    struct Case {
        const char* rel;
        std::optional<int> attributes;
    } cases[] = {
        {"deck.ppt", 32},     {".hidden.ppt", 34},       {"folder", 16},
        {".dotfolder", 22},   {"folderlink", 1040},      {"filelink", 1056},
        {"readonly.ppt", 33}, {"missing", std::nullopt}, {"dangling", 1024},
    };
    for (const auto& c : cases) EXPECT_EQ(fileAttributes(path(c.rel)), c.attributes) << c.rel;
    EXPECT_EQ(fileAttributes(path("folder/")), 16);
    EXPECT_EQ(fileAttributes(""), std::nullopt);
}

TEST_F(FileSystemTest, ExistsFolderAndOpenableTests) {
    touch("deck.ppt");
    touch(".dot.ppt");
    mkdir("folder");
    link(path("deck.ppt"), "filelink");
    link(path("folder"), "folderlink");
    link(path("gone"), "dangling");
    touch(QString::fromUtf8("Ünïcødé 日本.pptx"));

    struct Case {
        QString rel;
        bool exists, folder, openable;
    } cases[] = {
        {"deck.ppt", true, false, true},   {".dot.ppt", true, false, true},
        {"folder", true, true, false},     {"filelink", true, false, true},
        {"folderlink", true, true, false}, {"dangling", false, false, false},
        {"missing", false, false, false},  {QString::fromUtf8("Ünïcødé 日本.pptx"), true, false, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(fileExists(path(c.rel)), c.exists) << c.rel.toStdString();
        EXPECT_EQ(isFolder(path(c.rel)), c.folder) << c.rel.toStdString();
        EXPECT_EQ(isOpenableFile(path(c.rel)), c.openable) << c.rel.toStdString();
    }
    EXPECT_FALSE(fileExists(""));
    EXPECT_FALSE(isOpenableFile(""));
    EXPECT_FALSE(isOpenableFile("/dev/null"));  // a device is not a file to open
}

TEST_F(FileSystemTest, OpenableWithoutReadPermission) {
    touch("locked.ppt");
    ASSERT_EQ(::chmod(QFile::encodeName(path("locked.ppt")).constData(), 0), 0);
    EXPECT_TRUE(isOpenableFile(path("locked.ppt")));
}

TEST_F(FileSystemTest, ListsAllOf130FilesAndNothingElse) {
    for (int i = 0; i < 130; ++i) touch(QString("deck%1.ppt").arg(i, 3, 10, QLatin1Char('0')));
    touch("notes.txt");
    mkdir("sub.ppt");  // a folder matching the pattern is not a file
    const QStringList names = listFolderFiles(dir.path(), "*.ppt");
    EXPECT_EQ(names.size(), 130);
    QStringList sorted = names;
    sorted.sort();
    EXPECT_EQ(sorted.first(), "deck000.ppt");
    EXPECT_EQ(sorted.last(), "deck129.ppt");
    EXPECT_EQ(listFolderFiles(dir.path() + "/", "*.ppt").size(), 130);
    EXPECT_TRUE(listFolderFiles(dir.path(), "*.pptx").isEmpty());
}

TEST_F(FileSystemTest, PatternsHiddenFilesAndLinks) {
    touch("a.ppt");
    touch("B.PPT");
    touch(".hidden.ppt");
    touch("noext");
    touch("a.pptx");
    link(path("a.ppt"), "link.ppt");
    link(path("gone.ppt"), "dangling.ppt");
    mkdir(".dotfolder.ppt");

    struct Case {
        const char* pattern;
        QStringList expected;
    } cases[] = {
        {"*.ppt", {".hidden.ppt", "B.PPT", "a.ppt", "link.ppt"}},
        {"*.PPT", {".hidden.ppt", "B.PPT", "a.ppt", "link.ppt"}},
        {"*.Ppt", {".hidden.ppt", "B.PPT", "a.ppt", "link.ppt"}},
        {"?.ppt", {"B.PPT", "a.ppt"}},
        {"*.*", {".hidden.ppt", "B.PPT", "a.ppt", "a.pptx", "link.ppt", "noext"}},
        {"*", {".hidden.ppt", "B.PPT", "a.ppt", "a.pptx", "link.ppt", "noext"}},
        {"*.key", {}},
    };
    for (const auto& c : cases) {
        QStringList got = listFolderFiles(dir.path(), c.pattern);
        got.sort();
        QStringList want = c.expected;
        want.sort();
        EXPECT_EQ(got, want) << c.pattern;
    }
}

// Only files are listed, so only a file whose name cannot be used is one the user must be told of: a
// folder or a dangling link with such a name is left out as any folder or dangling link is.
TEST_F(FileSystemTest, OnlyFilesCountAsLeftOutForTheirName) {
    const QByteArray base = QFile::encodeName(dir.path()) + '/';
    ASSERT_EQ(::mkdir((base + "caf\xe9").constData(), 0755), 0);
    ASSERT_EQ(::symlink("gone", (base + "lien\xe9.ppt").constData()), 0);
    const int fd = ::open((base + "deck\xe9.ppt").constData(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);
    touch("plain.ppt");
    int undecodable = 0;
    EXPECT_EQ(listFolderFiles(dir.path(), "*.*", &undecodable), QStringList{"plain.ppt"});
    EXPECT_EQ(undecodable, 1) << "a folder or a dangling link is no file left out";
}

TEST_F(FileSystemTest, MissingFolderGivesEmptyListUnreadableFolderThrows) {
    EXPECT_TRUE(listFolderFiles(path("nowhere"), "*.*").isEmpty());
    touch("file");
    EXPECT_TRUE(listFolderFiles(path("file"), "*.*").isEmpty());
    mkdir("closed");
    ASSERT_EQ(::chmod(QFile::encodeName(path("closed")).constData(), 0), 0);
    const trelwick::testing::PermissionsBind bind;
    if (!bind.active()) GTEST_SKIP() << "running as root without a way to be held to permissions";
    try {
        listFolderFiles(path("closed"), "*.*");
        ADD_FAILURE() << "expected a failure";
    } catch (const AppError& e) {
        EXPECT_EQ(e.code(), kPermissionDenied);
    }
    ::chmod(QFile::encodeName(path("closed")).constData(), 0755);
}

}  // namespace
}  // namespace trelwick
