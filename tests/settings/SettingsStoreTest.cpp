#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include "settings/LenientNumber.h"
#include "settings/SettingsStore.h"
#include "util/AppError.h"

namespace trelwick {
namespace {

TEST(LenientNumber, CheckKeysReadLikeANumber) {
    struct Case {
        QString text;
        int state;
    } cases[] = {
        {"1", 1},     {" 1", 1},    {"1.0", 1}, {"\t1\n", 1}, {"1 .0", 1}, {"+1", 1}, {"1abc", 1},
        {"0.1e1", 1}, {"10e-1", 1}, {"1e", 1},  {"1d0", 1},   {"0", 0},    {"2", 0},  {"yes", 0},
        {"", 0},      {"1 0", 0},   {"-1", 0},  {".", 0},     {"1.01", 0}, {"e1", 0}, {"１", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(checkStateFromText(c.text), c.state) << c.text.toStdString();
}

TEST(LenientNumber, Values) {
    EXPECT_DOUBLE_EQ(lenientNumber("2x"), 2.0);
    EXPECT_DOUBLE_EQ(lenientNumber(" 1 2 . 5 "), 12.5);
    EXPECT_DOUBLE_EQ(lenientNumber("-3.25e2z"), -325.0);
    EXPECT_DOUBLE_EQ(lenientNumber("abc"), 0.0);
    EXPECT_EQ(textFromCheckState(1), "1");
    EXPECT_EQ(textFromCheckState(0), "0");
    EXPECT_EQ(textFromCheckState(2), "0");  // greyed counts as off
}

class SettingsStoreTest : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    QString file() const { return dir.path() + "/Varnix/Trelwick.conf"; }
};

TEST_F(SettingsStoreTest, EmptyStoreGivesDefaultsAndCreatesNothing) {
    SettingsStore store(file());
    int evaluated = 0;
    EXPECT_EQ(store.read("Slide Date",
                         [&] {
                             ++evaluated;
                             return QString("07/12/2026");
                         }),
              "07/12/2026");
    EXPECT_EQ(store.read("Extension", "ppt"), "ppt");
    EXPECT_EQ(evaluated, 1);
    EXPECT_FALSE(QFile::exists(file()));
}

TEST_F(SettingsStoreTest, WritesAreTextAndOutliveTheObject) {
    {
        SettingsStore store(file());
        store.write("Slide Footer", "Confidential, draft");
        store.write("Slide Number", "1");
        store.write("Slide Date", "");
        store.write("Text6", "@/home/u/Desktop/");
    }
    SettingsStore again(file());
    int evaluated = 0;
    const auto neverUsed = [&] {
        ++evaluated;
        return QString("default");
    };
    EXPECT_EQ(again.read("Slide Footer", neverUsed), "Confidential, draft");
    EXPECT_EQ(again.read("Slide Number", neverUsed), "1");
    EXPECT_EQ(again.read("Slide Date", neverUsed), "");  // a stored empty text is not the default
    EXPECT_EQ(again.read("Text6", neverUsed), "@/home/u/Desktop/");
    EXPECT_EQ(evaluated, 0);
    EXPECT_TRUE(again.contains("Slide Date"));
    EXPECT_FALSE(again.contains("Notes Date"));
}

TEST_F(SettingsStoreTest, HandEditedListValueReadsAsOneText) {
    QDir().mkpath(dir.path() + "/Varnix");
    QFile f(file());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[General]\nSlide%20Footer=a, b\n");
    f.close();
    EXPECT_EQ(SettingsStore(file()).read("Slide Footer", "x"), "a, b");
}

TEST_F(SettingsStoreTest, UnreadableFileGivesDefaultsAndIsRepairedByAWrite) {
    QDir().mkpath(dir.path() + "/Varnix");
    QFile f(file());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("garbage line without a key\n\xff\xfe\x01\n");
    f.close();
    SettingsStore store(file());
    EXPECT_EQ(store.read("Slide Date", "default"), "default");
    EXPECT_NO_THROW(store.write("Slide Footer", "kept"));
    EXPECT_EQ(SettingsStore(file()).read("Slide Footer", "x"), "kept");
}

TEST_F(SettingsStoreTest, RefusedWriteThrowsSettingsWriteFailed) {
    QFile blocker(dir.path() + "/blocker");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    SettingsStore store(dir.path() + "/blocker/Trelwick.conf");  // its folder is a file
    try {
        store.write("Slide Footer", "x");
        ADD_FAILURE() << "expected a failure";
    } catch (const AppError& e) {
        EXPECT_EQ(e.code(), kSettingsWriteFailed);
        EXPECT_TRUE(e.description().contains("Slide Footer"));
    }
    EXPECT_EQ(store.read("Slide Footer", "default"), "default");
    // Refused again: the caller may know it has told the user already.
    auto repeated = [&](const char* key) {
        try {
            store.write(key, "y");
        } catch (const SettingsWriteRefused& e) {
            return e.repeated();
        }
        ADD_FAILURE() << "expected a failure";
        return false;
    };
    EXPECT_TRUE(repeated("Slide Footer"));
    EXPECT_FALSE(repeated("Notes Footer"));
}

TEST(SettingsStoreLocation, RealStoreIsVarnixTrelwickInTheConfigFolder) {
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    SettingsStore store;
    EXPECT_EQ(store.location(), dir.path() + "/Varnix/Trelwick.conf");
    store.write("LastFolder", "/data");
    EXPECT_TRUE(QFile::exists(dir.path() + "/Varnix/Trelwick.conf"));
    EXPECT_EQ(QSettings(dir.path() + "/Varnix/Trelwick.conf", QSettings::NativeFormat).value("LastFolder"),
              "/data");
}

}  // namespace
}  // namespace trelwick
