#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <stdexcept>
#include <thread>

#include "batch/BackgroundSaves.h"
#include "util/AppError.h"

using namespace trelwick;
namespace fs = std::filesystem;

namespace {

const fs::path kSample = fs::path(TRELWICK_SAMPLES_DIR) / "Quarterly-Review.pptx";

engine::PendingSave stampedInto(const fs::path& target, const std::string& footer = "Background") {
    engine::Presentation deck = engine::Presentation::open(kSample);
    deck.setText(engine::MasterKind::Slide, engine::Element::Footer, footer);
    deck.setVisible(engine::MasterKind::Slide, engine::Element::Footer, true);
    return deck.prepareSave(target);
}

// Stamped with its own name as footer, to be written by whoever puts it in place.
engine::PendingSave deferred(const fs::path& target) {
    engine::Presentation deck = engine::Presentation::open(kSample);
    deck.setText(engine::MasterKind::Slide, engine::Element::Footer, target.stem().string());
    deck.setVisible(engine::MasterKind::Slide, engine::Element::Footer, true);
    return std::move(deck).deferSave(target);
}

std::string footerOf(const fs::path& deck) {
    return engine::Presentation::open(deck).element(engine::MasterKind::Slide, engine::Element::Footer).text;
}

QString described(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const AppError& e) {
        return e.description();
    } catch (...) {
        return QStringLiteral("not an AppError");
    }
}

// Holds the saves handed over until released, so that a test sees them in hand.
struct Gate {
    std::promise<void> opened;
    std::shared_future<void> open = opened.get_future().share();
    BackgroundSaves::PutInPlace putInPlace() {
        return [this](const std::vector<engine::PendingSave*>& saves) {
            open.wait();
            return BackgroundSaves::commitLeavingFolders(saves);
        };
    }
};

}  // namespace

class BackgroundSavesTest : public QObject {
    Q_OBJECT

  private slots:
    void everySaveLandsAndFailuresComeInOrder() {
        QTemporaryDir dir;
        const fs::path out(dir.path().toStdString());
        BackgroundSaves saves;
        for (const char* name : {"a.pptx", "b.pptx", "c.pptx", "d.pptx"}) {
            engine::PendingSave save = stampedInto(out / name, name);
            // Another program puts a folder where b and d are to go once they are written.
            if (name[0] == 'b' || name[0] == 'd') fs::create_directories(out / name / "inside");
            saves.hand(std::move(save));
        }
        saves.waitAll();
        const std::vector<std::exception_ptr> failures = saves.takeFailures();
        QCOMPARE(failures.size(), std::size_t(2));
        QVERIFY2(described(failures[0]).contains(QString::fromStdString((out / "b.pptx").string())),
                 qPrintable(described(failures[0])));
        QVERIFY2(described(failures[1]).contains(QString::fromStdString((out / "d.pptx").string())),
                 qPrintable(described(failures[1])));
        QVERIFY(saves.takeFailures().empty());
        QCOMPARE(footerOf(out / "a.pptx"), std::string("a.pptx"));
        QCOMPARE(footerOf(out / "c.pptx"), std::string("c.pptx"));
        QVERIFY(fs::is_directory(out / "b.pptx"));
    }

    void savesStillInHandAreInPlaceOnceTheQueueIsGone() {
        QTemporaryDir dir;
        const fs::path out(dir.path().toStdString());
        Gate gate;
        {
            BackgroundSaves saves(gate.putInPlace());
            saves.hand(stampedInto(out / "a.pptx"));
            saves.hand(stampedInto(out / "b.pptx"));
            QVERIFY(!fs::exists(out / "a.pptx"));
            gate.opened.set_value();
        }
        QCOMPARE(footerOf(out / "a.pptx"), std::string("Background"));
        QCOMPARE(footerOf(out / "b.pptx"), std::string("Background"));
    }

    // Before a run opens a file it waits for the saves that may create or replace it, and only those.
    void aFileASaveInHandMayBeIsTold() {
        QTemporaryDir dir;
        const fs::path out(dir.path().toStdString());
        fs::copy_file(kSample, out / "old.pptx");
        fs::copy_file(kSample, out / "other.pptx");
        fs::create_hard_link(out / "old.pptx", out / "same-file.pptx");
        Gate gate;
        BackgroundSaves saves(gate.putInPlace());
        const auto path = [&](const char* name) { return QString::fromStdString((out / name).string()); };
        QVERIFY(!saves.mayBeTargetOf(path("new.pptx")));  // nothing in hand

        saves.hand(stampedInto(out / "new.pptx"));
        saves.hand(stampedInto(out / "old.pptx"));
        QVERIFY(saves.mayBeTargetOf(path("new.pptx")));        // not there yet: it may be what a save makes
        QVERIFY(saves.mayBeTargetOf(path("old.pptx")));        // about to be replaced
        QVERIFY(saves.mayBeTargetOf(path("same-file.pptx")));  // the same file under another name
        QVERIFY(!saves.mayBeTargetOf(path("other.pptx")));

        gate.opened.set_value();
        saves.waitAll();
        QVERIFY(!saves.mayBeTargetOf(path("old.pptx")));
        QVERIFY(saves.takeFailures().empty());
        QCOMPARE(footerOf(out / "old.pptx"), std::string("Background"));
    }

