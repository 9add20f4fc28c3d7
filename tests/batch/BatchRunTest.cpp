#include <sys/resource.h>
#include <zip.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <filesystem>
#include <functional>

#include "batch/BackgroundSaves.h"
#include "batch/BatchRun.h"
#include "batch/Pause.h"
#include "batch/PowerPointApplication.h"
#include "batch/PowerPointFactory.h"
#include "support/FakeDialogs.h"
#include "trelwick/engine.h"

using namespace trelwick;
using engine::Element;
using engine::MasterKind;
using trelwick::testing::FakeDialogs;

namespace {

QString samplePath(const char* name) {
    return QStringLiteral(TRELWICK_SAMPLES_DIR "/") + QString::fromLatin1(name);
}

// A copy of a sample deck with one XML part cut in half: the file opens as a zip, the part does not
// parse.
bool writeDamagedCopy(const QString& copy, const char* part) {
    if (!QFile::copy(samplePath("Quarterly-Review.pptx"), copy)) return false;
    int error = 0;
    zip_t* zip = zip_open(copy.toUtf8().constData(), 0, &error);
    if (!zip) return false;
    const zip_int64_t index = zip_name_locate(zip, part, 0);
    zip_stat_t st;
    zip_file_t* file =
        index < 0 || zip_stat_index(zip, index, 0, &st) != 0 ? nullptr : zip_fopen_index(zip, index, 0);
    static std::string half;  // libzip reads it when the zip is closed
    half.assign(file ? st.size : 0, '\0');
    const bool read =
        file && zip_fread(file, half.data(), half.size()) == static_cast<zip_int64_t>(half.size());
    if (file) zip_fclose(file);
    half.resize(half.size() / 2);
    zip_source_t* source = read ? zip_source_buffer(zip, half.data(), half.size(), 0) : nullptr;
    const bool replaced = source && zip_file_replace(zip, static_cast<zip_uint64_t>(index), source, 0) == 0;
    if (source && !replaced) zip_source_free(source);
    return zip_close(zip) == 0 && replaced;
}

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

engine::HeaderFooter elementOf(const QString& deck, MasterKind kind, Element element) {
    return engine::Presentation::open(deck.toStdString()).element(kind, element);
}

// A window stand-in: a list, the option values, the output folder and what the run shows.
struct Window {
    QStringList entries;
    HeaderFooterChoices options;
    QString outputFolder;
    std::vector<int> progressValues;
    QStringList progressTexts;
    std::vector<bool> busy;
    std::function<void(int)> onProgress;  // called after each value is shown

    BatchRunWindow bind() {
        BatchRunWindow w;
        w.entryCount = [this] { return static_cast<int>(entries.size()); };
        w.entryText = [this](int position) { return entries.at(position - 1); };
        w.choices = [this] { return options; };
        w.outputFolder = [this] { return outputFolder; };
        w.setProgressValue = [this](int value) {
            progressValues.push_back(value);
            if (onProgress) onProgress(value);
        };
        w.setProgressText = [this](const QString& text) { progressTexts << text; };
        w.setBusy = [this](bool on) { busy.push_back(on); };
        w.applicationTitle = [] { return QStringLiteral("Trelwick"); };
        return w;
    }
};

struct Rig {
    QTemporaryDir out;
    FakeDialogs dialogs;
    int created = 0;
    FunctionPowerPointFactory factory{[this] {
        ++created;
        return std::make_unique<PowerPointApplication>();
    }};
    Window window;
    BatchRun run{dialogs, factory, window.bind()};

    Rig() {
        window.outputFolder = out.path() + QLatin1Char('/');
        window.options.slideDate = QStringLiteral("DATE-MARK");
        window.options.slideDateOn = true;
        window.options.slideFooter = QStringLiteral("FOOTER-MARK");
        window.options.slideFooterOn = true;
        window.options.slideNumberOn = true;
        window.options.notesDate = QStringLiteral("NDATE-MARK");
        window.options.notesDateOn = true;
        window.options.notesHeader = QStringLiteral("NHEADER-MARK");
        window.options.notesHeaderOn = true;
        window.options.notesFooter = QStringLiteral("NFOOTER-MARK");
        window.options.notesFooterOn = true;
    }

