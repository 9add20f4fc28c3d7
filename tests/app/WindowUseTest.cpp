// The window used the way people use it, on real decks and real folder trees: the run's outputs and
// what is left in the folders, the list built from awkward trees, the settings file between starts.
#include <unistd.h>

#include <QCheckBox>
#include <QClipboard>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTreeWidget>
#include <QtTest>

#include "app/Form1.h"
#include "batch/BackgroundSaves.h"
#include "common/Permissions.h"
#include "common/Zip.h"
#include "filelist/FileList.h"
#include "options/OptionsPanel.h"
#include "settings/SettingsStore.h"
#include "support/FakeDialogs.h"
#include "support/WindowRig.h"
#include "trelwick/engine.h"

using namespace trelwick;
using trelwick::testing::dialogTexts;
using trelwick::testing::FakeDialogs;
using trelwick::testing::typeInto;
using trelwick::testing::WindowRig;

// Re-runs the calling slot on a file system of its own (see runOnOwnMount) and ends it with the
// child's verdict; QFAIL and QSKIP return from the slot, so this cannot be a function.
#define RUN_ON_OWN_MOUNT(slot, variable, options, unavailable)                    \
    do {                                                                          \
        QByteArray output;                                                        \
        switch (runOnOwnMount(slot, variable, QStringLiteral(options), output)) { \
            case OwnMount::Passed:                                                \
                return;                                                           \
            case OwnMount::Failed:                                                \
                QFAIL(output.constData());                                        \
            case OwnMount::Unavailable:                                           \
                QSKIP(unavailable);                                               \
        }                                                                         \
    } while (false)

namespace {

const QString kCorpus = QStringLiteral(TRELWICK_SHARED_DIR "/corpus/dev");

QByteArray digest(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

// Every name in a folder, hidden ones included.
QStringList namesIn(const QString& folder) {
    QStringList names =
        QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

void addByDialog(Form1& form, FakeDialogs& dialogs, const QStringList& files) {
    dialogs.openFilesAnswers.push_back(files);
    QTest::mouseClick(form.PushButton3, Qt::LeftButton);
}

// Names the output folder and presses "Start Adding", with only that run's dialogs on record.
void startAddingInto(WindowRig& rig, const QString& folder) {
    rig.typeOutputFolder(folder);
    rig.dialogs.calls.clear();
    QTest::mouseClick(rig.form.PushButton7, Qt::LeftButton);
}

}  // namespace

class WindowUseTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    std::unique_ptr<SettingsStore> store_;
    std::unique_ptr<WindowRig> rig_;

    WindowRig& start() {
        rig_ = WindowRig::startIn(dir_.path(), store_);
        return *rig_;
    }

    QString copyDeck(const QString& name, const QString& folder, const QString& as = QString()) {
        QDir().mkpath(folder);
        const QString target = folder + QLatin1Char('/') + (as.isEmpty() ? name : as);
        QFile::remove(target);
        if (!QFile::copy(kCorpus + QLatin1Char('/') + name, target)) qFatal("copy failed");
        QFile(target).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                     QFile::ReadOther);
        return target;
    }

