#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStyleFactory>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>
#include <memory>

#include "app/Form1.h"
#include "app/StartupRoutines.h"
#include "batch/OutputFolderFrame.h"
#include "batch/PowerPointFactory.h"
#include "options/OptionsPanel.h"
#include "settings/SettingsStore.h"
#include "support/FakeDialogs.h"

using namespace trelwick;
using trelwick::testing::FakeDialogs;

namespace {

const QString kDate = QStringLiteral("07/12/2026");
const QString kDesktop = QStringLiteral("/home/someone/Desktop/");
const QString kLoadTag = QStringLiteral("in Dunmere2021/08/31.Form1.Form_Load ");

QStringList storedKeys(const QString& file) {
    QStringList keys = QSettings(file, QSettings::NativeFormat).allKeys();
    keys.sort();
    return keys;
}

QList<int> reportedSteps(const FakeDialogs& dialogs, const QString& tag = kLoadTag) {
    QList<int> steps;
    for (const auto& call : dialogs.errorReports()) {
        const auto m =
            QRegularExpression(QRegularExpression::escape(tag) + "at line (\\d+)\\r\\r").match(call.text);
        steps.append(m.hasMatch() ? m.captured(1).toInt() : -1);
    }
    return steps;
}

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

// One program folder, one settings file, scripted dialogs and a PowerPoint that can be taken away.
struct Rig {
    QTemporaryDir dir;
    QString programFolder = dir.path() + "/program";
    QString settingsFile = dir.path() + "/config/Varnix/Trelwick.conf";
    std::unique_ptr<SettingsStore> store = std::make_unique<SettingsStore>(settingsFile);
    FakeDialogs dialogs;
    bool powerPointPresent = true;
    FunctionPowerPointFactory factory{[this]() -> std::unique_ptr<PowerPointApplication> {
        if (!powerPointPresent) return nullptr;
        return std::make_unique<PowerPointApplication>();
    }};
    int draw = 50;
    int ended = 0;
    int endedNow = 0;
    QString desktop = kDesktop;
    std::unique_ptr<Form1> form;

    Rig(bool withCursor = true) {
        QDir().mkpath(programFolder);
        if (withCursor)
            QFile::copy(QStringLiteral(TRELWICK_APP_RESOURCES "/HAND-M.CUR"), programFolder + "/HAND-M.CUR");
    }

    Form1& make() {
        Form1Environment env;
        env.programFolder = programFolder;
        env.homePageUrl = "https://www.example.com/";
        env.contactPageUrl = "https://www.example.com/contact/";
        env.currentDateText = [] { return kDate; };
        env.drawOneToHundred = [this] { return draw; };
        env.desktopFolderPath = [this] {
            if (desktop.isEmpty()) throw AppError(kInvalidCall, "Invalid procedure call or argument");
            return desktop;
        };
        env.endProgram = [this] { ++ended; };
        env.endProgramNow = [this] { ++endedNow; };
        form = std::make_unique<Form1>(dialogs, *store, factory, env);
        return *form;
    }

    // Makes the window, loads it and shows it on screen, as the program starts.
    bool makeShown() {
        Form1& shown = make();
        if (!shown.Form_Load()) return false;
        shown.show();
        return QTest::qWaitForWindowExposed(&shown);
    }

    void writeFile(const QString& relative, const QByteArray& content) {
        const QString path = programFolder + "/" + relative;
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(content);
    }
};

class Form1Test : public QObject {
    Q_OBJECT