    QStringList messages() const {
        QStringList texts;
        for (const auto& call : dialogs.callsOf(FakeDialogs::Kind::MessageBox)) texts << call.text;
        return texts;
    }
};

// A copy of a sample deck that says it is digitally signed, so that its save notes the signature.
bool writeSignedCopy(const QString& copy) {
    if (!QFile::copy(samplePath("Quarterly-Review.pptx"), copy)) return false;
    int error = 0;
    zip_t* zip = zip_open(copy.toUtf8().constData(), 0, &error);
    if (!zip) return false;
    static const std::string signature = "<Signature/>";  // libzip reads it when the zip is closed
    zip_source_t* source = zip_source_buffer(zip, signature.data(), signature.size(), 0);
    const zip_int64_t index = source ? zip_file_add(zip, "_xmlsignatures/sig1.xml", source, 0) : -1;
    if (source && index < 0) zip_source_free(source);
    return zip_close(zip) == 0 && index >= 0;
}

// A copy of a sample deck carrying a stored part of incompressible bytes, so that its stamped copy is
// larger than size while the sample's own is not.
bool writeLargeCopy(const QString& copy, std::size_t size) {
    if (!QFile::copy(samplePath("Quarterly-Review.pptx"), copy)) return false;
    int error = 0;
    zip_t* zip = zip_open(copy.toUtf8().constData(), 0, &error);
    if (!zip) return false;
    static std::string noise;  // libzip reads it when the zip is closed
    noise.resize(size);
    std::uint32_t x = 2463534242u;
    for (char& c : noise) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        c = static_cast<char>(x);
    }
    zip_source_t* source = zip_source_buffer(zip, noise.data(), noise.size(), 0);
    const zip_int64_t index = source ? zip_file_add(zip, "ppt/media/noise.bin", source, 0) : -1;
    if (source && index < 0) zip_source_free(source);
    const bool stored =
        index >= 0 && zip_set_file_compression(zip, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0) == 0;
    return zip_close(zip) == 0 && stored;
}

// Runs the rig with files larger than limit refused by the system, as a full disk refuses them.
void runWithFileSizeLimit(Rig& rig, rlim_t limit) {
    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit tight{limit, saved.rlim_max};
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &tight), 0);
    rig.run.PushButton7_Click();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
}

}  // namespace

class BatchRunTest : public QObject {
    Q_OBJECT

  private slots:
    void refusalsTouchNothing_data() {
        QTest::addColumn<bool>("withEntries");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty list") << false << QString() << "No files added.";
        QTest::newRow("missing folder") << true << "/nonexistent/out/"
                                        << "Folder does not exist. Please select another folder.";
        QTest::newRow("folder is a file")
            << true << QStringLiteral(TRELWICK_SAMPLES_DIR "/Quarterly-Review.pptx")
            << "Folder does not exist. Please select another folder.";
    }
    void refusalsTouchNothing() {
        QFETCH(bool, withEntries);
        QFETCH(QString, folder);
        QFETCH(QString, message);
        Rig rig;
        if (withEntries) rig.window.entries << samplePath("Quarterly-Review.pptx");
        if (!folder.isNull()) rig.window.outputFolder = folder;
        rig.run.PushButton7_Click();
        QCOMPARE(rig.messages(), QStringList{message});
        QCOMPARE(rig.dialogs.calls.back().title, QStringLiteral("Trelwick"));
        QCOMPARE(rig.created, 0);
        QVERIFY(rig.window.busy.empty());
        QVERIFY(!rig.run.IsRunning());
        QCOMPARE(QDir(rig.out.path()).entryList(QDir::Files), QStringList());
    }

    void runningOfficeAppAsksFirst() {
        for (const MessageResult answer : {MessageResult::No, MessageResult::Yes}) {
            Rig rig;
            rig.window.entries << samplePath("Quarterly-Review.pptx");
            rig.run.isPowerPointRunning = [] { return true; };
            rig.dialogs.messageAnswers.push_back(answer);
            rig.run.PushButton7_Click();
            const QStringList messages = rig.messages();
            QVERIFY(messages.first().startsWith(
                "PowerPoint may be open. It is recommended that you close PowerPoint first.\r"
                "Use Ctrl+Alt+Del > Task Manager > POWERPNT.EXE if necessary.\r\n\r\n"
                "Would you like to proceed anyway?"));
            QCOMPARE(rig.dialogs.calls.front().buttons, MessageButtons::YesNo);
            const bool proceeded = answer == MessageResult::Yes;
            QCOMPARE(messages.size(), proceeded ? 2 : 1);
            QCOMPARE(QFile::exists(rig.out.filePath("Quarterly-Review.pptx")), proceeded);
            QVERIFY(!rig.run.IsRunning());
        }
    }

