// The window on folders as users have them: names the file system allows but that are awkward to
// carry around (bytes that are not UTF-8, very long paths, a folder where a deck's name should be).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QUrl>
#include <QtTest>
#include <filesystem>
#include <fstream>

#include "app/Form1.h"
#include "filelist/FileList.h"
#include "settings/SettingsStore.h"
#include "support/FakeDialogs.h"
#include "support/WindowRig.h"
#include "trelwick/engine.h"

using namespace trelwick;
using trelwick::testing::dialogTexts;
using trelwick::testing::FakeDialogs;
using trelwick::testing::WindowRig;

namespace {

const QString kCorpus = QStringLiteral(TRELWICK_SHARED_DIR "/corpus/dev");
namespace fs = std::filesystem;

// Copies a corpus deck to a path given as bytes, as the file system holds it.
bool copyDeckTo(const QString& name, const QByteArray& target) {
    std::error_code ec;
    fs::copy_file((kCorpus + QLatin1Char('/') + name).toStdString(), target.toStdString(),
                  fs::copy_options::overwrite_existing, ec);
    return !ec;
}

}  // namespace

class RealFoldersTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    std::unique_ptr<SettingsStore> store_;
    std::unique_ptr<WindowRig> rig_;

    WindowRig& start() {
        rig_ = WindowRig::startIn(dir_.path(), store_);
        return *rig_;
    }

    QByteArray bytes(const QString& relative) const { return QFile::encodeName(dir_.filePath(relative)); }

  private slots:
    void init() {
        if (!QFileInfo::exists(kCorpus))
            QSKIP("no shared corpus (../shared/corpus/dev): the window is not run on real decks");
        QVERIFY(dir_.isValid());
    }
    void cleanup() {
        rig_.reset();
        store_.reset();
        // rm, not QDir: Qt cannot name files whose names are not UTF-8, so it cannot remove them.
        QProcess::execute(QStringLiteral("rm"), {QStringLiteral("-rf"), dir_.path()});
        QDir().mkpath(dir_.path());
    }

    // A deck named in Latin-1 (as old archives and Windows shares mounted without iocharset hold
    // them) is listed the way the file dialog and a drop give it; it must be stamped, or the user
    // told that its name cannot be used, not that it does not exist.
    void aDeckWhoseNameIsNotUtf8IsStampedOrToldSo() {
        WindowRig& rig = start();
        QVERIFY(QDir().mkpath(dir_.filePath(QStringLiteral("in"))));
        QVERIFY(QDir().mkpath(dir_.filePath(QStringLiteral("out"))));
        const QByteArray raw = bytes(QStringLiteral("in/")) + QByteArray("caf\xe9.pptx");
        QVERIFY(copyDeckTo(QStringLiteral("python-pptx__default.pptx"), raw));
        // What a file manager drops: a file URL with the byte percent-encoded.
        QMimeData drop;
        drop.setUrls({QUrl::fromEncoded("file://" + raw.toPercentEncoding("/"))});
        const QStringList paths = FileList::droppedPaths(&drop);
        QCOMPARE(paths.size(), 1);
        rig.fileList->ListView1_OLEDragDrop(paths);
        QCOMPARE(rig.form.ListView1->topLevelItemCount(), 1);
        rig.typeOutputFolder(dir_.filePath(QStringLiteral("out")));
        QTest::mouseClick(rig.form.PushButton7, Qt::LeftButton);
        const QStringList boxes = dialogTexts(rig.dialogs.callsOf(FakeDialogs::Kind::MessageBox));
        QCOMPARE(boxes.last(), QStringLiteral("Done."));
        const bool stamped =
            fs::exists((bytes(QStringLiteral("out/")) + QByteArray("caf\xe9.pptx")).toStdString());
        const bool misled = boxes.join(QLatin1Char('\n')).contains(QStringLiteral("does not exist"));
        QVERIFY2(stamped || !misled,
                 qPrintable(QStringLiteral("not stamped, and told: ") + boxes.join(QStringLiteral(" | "))));
    }

    // A folder named in Latin-1, or a deck in one, dropped on the list: its path cannot name it, so it
    // is listed as dropped, like a file. The run's report says which name to change, the folder's or
    // the deck's, and that a folder must then be added again.
    void aDroppedNameThatIsNotUtf8IsToldAsAFolderOrAFile_data() {
        QTest::addColumn<QByteArray>("dropped");  // below in/
        QTest::addColumn<QString>("told");
        QTest::newRow("the folder") << QByteArray("caf\xe9")
                                    << QStringLiteral(
                                           ": a folder whose name is not valid UTF-8, so the files in "
                                           "it cannot be listed; rename the folder and add it again");
        QTest::newRow("a deck in it")
            << QByteArray("caf\xe9/deck.pptx")
            << QStringLiteral(": the name of a folder on this path is not valid UTF-8");
        QTest::newRow("a deck beside it")
            << QByteArray("caf\xe9.pptx") << QStringLiteral(": the file's name is not valid UTF-8");
    }
    void aDroppedNameThatIsNotUtf8IsToldAsAFolderOrAFile() {
        QFETCH(QByteArray, dropped);
        QFETCH(QString, told);
        WindowRig& rig = start();
        QVERIFY(QDir().mkpath(dir_.filePath(QStringLiteral("in"))));
        QVERIFY(QDir().mkpath(dir_.filePath(QStringLiteral("out"))));
        const QByteArray folder = bytes(QStringLiteral("in/")) + QByteArray("caf\xe9");
        QCOMPARE(::mkdir(folder.constData(), 0755), 0);
        QVERIFY(copyDeckTo(QStringLiteral("python-pptx__default.pptx"), folder + "/deck.pptx"));
        QVERIFY(copyDeckTo(QStringLiteral("python-pptx__default.pptx"), folder + ".pptx"));
        QMimeData drop;
        drop.setUrls(
            {QUrl::fromEncoded("file://" + (bytes(QStringLiteral("in/")) + dropped).toPercentEncoding("/"))});
        rig.fileList->ListView1_OLEDragDrop(FileList::droppedPaths(&drop));
        QCOMPARE(rig.form.ListView1->topLevelItemCount(), 1);
        rig.typeOutputFolder(dir_.filePath(QStringLiteral("out")));
        QTest::mouseClick(rig.form.PushButton7, Qt::LeftButton);
        const auto reports = rig.dialogs.errorReports();
        QCOMPARE(int(reports.size()), 1);
        QVERIFY2(reports[0].text.contains(rig.listed().front() + told), qPrintable(reports[0].text));
        QCOMPARE(dialogTexts(rig.dialogs.callsOf(FakeDialogs::Kind::MessageBox)).last(),
                 QStringLiteral("Done."));
    }

    // The same deck found by "Add All File(s) In Folder": left out without a word, the user cannot
    // tell it was not stamped.
    void addAllDoesNotLoseADeckWhoseNameIsNotUtf8WithoutAWord() {
        WindowRig& rig = start();
        QVERIFY(QDir().mkpath(dir_.filePath(QStringLiteral("tree"))));
        QVERIFY(copyDeckTo(QStringLiteral("python-pptx__default.pptx"),
                           bytes(QStringLiteral("tree/")) + "caf\xe9.pptx"));
        QVERIFY(copyDeckTo(QStringLiteral("python-pptx__default.pptx"),
                           bytes(QStringLiteral("tree/")) + "plain.pptx"));
        rig.dialogs.inputAnswers.push_back(QStringLiteral("pptx"));
        rig.dialogs.folderAnswers.push_back(dir_.filePath(QStringLiteral("tree")));
        QTest::mouseClick(rig.form.PushButton6, Qt::LeftButton);
        const int reports = int(rig.dialogs.callsOf(FakeDialogs::Kind::MessageBox).size());
        QVERIFY2(rig.listed().size() == 2 || reports > 0,
                 qPrintable(QStringLiteral("listed only: ") + rig.listed().join(QStringLiteral(", "))));
    }

    // A folder named in Latin-1 inside the chosen one cannot be opened by its name: its decks cannot be
    // listed, and the user is told which folder to rename rather than left to miss them.
    void addAllTellsOfAFolderWhoseNameIsNotUtf8() {
        WindowRig& rig = start();
        QVERIFY(QDir().mkpath(dir_.filePath(QStringLiteral("tree"))));
        const QByteArray folder = bytes(QStringLiteral("tree/")) + "caf\xe9";
        QCOMPARE(::mkdir(folder.constData(), 0755), 0);
        QVERIFY(copyDeckTo(QStringLiteral("python-pptx__default.pptx"), folder + "/deck.pptx"));
        QVERIFY(copyDeckTo(QStringLiteral("python-pptx__default.pptx"),
                           bytes(QStringLiteral("tree/")) + "plain.pptx"));
        rig.dialogs.inputAnswers.push_back(QStringLiteral("pptx"));
        rig.dialogs.folderAnswers.push_back(dir_.filePath(QStringLiteral("tree")));
        QTest::mouseClick(rig.form.PushButton6, Qt::LeftButton);
        QCOMPARE(rig.listed(), QStringList{dir_.filePath(QStringLiteral("tree/plain.pptx"))});
        const auto reports = rig.dialogs.errorReports();
        QCOMPARE(int(reports.size()), 1);
        QVERIFY2(reports[0].text.contains(dir_.filePath(QStringLiteral("tree/caf")) +
                                          QChar(QChar::ReplacementCharacter) +
                                          QStringLiteral(": a folder whose name is not valid UTF-8 was not "
                                                         "searched; its files were not added. Rename it")),
                 qPrintable(reports[0].text));
    }

    // A folder where the stamped copy should go is reported by name; the other decks are saved.
    void aFolderInTheOutputNamedLikeADeckIsReportedAndTheRestSaved() {
        WindowRig& rig = start();
        const QString in = dir_.filePath(QStringLiteral("in"));
        const QString out = dir_.filePath(QStringLiteral("out"));
        QVERIFY(QDir().mkpath(in));
        QVERIFY(QDir().mkpath(out + QStringLiteral("/a.pptx")));
        QVERIFY(QFile::copy(kCorpus + QStringLiteral("/python-pptx__default.pptx"),
                            in + QStringLiteral("/a.pptx")));
        QVERIFY(QFile::copy(kCorpus + QStringLiteral("/pandoc__basic-output.pptx"),
                            in + QStringLiteral("/b.pptx")));
        rig.dialogs.openFilesAnswers.push_back(
            {in + QStringLiteral("/a.pptx"), in + QStringLiteral("/b.pptx")});
        QTest::mouseClick(rig.form.PushButton3, Qt::LeftButton);
        rig.typeOutputFolder(out);
        QTest::mouseClick(rig.form.PushButton7, Qt::LeftButton);
        const auto reports = rig.dialogs.errorReports();
        QCOMPARE(int(reports.size()), 1);
        QVERIFY2(reports[0].text.contains(out + QStringLiteral("/a.pptx")), qPrintable(reports[0].text));
        QVERIFY(QFileInfo(out + QStringLiteral("/a.pptx")).isDir());
        QVERIFY(QFileInfo(out + QStringLiteral("/b.pptx")).isFile());
    }

    // Decks changed on disk after they were listed: each is reported by name, the rest are saved.
    void decksGoneCutOrReplacedAfterListingAreReportedByName() {
        WindowRig& rig = start();
        const QString in = dir_.filePath(QStringLiteral("in"));
        const QString out = dir_.filePath(QStringLiteral("out"));
        QVERIFY(QDir().mkpath(in));
        QVERIFY(QDir().mkpath(out));
        QStringList decks;
        for (const char* n : {"gone.pptx", "folder.pptx", "cut.pptx", "kept.pptx"}) {
            decks << in + QLatin1Char('/') + QLatin1String(n);
            QVERIFY(QFile::copy(kCorpus + QStringLiteral("/pandoc__basic-output.pptx"), decks.last()));
        }
        rig.dialogs.openFilesAnswers.push_back(decks);
        QTest::mouseClick(rig.form.PushButton3, Qt::LeftButton);
        QVERIFY(QFile::remove(decks[0]));
        QVERIFY(QFile::remove(decks[1]));
        QVERIFY(QDir().mkpath(decks[1]));
        QVERIFY(QFile(decks[2]).resize(QFileInfo(decks[2]).size() / 2));
        rig.typeOutputFolder(out);
        QTest::mouseClick(rig.form.PushButton7, Qt::LeftButton);
        const auto reports = rig.dialogs.errorReports();
        QCOMPARE(int(reports.size()), 3);
        for (int i = 0; i < 3; ++i) QVERIFY2(reports[i].text.contains(decks[i]), qPrintable(reports[i].text));
        QCOMPARE(QDir(out).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("kept.pptx")});
    }

    // An output folder with an awkward name, picked in the folder picker, comes back at the next start.
    void anAwkwardOutputFolderComesBackAtTheNextStart() {
        const QString name = QStringLiteral(" -50% & co ");
        const QString out = dir_.filePath(name);
        QVERIFY(QDir().mkpath(out));
        {
            WindowRig& rig = start();
            rig.dialogs.folderAnswers.push_back(out);
            QTest::mouseClick(rig.form.PushButton5, Qt::LeftButton);
            QCOMPARE(rig.form.outputFolder(), out + QLatin1Char('/'));
            rig_.reset();
        }
        WindowRig& again = start();
        QCOMPARE(again.form.outputFolder(), out + QLatin1Char('/'));
        const QString deck = dir_.filePath(QStringLiteral("in/a.pptx"));
        QVERIFY(QDir().mkpath(dir_.filePath(QStringLiteral("in"))));
        QVERIFY(QFile::copy(kCorpus + QStringLiteral("/pandoc__basic-output.pptx"), deck));
        again.dialogs.openFilesAnswers.push_back({deck});
        QTest::mouseClick(again.form.PushButton3, Qt::LeftButton);
        QTest::mouseClick(again.form.PushButton7, Qt::LeftButton);
        QCOMPARE(dialogTexts(again.dialogs.callsOf(FakeDialogs::Kind::MessageBox)),
                 QStringList{QStringLiteral("Done.")});
        QVERIFY(QFileInfo(out + QStringLiteral("/a.pptx")).isFile());
    }

    // Probe for a file system that folds case (exFAT, a share): TRELWICK_CASEFOLD_DIR names an
    // empty folder there.
    void namesDifferingInCaseIntoAFolderThatFoldsThem_data() {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::newRow("ascii") << QStringLiteral("Deck.pptx") << QStringLiteral("deck.pptx");
        QTest::newRow("latin") << QStringLiteral("\u00c9clair.pptx") << QStringLiteral("\u00e9clair.pptx");
    }
    void namesDifferingInCaseIntoAFolderThatFoldsThem() {
        QFETCH(QString, first);
        QFETCH(QString, second);
        const QString out = qEnvironmentVariable("TRELWICK_CASEFOLD_DIR") + QLatin1Char('/') +
                            QString::fromLatin1(QTest::currentDataTag());
        if (qEnvironmentVariable("TRELWICK_CASEFOLD_DIR").isEmpty())
            QSKIP("TRELWICK_CASEFOLD_DIR names no folder on a case-folding file system");
        QVERIFY(QDir().mkpath(out));
        WindowRig& rig = start();
        const QString a = dir_.filePath(QStringLiteral("x/") + first);
        const QString b = dir_.filePath(QStringLiteral("y/") + second);
        QVERIFY(QDir().mkpath(dir_.filePath(QStringLiteral("x"))));
        QVERIFY(QDir().mkpath(dir_.filePath(QStringLiteral("y"))));
        QVERIFY(QFile::copy(kCorpus + QStringLiteral("/python-pptx__default.pptx"), a));
        QVERIFY(QFile::copy(kCorpus + QStringLiteral("/pandoc__basic-output.pptx"), b));
        rig.dialogs.openFilesAnswers.push_back({a, b});
        QTest::mouseClick(rig.form.PushButton3, Qt::LeftButton);
        rig.typeOutputFolder(out);
        QTest::mouseClick(rig.form.PushButton7, Qt::LeftButton);
        const auto reports = rig.dialogs.errorReports();
        QCOMPARE(int(reports.size()), 1);
        QVERIFY2(reports[0].text.contains(QStringLiteral("Not saved")), qPrintable(reports[0].text));
        QCOMPARE(QDir(out).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }

    // The same on that file system, the second deck already in the output folder: it is a source,
    // and saving the first over it before its turn would lose it.
    void aLaterDeckInAFolderThatFoldsCaseIsNotReplacedBeforeItsTurn() {
        const QString root = qEnvironmentVariable("TRELWICK_CASEFOLD_DIR");
        if (root.isEmpty()) QSKIP("TRELWICK_CASEFOLD_DIR names no folder on a case-folding file system");
        const QString out = root + QStringLiteral("/later");
        QVERIFY(QDir().mkpath(out));
        WindowRig& rig = start();
        const QString a = dir_.filePath(QStringLiteral("x/Deck.pptx"));
        const QString b = out + QStringLiteral("/deck.pptx");
        QVERIFY(QDir().mkpath(dir_.filePath(QStringLiteral("x"))));
        QVERIFY(QFile::copy(kCorpus + QStringLiteral("/python-pptx__default.pptx"), a));
        QVERIFY(QFile::copy(kCorpus + QStringLiteral("/pandoc__basic-output.pptx"), b));
        const auto slidesOf = [](const QString& f) {
            return engine::Presentation::open(f.toStdString()).slideCount();
        };
        const std::size_t laterSlides = slidesOf(b);
        QVERIFY(slidesOf(a) != laterSlides);
        rig.dialogs.openFilesAnswers.push_back({a, b});
        QTest::mouseClick(rig.form.PushButton3, Qt::LeftButton);
        rig.typeOutputFolder(out);
        QTest::mouseClick(rig.form.PushButton7, Qt::LeftButton);
        QCOMPARE(int(rig.dialogs.errorReports().size()), 1);
        // The deck that was in the output folder is there, stamped, with its own slides.
        QCOMPARE(slidesOf(b), laterSlides);
    }

    // Names Linux allows and people make: each deck of the tree is saved under its own name.
    void awkwardNamesFromAFolderTreeAreSavedUnderTheirOwnNames() {
        WindowRig& rig = start();
        const QString tree = dir_.filePath(QStringLiteral("tree"));
        const QString out = dir_.filePath(QStringLiteral("out"));
        QVERIFY(QDir().mkpath(tree + QStringLiteral("/sub")));
        QVERIFY(QDir().mkpath(out));
        const QStringList names{QStringLiteral("line\nbreak.pptx"),
                                QStringLiteral("-dash.pptx"),
                                QStringLiteral(" lead and trail .pptx"),
                                QStringLiteral("50% & more.pptx"),
                                QStringLiteral("UPPER.PPTX"),
                                QStringLiteral("Mixed.Ppt"),
                                QStringLiteral("sub/Deck.pptx"),
                                QStringLiteral("sub/deck.pptx"),
                                QString(250, QLatin1Char('L')) + QStringLiteral(".pptx"),
                                QStringLiteral("n\u0303o NFD.pptx"),
                                QStringLiteral("\u00f1o NFD.pptx")};
        for (const QString& n : names) {
            const char* deck =
                n.endsWith(QStringLiteral(".Ppt")) ? "/poi__45537_Footer.ppt" : "/pandoc__basic-output.pptx";
            QVERIFY2(QFile::copy(kCorpus + QLatin1String(deck), tree + QLatin1Char('/') + n), qPrintable(n));
        }
        rig.dialogs.inputAnswers.push_back(QStringLiteral("*"));
        rig.dialogs.folderAnswers.push_back(tree);
        QTest::mouseClick(rig.form.PushButton6, Qt::LeftButton);
        QCOMPARE(rig.listed().size(), names.size());
        rig.typeOutputFolder(out);
        rig.dialogs.calls.clear();
        QTest::mouseClick(rig.form.PushButton7, Qt::LeftButton);
        QCOMPARE(dialogTexts(rig.dialogs.callsOf(FakeDialogs::Kind::MessageBox)),
                 QStringList{QStringLiteral("Done.")});
        QStringList expected;
        for (const QString& n : names) expected << QFileInfo(n).fileName();
        expected.sort();
        QStringList got = QDir(out).entryList(QDir::Files | QDir::Hidden);
        got.sort();
        QCOMPARE(got, expected);
    }

    // An output folder deep enough that folder and name pass the system's 4,096-byte path limit.
    void anOutputPathPastTheSystemLimitIsReportedByName() {
        WindowRig& rig = start();
        const QString in = dir_.filePath(QStringLiteral("in"));
        QVERIFY(QDir().mkpath(in));
        const QString name = QString(200, QLatin1Char('n')) + QStringLiteral(".pptx");
        QVERIFY(QFile::copy(kCorpus + QStringLiteral("/python-pptx__default.pptx"),
                            in + QLatin1Char('/') + name));
        // Built one level at a time: mkdir of the whole path would itself pass the limit.
        QString out = dir_.path();
        QVERIFY(::chdir(QFile::encodeName(out).constData()) == 0);
        const QString level = QString(200, QLatin1Char('d'));
        while (out.size() < 3950) {
            QVERIFY(::mkdir(QFile::encodeName(level).constData(), 0755) == 0);
            QVERIFY(::chdir(QFile::encodeName(level).constData()) == 0);
            out += QLatin1Char('/') + level;
        }
        QVERIFY(::chdir("/") == 0);
        rig.dialogs.openFilesAnswers.push_back({in + QLatin1Char('/') + name});
        QTest::mouseClick(rig.form.PushButton3, Qt::LeftButton);
        rig.typeOutputFolder(out);
        QTest::mouseClick(rig.form.PushButton7, Qt::LeftButton);
        const QStringList boxes = dialogTexts(rig.dialogs.callsOf(FakeDialogs::Kind::MessageBox));
        QCOMPARE(boxes.last(), QStringLiteral("Done."));
        const auto reports = rig.dialogs.errorReports();
        QCOMPARE(int(reports.size()), 1);
        QVERIFY2(reports[0].text.contains(name), qPrintable(reports[0].text));
        // rm walks the tree relative to each folder; a walk by whole paths would pass the limit too.
        QVERIFY(QProcess::execute(QStringLiteral("rm"),
                                  {QStringLiteral("-rf"), dir_.path() + QLatin1Char('/') + level}) == 0);
    }
};

QTEST_MAIN(RealFoldersTest)
#include "RealFoldersTest.moc"