  private slots:
    void firstStartOnAnEmptyStore() {
        Rig rig;
        Form1& form = rig.make();
        int recorded = 0;
        form.seams.RecordSampleFiles = [&] {
            ++recorded;
            rig.store->write("Snapshot", "scrambled-list");
        };
        QVERIFY(form.Form_Load());

        QCOMPARE(recorded, 1);
        QCOMPARE(storedKeys(rig.settingsFile),
                 QStringList({"Notes Date", "Notes Date Checkbox", "Notes Footer Checkbox",
                              "Notes Header Checkbox", "Slide Date", "Slide Date Checkbox",
                              "Slide Footer Checkbox", "Snapshot", "Text6"}));
        QCOMPARE(rig.store->read("Slide Date", ""), kDate);
        QCOMPARE(rig.store->read("Text6", ""), kDesktop);
        QCOMPARE(form.outputFolder(), kDesktop);
        QCOMPARE(form.SSTab1->Text1->text(), kDate);
        QCOMPARE(form.SSTab1->Text3->text(), kDate);
        QVERIFY(!form.SSTab1->Check4->isChecked());
        QVERIFY(!form.SSTab1->Check10->isChecked());
        QVERIFY(form.SSTab1->Check12->isChecked());
        QVERIFY(form.SSTab1->Text4->isEnabled());
        QCOMPARE(form.windowTitle(), "Trelwick");
        QCOMPARE(form.applicationTitle(), "Trelwick");
        QVERIFY(!form.windowIcon().isNull());
        QCOMPARE(form.windowIcon().availableSizes().value(0), QSize(32, 32));
        QCOMPARE(form.ListView1->columnCount(), 1);
        QCOMPARE(form.ListView1->headerItem()->text(0), "PowerPoint File(s)");
        QCOMPARE(form.ListView1->columnWidth(0), 467);
        QVERIFY(form.hasHandPicture());
        QCOMPARE(form.handCursor().hotSpot(), QPoint(8, 0));
        QVERIFY(rig.dialogs.calls.empty());
    }

    void secondStartRestoresTheChangedStore() {
        Rig rig;
        {
            Form1& first = rig.make();
            first.seams.RecordSampleFiles = [&] { rig.store->write("Snapshot", "list"); };
            QVERIFY(first.Form_Load());
            first.SSTab1->Text2->setText("Quarterly review");
            first.SSTab1->Check4->setChecked(true);
            first.SSTab1->Check13->setChecked(false);
            first.Frame3->Text6->setText("/data/out/");
        }
        rig.store->write("Notes Date", "Spring term");
        Form1& second = rig.make();
        int recorded = 0;
        second.seams.RecordSampleFiles = [&] { ++recorded; };
        QVERIFY(second.Form_Load());
        QCOMPARE(recorded, 0);  // a recorded snapshot is kept
        QCOMPARE(second.SSTab1->Text1->text(), kDate);
        QCOMPARE(second.SSTab1->Text2->text(), "Quarterly review");
        QCOMPARE(second.SSTab1->Text3->text(), "Spring term");
        QVERIFY(second.SSTab1->Check4->isChecked());
        QVERIFY(!second.SSTab1->Check13->isChecked());
        QVERIFY(!second.SSTab1->Text5->isEnabled());
        QCOMPARE(second.outputFolder(), "/data/out/");
        const HeaderFooterChoices c = second.currentChoices();
        QCOMPARE(c.slideFooter, "Quarterly review");
        QVERIFY(c.slideNumberOn);
        QVERIFY(!c.notesFooterOn);
    }

    void storedDateIsKeptOnALaterDay() {
        Rig rig;
        rig.store->write("Slide Date", "01/02/2025");
        rig.store->write("Notes Date", "");
        Form1& form = rig.make();
        QVERIFY(form.Form_Load());
        QCOMPARE(form.SSTab1->Text1->text(), "01/02/2025");
        QCOMPARE(form.SSTab1->Text3->text(), "");
    }

    void emptySnapshotRecordsTwiceAndFailuresAreReportedWithTheirSteps() {
        Rig rig;
        Form1& form = rig.make();
        int recorded = 0;
        form.seams.RecordSampleFiles = [&] { ++recorded; };
        QVERIFY(form.Form_Load());
        QCOMPARE(recorded, 2);

        Rig failing;
        Form1& other = failing.make();
        other.seams.RecordSampleFiles = [] { throw AppError(6, "Overflow"); };
        QVERIFY(other.Form_Load());
        QCOMPARE(reportedSteps(failing.dialogs), QList<int>({108, 124}));
        QCOMPARE(failing.dialogs.errorReports()[0].text,
                 "Overflow\r\nin Dunmere2021/08/31.Form1.Form_Load at line 108\r\r"
                 "Please email screenshot of this message to support@example.com");
        QCOMPARE(other.outputFolder(), kDesktop);  // the load step went on to its end
    }

    void homePageOpensOnlyOnSeven_data() {
        QTest::addColumn<int>("draw");
        QTest::addColumn<bool>("shellAccepts");
        QTest::addColumn<int>("opened");
        QTest::addColumn<QList<int>>("reports");
        QTest::newRow("draw 8") << 8 << true << 0 << QList<int>();
        QTest::newRow("draw 1") << 1 << true << 0 << QList<int>();
        QTest::newRow("draw 7") << 7 << true << 1 << QList<int>();
        QTest::newRow("draw 7, shell refuses") << 7 << false << 1 << QList<int>({108});
    }

