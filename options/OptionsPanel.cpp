#include "OptionsPanel.h"

#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QTabBar>
#include <limits>

#include "settings/ChangeHandler.h"
#include "settings/LenientNumber.h"
#include "settings/SettingsStore.h"
#include "util/ErrorReport.h"
#include "util/PlainFrame.h"
#include "util/Twips.h"

namespace trelwick {

namespace {

void paintSurface(QWidget* w, const QColor& colour) {
    // Buttons (check boxes among them) fill with the button role unless told otherwise.
    w->setBackgroundRole(QPalette::Window);
    QPalette p = w->palette();
    p.setColor(QPalette::Window, colour);
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

QCheckBox* checkBox(QWidget* parent, const char* name, const QString& caption, QRect geometry) {
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(QLatin1String(name));
    box->setGeometry(geometry);
    paintSurface(box, Qt::white);
    return box;
}

QLineEdit* textField(QWidget* parent, const char* name, QRect geometry) {
    auto* field = new QLineEdit(parent);
    field->setObjectName(QLatin1String(name));
    field->setGeometry(geometry);
    // A field has no length limit of its own (QLineEdit's default cuts at 32,767 units, even inside a
    // character), as trelwick-cli has none.
    field->setMaxLength(std::numeric_limits<int>::max());
    return field;
}

QGroupBox* frame(QWidget* parent, const char* name, QRect geometry) {
    auto* box = new PlainFrame(parent);
    box->setObjectName(QLatin1String(name));
    box->setGeometry(geometry);
    box->setFocusPolicy(Qt::NoFocus);
    paintSurface(box, Qt::white);
    return box;
}

}  // namespace

OptionsPanel::OptionsPanel(SettingsStore& settings, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), settings_(settings), dialogs_(dialogs) {
    build();
    connectHandlers();
}

void OptionsPanel::build() {
    setObjectName(QStringLiteral("SSTab1"));
    resize(twipsToPixels(7800), twipsToPixels(2265));
    // The tab control keeps the system button-face colour.
    paintSurface(this, palette().color(QPalette::Button));

    tabBar = new QTabBar(this);
    tabBar->setObjectName(QStringLiteral("SSTab1_tabs"));
    tabBar->addTab(QStringLiteral("Slides"));
    tabBar->addTab(QStringLiteral("Notes and Handouts"));
    tabBar->setExpanding(true);
    tabBar->setDrawBase(false);
    tabBar->setGeometry(0, 0, width(), twipsToPixels(300));

    body = new QFrame(this);
    body->setObjectName(QStringLiteral("SSTab1_body"));
    body->setFrameShape(QFrame::StyledPanel);
    body->setGeometry(0, twipsToPixels(300) - 1, width(), height() - twipsToPixels(300) + 1);
    body->lower();

    Frame1 = frame(this, "Frame1", twipsRect(240, 375, 7300, 1710));
    Check8 = checkBox(Frame1, "Check8", QStringLiteral("Date:"), twipsRect(240, 345, 870, 240));
    Text1 = textField(Frame1, "Text1", twipsRect(1170, 300, 3525, 345));
    Check4 =
        checkBox(Frame1, "Check4", QStringLiteral("Display Slide Number"), twipsRect(4920, 345, 2205, 240));
    Check9 = checkBox(Frame1, "Check9", QStringLiteral("Footer:"), twipsRect(240, 795, 960, 240));
    Text2 = textField(Frame1, "Text2", twipsRect(1170, 750, 5865, 345));

    Frame2 = frame(this, "Frame2", twipsRect(240, 375, 7300, 1710));
    Check11 = checkBox(Frame2, "Check11", QStringLiteral("Date:"), twipsRect(180, 345, 870, 240));
    Text3 = textField(Frame2, "Text3", twipsRect(1170, 300, 4245, 345));
    Check10 = checkBox(Frame2, "Check10", QStringLiteral("Page Number"), twipsRect(5520, 315, 1485, 240));
    Check12 = checkBox(Frame2, "Check12", QStringLiteral("Header:"), twipsRect(180, 795, 960, 240));
    Text4 = textField(Frame2, "Text4", twipsRect(1170, 750, 5865, 345));
    Check13 = checkBox(Frame2, "Check13", QStringLiteral("Footer:"), twipsRect(180, 1245, 960, 240));
    Text5 = textField(Frame2, "Text5", twipsRect(1170, 1200, 5865, 345));

    // Each tab shows its own frame; the panel opens on "Notes and Handouts".
    connect(tabBar, &QTabBar::currentChanged, this, [this](int index) {
        Frame1->setVisible(index == 0);
        Frame2->setVisible(index == 1);
    });
    tabBar->setCurrentIndex(1);
    Frame1->setVisible(false);
    Frame2->setVisible(true);
}

void OptionsPanel::connectHandlers() {
    const struct {
        QCheckBox* box;
        const char* name;
        void (OptionsPanel::*handler)();
    } boxes[] = {
        {Check8, "Check8_Click", &OptionsPanel::Check8_Click},
        {Check9, "Check9_Click", &OptionsPanel::Check9_Click},
        {Check11, "Check11_Click", &OptionsPanel::Check11_Click},
        {Check12, "Check12_Click", &OptionsPanel::Check12_Click},
        {Check13, "Check13_Click", &OptionsPanel::Check13_Click},
        {Check4, "Check4_Click", &OptionsPanel::Check4_Click},
        {Check10, "Check10_Click", &OptionsPanel::Check10_Click},
    };
    for (const auto& b : boxes)
        connect(b.box, &QCheckBox::stateChanged, this, [this, b] { runHandler(b.name, b.handler); });

    const struct {
        QLineEdit* field;
        const char* name;
        void (OptionsPanel::*handler)();
    } fields[] = {
        {Text1, "Text1_Change", &OptionsPanel::Text1_Change},
        {Text2, "Text2_Change", &OptionsPanel::Text2_Change},
        {Text3, "Text3_Change", &OptionsPanel::Text3_Change},
        {Text4, "Text4_Change", &OptionsPanel::Text4_Change},
        {Text5, "Text5_Change", &OptionsPanel::Text5_Change},
    };
    for (const auto& f : fields)
        connect(f.field, &QLineEdit::textChanged, this, [this, f] { runHandler(f.name, f.handler); });
}

void OptionsPanel::runHandler(const char* name, void (OptionsPanel::*handler)()) {
    // These handlers carry no report of their own; a store that refuses the value must still be
    // told to the user, under the handler's name, and must not escape into the event loop.
    runChangeHandler(dialogs_, ErrorReport::form1Tag(QLatin1String(name)), [&] { (this->*handler)(); });
}

int OptionsPanel::stateOf(const QCheckBox* box) {
    switch (box->checkState()) {
        case Qt::Checked:
            return 1;
        case Qt::PartiallyChecked:
            return 2;
        default:
            return 0;
    }
}

void OptionsPanel::enableAndStore(QCheckBox* box, QLineEdit* field, const QString& key) {
    field->setEnabled(stateOf(box) == 1);
    settings_.write(key, textFromCheckState(stateOf(box)));
}

void OptionsPanel::storeBox(QCheckBox* box, const QString& key) {
    settings_.write(key, textFromCheckState(stateOf(box)));
}

void OptionsPanel::storeText(QLineEdit* field, const QString& key) {
    settings_.write(key, field->text());
}

void OptionsPanel::Check8_Click() {
    enableAndStore(Check8, Text1, QStringLiteral("Slide Date Checkbox"));
}
void OptionsPanel::Check9_Click() {
    enableAndStore(Check9, Text2, QStringLiteral("Slide Footer Checkbox"));
}
void OptionsPanel::Check11_Click() {
    enableAndStore(Check11, Text3, QStringLiteral("Notes Date Checkbox"));
}
void OptionsPanel::Check12_Click() {
    enableAndStore(Check12, Text4, QStringLiteral("Notes Header Checkbox"));
}
void OptionsPanel::Check13_Click() {
    enableAndStore(Check13, Text5, QStringLiteral("Notes Footer Checkbox"));
}
void OptionsPanel::Check4_Click() {
    storeBox(Check4, QStringLiteral("Slide Number"));
}
void OptionsPanel::Check10_Click() {
    storeBox(Check10, QStringLiteral("Page Number"));
}
void OptionsPanel::Text1_Change() {
    storeText(Text1, QStringLiteral("Slide Date"));
}
void OptionsPanel::Text2_Change() {
    storeText(Text2, QStringLiteral("Slide Footer"));
}
void OptionsPanel::Text3_Change() {
    storeText(Text3, QStringLiteral("Notes Date"));
}
void OptionsPanel::Text4_Change() {
    storeText(Text4, QStringLiteral("Notes Header"));
}
void OptionsPanel::Text5_Change() {
    storeText(Text5, QStringLiteral("Notes Footer"));
}

void OptionsPanel::assignText(QLineEdit* field, const QString& text, void (OptionsPanel::*handler)()) {
    if (field->text() == text) return;
    {
        const QSignalBlocker quiet(field);
        field->setText(text);
    }
    (this->*handler)();
}

void OptionsPanel::assignState(QCheckBox* box, int state, void (OptionsPanel::*handler)()) {
    if (stateOf(box) == state) return;
    {
        const QSignalBlocker quiet(box);
        box->setCheckState(state == 1 ? Qt::Checked : Qt::Unchecked);
    }
    (this->*handler)();
}

void OptionsPanel::restore(ErrorReport& report, const std::function<QString()>& currentDateText) {
    const auto readState = [this](const QString& key, const QString& defaultText) {
        return checkStateFromText(settings_.read(key, defaultText));
    };
    const QString off = QStringLiteral("0");
    const QString on = QStringLiteral("1");

    report.step(132, [&] {
        assignText(Text1, settings_.read(QStringLiteral("Slide Date"), currentDateText),
                   &OptionsPanel::Text1_Change);
    });
    report.step(134, [&] {
        assignText(Text2, settings_.read(QStringLiteral("Slide Footer"), QString()),
                   &OptionsPanel::Text2_Change);
    });
    report.step(136, [&] {
        assignState(Check4, readState(QStringLiteral("Slide Number"), off), &OptionsPanel::Check4_Click);
    });
    report.step(138, [&] {
        assignState(Check8, readState(QStringLiteral("Slide Date Checkbox"), on),
                    &OptionsPanel::Check8_Click);
    });
    report.step(140, [&] {
        assignState(Check9, readState(QStringLiteral("Slide Footer Checkbox"), on),
                    &OptionsPanel::Check9_Click);
    });
    report.step(142, [&] { Check8_Click(); });
    report.step(144, [&] { Check9_Click(); });
    report.step(146, [&] {
        assignText(Text3, settings_.read(QStringLiteral("Notes Date"), currentDateText),
                   &OptionsPanel::Text3_Change);
    });
    report.step(148, [&] {
        assignText(Text4, settings_.read(QStringLiteral("Notes Header"), QString()),
                   &OptionsPanel::Text4_Change);
    });
    report.step(150, [&] {
        assignText(Text5, settings_.read(QStringLiteral("Notes Footer"), QString()),
                   &OptionsPanel::Text5_Change);
    });
    report.step(152, [&] {
        assignState(Check10, readState(QStringLiteral("Page Number"), off), &OptionsPanel::Check10_Click);
    });
    report.step(154, [&] {
        assignState(Check11, readState(QStringLiteral("Notes Date Checkbox"), on),
                    &OptionsPanel::Check11_Click);
    });
    report.step(156, [&] {
        assignState(Check12, readState(QStringLiteral("Notes Header Checkbox"), on),
                    &OptionsPanel::Check12_Click);
    });
    report.step(158, [&] {
        assignState(Check13, readState(QStringLiteral("Notes Footer Checkbox"), on),
                    &OptionsPanel::Check13_Click);
    });
    report.step(160, [&] { Check11_Click(); });
    report.step(162, [&] { Check12_Click(); });
    report.step(164, [&] { Check13_Click(); });
}

HeaderFooterChoices OptionsPanel::choices() const {
    HeaderFooterChoices c;
    c.slideDate = Text1->text();
    c.slideDateOn = stateOf(Check8) == 1;
    c.slideFooter = Text2->text();
    c.slideFooterOn = stateOf(Check9) == 1;
    c.slideNumberOn = stateOf(Check4) == 1;
    c.notesDate = Text3->text();
    c.notesDateOn = stateOf(Check11) == 1;
    c.notesHeader = Text4->text();
    c.notesHeaderOn = stateOf(Check12) == 1;
    c.notesFooter = Text5->text();
    c.notesFooterOn = stateOf(Check13) == 1;
    c.pageNumberOn = stateOf(Check10) == 1;
    return c;
}

}  // namespace trelwick
