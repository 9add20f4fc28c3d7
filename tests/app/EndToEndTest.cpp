// The whole program from the user's side: load the shipped samples, set the options, press
// "Start Adding", then check the saved decks with the engine and, where LibreOffice is installed,
// what a renderer shows on every page.
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include "app/Form1.h"
#include "filelist/SampleFiles.h"
#include "options/OptionsPanel.h"
#include "settings/SettingsStore.h"
#include "support/FakeDialogs.h"
#include "support/WindowRig.h"
#include "trelwick/engine.h"

using namespace trelwick;
using engine::Element;
using engine::MasterKind;
using trelwick::testing::FakeDialogs;
using trelwick::testing::WindowRig;

namespace {

// Letters only, so that no marker can be mistaken for a page number.
const QString kSlideDate = QStringLiteral("QxSlideDate");
const QString kSlideFooter = QStringLiteral("QxSlideFooter");
const QString kNotesDate = QStringLiteral("QxNotesDate");
const QString kNotesHeader = QStringLiteral("QxNotesHeader");
const QString kNotesFooter = QStringLiteral("QxNotesFooter");

void setChecked(QCheckBox* box, bool on) {
    if (box->isChecked() != on) QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(5, box->height() / 2));
    QCOMPARE(box->isChecked(), on);
}

void type(QLineEdit* field, const QString& text) {
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Delete);
    QTest::keyClicks(field, text);
}

bool canRender() {
    return !QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty() &&
           !QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty();
}

// The pages LibreOffice renders for the decks (slides first, then one notes page per slide; hidden
// slides too); no pages for a deck it could not render.
QList<QStringList> renderPages(const QStringList& decks, const QString& work) {
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    QList<QStringList> result;
    QProcess convert;
    convert.start(
        soffice,
        QStringList{
            QStringLiteral("-env:UserInstallation=file://") + work + QStringLiteral("/profile"),
            QStringLiteral("--headless"), QStringLiteral("--convert-to"),
            QStringLiteral(
                "pdf:impress_pdf_Export:{\"ExportNotesPages\":{\"type\":\"boolean\",\"value\":\"true\"},"
                "\"ExportHiddenSlides\":{\"type\":\"boolean\",\"value\":\"true\"}}"),
            QStringLiteral("--outdir"), work + QStringLiteral("/pdf")} +
            decks);
    convert.waitForFinished(600000);
    for (const QString& deck : decks) {
        const QString pdf =
            work + QStringLiteral("/pdf/") + QFileInfo(deck).completeBaseName() + QStringLiteral(".pdf");
        QProcess text;
        text.start(pdftotext, {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
        text.waitForFinished(60000);
        QStringList pages = QString::fromUtf8(text.readAllStandardOutput()).split(QLatin1Char('\f'));
        if (!pages.isEmpty() && pages.last().trimmed().isEmpty()) pages.removeLast();
        result << pages;
    }
    return result;
}

int countNumber(const QString& page, int number) {
    return static_cast<int>(
        page.count(QRegularExpression(QStringLiteral("(?<![0-9])%1(?![0-9])").arg(number))));
}

}  // namespace

class EndToEndTest : public QObject {
    Q_OBJECT

  private slots:
    void startAddingStampsTheShippedSamples() {
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("out"));
        QVERIFY(QDir().mkpath(out));
        const QString samples = SampleFiles::defaultSamplesFolder();
        if (QDir(samples).entryList({QStringLiteral("*.pptx")}, QDir::Files).size() < 3) {
            QSKIP("the Samples folder is not beside the test program");
        }

        SettingsStore store(dir.filePath(QStringLiteral("config/Trelwick.conf")));
        WindowRig rig(store, WindowRig::environment(out));
        QVERIFY(rig.loadAndShow());
        Form1& form = rig.form;
        FakeDialogs& dialogs = rig.dialogs;

        dialogs.messageAnswers.push_back(MessageResult::No);  // do not open the samples folder
        QTest::mouseClick(form.PushButton4, Qt::LeftButton);
        QStringList sources;
        for (int i = 0; i < form.ListView1->topLevelItemCount(); ++i)
            sources << form.ListView1->topLevelItem(i)->text(0);
        QVERIFY2(sources.size() >= 3, qPrintable(sources.join(QLatin1Char(','))));

        OptionsPanel& options = *form.SSTab1;
        type(options.Text1, kSlideDate);
        type(options.Text2, kSlideFooter);
        setChecked(options.Check8, true);
        setChecked(options.Check9, true);
        setChecked(options.Check4, true);
        type(options.Text3, kNotesDate);
        type(options.Text4, kNotesHeader);
        type(options.Text5, kNotesFooter);
        setChecked(options.Check11, true);
        setChecked(options.Check12, true);
        setChecked(options.Check13, true);
        setChecked(options.Check10, true);
        QCOMPARE(form.outputFolder(), out + QLatin1Char('/'));

        dialogs.calls.clear();
        QTest::mouseClick(form.PushButton7, Qt::LeftButton);
        QVERIFY(dialogs.errorReports().empty());
        const auto boxes = dialogs.callsOf(FakeDialogs::Kind::MessageBox);
        QCOMPARE(boxes.size(), std::size_t(1));
        QCOMPARE(boxes[0].text, QStringLiteral("Done."));
        QCOMPARE(form.mousePointer(), Form1::Pointer::Default);

        QStringList outputs;
        for (const QString& source : sources) {
            const QString output = out + QLatin1Char('/') + QFileInfo(source).fileName();
            QVERIFY2(QFileInfo::exists(output), qPrintable(output));
            const auto deck = engine::Presentation::open(output.toStdString());
            QCOMPARE(QString::fromStdString(deck.element(MasterKind::Slide, Element::Footer).text),
                     kSlideFooter);
            QVERIFY(deck.element(MasterKind::Slide, Element::SlideNumber).visible);
            QCOMPARE(QString::fromStdString(deck.element(MasterKind::Notes, Element::Header).text),
                     kNotesHeader);
            outputs << output;
        }

        if (!canRender()) QSKIP("LibreOffice (soffice) or pdftotext is not installed: rendering not checked");
        const QList<QStringList> stamped = renderPages(outputs, dir.filePath(QStringLiteral("stamped")));
        const QList<QStringList> original = renderPages(sources, dir.filePath(QStringLiteral("original")));
        for (int d = 0; d < outputs.size(); ++d) {
            const int slides =
                static_cast<int>(engine::Presentation::open(outputs[d].toStdString()).slideCount());
            QCOMPARE(stamped[d].size(), 2 * slides);
            for (int page = 0; page < 2 * slides; ++page) {
                const QString& text = stamped[d][page];
                const bool notes = page >= slides;
                const int number = (notes ? page - slides : page) + 1;
                const QString where =
                    QStringLiteral("%1 page %2").arg(QFileInfo(outputs[d]).fileName()).arg(page + 1);
                for (const QString& marker : notes ? QStringList{kNotesDate, kNotesHeader, kNotesFooter}
                                                   : QStringList{kSlideDate, kSlideFooter}) {
                    QVERIFY2(text.contains(marker), qPrintable(where + QStringLiteral(" lacks ") + marker));
                }
                QVERIFY2(countNumber(text, number) > countNumber(original[d].value(page), number),
                         qPrintable(where + QStringLiteral(" does not show its number")));
            }
        }
    }
};

QTEST_MAIN(EndToEndTest)
#include "EndToEndTest.moc"