    void homePageOpensOnlyOnSeven() {
        QFETCH(int, draw);
        QFETCH(bool, shellAccepts);
        QFETCH(int, opened);
        QFETCH(QList<int>, reports);
        Rig rig;
        rig.draw = draw;
        rig.dialogs.openExternallyResult = shellAccepts;
        Form1& form = rig.make();
        int recorded = 0;
        form.seams.RecordSampleFiles = [&] { ++recorded; };
        QVERIFY(form.Form_Load());
        const auto opens = rig.dialogs.callsOf(FakeDialogs::Kind::OpenExternally);
        QCOMPARE(int(opens.size()), opened);
        if (opened) QCOMPARE(opens[0].text, "https://www.example.com/");
        QCOMPARE(reportedSteps(rig.dialogs), reports);
        QCOMPARE(recorded, 2);  // the snapshot test of step 108 runs after a failed opening too
    }

    void drawIsOneToHundred() {
        for (int i = 0; i < 50; ++i) {
            const int n = DrawOneToHundred();
            QVERIFY(n >= 1 && n <= 100);
        }
    }

    void noPowerPointEndsTheStartWithItsMessage_data() {
        QTest::addColumn<bool>("throws");
        QTest::newRow("no object") << false;
        QTest::newRow("creation fails") << true;
    }

    void noPowerPointEndsTheStartWithItsMessage() {
        QFETCH(bool, throws);
        Rig rig;
        rig.powerPointPresent = false;
        FunctionPowerPointFactory throwing([]() -> std::unique_ptr<PowerPointApplication> {
            throw AppError(429, "ActiveX component can't create object");
        });
        Form1Environment env;
        env.programFolder = rig.programFolder;
        env.currentDateText = [] { return kDate; };
        env.desktopFolderPath = [] { return kDesktop; };
        Form1 form(rig.dialogs, *rig.store, throws ? static_cast<PowerPointFactory&>(throwing) : rig.factory,
                   env);
        QVERIFY(!form.Form_Load());
        const auto boxes = rig.dialogs.callsOf(FakeDialogs::Kind::MessageBox);
        QCOMPARE(boxes.size(), size_t(1));
        QCOMPARE(boxes[0].text,
                 "PowerPoint is not installed on this computer. You need to have it installed to "
                 "use this software without error.");
        QCOMPARE(boxes[0].title, "Trelwick");
        QCOMPARE(boxes[0].buttons, MessageButtons::Ok);
        QCOMPARE(boxes[0].icon, MessageIcon::None);
        QVERIFY(!form.isVisible());
        // The options were already written back; the output folder step never ran.
        QVERIFY(rig.store->contains("Slide Date Checkbox"));
        QVERIFY(!rig.store->contains("Text6"));
        QCOMPARE(form.outputFolder(), "");
    }

    void refusedSettingsWritesAreReportedByStep() {
        Rig rig;
        QFile blocker(rig.dir.path() + "/blocker");
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        rig.store = std::make_unique<SettingsStore>(rig.dir.path() + "/blocker/Trelwick.conf");
        Form1& form = rig.make();
        form.seams.RecordSampleFiles = [&] { rig.store->write("Snapshot", "x"); };
        QVERIFY(form.Form_Load());
        QCOMPARE(reportedSteps(rig.dialogs),
                 QList<int>({108, 124, 132, 138, 140, 142, 144, 146, 154, 156, 158, 160, 162, 164, 168}));
        const auto last = rig.dialogs.errorReports().back();
        QCOMPARE(last.title, "Application Error");
        QVERIFY(last.text.startsWith("Could not save the setting \"Text6\""));
        QCOMPARE(form.outputFolder(), kDesktop);  // shown though not stored
    }

    void desktopThatCannotBeNamedLeavesText6Empty() {
        Rig rig;
        rig.store->write("Text6", "/data/out/");
        rig.desktop.clear();
        Form1& form = rig.make();
        QVERIFY(form.Form_Load());
        QCOMPARE(reportedSteps(rig.dialogs), QList<int>({168}));
        QVERIFY(rig.dialogs.errorReports()[0].text.startsWith("Invalid procedure call or argument\r\n"));
        QCOMPARE(form.outputFolder(), "");
        QCOMPARE(rig.store->read("Text6", ""), "/data/out/");
    }

