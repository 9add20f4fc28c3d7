// Drives the real window offscreen through "Start Adding" over the decks given, and reports the
// rate and whether the progress bar moved and repainted for every deck; then stamps the same decks
// with the same settings one at a time without the window (as trelwick-cli does, but waiting for each
// file to reach the disk and syncing the folder once at the end, as the window does), so that what the
// window itself costs shows apart from the disk.
//
//     trelwick-window-bench OUTPUT_FOLDER DECK...
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProgressBar>
#include <QTemporaryDir>
#include <cstdio>
#include <filesystem>

#include "DeckStamper.h"
#include "app/BatchWiring.h"
#include "app/FileListWiring.h"
#include "app/Form1.h"
#include "batch/BatchRun.h"
#include "batch/OutputFolderFrame.h"
#include "batch/PowerPointFactory.h"
#include "filelist/FileList.h"
#include "filelist/FileListHandlers.h"
#include "options/OptionsPanel.h"
#include "settings/SettingsStore.h"
#include "util/Dialogs.h"

using namespace trelwick;

namespace {

// Answers every box with its first button and counts the error reports.
class AnsweringDialogs : public Dialogs {
  public:
    int errorReports = 0;
    MessageResult messageBox(const QString&, const QString& title, MessageButtons buttons,
                             MessageIcon) override {
        if (title == QLatin1String("Application Error")) ++errorReports;
        return buttons == MessageButtons::YesNo ? MessageResult::No : MessageResult::Ok;
    }
    QString inputBox(const QString&, const QString&, const QString&) override { return {}; }
    QStringList openFiles(const QString&, const QStringList&) override { return {}; }
    QString browseForFolder(QWidget*, const QString&, const QString&) override { return {}; }
    bool openExternally(const QString&) override { return true; }
};

// Counts the progress bar's distinct values and its paint events.
class ProgressWatch : public QObject {
  public:
    int values = 0;
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

}  // namespace

int main(int argc, char** argv) {
    engine::keepLocalTimeZone();
    engine::keepFreedMemory();
    engine::keepStackForDecks();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: trelwick-window-bench OUTPUT_FOLDER DECK...\n");
        return 2;
    }
    QTemporaryDir settingsDir;
    SettingsStore store(settingsDir.filePath(QStringLiteral("Trelwick.conf")));
    AnsweringDialogs dialogs;
    FunctionPowerPointFactory factory([] { return std::make_unique<PowerPointApplication>(); });
    Form1Environment env = Form1Environment::standard();
    env.drawOneToHundred = [] { return 50; };
    env.endProgram = [] {};
    Form1 form(dialogs, store, factory, env);
    const auto fileList = wireFileList(form);
    const auto batchRun = wireBatchRun(form, fileList->fileList());
    if (!form.Form_Load()) return 1;
    form.show();
    // The same elements as bench/run asks of trelwick-cli.
    OptionsPanel& options = *form.SSTab1;
    options.Text1->setText(QStringLiteral("7 December 2026"));
    options.Text2->setText(QStringLiteral("Benchmark footer"));
    options.Text3->setText(QStringLiteral("7 December 2026"));
    options.Text4->setText(QStringLiteral("Benchmark header"));
    options.Text5->setText(QStringLiteral("Benchmark notes footer"));
    for (QCheckBox* box : {options.Check4, options.Check8, options.Check9, options.Check10, options.Check11,
                           options.Check12, options.Check13}) {
        box->setChecked(true);
    }
    form.Frame3->setOutputFolder(QString::fromLocal8Bit(argv[1]));
    for (int i = 2; i < argc; ++i) fileList->fileList().addEntry(QString::fromLocal8Bit(argv[i]));

    ProgressWatch watch;
    form.ProgressBar1->installEventFilter(&watch);
    QObject::connect(form.ProgressBar1, &QProgressBar::valueChanged, [&] { ++watch.values; });

    QElapsedTimer timer;
    timer.start();
    form.PushButton7_Click();
    const double seconds = timer.nsecsElapsed() / 1e9;
    const int decks = argc - 2;

    cli::StampSettings settings;
    settings.date = settings.notesDate = "7 December 2026";
    settings.footer = "Benchmark footer";
    settings.notesHeader = "Benchmark header";
    settings.notesFooter = "Benchmark notes footer";
    settings.slideNumber = settings.notesPageNumber = true;
    const cli::DeckStamper stamper(settings);
    const std::filesystem::path serialOut = std::filesystem::path(argv[1]) / "serial";
    std::filesystem::create_directories(serialOut);
    int serialFailures = 0;
    timer.restart();
    for (int i = 2; i < argc; ++i) {
        const std::filesystem::path source(argv[i]);
        try {
            stamper.stamp(source, serialOut / source.filename()).commit(engine::FolderSync::Later);
        } catch (const std::exception&) {
            ++serialFailures;
        }
    }
    engine::syncFolder(serialOut);  // once, as the window's run does
    const double serialSeconds = timer.nsecsElapsed() / 1e9;
    std::printf(
        "decks %d seconds %.3f decks_per_s %.1f progress_values %d progress_paints %d error_reports %d "
        "serial_seconds %.3f serial_failures %d\n",
        decks, seconds, decks / seconds, watch.values, watch.paints, dialogs.errorReports, serialSeconds,
        serialFailures);
    return dialogs.errorReports == 0 ? 0 : 1;
}