    void stampsEveryDeckIntoTheOutputFolder() {
        Rig rig;
        rig.window.entries << samplePath("Quarterly-Review.pptx") << samplePath("Onboarding-Notes.pptx")
                           << samplePath("Two-Masters.pptx");
        rig.window.options.pageNumberOn = true;
        rig.run.PushButton7_Click();
        QCOMPARE(rig.messages(), QStringList{"Done."});
        QVERIFY(rig.dialogs.errorReports().empty());
        for (const char* name : {"Quarterly-Review.pptx", "Onboarding-Notes.pptx", "Two-Masters.pptx"}) {
            const QString output = rig.out.filePath(QString::fromLatin1(name));
            QVERIFY2(QFile::exists(output), name);
            const auto footer = elementOf(output, MasterKind::Slide, Element::Footer);
            QCOMPARE(footer.text, std::string("FOOTER-MARK"));
            QVERIFY(footer.visible);
            const auto date = elementOf(output, MasterKind::Slide, Element::DateAndTime);
            QCOMPARE(date.text, std::string("DATE-MARK"));
            QVERIFY(date.visible);
            QVERIFY(!date.useFormat);
            QVERIFY(elementOf(output, MasterKind::Slide, Element::SlideNumber).visible);
            QCOMPARE(elementOf(output, MasterKind::Notes, Element::Header).text, std::string("NHEADER-MARK"));
            QCOMPARE(elementOf(output, MasterKind::Notes, Element::Footer).text, std::string("NFOOTER-MARK"));
            QCOMPARE(elementOf(output, MasterKind::Notes, Element::DateAndTime).text,
                     std::string("NDATE-MARK"));
            // "Page Number" acts on the notes pages.
            QVERIFY(elementOf(output, MasterKind::Notes, Element::SlideNumber).visible);
        }
        QCOMPARE(rig.window.progressValues, (std::vector<int>{33, 66, 100, 0}));
        QCOMPARE(rig.window.progressTexts,
                 (QStringList{"Processing: Quarterly-Review.pptx", "Processing: Onboarding-Notes.pptx",
                              "Processing: Two-Masters.pptx", "Progress Bar"}));
        QCOMPARE(rig.window.busy.back(), false);
        QVERIFY(!rig.run.IsRunning());
    }

    // A legacy .ppt with a title master: the title master steps run and share the slide settings.
    void legacyDeckWithATitleMasterIsStamped() {
        const QString deck = QStringLiteral(TRELWICK_SHARED_DIR "/corpus/dev/poi__37625.ppt");
        if (!QFile::exists(deck)) QSKIP("no shared corpus; the legacy deck is not at hand");
        QVERIFY(engine::Presentation::open(deck.toStdString()).hasTitleMaster());
        Rig rig;
        rig.window.entries << deck;
        rig.run.PushButton7_Click();
        // One slide hides the master's graphics, and with them the stamped elements in LibreOffice: the
        // user is told once, before "Done.".
        const QStringList messages = rig.messages();
        const QString output = rig.out.filePath("poi__37625.ppt");
        const QString saved = QDir::toNativeSeparators(output);
        QCOMPARE(messages.size(), 2);
        QVERIFY2(messages[0].startsWith("Saved, but please note:\r\r" + saved +
                                        ": the date does not show in LibreOffice on 1 slide"),
                 qPrintable(messages[0]));
        QCOMPARE(messages[0].count(saved), 3);
        QCOMPARE(messages[1], QStringLiteral("Done."));
        QVERIFY(rig.dialogs.errorReports().empty());
        QVERIFY(QFile::exists(output));
        const auto footer = elementOf(output, MasterKind::Slide, Element::Footer);
        QCOMPARE(footer.text, std::string("FOOTER-MARK"));
        QVERIFY(footer.visible);
        QCOMPARE(elementOf(output, MasterKind::Slide, Element::DateAndTime).text, std::string("DATE-MARK"));
        QVERIFY(elementOf(output, MasterKind::Slide, Element::SlideNumber).visible);
        QCOMPARE(elementOf(output, MasterKind::Notes, Element::Header).text, std::string("NHEADER-MARK"));
        QCOMPARE(elementOf(output, MasterKind::Notes, Element::Footer).text, std::string("NFOOTER-MARK"));
    }

    // Many notes are cut to the first twelve lines in one message, saying how many were left out.
    void aLongListOfSaveNotesIsCut() {
        const QString deck = QStringLiteral(TRELWICK_SHARED_DIR "/corpus/dev/poi__37625.ppt");
        if (!QFile::exists(deck)) QSKIP("no shared corpus; the legacy deck is not at hand");
        QTemporaryDir in;
        Rig rig;
        for (int i = 1; i <= 5; ++i) {  // three notes each
            const QString copy = in.filePath(QStringLiteral("deck%1.ppt").arg(i));
            QVERIFY(QFile::copy(deck, copy));
            rig.window.entries << copy;
        }
        rig.run.PushButton7_Click();
        const QStringList messages = rig.messages();
        QCOMPARE(messages.size(), 2);
        const QStringList lines = messages[0].split(QLatin1Char('\r'));
        QCOMPARE(lines.size(), 2 + 12 + 1);
        QCOMPARE(lines[0], QStringLiteral("Saved, but please note:"));
        QVERIFY2(lines[2].startsWith(QDir::toNativeSeparators(rig.out.filePath("deck1.ppt")) + ": "),
                 qPrintable(lines[2]));
        QVERIFY2(lines[13].startsWith(QDir::toNativeSeparators(rig.out.filePath("deck4.ppt")) + ": "),
                 qPrintable(lines[13]));
        QCOMPARE(lines.back(), QStringLiteral("(and 3 more)"));
        QCOMPARE(messages[1], QStringLiteral("Done."));
        QCOMPARE(QDir(rig.out.path()).entryList(QDir::Files).size(), 5);
    }

