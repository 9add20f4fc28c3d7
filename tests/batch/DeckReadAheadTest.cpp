#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <filesystem>

#include "batch/DeckReadAhead.h"

using namespace trelwick;
namespace fs = std::filesystem;

namespace {

QString sample(const char* name) {
    return QStringLiteral(TRELWICK_SAMPLES_DIR "/") + QString::fromLatin1(name);
}

}  // namespace

class DeckReadAheadTest : public QObject {
    Q_OBJECT

  private slots:
    // A deck read ahead stands for opening its file only while nothing about it has changed.
    void aDeckReadAheadIsUsedOnlyForItsOwnUnchangedFile() {
        QTemporaryDir dir;
        const QString deck = dir.filePath("deck.pptx");
        QVERIFY(QFile::copy(sample("Quarterly-Review.pptx"), deck));

        DeckReadAhead ahead;
        ahead.start(deck);
        std::optional<engine::Presentation> taken = ahead.take(deck);
        QVERIFY(taken);
        QVERIFY(taken->slideCount() > 0);
        QVERIFY(!ahead.take(deck));  // taken once

        ahead.start(deck);
        QVERIFY(!ahead.take(dir.filePath("other.pptx")));  // another file asked for
        QVERIFY(!ahead.take(deck));                        // and the deck read ahead is gone

        ahead.start(deck);
        ahead.discard();
        QVERIFY(!ahead.take(deck));

        ahead.start(deck);
        QVERIFY(!ahead.take(deck + QStringLiteral(".missing")));
        ahead.start(dir.filePath("missing.pptx"));  // its failure is for its turn to report
        QVERIFY(!ahead.take(dir.filePath("missing.pptx")));

        ahead.start(deck);
        ahead.wait();         // read before the file is replaced, however slow the machine
        QThread::msleep(20);  // file times tick in steps of a few milliseconds
        QVERIFY(QFile::remove(deck));
        QVERIFY(QFile::copy(sample("Two-Masters.pptx"), deck));
        QVERIFY(!ahead.take(deck));  // replaced since it was read
    }

    // One reader serves a whole run: every deck of a long list is read ahead and taken in turn, and a
    // reader dropped while it reads (the window closed mid-run) ends without waiting for a take.
    void oneReaderServesAWholeRunAndCanBeDroppedWhileItReads() {
        QTemporaryDir dir;
        QStringList decks;
        for (int i = 0; i < 20; ++i) {
            decks << dir.filePath(QStringLiteral("deck%1.pptx").arg(i));
            QVERIFY(QFile::copy(sample(i % 2 ? "Quarterly-Review.pptx" : "Two-Masters.pptx"), decks.back()));
        }
        {
            DeckReadAhead ahead;
            for (const QString& deck : decks) {
                ahead.start(deck);
                std::optional<engine::Presentation> taken = ahead.take(deck);
                QVERIFY2(taken, qPrintable(deck));
            }
            ahead.start(decks.front());
        }
        DeckReadAhead unused;  // never started: nothing to wait for
        QVERIFY(!unused.take(decks.front()));
        unused.wait();
        unused.discard();
    }

    void aLargeFileIsLeftForItsTurn() {
        const QString deck = sample("Quarterly-Review.pptx");
        const auto size = fs::file_size(deck.toStdString());
        DeckReadAhead roomy(size);
        roomy.start(deck);
        QVERIFY(roomy.take(deck));
        DeckReadAhead tight(size - 1);
        tight.start(deck);
        QVERIFY(!tight.take(deck));
    }
};

QTEST_GUILESS_MAIN(DeckReadAheadTest)
#include "DeckReadAheadTest.moc"