    // Two saves in hand to one name: once the first is in place the file there is its, which the
    // second is still to replace, so a run must wait before opening it.
    void aFileAnEarlierSaveToTheSameNameLeftIsStillTold() {
        QTemporaryDir dir;
        const fs::path out(dir.path().toStdString());
        fs::copy_file(kSample, out / "x.pptx");
        std::promise<void> firstTaken, releaseFirst, firstDone, releaseSecond;
        std::shared_future<void> first = releaseFirst.get_future().share(),
                                 second = releaseSecond.get_future().share();
        int calls = 0;  // on the queue's thread only
        BackgroundSaves saves([&](const std::vector<engine::PendingSave*>& batch) {
            if (++calls == 1) firstTaken.set_value();
            (calls == 1 ? first : second).wait();
            auto done = BackgroundSaves::commitLeavingFolders(batch);
            if (calls == 1) firstDone.set_value();
            return done;
        });
        saves.hand(stampedInto(out / "x.pptx", "first"));
        firstTaken.get_future().wait();  // the second comes in while the first is put in place
        saves.hand(stampedInto(out / "x.pptx", "second"));
        releaseFirst.set_value();
        firstDone.get_future().wait();
        QCOMPARE(footerOf(out / "x.pptx"), std::string("first"));
        QVERIFY(saves.mayBeTargetOf(QString::fromStdString((out / "x.pptx").string())));
        releaseSecond.set_value();
        saves.waitAll();
        QCOMPARE(footerOf(out / "x.pptx"), std::string("second"));
    }

    // Decks handed over still to be written are written on a thread of their own, in order, while the
    // saves before them wait on the disk; each save is put in place written. One that cannot be written
    // is reported in its place among the others and leaves nothing.
    void decksAreWrittenWhileTheSavesBeforeThemWaitOnTheDisk() {
        QTemporaryDir dir;
        const fs::path out(dir.path().toStdString());
        Gate gate;
        std::atomic<bool> allWritten{true};
        std::atomic<int> batches{0};
        BackgroundSaves saves([&](const std::vector<engine::PendingSave*>& batch) {
            for (engine::PendingSave* save : batch) allWritten = allWritten && save->written();
            ++batches;
            return gate.putInPlace()(batch);
        });
        saves.hand(deferred(out / "a.pptx"));  // written, then held at the gate
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (batches.load() == 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::future<void> later = std::async(std::launch::async, [&] {
            saves.hand(deferred(out / "missing" / "b.pptx"));
            engine::PendingSave c = stampedInto(out / "c.pptx", "c");
            fs::create_directories(out / "c.pptx" / "inside");  // another program's folder takes its name
            saves.hand(std::move(c));
            for (const char* name : {"d.pptx", "e.pptx", "f.pptx"}) saves.hand(deferred(out / name));
        });
        const bool handedWhileHeld = later.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
        gate.opened.set_value();
        later.get();
        saves.waitAll();
        QVERIFY2(handedWhileHeld, "the decks after a save waiting on the disk were not written meanwhile");

        QVERIFY(allWritten.load());
        const std::vector<std::exception_ptr> failures = saves.takeFailures();
        QCOMPARE(failures.size(), std::size_t(2));
        QVERIFY2(described(failures[0]).contains(QStringLiteral("the output folder does not exist")),
                 qPrintable(described(failures[0])));
        QVERIFY2(described(failures[1]).contains(QString::fromStdString((out / "c.pptx").string())),
                 qPrintable(described(failures[1])));
        for (const char* name : {"a", "d", "e", "f"})
            QCOMPARE(footerOf(out / (std::string(name) + ".pptx")), std::string(name));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot),
                 (QStringList{"a.pptx", "d.pptx", "e.pptx", "f.pptx"}));
    }

    // Each deck still to be written holds its parsed deck in memory: while two wait, the run waits
    // before handing over another, and a save being written is still one a file may be the target of.
    void fewDecksWaitUnwritten() {
        QTemporaryDir dir;
        const fs::path out(dir.path().toStdString());
        std::promise<void> writing, release;
        std::shared_future<void> released = release.get_future().share();
        std::atomic<int> writes{0};
        BackgroundSaves saves(BackgroundSaves::commitLeavingFolders, 16, 2, [&](engine::PendingSave& save) {
            if (++writes == 1) {
                writing.set_value();
                released.wait();
            }
            save.write();
        });
        saves.hand(deferred(out / "a.pptx"));
        writing.get_future().wait();
        QVERIFY(saves.mayBeTargetOf(QString::fromStdString((out / "a.pptx").string())));
        saves.hand(deferred(out / "b.pptx"));
        std::future<void> third =
            std::async(std::launch::async, [&] { saves.hand(deferred(out / "c.pptx")); });
        const bool waited = third.wait_for(std::chrono::milliseconds(100)) == std::future_status::timeout;
        release.set_value();
        third.get();
        saves.waitAll();
        QVERIFY2(waited, "a third unwritten deck was taken while two waited");
        QVERIFY(saves.takeFailures().empty());
        for (const char* name : {"a", "b", "c"})
            QCOMPARE(footerOf(out / (std::string(name) + ".pptx")), std::string(name));
    }

    // Whatever goes wrong while putting saves in place is a failure to report, never an end to the
    // program, and a save that was not put in place leaves nothing behind.
    void aFailureOfTheWholeBatchIsReportedAndLeavesNothing() {
        QTemporaryDir dir;
        const fs::path out(dir.path().toStdString());
        BackgroundSaves saves(
            [](const std::vector<engine::PendingSave*>&) -> std::vector<engine::PendingSave::Committed> {
                throw std::runtime_error("out of threads");
            });
        saves.hand(stampedInto(out / "a.pptx"));
        saves.waitAll();
        const std::vector<std::exception_ptr> failures = saves.takeFailures();
        QCOMPARE(failures.size(), std::size_t(1));
        QCOMPARE(described(failures[0]), QStringLiteral("not an AppError"));
        QVERIFY(fs::is_empty(out));
    }
};

QTEST_GUILESS_MAIN(BackgroundSavesTest)
#include "BackgroundSavesTest.moc"