    // Root can give a slot a file system of its own: the slot runs in a child, in a private mount
    // namespace, with a tmpfs mounted (with options) at the folder that variable then names.
    enum class OwnMount { Passed, Failed, Unavailable };
    OwnMount runOnOwnMount(const char* slot, const char* variable, const QString& options,
                           QByteArray& output) {
        if (::geteuid() != 0) return OwnMount::Unavailable;
        const QString mountPoint = dir_.filePath(QStringLiteral("mount"));
        QDir().mkpath(mountPoint);
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QString::fromLatin1(variable), mountPoint);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QStringLiteral("unshare"),
                    {QStringLiteral("-m"), QStringLiteral("sh"), QStringLiteral("-c"),
                     QStringLiteral(
                         "mount -t tmpfs -o \"$1\" tmpfs \"$2\" 2>/dev/null || exit 99; exec \"$3\" \"$4\""),
                     QStringLiteral("sh"), options, mountPoint, QCoreApplication::applicationFilePath(),
                     QString::fromLatin1(slot)});
        if (!child.waitForFinished(600000)) {
            child.kill();
            output = "the child did not finish";
            return OwnMount::Failed;
        }
        output = child.readAll();
        if (child.exitStatus() != QProcess::NormalExit || child.exitCode() == 99 ||
            (child.exitCode() != 0 && output.isEmpty()))
            return child.exitCode() == 99 ? OwnMount::Unavailable : OwnMount::Failed;
        return child.exitCode() == 0 ? OwnMount::Passed : OwnMount::Failed;
    }

  private slots:
    void init() {
        if (!QFileInfo::exists(kCorpus))
            QSKIP("no shared corpus (../shared/corpus/dev): the window is not run on real decks");
        QVERIFY(dir_.isValid());
    }
    void cleanup() {
        rig_.reset();
        store_.reset();
        QDir(dir_.path()).removeRecursively();
        QDir().mkpath(dir_.path());
    }

    void inPlaceRunStampsEachDeckAndLeavesNothingElse() {
        WindowRig& rig = start();
        const QString in = dir_.filePath(QStringLiteral("in"));
        QStringList decks{copyDeck(QStringLiteral("python-pptx__default.pptx"), in),
                          copyDeck(QStringLiteral("poi__45537_Footer.ppt"), in),
                          copyDeck(QStringLiteral("pandoc__basic-output.pptx"), in)};
        QList<QByteArray> before;
        for (const QString& d : decks) before << digest(d);
        addByDialog(rig.form, rig.dialogs, decks);
        typeInto(rig.form.SSTab1->Text2, QStringLiteral("QxFooter"));
        startAddingInto(rig, in + QLatin1Char('/'));
        QCOMPARE(dialogTexts(rig.dialogs.callsOf(FakeDialogs::Kind::MessageBox)),
                 QStringList{QStringLiteral("Done.")});
        QStringList expected;
        for (const QString& d : decks) expected << QFileInfo(d).fileName();
        expected.sort();
        QCOMPARE(namesIn(in), expected);
        for (int i = 0; i < decks.size(); ++i) {
            QVERIFY2(digest(decks[i]) != before[i], qPrintable(decks[i]));
            const auto deck = engine::Presentation::open(decks[i].toStdString());
            QCOMPARE(
                QString::fromStdString(deck.element(engine::MasterKind::Slide, engine::Element::Footer).text),
                QStringLiteral("QxFooter"));
        }
    }

    void listedTwiceAndSameNameElsewhere() {
        WindowRig& rig = start();
        const QString a = dir_.filePath(QStringLiteral("a"));
        const QString b = dir_.filePath(QStringLiteral("b"));
        const QString out = dir_.filePath(QStringLiteral("out"));
        QDir().mkpath(out);
        const QString first =
            copyDeck(QStringLiteral("python-pptx__default.pptx"), a, QStringLiteral("deck.pptx"));
        const QString second =
            copyDeck(QStringLiteral("pandoc__basic-output.pptx"), b, QStringLiteral("deck.pptx"));
        const QByteArray firstBefore = digest(first), secondBefore = digest(second);
        addByDialog(rig.form, rig.dialogs, {first});
        addByDialog(rig.form, rig.dialogs, {first});
        addByDialog(rig.form, rig.dialogs, {second});
        startAddingInto(rig, out);
        const QStringList boxes = dialogTexts(rig.dialogs.callsOf(FakeDialogs::Kind::MessageBox));
        QCOMPARE(boxes.last(), QStringLiteral("Done."));
        QCOMPARE(namesIn(out), QStringList{QStringLiteral("deck.pptx")});
        QCOMPARE(digest(first), firstBefore);
        QCOMPARE(digest(second), secondBefore);
        // The copy is the first deck's (the second is refused, and said so).
        const auto deck = engine::Presentation::open((out + QStringLiteral("/deck.pptx")).toStdString());
        QCOMPARE(deck.slideCount(), engine::Presentation::open(first.toStdString()).slideCount());
        QCOMPARE(int(rig.dialogs.errorReports().size()), 1);
    }

    // Several decks of one name from different folders: each one not saved is named in its own
    // report, so the user can tell which were left unstamped.
    void eachDeckNotSavedForItsNameIsNamedInItsReport() {
        WindowRig& rig = start();
        const QString t = dir_.filePath(QStringLiteral("tree"));
        const QStringList decks{copyDeck(QStringLiteral("python-pptx__sld-notes.pptx"),
                                         t + QStringLiteral("/x"), QStringLiteral("a.pptx")),
                                copyDeck(QStringLiteral("pandoc__basic-output.pptx"),
                                         t + QStringLiteral("/y"), QStringLiteral("a.pptx")),
                                copyDeck(QStringLiteral("poi__45537_Footer.ppt"), t + QStringLiteral("/z"),
                                         QStringLiteral("a.pptx"))};
        addByDialog(rig.form, rig.dialogs, decks);
        const QString out = dir_.filePath(QStringLiteral("out"));
        QDir().mkpath(out);
        // Into a folder of their own: the first is saved, the other two are refused.
        startAddingInto(rig, out);
        auto reports = rig.dialogs.errorReports();
        QCOMPARE(int(reports.size()), 2);
        QVERIFY2(reports[0].text.contains(QStringLiteral("saving ") + decks[1] + QStringLiteral(" over it")),
                 qPrintable(reports[0].text));
        QVERIFY2(reports[1].text.contains(QStringLiteral("saving ") + decks[2] + QStringLiteral(" over it")),
                 qPrintable(reports[1].text));
        // Into the last one's folder: the first two are refused, the last is stamped in place.
        startAddingInto(rig, t + QStringLiteral("/z"));
        reports = rig.dialogs.errorReports();
        QCOMPARE(int(reports.size()), 2);
        QVERIFY2(reports[0].text.contains(QStringLiteral("saving ") + decks[0] + QStringLiteral(" over it")),
                 qPrintable(reports[0].text));
        QVERIFY2(reports[1].text.contains(QStringLiteral("saving ") + decks[1] + QStringLiteral(" over it")),
                 qPrintable(reports[1].text));
        QCOMPARE(dialogTexts(rig.dialogs.callsOf(FakeDialogs::Kind::MessageBox)).last(),
                 QStringLiteral("Done."));
    }

    // A deck listed twice is saved twice, the second save replacing the first: what the saves noted
    // about that one file is told once.
    void aDeckListedTwiceHasItsNotesToldOnce() {
        WindowRig& rig = start();
        const QString in = dir_.filePath(QStringLiteral("in"));
        const QString out = dir_.filePath(QStringLiteral("out"));
        QDir().mkpath(out);
        const QString deck = copyDeck(QStringLiteral("poi__37625.ppt"), in);
        addByDialog(rig.form, rig.dialogs, {deck});
        addByDialog(rig.form, rig.dialogs, {deck});
        startAddingInto(rig, out);
        const QStringList boxes = dialogTexts(rig.dialogs.callsOf(FakeDialogs::Kind::MessageBox));
        QCOMPARE(boxes.size(), 2);
        QCOMPARE(boxes.last(), QStringLiteral("Done."));
        QStringList lines = boxes.first().split(QLatin1Char('\r'), Qt::SkipEmptyParts);
        QVERIFY2(lines.size() > 1, qPrintable(boxes.first()));
        lines.removeFirst();  // "Saved, but please note:"
        QStringList once = lines;
        once.removeDuplicates();
        QCOMPARE(lines, once);
    }

    void outputFolderRemovedDuringTheRun() {
        WindowRig& rig = start();
        const QString in = dir_.filePath(QStringLiteral("in"));
        const QString out = dir_.filePath(QStringLiteral("out"));
        QDir().mkpath(out);
        QStringList decks;
        for (const char* n : {"python-pptx__default.pptx", "pandoc__basic-output.pptx",
                              "poi__45537_Footer.ppt", "python-pptx__sld-notes.pptx"})
            decks << copyDeck(QLatin1String(n), in);
        addByDialog(rig.form, rig.dialogs, decks);
        rig.typeOutputFolder(out);
        QList<QByteArray> before;
        for (const QString& d : decks) before << digest(d);
        bool removed = false;
        connect(rig.form.ProgressBar1, &QProgressBar::valueChanged, this, [&](int value) {
            // A save being put in place meanwhile can refill it: try until it is gone.
            for (int tries = 0; value == 75 && !removed && tries < 100; ++tries)
                removed = QDir(out).removeRecursively();
        });
        rig.dialogs.calls.clear();
        QTest::mouseClick(rig.form.PushButton7, Qt::LeftButton);
        QVERIFY(removed);
        const auto reports = rig.dialogs.errorReports();
        QCOMPARE(dialogTexts(rig.dialogs.callsOf(FakeDialogs::Kind::MessageBox)).last(),
                 QStringLiteral("Done."));
        QVERIFY(!QFileInfo::exists(out));
        // The two saved after the folder went are reported, and those not yet in place when it went
        // may be; each once, at the save step.
        QVERIFY2(reports.size() >= 2 && reports.size() <= 4, qPrintable(QString::number(reports.size())));
        for (const auto& r : reports)
            QVERIFY2(r.text.contains(QStringLiteral("at line 234")), qPrintable(r.text));
        for (int i = 0; i < decks.size(); ++i) QCOMPARE(digest(decks[i]), before[i]);
        QCOMPARE(rig.form.mousePointer(), Form1::Pointer::Default);
    }

    void aFolderAddedDuringTheRunLeavesTheListGuarded() {
        WindowRig& rig = start();
        const QString in = dir_.filePath(QStringLiteral("in"));
        const QString more = dir_.filePath(QStringLiteral("more"));
        const QString out = dir_.filePath(QStringLiteral("out"));
        QDir().mkpath(out);
        QStringList decks;
        for (const char* n :
             {"python-pptx__default.pptx", "pandoc__basic-output.pptx", "poi__45537_Footer.ppt"})
            decks << copyDeck(QLatin1String(n), in);
        const QString added = copyDeck(QStringLiteral("python-pptx__sld-notes.pptx"), more);
        addByDialog(rig.form, rig.dialogs, decks);
        rig.typeOutputFolder(out);
        rig.dialogs.inputAnswers.push_back(QStringLiteral("pptx"));
        rig.dialogs.folderAnswers.push_back(more);
        bool pressed = false;
        connect(rig.form.ProgressBar1, &QProgressBar::valueChanged, this, [&](int value) {
            if (value != 33 || pressed) return;
            pressed = true;
            // The folder's walk yields too: the list is cleared and an entry deleted only once it is done.
            QTest::mouseClick(rig.form.PushButton6, Qt::LeftButton);
            QTest::mouseClick(rig.form.PushButton1, Qt::LeftButton);
            rig.form.ListView1->setCurrentItem(rig.form.ListView1->topLevelItem(1));
            QTest::keyClick(rig.form.ListView1, Qt::Key_Delete);
        });
        rig.dialogs.calls.clear();
        QTest::mouseClick(rig.form.PushButton7, Qt::LeftButton);
        QVERIFY(pressed);
        QCOMPARE(rig.dialogs.errorReports().size(), size_t(0));
        QCOMPARE(dialogTexts(rig.dialogs.callsOf(FakeDialogs::Kind::MessageBox)),
                 QStringList{QStringLiteral("Done.")});
        QCOMPARE(rig.listed(), decks + QStringList{added});
        QStringList saved;
        for (const QString& d : decks) saved << QFileInfo(d).fileName();
        saved.sort();
        QCOMPARE(namesIn(out), saved);
        QCOMPARE(rig.form.mousePointer(), Form1::Pointer::Default);
    }

    void anEntryDraggedDuringTheRunIsStampedOnce() {
        WindowRig& rig = start();
        const QString in = dir_.filePath(QStringLiteral("in"));
        const QString out = dir_.filePath(QStringLiteral("out"));
        QDir().mkpath(out);
        QStringList decks;
        for (const char* n : {"pandoc__basic-output.pptx", "poi__45537_Footer.ppt",
                              "python-pptx__sld-notes.pptx", "python-pptx__default.pptx"})
            decks << copyDeck(QLatin1String(n), in);
        addByDialog(rig.form, rig.dialogs, decks);
        rig.typeOutputFolder(out);
        QTreeWidget* list = rig.form.ListView1;
        const auto centreOf = [list](int position) {
            return list->visualItemRect(list->topLevelItem(position - 1)).center();
        };
        bool dragged = false;
        connect(rig.form.ProgressBar1, &QProgressBar::valueChanged, this, [&](int value) {
            if (value != 50 || dragged) return;
            dragged = true;
            // While the second deck is processed, the last entry is dragged to the top, past the two below.
            QTest::mousePress(list->viewport(), Qt::LeftButton, {}, centreOf(4));
            for (const int to : {3, 2, 1}) {
                QMouseEvent move(QEvent::MouseMove, centreOf(to), list->viewport()->mapToGlobal(centreOf(to)),
                                 Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
                QCoreApplication::sendEvent(list->viewport(), &move);
            }
            QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, centreOf(1));
        });
        QList<QByteArray> before;
        for (const QString& d : decks) before << digest(d);
        rig.dialogs.calls.clear();
        QTest::mouseClick(rig.form.PushButton7, Qt::LeftButton);
        QVERIFY(dragged);
        QCOMPARE(rig.listed(), (QStringList{decks[3], decks[0], decks[1], decks[2]}));
        QCOMPARE(dialogTexts(rig.dialogs.callsOf(FakeDialogs::Kind::MessageBox)),
                 QStringList{QStringLiteral("Done.")});
        // Every deck listed at the start is saved, the one dragged to the top too.
        QStringList saved;
        for (int i = 0; i < decks.size(); ++i) {
            QCOMPARE(digest(decks[i]), before[i]);
            saved << QFileInfo(decks[i]).fileName();
        }
        saved.sort();
        QCOMPARE(namesIn(out), saved);
    }

    // The output folder field edited, then emptied (which names the root folder), while the run goes on:
    // every deck still goes into the folder named when "Start Adding" was pressed.
    void theOutputFolderEditedDuringTheRunTakesNoDeckElsewhere() {
        WindowRig& rig = start();
        const QString in = dir_.filePath(QStringLiteral("in"));
        const QString out = dir_.filePath(QStringLiteral("out"));
        const QString elsewhere = dir_.filePath(QStringLiteral("elsewhere"));
        QDir().mkpath(out);
        QDir().mkpath(elsewhere);
        QStringList decks;
        for (const char* n : {"pandoc__basic-output.pptx", "poi__45537_Footer.ppt",
                              "python-pptx__sld-notes.pptx", "python-pptx__default.pptx"})
            decks << copyDeck(QLatin1String(n), in);
        addByDialog(rig.form, rig.dialogs, decks);
        QStringList names;
        for (const QString& d : decks) names << QFileInfo(d).fileName();
        names.sort();
        for (const QString& n : names) QVERIFY2(!QFileInfo::exists(QLatin1Char('/') + n), qPrintable(n));
        connect(rig.form.ProgressBar1, &QProgressBar::valueChanged, this, [&](int value) {
            if (value == 50) rig.typeOutputFolder(elsewhere);
            if (value == 75) rig.typeOutputFolder(QString());
        });
        startAddingInto(rig, out);
        QStringList inRoot;  // taken away again before anything is compared
        for (const QString& n : names)
            if (QFile::remove(QLatin1Char('/') + n)) inRoot << n;
        QCOMPARE(inRoot, QStringList());
        QCOMPARE(dialogTexts(rig.dialogs.callsOf(FakeDialogs::Kind::MessageBox)),
                 QStringList{QStringLiteral("Done.")});
        QCOMPARE(namesIn(out), names);
        QCOMPARE(namesIn(elsewhere), QStringList());
        QCOMPARE(rig.form.outputFolder(), QString());  // the field keeps what was typed
    }

    void damagedDecksAmongGoodOnes() {
        WindowRig& rig = start();
        const QString in = dir_.filePath(QStringLiteral("in"));
        const QString out = dir_.filePath(QStringLiteral("out"));
        QDir().mkpath(out);
        QStringList list{copyDeck(QStringLiteral("python-pptx__default.pptx"), in)};
        QStringList bad = QDir(kCorpus + QStringLiteral("/bad")).entryList(QDir::Files);
        for (const QString& b : bad) list << copyDeck(QStringLiteral("bad/") + b, in, b);
        list << copyDeck(QStringLiteral("pandoc__basic-output.pptx"), in);
        addByDialog(rig.form, rig.dialogs, list);
        startAddingInto(rig, out);
        const auto reports = rig.dialogs.errorReports();
        QCOMPARE(dialogTexts(rig.dialogs.callsOf(FakeDialogs::Kind::MessageBox)).last(),
                 QStringLiteral("Done."));
        // Each damaged deck once, when it is opened; the good ones on either side are saved.
        QCOMPARE(int(reports.size()), int(bad.size()));
        for (const auto& r : reports)
            QVERIFY2(r.text.contains(QStringLiteral("at line 122")), qPrintable(r.text));
        QCOMPARE(namesIn(out), (QStringList{QStringLiteral("pandoc__basic-output.pptx"),
                                            QStringLiteral("python-pptx__default.pptx")}));
    }

    void nonAsciiAndLongNames() {
        WindowRig& rig = start();
        const QString in = dir_.filePath(QStringLiteral("in ü"));
        const QString out = dir_.filePath(QStringLiteral("out 日本"));
        QDir().mkpath(out);
        const QString longName = QString(120, QChar(u'é')) + QStringLiteral(".pptx");  // 245 bytes
        QStringList list{copyDeck(QStringLiteral("python-pptx__default.pptx"), in,
                                  QStringLiteral("Präsentation – 日本 50%p.pptx")),
                         copyDeck(QStringLiteral("pandoc__basic-output.pptx"), in, longName)};
        addByDialog(rig.form, rig.dialogs, list);
        rig.typeOutputFolder(out);
        QStringList formats;
        connect(rig.form.ProgressBar1, &QProgressBar::valueChanged, this,
                [&] { formats << rig.form.ProgressBar1->text(); });
        rig.dialogs.calls.clear();
        QTest::mouseClick(rig.form.PushButton7, Qt::LeftButton);
        QCOMPARE(formats.size(), 3);
        QCOMPARE(formats[1].remove(QChar(0x2060)),
                 QStringLiteral("Processing: Präsentation – 日本 50%p.pptx"));
        QCOMPARE(dialogTexts(rig.dialogs.callsOf(FakeDialogs::Kind::MessageBox)),
                 QStringList{QStringLiteral("Done.")});
        QStringList expected{QStringLiteral("Präsentation – 日本 50%p.pptx"), longName};
        expected.sort();
        QCOMPARE(namesIn(out), expected);
    }

    void progressShowsEachFileThenRests() {
        WindowRig& rig = start();
        const QString in = dir_.filePath(QStringLiteral("in"));
        QStringList decks;
        for (const char* n : {"python-pptx__default.pptx", "pandoc__basic-output.pptx",
                              "poi__45537_Footer.ppt", "python-pptx__sld-notes.pptx"})
            decks << copyDeck(QLatin1String(n), in);
        addByDialog(rig.form, rig.dialogs, decks);
        rig.typeOutputFolder(dir_.filePath(QStringLiteral("desk")));
        QList<int> values;
        connect(rig.form.ProgressBar1, &QProgressBar::valueChanged, this, [&](int v) { values << v; });
        QTest::mouseClick(rig.form.PushButton7, Qt::LeftButton);
        QCOMPARE(values, (QList<int>{25, 50, 75, 100, 0}));
        QCOMPARE(rig.form.ProgressBar1->text(), QStringLiteral("Progress Bar"));
    }

    void addAllOnAnAwkwardTree() {
        WindowRig& rig = start();
        const QString root = dir_.filePath(QStringLiteral("tree"));
        const QString deck = kCorpus + QStringLiteral("/python-pptx__default.pptx");
        QDir().mkpath(root + QStringLiteral("/sub/deeper"));
        QDir().mkpath(root + QStringLiteral("/.hidden"));
        for (const QString& f :
             {QStringLiteral("/a.pptx"), QStringLiteral("/~$lock.pptx"), QStringLiteral("/.dot.pptx"),
              QStringLiteral("/sub/b.pptx"), QStringLiteral("/sub/deeper/c.pptx"),
              QStringLiteral("/.hidden/h.pptx"), QStringLiteral("/noext")})
            QVERIFY(QFile::copy(deck, root + f));
        QFile::link(root, root + QStringLiteral("/sub/loop"));  // a link back up
        QFile::link(root + QStringLiteral("/a.pptx"),
                    root + QStringLiteral("/sub/alias.pptx"));  // a link to a file
        QFile::link(root + QStringLiteral("/gone.pptx"), root + QStringLiteral("/dangling.pptx"));
        rig.dialogs.inputAnswers.push_back(QStringLiteral("*"));
        rig.dialogs.folderAnswers.push_back(root);
        QTest::mouseClick(rig.form.PushButton6, Qt::LeftButton);
        const QStringList got = rig.listed();
        QVERIFY(rig.dialogs.errorReports().empty());
        QVERIFY(got.contains(root + QStringLiteral("/a.pptx")));
        QVERIFY(got.contains(root + QStringLiteral("/noext")));
        QVERIFY(got.contains(root + QStringLiteral("/sub/deeper/c.pptx")));
        QVERIFY(!got.contains(root + QStringLiteral("/~$lock.pptx")));
        QCOMPARE(got.count(root + QStringLiteral("/a.pptx")), 1);
    }

    // Folders the user may not read are left out without a word; their siblings are still walked.
    void addAllPassesOverFoldersThatCannotBeRead() {
        const trelwick::testing::PermissionsBind bind;
        if (!bind.active()) QSKIP("run as root without a way to be held to permissions");
        WindowRig& rig = start();
        const QString root = dir_.filePath(QStringLiteral("tree"));
        const QString deck = kCorpus + QStringLiteral("/python-pptx__default.pptx");
        for (const char* sub : {"/a", "/locked", "/listless", "/z"})
            QVERIFY(QDir().mkpath(root + QLatin1String(sub)));
        for (const char* f :
             {"/a/1.pptx", "/locked/2.pptx", "/listless/3.pptx", "/z/4.pptx", "/z/unreadable.pptx"})
            QVERIFY(QFile::copy(deck, root + QLatin1String(f)));
        QVERIFY(QFile(root + QStringLiteral("/z/unreadable.pptx")).setPermissions({}));
        QVERIFY(QFile(root + QStringLiteral("/locked")).setPermissions({}));
        QVERIFY(QFile(root + QStringLiteral("/listless")).setPermissions(QFile::ExeOwner));
        rig.dialogs.inputAnswers.push_back(QStringLiteral("pptx"));
        rig.dialogs.folderAnswers.push_back(root);
        QTest::mouseClick(rig.form.PushButton6, Qt::LeftButton);
        QStringList got = rig.listed();
        QFile(root + QStringLiteral("/locked"))
            .setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile(root + QStringLiteral("/listless"))
            .setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(rig.dialogs.errorReports().size(), std::size_t(0));
        got.sort();
        QCOMPARE(got, (QStringList{root + QStringLiteral("/a/1.pptx"), root + QStringLiteral("/z/4.pptx"),
                                   root + QStringLiteral("/z/unreadable.pptx")}));
    }

    void addAllOnTwentyThousandFiles() {
        WindowRig& rig = start();
        const QString root = dir_.filePath(QStringLiteral("many"));
        QDir().mkpath(root);
        for (int i = 0; i < 20000; ++i) {
            QFile f(root + QStringLiteral("/f%1.ppt").arg(i, 5, 10, QLatin1Char('0')));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        rig.dialogs.inputAnswers.push_back(QStringLiteral("ppt"));
        rig.dialogs.folderAnswers.push_back(root);
        QTest::mouseClick(rig.form.PushButton6, Qt::LeftButton);
        QCOMPARE(rig.form.ListView1->topLevelItemCount(), 20000);
        QTest::mouseClick(rig.form.PushButton1, Qt::LeftButton);
        QCOMPARE(rig.form.ListView1->topLevelItemCount(), 0);
    }

    void readOnlyOutputFolder() {
        const QString ro = qEnvironmentVariable("TRELWICK_READ_ONLY_FOLDER");
        if (ro.isEmpty())
            RUN_ON_OWN_MOUNT(
                "readOnlyOutputFolder", "TRELWICK_READ_ONLY_FOLDER", "ro",
                "no read-only mount to be had: set TRELWICK_READ_ONLY_FOLDER to a folder on one");
        WindowRig& rig = start();
        const QString in = dir_.filePath(QStringLiteral("in"));
        addByDialog(rig.form, rig.dialogs,
                    {copyDeck(QStringLiteral("python-pptx__default.pptx"), in),
                     copyDeck(QStringLiteral("poi__45537_Footer.ppt"), in)});
        startAddingInto(rig, ro);
        QCOMPARE(int(rig.dialogs.errorReports().size()), 2);
        QCOMPARE(dialogTexts(rig.dialogs.callsOf(FakeDialogs::Kind::MessageBox)).last(),
                 QStringLiteral("Done."));
    }

    // A deck the user made read-only is not written over: PowerPoint's save refuses such a file,
    // and the report says so.
    void aReadOnlyDeckInTheOutputFolderIsNotReplaced() {
        WindowRig& rig = start();
        const QString in = dir_.filePath(QStringLiteral("in"));
        const QString out = dir_.filePath(QStringLiteral("out"));
        const QString source =
            copyDeck(QStringLiteral("python-pptx__default.pptx"), in, QStringLiteral("deck.pptx"));
        const QString kept =
            copyDeck(QStringLiteral("pandoc__basic-output.pptx"), out, QStringLiteral("deck.pptx"));
        QVERIFY(QFile(kept).setPermissions(QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        const QByteArray before = digest(kept);
        addByDialog(rig.form, rig.dialogs, {source});
        startAddingInto(rig, out);
        QCOMPARE(digest(kept), before);
        QCOMPARE(int(rig.dialogs.errorReports().size()), 1);
        QVERIFY(rig.dialogs.errorReports().front().text.contains(QStringLiteral("at line 234")));
    }

    // A link in the output folder is replaced by the saved file, never written through, so a read-only
    // file it points to is no reason to refuse the save.
    void aLinkToAReadOnlyFileIsReplacedAndTheFileKept() {
        WindowRig& rig = start();
        const QString in = dir_.filePath(QStringLiteral("in"));
        const QString out = dir_.filePath(QStringLiteral("out"));
        const QString source =
            copyDeck(QStringLiteral("python-pptx__default.pptx"), in, QStringLiteral("deck.pptx"));
        const QString elsewhere =
            copyDeck(QStringLiteral("pandoc__basic-output.pptx"), dir_.filePath(QStringLiteral("kept")));
        QVERIFY(QFile(elsewhere).setPermissions(QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        const QByteArray before = digest(elsewhere);
        QVERIFY(QFile::link(elsewhere, out + QStringLiteral("/deck.pptx")) ||
                (QDir().mkpath(out) && QFile::link(elsewhere, out + QStringLiteral("/deck.pptx"))));
        addByDialog(rig.form, rig.dialogs, {source});
        startAddingInto(rig, out);
        QCOMPARE(int(rig.dialogs.errorReports().size()), 0);
        QVERIFY(!QFileInfo(out + QStringLiteral("/deck.pptx")).isSymLink());
        QCOMPARE(digest(elsewhere), before);
    }

    void aReadOnlyDeckStampedInItsOwnFolderIsNotReplaced() {
        WindowRig& rig = start();
        const QString in = dir_.filePath(QStringLiteral("in"));
        const QString source = copyDeck(QStringLiteral("python-pptx__default.pptx"), in);
        QVERIFY(QFile(source).setPermissions(QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        const QByteArray before = digest(source);
        addByDialog(rig.form, rig.dialogs, {source});
        startAddingInto(rig, in);
        QCOMPARE(digest(source), before);
        QCOMPARE(int(rig.dialogs.errorReports().size()), 1);
    }

    // A deck of another user's that this one may not write is read-only to this user, though its
    // owner may write it: it is not saved over, in the output folder nor in its own.
    void aDeckThisUserMayNotWriteIsNotReplaced() {
        if (::geteuid() != 0) QSKIP("giving a file another owner needs root; skipping");
        const trelwick::testing::PermissionsBind bind;
        if (!bind.active()) QSKIP("run as root without a way to be held to permissions");
        WindowRig& rig = start();
        const QString in = dir_.filePath(QStringLiteral("in"));
        const QString out = dir_.filePath(QStringLiteral("out"));
        const QString source =
            copyDeck(QStringLiteral("python-pptx__default.pptx"), in, QStringLiteral("deck.pptx"));
        const QString theirs =
            copyDeck(QStringLiteral("pandoc__basic-output.pptx"), out, QStringLiteral("deck.pptx"));
        const QString theirsInPlace =
            copyDeck(QStringLiteral("pandoc__basic-output.pptx"), in, QStringLiteral("other.pptx"));
        for (const QString& f : {theirs, theirsInPlace})
            QVERIFY(::chown(QFile::encodeName(f).constData(), 4242, 4242) == 0);
        // Stamps listed into folder: the one report names kept, which is left as it was.
        const auto stampKeeping = [&](const QString& listed, const QString& folder, const QString& kept) {
            const QByteArray before = digest(kept);
            QTest::mouseClick(rig.form.PushButton1, Qt::LeftButton);
            addByDialog(rig.form, rig.dialogs, {listed});
            startAddingInto(rig, folder);
            QCOMPARE(digest(kept), before);
            QCOMPARE(QFileInfo(kept).ownerId(), 4242u);
            const auto reports = rig.dialogs.errorReports();
            QCOMPARE(int(reports.size()), 1);
            QVERIFY2(reports.front().text.contains(QStringLiteral("at line 234")),
                     qPrintable(reports.front().text));
            QVERIFY2(reports.front().text.contains(QDir::toNativeSeparators(kept)),
                     qPrintable(reports.front().text));
        };
        stampKeeping(source, out, theirs);
        if (QTest::currentTestFailed()) return;
        stampKeeping(theirsInPlace, in, theirsInPlace);
        if (QTest::currentTestFailed()) return;
        QCOMPARE(dialogTexts(rig.dialogs.callsOf(FakeDialogs::Kind::MessageBox)).last(),
                 QStringLiteral("Done."));
    }

    // A disk that fills up during the run: the decks that do not fit are reported, and every file
    // left in the folder is a whole deck.
    void outputFolderThatFillsUp() {
        const QString small = qEnvironmentVariable("TRELWICK_SMALL_FOLDER");
        if (small.isEmpty())
            RUN_ON_OWN_MOUNT(
                "outputFolderThatFillsUp", "TRELWICK_SMALL_FOLDER", "size=400k",
                "no small file system to be had: set TRELWICK_SMALL_FOLDER to an empty folder on one "
                "(a few hundred KB)");
        WindowRig& rig = start();
        const QString in = dir_.filePath(QStringLiteral("in"));
        QStringList list;
        for (const QString& n :
             QDir(kCorpus).entryList({QStringLiteral("*.pptx"), QStringLiteral("*.ppt")}, QDir::Files))
            list << copyDeck(n, in);
        addByDialog(rig.form, rig.dialogs, list);
        startAddingInto(rig, small);
        const auto reports = rig.dialogs.errorReports();
        QCOMPARE(dialogTexts(rig.dialogs.callsOf(FakeDialogs::Kind::MessageBox)).last(),
                 QStringLiteral("Done."));
        const QStringList saved = namesIn(small);
        QVERIFY(!saved.isEmpty());
        QVERIFY(!reports.empty());
        for (const QString& name : saved) {
            QVERIFY2(!name.startsWith(QLatin1Char('.')), qPrintable(name));
            QVERIFY2(list.contains(in + QLatin1Char('/') + name), qPrintable(name));
            engine::Presentation::open(
                (small + QLatin1Char('/') + name).toStdString());  // whole, or it throws
        }
        QCOMPARE(int(saved.size() + reports.size()), int(list.size()));
    }

    // Run by closingDuringARunKeepsTheFilesItHasPassed in a process of its own: closing the window
    // ends the process. The disk is slow to take each file, as a USB stick or a share is.
    void closeMidRun() {
        const QString work = qEnvironmentVariable("TRELWICK_CLOSE_MID_RUN");
        if (work.isEmpty()) QSKIP("run by closingDuringARunKeepsTheFilesItHasPassed");
        WindowRig& rig = start();
        rig.batchRun->putInPlace = [](const std::vector<engine::PendingSave*>& saves) {
            QThread::msleep(200);
            return BackgroundSaves::commitLeavingFolders(saves);
        };
        QStringList decks;
        for (const char* n : {"python-pptx__default.pptx", "pandoc__basic-output.pptx",
                              "python-pptx__sld-notes.pptx", "poi__45537_Footer.ppt"})
            decks << copyDeck(QLatin1String(n), work + QStringLiteral("/in"));
        addByDialog(rig.form, rig.dialogs, decks);
        rig.typeOutputFolder(work + QStringLiteral("/out"));
        connect(rig.form.ProgressBar1, &QProgressBar::valueChanged, this, [&](int value) {
            if (value == 100) rig.form.close();  // while the last of four is stamped
        });
        QTest::mouseClick(rig.form.PushButton7, Qt::LeftButton);
        QFAIL("the window was closed, yet the run went on");
    }

    void closingDuringARunKeepsTheFilesItHasPassed() {
        const QString work = dir_.filePath(QStringLiteral("close"));
        QVERIFY(QDir().mkpath(work + QStringLiteral("/out")));
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TRELWICK_CLOSE_MID_RUN"), work);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("closeMidRun")});
        QVERIFY(child.waitForFinished(120000));
        // The first three were stamped and passed before the window closed, as the bar showed.
        QCOMPARE(namesIn(work + QStringLiteral("/out")),
                 (QStringList{QStringLiteral("pandoc__basic-output.pptx"),
                              QStringLiteral("python-pptx__default.pptx"),
                              QStringLiteral("python-pptx__sld-notes.pptx")}));
    }

    // Many notes from earlier decks must not hide that a later deck's signature was broken.
    void aBrokenSignatureIsToldWhateverCameBefore() {
        WindowRig& rig = start();
        const QString in = dir_.filePath(QStringLiteral("in"));
        QStringList list;
        for (int i = 1; i <= 7; ++i)  // two notes each (date and footer)
            list << copyDeck(QStringLiteral("poi__37625.ppt"), in, QStringLiteral("deck%1.ppt").arg(i));
        list << copyDeck(QStringLiteral("poi__hello-world-signed.pptx"), in);
        addByDialog(rig.form, rig.dialogs, list);
        startAddingInto(rig, dir_.filePath(QStringLiteral("desk")));
        const QStringList boxes = dialogTexts(rig.dialogs.callsOf(FakeDialogs::Kind::MessageBox));
        QCOMPARE(boxes.size(), 2);
        QVERIFY2(boxes[0].contains(
                     QStringLiteral("poi__hello-world-signed.pptx: the presentation was digitally signed")),
                 qPrintable(boxes[0]));
    }

    // A signed deck's own notes (here a plain-text slide number on each of eleven masters) must not push
    // another deck's broken signature past the lines the notice shows: signatures go first, not whole decks.
    void aBrokenSignatureIsToldWhateverTheSignedDecksBeforeItNoted() {
        WindowRig& rig = start();
        const QString in = dir_.filePath(QStringLiteral("in"));
        QDir().mkpath(in);
        const std::filesystem::path source =
            (kCorpus + QStringLiteral("/shapecrawler__032.pptx")).toStdString();
        trelwick::testing::Entries entries;
        for (const std::string& name : trelwick::testing::entryNames(source))
            entries.emplace_back(name, trelwick::testing::readEntry(source, name));
        entries.emplace_back("_xmlsignatures/origin.sigs", "");  // what makes a package signed
        const QString signedFirst = in + QStringLiteral("/signed-many-masters.pptx");
        trelwick::testing::writeZip(signedFirst.toStdString(), entries);
        addByDialog(rig.form, rig.dialogs,
                    {signedFirst, copyDeck(QStringLiteral("poi__hello-world-signed.pptx"), in)});
        QDir().mkpath(dir_.filePath(QStringLiteral("desk2")));
        startAddingInto(rig, dir_.filePath(QStringLiteral("desk2")));
        const QStringList boxes = dialogTexts(rig.dialogs.callsOf(FakeDialogs::Kind::MessageBox));
        QCOMPARE(boxes.size(), 2);
        QVERIFY2(boxes[0].contains(
                     QStringLiteral("signed-many-masters.pptx: the presentation was digitally signed")),
                 qPrintable(boxes[0]));
        QVERIFY2(boxes[0].contains(
                     QStringLiteral("poi__hello-world-signed.pptx: the presentation was digitally signed")),
                 qPrintable(boxes[0]));
    }

    void awkwardOptionTextsComeBackAtTheNextStart() {
        const QStringList samples{QStringLiteral("  Acme, Inc. ; #1  "),
                                  QStringLiteral("\"quoted\""),
                                  QStringLiteral("back\\slash \\n"),
                                  QStringLiteral("@Variant(x)"),
                                  QStringLiteral("50% = half"),
                                  QStringLiteral("Ünïcödé 日本 ✓"),
                                  QStringLiteral("a,b"),
                                  QStringLiteral("[General]"),
                                  QStringLiteral(" ")};
        for (const QString& text : samples) {
            {
                WindowRig& rig = start();
                typeInto(rig.form.SSTab1->Text2, text);
                QCOMPARE(rig.form.SSTab1->Text2->text(), text);
                rig_.reset();
            }
            WindowRig& again = start();
            QCOMPARE(again.form.SSTab1->Text2->text(), text);
            rig_.reset();
            QFile::remove(dir_.filePath(QStringLiteral("config/Trelwick.conf")));
        }
    }
    void aFooterPastedWithLineBreaksKeepsItsWordsApart() {
        // Text copied from other programs may end its lines with CR alone; the field keeps it as pasted.
        WindowRig& rig = start();
        const QString in = dir_.filePath(QStringLiteral("in"));
        const QString out = dir_.filePath(QStringLiteral("out"));
        QDir().mkpath(out);
        const QStringList decks{copyDeck(QStringLiteral("pandoc__basic-output.pptx"), in)};
        addByDialog(rig.form, rig.dialogs, decks);
        QLineEdit* footer = rig.form.SSTab1->Text2;
        footer->selectAll();
        QTest::keyClick(footer, Qt::Key_Delete);
        QGuiApplication::clipboard()->setText(QStringLiteral("Part1\rPart2"));
        footer->setFocus();
        QTest::keyClick(footer, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(footer->text(), QStringLiteral("Part1\rPart2"));
        startAddingInto(rig, out);
        QCOMPARE(dialogTexts(rig.dialogs.callsOf(FakeDialogs::Kind::MessageBox)),
                 QStringList{QStringLiteral("Done.")});
        const auto deck =
            engine::Presentation::open((out + QStringLiteral("/pandoc__basic-output.pptx")).toStdString());
        QCOMPARE(
            QString::fromStdString(deck.element(engine::MasterKind::Slide, engine::Element::Footer).text),
            QStringLiteral("Part1 Part2"));
    }
};

QTEST_MAIN(WindowUseTest)
#include "WindowUseTest.moc"
