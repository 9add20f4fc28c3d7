#include <gtest/gtest.h>

#include <QFile>
#include <QTreeWidget>
#include <algorithm>

#include "TempTree.h"
#include "filelist/FileList.h"
#include "filelist/SampleFiles.h"
#include "filelist/TextScrambler.h"
#include "settings/SettingsStore.h"
#include "support/FakeDialogs.h"
#include "util/PathHelpers.h"

namespace trelwick {
namespace {

using testing::FakeDialogs;
using testing::TempTree;

const QString kQuestion = QStringLiteral(
    "Would you like this software to open the folder where these sample files are stored (so that you can "
    "view them before working with them)?");

class SampleFilesTest : public ::testing::Test {
  protected:
    SampleFilesTest()
        : settings(tree.path("settings.ini")),
          list(&widget, [] { return false; }),
          samples(settings, dialogs, tree.path("Program/Samples")) {}

    QString snapshot() const {
        return TextScrambler::UnscrambleText(settings.read("Snapshot", QString()), TextScrambler::key());
    }

    TempTree tree;
    SettingsStore settings;
    FakeDialogs dialogs;
    QTreeWidget widget;
    FileList list;
    SampleFiles samples;
};

TEST_F(SampleFilesTest, RecordsTheFullPathsSeparatedByBarsWithoutATrailingBar) {
    for (const char* n : {"one.pptx", "two.pptx", "three.pptx"}) tree.file(QString("Program/Samples/") + n);

    samples.RecordSampleFiles();

    const QString stored = settings.read("Snapshot", QString());
    EXPECT_NE(stored, snapshot()) << "stored in scrambled form";
    const QStringList paths = snapshot().split('|');
    ASSERT_EQ(paths.size(), 3);
    for (const char* n : {"one.pptx", "two.pptx", "three.pptx"})
        EXPECT_TRUE(paths.contains(tree.path(QString("Program/Samples/") + n))) << n;
    EXPECT_FALSE(snapshot().endsWith('|'));
}

TEST_F(SampleFilesTest, MissingSamplesFolderRecordsTheEmptyText) {
    samples.RecordSampleFiles();
    EXPECT_TRUE(settings.contains("Snapshot"));
    EXPECT_EQ(settings.read("Snapshot", QStringLiteral("unset")), QString());
}

TEST_F(SampleFilesTest, LoadingTwiceAddsEachSampleOnceAndAsksEachTime) {
    tree.file("Program/Samples/a.pptx");
    tree.file("Program/Samples/b.pptx");
    samples.RecordSampleFiles();

    samples.LoadSampleFiles(list, "Trelwick");
    samples.LoadSampleFiles(list, "Trelwick");

    EXPECT_EQ(list.count(), 2);
    const auto questions = dialogs.callsOf(FakeDialogs::Kind::MessageBox);
    ASSERT_EQ(questions.size(), 2u);
    for (const auto& q : questions) {
        EXPECT_EQ(q.text, kQuestion);
        EXPECT_EQ(q.title, "Trelwick");
        EXPECT_EQ(q.buttons, MessageButtons::YesNo);
        EXPECT_EQ(q.icon, MessageIcon::None);
    }
    EXPECT_TRUE(dialogs.callsOf(FakeDialogs::Kind::OpenExternally).empty());
}

TEST_F(SampleFilesTest, PathDifferingOnlyInCaseIsAddedAnewAndVanishedSamplesAreSkipped) {
    const QString a = tree.file("Program/Samples/a.pptx");
    const QString gone = tree.file("Program/Samples/gone.pptx");
    samples.RecordSampleFiles();
    QFile::remove(gone);
    list.addEntry(a.toUpper());

    samples.LoadSampleFiles(list, "Trelwick");

    EXPECT_EQ(list.texts(), (QStringList{a.toUpper(), a}));
    EXPECT_TRUE(SampleFiles::IsInList(list, a));
    EXPECT_FALSE(SampleFiles::IsInList(list, a.toLower() + "x"));
}

TEST(SampleFilesStoreTest, NonAsciiSamplePathsSurviveTheSettingsStore) {
    // Bytes above 127 wrap to low codes, control characters included; the store must keep them.
    TempTree tree;
    SettingsStore settings(tree.path("settings.ini"));
    FakeDialogs dialogs;
    QTreeWidget widget;
    FileList list(&widget, [] { return false; });
    SampleFiles samples(settings, dialogs,
                        tree.path(QStringLiteral("Präsentationen \u00FC\u00DF\u20AC/Samples")));
    const QString deck =
        tree.file(QStringLiteral("Präsentationen \u00FC\u00DF\u20AC/Samples/Überblick ÿ.pptx"));

    samples.RecordSampleFiles();
    const QString stored = settings.read("Snapshot", QString());
    EXPECT_TRUE(std::any_of(stored.begin(), stored.end(), [](QChar c) { return c.unicode() < 32; }));
    samples.LoadSampleFiles(list, "Trelwick");

    EXPECT_EQ(list.texts(), QStringList{deck});
}

TEST_F(SampleFilesTest, YesOpensTheSamplesFolderNoDoesNothing) {
    dialogs.messageAnswers = {MessageResult::Yes, MessageResult::No};
    samples.LoadSampleFiles(list, "Trelwick");
    samples.LoadSampleFiles(list, "Trelwick");

    const auto opened = dialogs.callsOf(FakeDialogs::Kind::OpenExternally);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].text, tree.path("Program/Samples"));
    EXPECT_EQ(list.count(), 0);
}