    void handPointerFile_data() {
        QTest::addColumn<int>("variant");  // 0 missing, 1 shipped, 2 garbage, 3 a folder of that name
        QTest::addColumn<bool>("picture");
        QTest::addColumn<QList<int>>("reports");
        QTest::newRow("missing") << 0 << false << QList<int>();
        QTest::newRow("shipped") << 1 << true << QList<int>();
        QTest::newRow("unreadable picture") << 2 << false << QList<int>({106});
        QTest::newRow("folder of that name") << 3 << false << QList<int>({106});
    }

    void handPointerFile() {
        QFETCH(int, variant);
        QFETCH(bool, picture);
        QFETCH(QList<int>, reports);
        Rig rig(variant == 1);
        if (variant == 2) rig.writeFile("HAND-M.CUR", "not a cursor at all");
        if (variant == 3) QDir().mkpath(rig.programFolder + "/HAND-M.CUR");
        Form1& form = rig.make();
        QVERIFY(form.Form_Load());
        QCOMPARE(form.hasHandPicture(), picture);
        QCOMPARE(reportedSteps(rig.dialogs), reports);
        form.setMousePointer(Form1::Pointer::Custom);
        QCOMPARE(form.cursor().shape(), picture ? Qt::BitmapCursor : Qt::ArrowCursor);
    }

    void skin_data() {
        QTest::addColumn<QByteArray>("content");  // empty: no skin file
        QTest::addColumn<bool>("asFolder");
        QTest::addColumn<bool>("recoloured");
        QTest::addColumn<bool>("applied");
        QTest::addColumn<QList<int>>("reports");
        QTest::newRow("no skin") << QByteArray() << false << false << false << QList<int>();
        QTest::newRow("skin folder, not a file") << QByteArray() << true << false << false << QList<int>();
        QTest::newRow("valid skin") << QByteArray("QPushButton { color: navy; }") << false << true << true
                                    << QList<int>();
        QTest::newRow("broken skin") << QByteArray("QPushButton { color: ") << false << true << false
                                     << QList<int>({100});
    }

    void skin() {
        QFETCH(QByteArray, content);
        QFETCH(bool, asFolder);
        QFETCH(bool, recoloured);
        QFETCH(bool, applied);
        QFETCH(QList<int>, reports);
        Rig rig;
        if (!content.isEmpty()) rig.writeFile("x/o.cjs", content);
        if (asFolder) QDir().mkpath(rig.programFolder + "/x/o.cjs");
        Form1& form = rig.make();
        const QColor face = form.palette().color(QPalette::Button);
        QVERIFY(form.Form_Load());
        const QColor expected = recoloured ? face : QColor(Qt::white);
        QCOMPARE(form.palette().color(QPalette::Window), expected);
        QCOMPARE(form.SSTab1->Frame2->palette().color(QPalette::Window), expected);
        QCOMPARE(form.SSTab1->Check11->palette().color(QPalette::Window), expected);
        QCOMPARE(form.Frame3->palette().color(QPalette::Window), expected);
        QCOMPARE(form.styleSheet().isEmpty(), !applied);
        QCOMPARE(reportedSteps(rig.dialogs), reports);
    }

    void helpShowsTheSameMessageEachTimeAndChangesNothing() {
        Rig rig;
        Form1& form = rig.make();
        QVERIFY(form.Form_Load());
        const QByteArray before = fileBytes(rig.settingsFile);
        form.show();
        QTest::mouseClick(form.PushButton2, Qt::LeftButton);
        QTest::mouseClick(form.PushButton2, Qt::LeftButton);
        QCOMPARE(rig.dialogs.calls.size(), size_t(2));
        for (const auto& call : rig.dialogs.calls) {
            QCOMPARE(call.text,
                     "This software works with PowerPoint Presentations (ppt, pptx) not PowerPoint Shows "
                     "(pps, ppsx).\r\rQuestions? Please contact Team Varnix at "
                     "https://www.example.com/contact/");
            QCOMPARE(call.title, "Trelwick");
            QCOMPARE(call.buttons, MessageButtons::Ok);
            QCOMPARE(call.icon, MessageIcon::None);
        }
        QCOMPARE(fileBytes(rig.settingsFile), before);
        QCOMPARE(form.ListView1->topLevelItemCount(), 0);
    }

    void failingHelpIsReportedAtLine100() {
        Rig rig;
        Form1& form = rig.make();
        rig.dialogs.failNext.emplace(FakeDialogs::Kind::MessageBox, AppError(7, "Out of memory"));
        form.PushButton2_Click();
        QCOMPARE(reportedSteps(rig.dialogs, "in Dunmere2021/08/31.Form1.PushButton2_Click "),
                 QList<int>({100}));
    }