    void uncheckedBoxesHideButKeepTheText() {
        Rig rig;
        rig.window.entries << samplePath("Quarterly-Review.pptx");
        rig.window.options.slideDateOn = false;
        rig.window.options.slideNumberOn = false;
        rig.window.options.notesHeaderOn = false;
        rig.run.PushButton7_Click();
        const QString output = rig.out.filePath("Quarterly-Review.pptx");
        const auto date = elementOf(output, MasterKind::Slide, Element::DateAndTime);
        QVERIFY(!date.visible);
        QCOMPARE(date.text, std::string("DATE-MARK"));
        QVERIFY(!elementOf(output, MasterKind::Slide, Element::SlideNumber).visible);
        QVERIFY(!elementOf(output, MasterKind::Notes, Element::Header).visible);
        QVERIFY(elementOf(output, MasterKind::Slide, Element::Footer).visible);
    }

    // A bad file is reported once, at the open step, with the engine's reason; the others are stamped.
    void badFilesAreReportedOnceAndTheRunGoesOn() {
        Rig rig;
        QTemporaryDir in;
        const QString notADeck = in.filePath("notes.pptx");
        QFile f(notADeck);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("this is not a presentation");
        f.close();
        rig.window.entries << notADeck << in.filePath("vanished.pptx") << samplePath("Quarterly-Review.pptx");
        rig.run.PushButton7_Click();
        const auto reports = rig.dialogs.errorReports();
        QCOMPARE(reports.size(), std::size_t(2));
        for (const auto& report : reports) {
            QVERIFY2(report.text.contains("\r\nin Dunmere2021/08/31.Form1.PushButton7_Click at line 122\r\r"),
                     qPrintable(report.text));
            QCOMPARE(report.icon, MessageIcon::Warning);
        }
        QVERIFY(reports[0].text.contains("notes.pptx"));
        QVERIFY(reports[1].text.contains("vanished.pptx"));
        QCOMPARE(rig.messages().back(), QStringLiteral("Done."));
        QCOMPARE(QDir(rig.out.path()).entryList(QDir::Files), QStringList{"Quarterly-Review.pptx"});
        QCOMPARE(rig.window.progressValues, (std::vector<int>{33, 66, 100, 0}));
    }

    // A deck whose slide cannot be read is refused as it is opened, as PowerPoint refuses it: one report
    // at the open step, not one for every step that would read the slide.
    void aDamagedDeckIsReportedOnceAtTheOpenStep() {
        QTemporaryDir in;
        QVERIFY(writeDamagedCopy(in.filePath("damaged.pptx"), "ppt/slides/slide1.xml"));
        QVERIFY(QFile::copy(samplePath("Quarterly-Review.pptx"), in.filePath("good.pptx")));
        // Read ahead while the first is stamped, and opened directly.
        for (const QStringList& entries : {QStringList{in.filePath("good.pptx"), in.filePath("damaged.pptx")},
                                           QStringList{in.filePath("damaged.pptx")}}) {
            Rig rig;
            rig.window.entries = entries;
            rig.run.PushButton7_Click();
            const auto reports = rig.dialogs.errorReports();
            QCOMPARE(reports.size(), std::size_t(1));
            QVERIFY2(reports[0].text.contains("at line 122\r\r"), qPrintable(reports[0].text));
            QVERIFY2(reports[0].text.contains("ppt/slides/slide1.xml"), qPrintable(reports[0].text));
            QCOMPARE(QDir(rig.out.path()).entryList(QDir::Files | QDir::Hidden),
                     entries.size() == 2 ? QStringList{"good.pptx"} : QStringList{});
            QCOMPARE(rig.messages().back(), QStringLiteral("Done."));
        }
    }