TEST(ShippedSamplesTest, LieBesideTheProgramAsRealDecks) {
    // The build stages the samples beside every executable of the project, this test's included.
    const QString folder = SampleFiles::defaultSamplesFolder();
    EXPECT_EQ(folder, joinPath(programFolder(), "Samples"));
    const QStringList decks = listFolderFiles(folder, "*.pptx");
    ASSERT_GE(decks.size(), 3) << folder.toStdString();
    QByteArray all;
    for (const QString& name : decks) {
        QFile deck(joinPath(folder, name));
        ASSERT_TRUE(deck.open(QIODevice::ReadOnly));
        const QByteArray bytes = deck.readAll();
        EXPECT_TRUE(bytes.startsWith("PK\x03\x04")) << name.toStdString();
        EXPECT_TRUE(bytes.contains("ppt/presentation.xml")) << name.toStdString();
        all += bytes;
    }
    // Between them: speaker notes, and a deck with a second slide master.
    EXPECT_TRUE(all.contains("ppt/notesSlides/notesSlide1.xml"));
    EXPECT_TRUE(all.contains("ppt/slideMasters/slideMaster2.xml"));
}

TEST(IsInListTest, EmptyListHoldsNothing) {
    QTreeWidget widget;
    FileList list(&widget, [] { return false; });
    EXPECT_FALSE(SampleFiles::IsInList(list, QString()));
    EXPECT_FALSE(SampleFiles::IsInList(list, "/x"));
}

TEST(TextScramblerTest, WrapsBy255BothWays) {
    struct Case {
        int plain, key, scrambled;
    };
    const Case cases[] = {{200, 100, 45}, {155, 100, 255}, {156, 100, 1}, {255, 100, 100}, {1, 100, 101}};
    for (const Case& c : cases) {
        const QByteArray plain(1, static_cast<char>(c.plain));
        const QByteArray key(1, static_cast<char>(c.key));
        const QByteArray scrambled = TextScrambler::scrambleBytes(plain, key);
        ASSERT_EQ(scrambled.size(), 1);
        EXPECT_EQ(static_cast<unsigned char>(scrambled[0]), c.scrambled) << c.plain;
        EXPECT_EQ(TextScrambler::unscrambleBytes(scrambled, key), plain) << c.plain;
    }
}

TEST(TextScramblerTest, TextIsScrambledAsItsUtf8Bytes) {
    const QString key = QStringLiteral("d");  // code 100
    EXPECT_EQ(TextScrambler::ScrambleText(QStringLiteral("A"), key), QString(QChar(165)));
    // U+00C8 is the bytes 195 and 136: 195 + 100 - 255 = 40, 136 + 100 = 236.
    const QString scrambled = TextScrambler::ScrambleText(QStringLiteral("\u00C8"), key);
    EXPECT_EQ(scrambled, QString(QChar(40)) + QChar(236));
    EXPECT_EQ(TextScrambler::UnscrambleText(scrambled, key), QStringLiteral("\u00C8"));
}

TEST(TextScramblerTest, RoundTripsAndNeverWritesCodeZero) {
    const QString texts[] = {QString(), QStringLiteral("/home/ann/Samples/a.pptx|/home/ann/Samples/b.pptx"),
                             QStringLiteral("/tmp/Präsentation – Überblick.pptx"),
                             QString(40000, QLatin1Char('x'))};
    for (const QString& t : texts) {
        const QString s = TextScrambler::ScrambleText(t, TextScrambler::key());
        EXPECT_EQ(s.size(), t.toUtf8().size());
        for (const QChar c : s) {
            EXPECT_GE(c.unicode(), 1);
            EXPECT_LE(c.unicode(), 255);
        }
        EXPECT_EQ(TextScrambler::UnscrambleText(s, TextScrambler::key()), t);
    }
    EXPECT_EQ(TextScrambler::ScrambleText(QString(), TextScrambler::key()), QString());
}

TEST(TextScramblerTest, KeyIsEightLowercaseLettersAndWrapsAfterTheLast) {
    const QString key = TextScrambler::key();
    ASSERT_EQ(key.size(), 8);
    for (const QChar c : key) EXPECT_TRUE(c >= 'a' && c <= 'z');
    const QString s = TextScrambler::ScrambleText(QString(9, QChar(1)), key);
    EXPECT_EQ(s[8], s[0]);
    EXPECT_EQ(s[0].unicode(), 1 + key[0].unicode());
}

}  // namespace
}  // namespace trelwick