    void layout() {
        Rig rig;
        Form1& form = rig.make();
        QVERIFY(form.Form_Load());
        QCOMPARE(form.size(), QSize(536, 550));
        QCOMPARE(form.minimumSize(), form.maximumSize());
        const Qt::WindowFlags flags = form.windowFlags();
        QVERIFY(flags & Qt::WindowMinimizeButtonHint);
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
        QVERIFY(flags & Qt::WindowCloseButtonHint);

        const struct {
            QWidget* control;
            QRect geometry;
        } places[] = {
            {form.PushButton2, QRect(8, 8, 520, 27)},     {form.ListView1, QRect(8, 42, 520, 145)},
            {form.PushButton3, QRect(8, 194, 256, 27)},   {form.PushButton6, QRect(272, 194, 256, 27)},
            {form.PushButton1, QRect(8, 228, 256, 27)},   {form.PushButton4, QRect(272, 228, 256, 27)},
            {form.SSTab1, QRect(8, 263, 520, 151)},       {form.SSTab1->Frame1, QRect(16, 25, 487, 114)},
            {form.SSTab1->Text1, QRect(78, 20, 235, 23)}, {form.SSTab1->Check4, QRect(328, 23, 147, 16)},
            {form.SSTab1->Text3, QRect(78, 20, 283, 23)}, {form.Frame3, QRect(8, 420, 520, 53)},
            {form.PushButton5, QRect(464, 20, 40, 23)},   {form.PushButton7, QRect(8, 481, 520, 27)},
            {form.ProgressBar1, QRect(8, 515, 520, 27)},
        };
        for (const auto& p : places) QCOMPARE(p.control->geometry(), p.geometry);

        const struct {
            QPushButton* button;
            const char* caption;
        } captions[] = {
            {form.PushButton1, "Clear List"},
            {form.PushButton2, "Help"},
            {form.PushButton3, "Add PowerPoint File(s)"},
            {form.PushButton4, "Load Sample/Example Files"},
            {form.PushButton5, "..."},
            {form.PushButton6, "Add All File(s) In Folder"},
            {form.PushButton7, "Start Adding"},
        };
        for (const auto& c : captions) {
            QCOMPARE(c.button->text(), QString(c.caption));
            QCOMPARE(c.button->font().family(), "Arial");
            QCOMPARE(c.button->font().pointSizeF(), 11.25);
            QVERIFY(c.button->font().bold());
        }
        for (QWidget* w :
             {static_cast<QWidget*>(form.SSTab1->Check8), static_cast<QWidget*>(form.SSTab1->Text5),
              static_cast<QWidget*>(form.ListView1), static_cast<QWidget*>(form.Frame3)}) {
            QCOMPARE(w->font().family(), "Arial");
            QCOMPARE(w->font().pointSizeF(), 9.0);
            QVERIFY(w->font().bold());
        }
        QCOMPARE(form.Frame3->title(), "Save Results To This Folder");
        QCOMPARE(form.SSTab1->tabBar->currentIndex(), 1);
        QCOMPARE(form.SSTab1->tabBar->tabText(1), "Notes and Handouts");
        QCOMPARE(form.ProgressBar1->value(), 0);
        QCOMPARE(form.ProgressBar1->text(), "Progress Bar");
        QCOMPARE(form.palette().color(QPalette::Window), QColor(Qt::white));
        QVERIFY(form.ListView1->toolTip().startsWith(
            "Drag and drop files here. Double-click item to remove it."));
    }

    void surfacesArePaintedPlainWhite() {
        Rig rig;
        QVERIFY(rig.makeShown());
        Form1& form = *rig.form;
        const QImage image = form.grab().toImage();
        const auto colourAt = [&](QWidget* w, QPoint p) { return image.pixelColor(w->mapTo(&form, p)); };
        QCOMPARE(colourAt(&form, QPoint(3, 3)), QColor(Qt::white));
        QCOMPARE(colourAt(form.SSTab1->Frame2, QPoint(480, 108)), QColor(Qt::white));
        QCOMPARE(colourAt(form.Frame3, QPoint(510, 45)), QColor(Qt::white));
        QCOMPARE(colourAt(form.SSTab1->Check11, QPoint(50, 8)), QColor(Qt::white));
    }