    // A save that fails for want of room (a file size limit stands in for a full disk) is reported at
    // the save step naming the output file; nothing is left in the output folder, not even hidden.
    void aFailedSaveIsReportedAtTheSaveStepNamingTheFile() {
        Rig rig;
        rig.window.entries << samplePath("Quarterly-Review.pptx");
        rlimit saved{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit tight{4096, saved.rlim_max};
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &tight), 0);
        rig.run.PushButton7_Click();
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);
        const auto reports = rig.dialogs.errorReports();
        QCOMPARE(reports.size(), std::size_t(1));
        QVERIFY2(reports[0].text.contains("at line 234\r\r"), qPrintable(reports[0].text));
        QVERIFY2(reports[0].text.contains(rig.out.path() + "/Quarterly-Review.pptx"),
                 qPrintable(reports[0].text));
        QVERIFY2(reports[0].text.contains("File too large"), qPrintable(reports[0].text));
        QCOMPARE(QDir(rig.out.path()).entryList(QDir::Files | QDir::Hidden), QStringList{});
        QCOMPARE(rig.messages().back(), QStringLiteral("Done."));
    }

    // A deck that cannot be written (too large for what room is left) is not saved: a later file of
    // the same name from another folder takes its name as though it had never been listed.
    void aFileOfOneNameAfterAFailedSaveIsSaved() {
        QTemporaryDir x, y;
        QVERIFY(writeLargeCopy(x.filePath("deck.pptx"), 256 * 1024));
        QVERIFY(QFile::copy(samplePath("Two-Masters.pptx"), y.filePath("deck.pptx")));
        Rig rig;
        rig.window.entries << x.filePath("deck.pptx") << y.filePath("deck.pptx");
        runWithFileSizeLimit(rig, 128 * 1024);
        const auto reports = rig.dialogs.errorReports();
        QCOMPARE(reports.size(), std::size_t(1));
        QVERIFY2(reports[0].text.contains("File too large"), qPrintable(reports[0].text));
        QVERIFY2(reports[0].text.contains("at line 234\r\r"), qPrintable(reports[0].text));
        const auto saved = engine::Presentation::open(rig.out.filePath("deck.pptx").toStdString());
        QCOMPARE(saved.slideMasterCount(), std::size_t(2));  // Two-Masters.pptx, stamped
        QCOMPARE(saved.element(MasterKind::Slide, Element::Footer).text, std::string("FOOTER-MARK"));
        QCOMPARE(QDir(rig.out.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"deck.pptx"});
    }

    // What a save would have noted is not told of a deck that was not saved.
    void aFailedSaveLeavesNoSaveNotes() {
        const QString deck = QStringLiteral(TRELWICK_SHARED_DIR "/corpus/dev/poi__37625.ppt");
        if (!QFile::exists(deck)) QSKIP("no shared corpus; the legacy deck is not at hand");
        QTemporaryDir in;
        QVERIFY(QFile::copy(deck, in.filePath("deck.ppt")));
        Rig rig;
        rig.window.entries << in.filePath("deck.ppt");
        runWithFileSizeLimit(rig, 4096);
        const auto reports = rig.dialogs.errorReports();
        QCOMPARE(reports.size(), std::size_t(1));
        QVERIFY2(reports[0].text.contains("at line 234\r\r"), qPrintable(reports[0].text));
        for (const QString& message : rig.messages())
            QVERIFY2(!message.startsWith(QStringLiteral("Saved, but please note")), qPrintable(message));
        QCOMPARE(rig.messages().back(), QStringLiteral("Done."));
        QCOMPARE(QDir(rig.out.path()).entryList(QDir::Files | QDir::Hidden), QStringList{});
    }

    // Failures are reported in the order of the list: a deck that cannot be written before a later
    // file that cannot be opened.
    void aFailedWriteIsReportedBeforeTheNextFilesFailures() {
        QTemporaryDir in;
        QVERIFY(writeLargeCopy(in.filePath("large.pptx"), 256 * 1024));
        QFile f(in.filePath("notes.pptx"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("this is not a presentation");
        f.close();
        Rig rig;
        rig.window.entries << in.filePath("large.pptx") << in.filePath("notes.pptx");
        runWithFileSizeLimit(rig, 128 * 1024);
        const auto reports = rig.dialogs.errorReports();
        QCOMPARE(reports.size(), std::size_t(2));
        QVERIFY2(reports[0].text.contains("large.pptx") && reports[0].text.contains("at line 234\r\r"),
                 qPrintable(reports[0].text));
        QVERIFY2(reports[1].text.contains("notes.pptx") && reports[1].text.contains("at line 122\r\r"),
                 qPrintable(reports[1].text));
        QCOMPARE(rig.messages().back(), QStringLiteral("Done."));
    }

    // Saves are put in place while the run goes on; one that cannot be is reported at the save step,
    // naming its file, in the order of the saves, and the run still ends with "Done.".
    void aSaveThatCannotBePutInPlaceIsReportedAtTheSaveStep() {
        Rig rig;
        QTemporaryDir in;
        for (const char* name : {"a.pptx", "b.pptx", "c.pptx"}) {
            QVERIFY(QFile::copy(samplePath("Quarterly-Review.pptx"), in.filePath(name)));
            rig.window.entries << in.filePath(name);
        }
        // Another program puts a folder where a.pptx and c.pptx are to go, once they are written.
        rig.run.putInPlace = [&](const std::vector<engine::PendingSave*>& saves) {
            for (engine::PendingSave* save : saves)
                if (save->target().filename() != "b.pptx")
                    std::filesystem::create_directories(save->target() / "x");
            return BackgroundSaves::commitLeavingFolders(saves);
        };
        rig.run.PushButton7_Click();
        const auto reports = rig.dialogs.errorReports();
        QCOMPARE(reports.size(), std::size_t(2));
        QVERIFY2(reports[0].text.contains(rig.out.filePath("a.pptx")), qPrintable(reports[0].text));
        QVERIFY2(reports[1].text.contains(rig.out.filePath("c.pptx")), qPrintable(reports[1].text));
        for (const auto& report : reports)
            QVERIFY2(report.text.contains("\r\nin Dunmere2021/08/31.Form1.PushButton7_Click at line 234\r\r"),
                     qPrintable(report.text));
        QCOMPARE(rig.messages().back(), QStringLiteral("Done."));
        QCOMPARE(elementOf(rig.out.filePath("b.pptx"), MasterKind::Slide, Element::Footer).text,
                 std::string("FOOTER-MARK"));
        QCOMPARE(QDir(rig.out.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"b.pptx"});
    }

    // A save that could not be put in place saved nothing: what it would have noted is not told as saved.
    void aSaveThatCannotBePutInPlaceLeavesNoSaveNotes() {
        Rig rig;
        QTemporaryDir in;
        for (const char* name : {"a.pptx", "b.pptx"}) {
            QVERIFY(writeSignedCopy(in.filePath(name)));
            rig.window.entries << in.filePath(name);
        }
        rig.run.putInPlace = [&](const std::vector<engine::PendingSave*>& saves) {
            for (engine::PendingSave* save : saves)
                if (save->target().filename() == "a.pptx")
                    std::filesystem::create_directories(save->target() / "x");
            return BackgroundSaves::commitLeavingFolders(saves);
        };
        rig.run.PushButton7_Click();
        QCOMPARE(rig.dialogs.errorReports().size(), std::size_t(1));
        const QStringList notices = rig.messages().filter(QStringLiteral("Saved, but please note:"));
        QCOMPARE(notices.size(), 1);
        QVERIFY2(notices[0].contains(QDir::toNativeSeparators(rig.out.filePath("b.pptx"))),
                 qPrintable(notices[0]));
        QVERIFY2(!notices[0].contains(QDir::toNativeSeparators(rig.out.filePath("a.pptx"))),
                 qPrintable(notices[0]));
        QCOMPARE(rig.messages().back(), QStringLiteral("Done."));
    }

    // Two files of one name, the output folder holding the second: the first is not saved over it (the
    // second would be lost) and the second is stamped in place. A file later in the list that an
    // earlier save creates is opened as that save left it, as when every save was in place before the
    // next file was opened.
    void aFileLaterInTheListIsNeverSavedOverButOneASaveCreatesIsOpenedAsLeft() {
        Rig rig;
        QTemporaryDir first, second;
        QVERIFY(QFile::copy(samplePath("Quarterly-Review.pptx"), first.filePath("deck.pptx")));
        QVERIFY(QFile::copy(samplePath("Quarterly-Review.pptx"), first.filePath("new.pptx")));
        QVERIFY(QFile::copy(samplePath("Two-Masters.pptx"), second.filePath("deck.pptx")));
        rig.window.outputFolder = second.path();
        rig.window.entries << first.filePath("deck.pptx") << second.filePath("deck.pptx")
                           << first.filePath("new.pptx") << second.filePath("new.pptx");
        rig.run.PushButton7_Click();
        const auto reports = rig.dialogs.errorReports();
        QCOMPARE(reports.size(), std::size_t(1));
        QVERIFY2(reports[0].text.contains("at line 234\r\r"), qPrintable(reports[0].text));
        QVERIFY2(reports[0].text.contains(second.filePath("deck.pptx") + " is also in the list (entry 2)"),
                 qPrintable(reports[0].text));
        const auto kept = engine::Presentation::open(second.filePath("deck.pptx").toStdString());
        QCOMPARE(kept.slideMasterCount(), std::size_t(2));  // still Two-Masters.pptx, stamped
        QCOMPARE(kept.element(MasterKind::Slide, Element::Footer).text, std::string("FOOTER-MARK"));
        const auto created = engine::Presentation::open(second.filePath("new.pptx").toStdString());
        QCOMPARE(created.slideMasterCount(), std::size_t(1));
        QCOMPARE(created.element(MasterKind::Slide, Element::Footer).text, std::string("FOOTER-MARK"));
        QCOMPARE(rig.messages().back(), QStringLiteral("Done."));
    }

    // Two files of one name from different folders: the second is not saved over the first's stamped
    // copy (in the first's own folder, that copy is the user's file), and says so; the same file
    // listed twice is simply saved again, and so is a name differing in case where that is another file.
    void aSecondFileOfOneNameIsNotSavedOverTheFirstsCopy() {
        QTemporaryDir x, y, z;
        QVERIFY(QFile::copy(samplePath("Quarterly-Review.pptx"), x.filePath("deck.pptx")));
        QVERIFY(QFile::copy(samplePath("Two-Masters.pptx"), y.filePath("deck.pptx")));
        QVERIFY(QFile::copy(samplePath("Two-Masters.pptx"), z.filePath("DECK.pptx")));
        const bool caseMatters = !QFile::exists(z.filePath("deck.pptx"));
        const QByteArray secondBefore = fileBytes(y.filePath("deck.pptx"));
        for (const bool inPlace : {false, true}) {
            Rig rig;
            if (inPlace) rig.window.outputFolder = x.path();
            const QDir folder(inPlace ? x.path() : rig.out.path());
            const QString output = folder.filePath("deck.pptx");
            rig.window.entries << x.filePath("deck.pptx") << x.filePath("deck.pptx")
                               << y.filePath("deck.pptx") << z.filePath("DECK.pptx");
            rig.run.PushButton7_Click();
            const auto reports = rig.dialogs.errorReports();
            QCOMPARE(reports.size(), std::size_t(caseMatters ? 1 : 2));
            if (caseMatters) {
                const auto other = engine::Presentation::open(folder.filePath("DECK.pptx").toStdString());
                QCOMPARE(other.slideMasterCount(), std::size_t(2));
            }
            QVERIFY2(reports[0].text.contains("Not saved: " + output + " holds the stamped copy of " +
                                              x.filePath("deck.pptx")),
                     qPrintable(reports[0].text));
            QVERIFY2(reports[0].text.contains("at line 234\r\r"), qPrintable(reports[0].text));
            QCOMPARE(rig.messages().back(), QStringLiteral("Done."));
            const auto kept = engine::Presentation::open(output.toStdString());
            QCOMPARE(kept.slideMasterCount(), std::size_t(1));  // Quarterly-Review.pptx, stamped
            QCOMPARE(kept.element(MasterKind::Slide, Element::Footer).text, std::string("FOOTER-MARK"));
            QCOMPARE(fileBytes(y.filePath("deck.pptx")), secondBefore);
        }
    }

    // Each file is read ahead while the one before it is stamped; one changed after that is read again.
    void aFileChangedAfterBeingReadAheadIsReadAgain() {
        Rig rig;
        QTemporaryDir in;
        QVERIFY(QFile::copy(samplePath("Quarterly-Review.pptx"), in.filePath("a.pptx")));
        QVERIFY(QFile::copy(samplePath("Quarterly-Review.pptx"), in.filePath("b.pptx")));
        rig.window.entries << in.filePath("a.pptx") << in.filePath("b.pptx");
        rig.window.onProgress = [&](int value) {
            if (value != 100) return;
            QFile::remove(in.filePath("b.pptx"));
            QVERIFY(QFile::copy(samplePath("Two-Masters.pptx"), in.filePath("b.pptx")));
        };
        rig.run.PushButton7_Click();
        QVERIFY(rig.dialogs.errorReports().empty());
        QCOMPARE(engine::Presentation::open(rig.out.filePath("b.pptx").toStdString()).slideMasterCount(),
                 std::size_t(2));
    }

    void outputFolderEqualToSourceReplacesTheSource() {
        Rig rig;
        QTemporaryDir in;
        const QString deck = in.filePath("deck.pptx");
        QVERIFY(QFile::copy(samplePath("Quarterly-Review.pptx"), deck));
        rig.window.entries << deck;
        rig.window.outputFolder = in.path();  // typed without a trailing separator
        rig.run.PushButton7_Click();
        QVERIFY(rig.dialogs.errorReports().empty());
        QCOMPARE(QDir(in.path()).entryList(QDir::Files), QStringList{"deck.pptx"});
        QCOMPARE(elementOf(deck, MasterKind::Slide, Element::Footer).text, std::string("FOOTER-MARK"));
    }

    void optionsChangedDuringARunApplyToLaterFiles() {
        Rig rig;
        QTemporaryDir in;
        for (const char* name : {"a.pptx", "b.pptx"}) {
            QVERIFY(QFile::copy(samplePath("Quarterly-Review.pptx"), in.filePath(name)));
            rig.window.entries << in.filePath(name);
        }
        rig.window.onProgress = [&](int value) {
            if (value == 100) rig.window.options.slideFooter = QStringLiteral("CHANGED");
        };
        rig.run.PushButton7_Click();
        QCOMPARE(elementOf(rig.out.filePath("a.pptx"), MasterKind::Slide, Element::Footer).text,
                 std::string("FOOTER-MARK"));
        QCOMPARE(elementOf(rig.out.filePath("b.pptx"), MasterKind::Slide, Element::Footer).text,
                 std::string("CHANGED"));
    }

    void aSecondPressDuringARunDoesNothing() {
        Rig rig;
        rig.window.entries << samplePath("Quarterly-Review.pptx") << samplePath("Two-Masters.pptx");
        int nestedPresses = 0;
        rig.window.onProgress = [&](int value) {
            if (value == 50) {
                ++nestedPresses;
                rig.run.PushButton7_Click();
                QVERIFY(rig.run.IsRunning());
            }
        };
        rig.run.PushButton7_Click();
        QCOMPARE(nestedPresses, 1);
        QCOMPARE(rig.created, 2);
        QCOMPARE(rig.messages(), QStringList{"Done."});
    }

    void entriesAddedDuringARunCountButAreNotProcessed() {
        Rig rig;
        rig.window.entries << samplePath("Quarterly-Review.pptx") << samplePath("Two-Masters.pptx");
        rig.window.onProgress = [&](int value) {
            if (value == 50)
                rig.window.entries << samplePath("Onboarding-Notes.pptx")
                                   << samplePath("Onboarding-Notes.pptx");
        };
        rig.run.PushButton7_Click();
        QCOMPARE(rig.window.progressValues, (std::vector<int>{50, 50, 0}));
        QCOMPARE(rig.created, 2);
    }

    // A long list of good decks mixed with every kind of bad file: each bad one gets exactly one
    // report, no output appears for it, and no source changes.
    void aThousandMixedEntries() {
        Rig rig;
        QTemporaryDir in;
        const QString encrypted =
            QStringLiteral(TRELWICK_SHARED_DIR "/corpus/dev/bad/openxmlsdk__encrypted_pptx.pptx");
        QFile sample(samplePath("Quarterly-Review.pptx"));
        QVERIFY(sample.open(QIODevice::ReadOnly));
        const QByteArray good = sample.readAll();
        QStringList expectedOutputs;
        QHash<QString, QByteArray> sources;
        const auto write = [&](const QString& name, const QByteArray& bytes) {
            QFile f(in.filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(bytes);
            sources.insert(f.fileName(), bytes);
            rig.window.entries << f.fileName();
        };
        for (int i = 0; i < 1000; ++i) {
            const QString name = QStringLiteral("deck%1.pptx").arg(i, 4, 10, QLatin1Char('0'));
            switch (i % 5) {
                case 0:
                    write(name, good);
                    expectedOutputs << name;
                    break;
                case 1:
                    rig.window.entries << in.filePath(QStringLiteral("missing-") + name);
                    break;
                case 2:
                    write(name, "plain text, not a presentation");
                    break;
                case 3:
                    write(name, good.left(good.size() / 2));
                    break;  // damaged: cut short
                default:
                    if (QFile::exists(encrypted)) {
                        rig.window.entries << encrypted;
                    } else {
                        write(name,
                              QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + QByteArray(504, '\0'));
                    }
            }
        }
        rig.run.PushButton7_Click();

        const auto reports = rig.dialogs.errorReports();
        QCOMPARE(reports.size(), std::size_t(800));
        for (const auto& report : reports) QVERIFY(report.text.contains(QStringLiteral(" at line 122\r\r")));
        QCOMPARE(rig.messages().back(), QStringLiteral("Done."));
        QCOMPARE(QDir(rig.out.path()).entryList(QDir::Files), expectedOutputs);
        for (auto it = sources.cbegin(); it != sources.cend(); ++it) {
            QFile f(it.key());
            QVERIFY(f.open(QIODevice::ReadOnly));
            QVERIFY2(f.readAll() == it.value(), qPrintable(it.key()));
        }
        QCOMPARE(rig.window.progressValues.size(), std::size_t(1001));
        for (int item = 1; item <= 1000; ++item)
            QCOMPARE(rig.window.progressValues[item - 1], item * 100 / 1000);
        QCOMPARE(rig.window.progressValues.back(), 0);
        QVERIFY(!rig.run.IsRunning());
    }

    void pauseKeepsItsClockRules() {
        int reads = 0;
        Pause(0, [&] {
            ++reads;
            return 100.0;
        });
        QCOMPARE(reads, 1);

        double now = 10.0;
        reads = 0;
        Pause(2, [&] {
            ++reads;
            return now += 0.5;
        });
        QCOMPARE(reads, 5);  // the start, then 10.5 .. 12.5

        // Past midnight the clock restarts near zero: the pause ends there.
        std::vector<double> readings{86399.5, 86399.9, 0.2};
        std::size_t next = 0;
        Pause(2, [&] { return readings.at(next++); });
        QCOMPARE(next, std::size_t(3));
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    BatchRunTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "BatchRunTest.moc"