    // The bar is drawn as the plain style draws it, whatever its value and text (past half full the
    // text is drawn twice, with a shadow).
    void progressBarLooksAsThePlainStyleDrawsIt() {
        Rig rig;
        QVERIFY(rig.makeShown());
        Form1& form = *rig.form;
        const std::unique_ptr<QStyle> windows(QStyleFactory::create(QStringLiteral("Windows")));
        QProgressBar plain(&form);  // on the same window, with what it inherits from it
        plain.setStyle(windows.get());
        plain.setGeometry(form.ProgressBar1->geometry());
        plain.setRange(0, 100);
        plain.setAlignment(Qt::AlignCenter);
        for (const int value : {0, 7, 49, 50, 83, 100}) {
            for (const QString& text :
                 {QStringLiteral("Progress Bar"),
                  QStringLiteral("Processing: a rather long file name of a deck, longer than "
                                 "the bar is wide, as some are.pptx")}) {
                for (QProgressBar* bar : {form.ProgressBar1, &plain}) {
                    bar->setValue(value);
                    bar->setFormat(text);
                }
                const auto image = [](QWidget* w) {
                    return w->grab().toImage().convertToFormat(QImage::Format_RGB32);
                };
                QCOMPARE(image(form.ProgressBar1), image(&plain));
            }
        }
    }

    void tabOrderFollowsTheDesign() {
        Rig rig;
        Form1& form = rig.make();
        QVERIFY(form.Form_Load());
        form.SSTab1->tabBar->setCurrentIndex(0);  // both frames' controls take part; show Slides first
        form.SSTab1->Frame2->setVisible(true);
        const QStringList expected = {
            "ListView1",   "SSTab1_tabs", "Check9",      "Check8",      "Check4",      "Text2",
            "Text1",       "Text3",       "Text4",       "Check10",     "Check11",     "Check12",
            "Text5",       "Check13",     "PushButton2", "PushButton3", "PushButton6", "PushButton7",
            "PushButton1", "PushButton4", "Text6",       "PushButton5"};
        QStringList seen;
        QWidget* w = form.ListView1;
        for (int i = 0; i < 400 && seen.size() < expected.size(); ++i, w = w->nextInFocusChain())
            if (expected.contains(w->objectName()) && !seen.contains(w->objectName()))
                seen << w->objectName();
        QCOMPARE(seen, expected);
    }

    void centredOnTheScreen() {
        Rig rig;
        QVERIFY(rig.makeShown());
        Form1& form = *rig.form;
        const QPoint centre = form.screen()->availableGeometry().center();
        QVERIFY((form.frameGeometry().center() - centre).manhattanLength() <= 2);
    }

    void pointerFeedback() {
        Rig rig;
        QVERIFY(rig.makeShown());
        Form1& form = *rig.form;
        // The centre of a control, or for a frame a corner that no control covers.
        const auto moveOver = [&](QWidget* w) {
            const bool frame = qobject_cast<QGroupBox*>(w) != nullptr;
            QTest::mouseMove(w, frame ? QPoint(4, w->height() - 4) : QPoint(w->width() / 2, w->height() / 2));
            QCoreApplication::processEvents();
            return form.mousePointer();
        };
        using P = Form1::Pointer;
        QCOMPARE(moveOver(form.PushButton3), P::Custom);
        QCOMPARE(form.cursor().shape(), Qt::BitmapCursor);
        QCOMPARE(moveOver(form.SSTab1->Check11), P::Custom);  // no handler: unchanged
        QCOMPARE(moveOver(form.SSTab1->Text4), P::Custom);
        QCOMPARE(moveOver(form.SSTab1->Frame2), P::Default);
        QCOMPARE(moveOver(form.PushButton5), P::Custom);  // inside Frame3, still a push button
        QCOMPARE(moveOver(form.Frame3->Text6), P::Custom);
        QCOMPARE(moveOver(form.ProgressBar1), P::Custom);
        QCOMPARE(moveOver(form.Frame3), P::Default);
        QCOMPARE(moveOver(form.PushButton7), P::Custom);
        QCOMPARE(moveOver(form.SSTab1->tabBar), P::Default);
        QCOMPARE(moveOver(form.PushButton1), P::Custom);
        QCOMPARE(moveOver(form.ListView1->viewport()), P::Default);
        form.SSTab1->tabBar->setCurrentIndex(0);
        QCOMPARE(moveOver(form.PushButton2), P::Custom);
        QCOMPARE(moveOver(form.SSTab1->Text1), P::Default);
        QCOMPARE(moveOver(form.PushButton4), P::Custom);
        QCOMPARE(moveOver(form.SSTab1->Check8), P::Default);

        form.setMousePointer(P::Hourglass);
        QCOMPARE(moveOver(form.PushButton6), P::Hourglass);
        QCOMPARE(moveOver(form.ListView1->viewport()), P::Hourglass);
        QCOMPARE(moveOver(form.SSTab1->Check9), P::Hourglass);
        QVERIFY(form.isBusy());
        QCOMPARE(form.cursor().shape(), Qt::WaitCursor);
    }

    void buttonsAndListEventsReachTheirSeams() {
        Rig rig;
        Form1& form = rig.make();
        QVERIFY(form.Form_Load());
        QStringList log;
        for (auto [seam, name] : {std::pair{&Form1::Seams::PushButton1_Click, "1"},
                                  std::pair{&Form1::Seams::PushButton3_Click, "3"},
                                  std::pair{&Form1::Seams::PushButton4_Click, "4"},
                                  std::pair{&Form1::Seams::PushButton6_Click, "6"},
                                  std::pair{&Form1::Seams::PushButton7_Click, "7"}})
            form.seams.*seam = [&log, name] { log << name; };
        form.seams.ListView1_MouseDown = [&](QMouseEvent*) { log << "down"; };
        form.seams.ListView1_ItemClick = [&](QTreeWidgetItem* item) { log << "item:" + item->text(0); };
        form.seams.ListView1_MouseUp = [&](QMouseEvent*) { log << "up"; };
        form.seams.ListView1_KeyDown = [&](QKeyEvent* e) { log << "key:" + QString::number(e->key()); };
        form.seams.ListView1_DblClick = [&] { log << "dbl"; };
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        for (QPushButton* b :
             {form.PushButton1, form.PushButton3, form.PushButton4, form.PushButton6, form.PushButton7})
            QTest::mouseClick(b, Qt::LeftButton);
        QCOMPARE(log, QStringList({"1", "3", "4", "6", "7"}));

        log.clear();
        new QTreeWidgetItem(form.ListView1, QStringList("/data/a.pptx"));
        const QRect row = form.ListView1->visualItemRect(form.ListView1->topLevelItem(0));
        QTest::mouseClick(form.ListView1->viewport(), Qt::LeftButton, {}, row.center());
        QTest::mouseDClick(form.ListView1->viewport(), Qt::LeftButton, {}, row.center());
        QTest::keyClick(form.ListView1, Qt::Key_Delete, Qt::ShiftModifier);
        QCOMPARE(log.mid(0, 3), QStringList({"down", "item:/data/a.pptx", "up"}));
        QVERIFY(log.contains("dbl"));
        QCOMPARE(log.last(), "key:" + QString::number(Qt::Key_Delete));
    }

    void listDragMovesReachTheListOutsideItsArea() {
        Rig rig;
        QVERIFY(rig.makeShown());
        Form1& form = *rig.form;
        int moves = 0;
        form.seams.ListView1_MouseMove = [&](QMouseEvent*) { ++moves; };
        QWidget* viewport = form.ListView1->viewport();
        const auto send = [&](QEvent::Type type, QWidget* over, Qt::MouseButtons buttons) {
            const QPoint global = over->mapToGlobal(QPoint(over->width() / 2, over->height() / 2));
            QMouseEvent e(type, viewport->mapFromGlobal(global), global, Qt::LeftButton, buttons,
                          Qt::NoModifier);
            QCoreApplication::sendEvent(viewport, &e);
        };
        send(QEvent::MouseButtonPress, viewport, Qt::LeftButton);
        send(QEvent::MouseMove, form.PushButton3, Qt::LeftButton);  // dragged below the list
        QCOMPARE(moves, 1);
        QCOMPARE(form.mousePointer(), Form1::Pointer::Default);
        send(QEvent::MouseButtonRelease, form.PushButton3, Qt::NoButton);
        send(QEvent::MouseMove, form.PushButton3, Qt::NoButton);  // no button: not the list's move
        QCOMPARE(moves, 1);
    }

    void aFailureEscapingAWiredHandlerIsReportedUnderItsName() {
        Rig rig;
        Form1& form = rig.make();
        form.seams.PushButton7_Click = [] { throw AppError(5, "Invalid procedure call or argument"); };
        form.PushButton7_Click();
        QCOMPARE(rig.dialogs.errorReports().size(), size_t(1));
        QVERIFY(rig.dialogs.errorReports()[0].text.contains(
            "in Dunmere2021/08/31.Form1.PushButton7_Click at line"));
    }

    void unwiredDragIsRefused() {
        Rig rig;
        Form1& form = rig.make();
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile("/data/a.pptx")});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        enter.accept();
        QCoreApplication::sendEvent(form.ListView1->viewport(), &enter);
        QVERIFY(form.ListView1->viewport()->acceptDrops());
        QVERIFY(!enter.isAccepted());

        int overs = 0;
        int drops = 0;
        form.seams.ListView1_OLEDragOver = [&](QDragMoveEvent* e) {
            ++overs;
            e->acceptProposedAction();
        };
        form.seams.ListView1_OLEDragDrop = [&](QDropEvent* e) {
            ++drops;
            QCOMPARE(e->mimeData()->urls().value(0).toLocalFile(), "/data/a.pptx");
            e->acceptProposedAction();
        };
        QDragEnterEvent wiredEnter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(form.ListView1->viewport(), &wiredEnter);
        QVERIFY(wiredEnter.isAccepted());
        QDragMoveEvent move(QPoint(6, 6), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(form.ListView1->viewport(), &move);
        QDropEvent drop(QPointF(6, 6), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(form.ListView1->viewport(), &drop);
        QCOMPARE(overs, 2);
        QCOMPARE(drops, 1);
        QCOMPARE(form.ListView1->topLevelItemCount(), 0);  // the list's own drop handling stays out
    }

    void closingEndsTheProgramWithoutSaving() {
        Rig rig;
        Form1& form = rig.make();
        QVERIFY(form.Form_Load());
        form.show();
        const QByteArray before = fileBytes(rig.settingsFile);
        QVERIFY(form.close());
        QCOMPARE(rig.ended, 1);
        QCOMPARE(rig.endedNow, 0);
        QVERIFY(form.isUnloading());
        QCOMPARE(fileBytes(rig.settingsFile), before);
    }

    void closingDuringARunningHandlerEndsAtOnce() {
        Rig rig;
        Form1& form = rig.make();
        QVERIFY(form.Form_Load());
        form.show();
        bool afterClose = false;
        form.seams.PushButton7_Click = [&] {
            form.close();  // the user closes the window while the run yields to the window system
            afterClose = true;
        };
        QTest::mouseClick(form.PushButton7, Qt::LeftButton);
        QCOMPARE(rig.endedNow, 1);
        QCOMPARE(rig.ended, 0);
        QVERIFY(form.isUnloading());
        QVERIFY(afterClose);  // only because the test's end does not end the process
    }

    void applicationTitle_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("title");
        QTest::newRow("one word stays whole") << "Trelwick"
                                              << "Trelwick";
        QTest::newRow("last word always goes") << "Trelwick Deck Stamper"
                                               << "Trelwick Deck";
        QTest::newRow("cut to forty") << "Varnix Trelwick Header and Footer Batch Stamper Professional"
                                      << "Varnix Trelwick Header and Footer Batch";
        QTest::newRow("empty") << ""
                               << "";
    }

    void applicationTitle() {
        QFETCH(QString, name);
        QFETCH(QString, title);
        QCOMPARE(SetApplicationTitle(name), title);
        QVERIFY(SetApplicationTitle(name).size() <= 40 || !name.contains(' '));
    }

    void desktopPathEndsWithOneSeparator() {
        const QString path = DesktopFolderPath();
        QVERIFY(path.endsWith('/'));
        QVERIFY(!path.endsWith("//"));
    }

    // The default output folder must be a folder that is there: a home without a desktop gives the home.
    void desktopIsTheHomeWhenTheHomeHasNoDesktop() {
        QTemporaryDir home;
        const QByteArray savedHome = qgetenv("HOME");
        const QByteArray savedConfig = qgetenv("XDG_CONFIG_HOME");
        qputenv("HOME", QFile::encodeName(home.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path() + "/.config"));
        const QString withoutDesktop = DesktopFolderPath();
        QVERIFY(QDir(home.path()).mkdir("Desktop"));
        const QString withDesktop = DesktopFolderPath();
        qputenv("HOME", savedHome);
        if (savedConfig.isNull())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", savedConfig);
        QCOMPARE(withoutDesktop, home.path() + "/");
        QCOMPARE(withDesktop, home.path() + "/Desktop/");
    }
};

QTEST_MAIN(Form1Test)
#include "Form1Test.moc"
