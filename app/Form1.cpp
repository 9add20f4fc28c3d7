#include "Form1.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QImageReader>
#include <QLineEdit>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QStyle>
#include <QStyleFactory>
#include <QTabBar>
#include <QTreeWidget>
#include <QtEndian>

#include "ProgressBarStyle.h"
#include "StartupRoutines.h"
#include "batch/OutputFolderFrame.h"
#include "options/OptionsPanel.h"
#include "settings/SettingsStore.h"
#include "util/AppError.h"
#include "util/Dialogs.h"
#include "util/ErrorReport.h"
#include "util/PathHelpers.h"
#include "util/Twips.h"

namespace trelwick {

namespace {

const QString kProductName = QStringLiteral("Trelwick");

QFont arialBold(qreal points) {
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    font.setBold(true);
    return font;
}

// The hot spot a cursor file names for its first picture, or the centre when it names none.
QPoint cursorHotSpot(const QString& cursorFile, QSize size) {
    QFile file(cursorFile);
    uchar head[14];
    if (file.open(QIODevice::ReadOnly) &&
        file.read(reinterpret_cast<char*>(head), sizeof head) == sizeof head &&
        qFromLittleEndian<quint16>(head + 2) == 2)
        return QPoint(qFromLittleEndian<quint16>(head + 10), qFromLittleEndian<quint16>(head + 12));
    return QPoint(size.width() / 2, size.height() / 2);
}

}  // namespace

Form1::Form1(Dialogs& dialogs, SettingsStore& settings, PowerPointFactory& powerPoint,
             Form1Environment environment, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      dialogs_(dialogs),
      settings_(settings),
      powerPoint_(powerPoint),
      environment_(std::move(environment)) {
    build();
    setTabOrderAsDesigned();
    registerPointerRules();
}

void Form1::build() {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Form1"));
    setFixedSize(twipsToPixels(8040), twipsToPixels(8250));
    setFont(arialBold(9));
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::white);
    setPalette(p);
    setAutoFillBackground(true);

    const auto button = [this](QWidget* parent, const char* name, const QString& caption, QRect geometry) {
        auto* b = new QPushButton(caption, parent);
        b->setObjectName(QLatin1String(name));
        b->setGeometry(geometry);
        b->setFont(arialBold(11.25));
        b->setAutoDefault(false);
        return b;
    };

    PushButton2 = button(this, "PushButton2", QStringLiteral("Help"), twipsRect(120, 120, 7800, 405));

    ListView1 = new QTreeWidget(this);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setGeometry(twipsRect(120, 630, 7800, 2175));
    ListView1->setColumnCount(0);  // the load step creates the one column
    ListView1->setRootIsDecorated(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    // Moving an entry is the list's own drag, never an OLE drag; dropped files are let in, and the
    // drop handlers decide (the drop mode must be set first, as it resets acceptDrops).
    ListView1->setDragDropMode(QAbstractItemView::NoDragDrop);
    ListView1->setDragEnabled(false);
    ListView1->setAcceptDrops(true);
    ListView1->viewport()->setAcceptDrops(true);
    ListView1->header()->setStretchLastSection(false);
    ListView1->setToolTip(QStringLiteral(
        "Drag and drop files here. Double-click item to remove it. Move | line to right and out of "
        "window to reveal full names."));

    PushButton3 = button(this, "PushButton3", QStringLiteral("Add PowerPoint File(s)"),
                         twipsRect(120, 2910, 3840, 405));
    PushButton6 = button(this, "PushButton6", QStringLiteral("Add All File(s) In Folder"),
                         twipsRect(4080, 2910, 3840, 405));
    PushButton1 = button(this, "PushButton1", QStringLiteral("Clear List"), twipsRect(120, 3420, 3840, 405));
    PushButton4 = button(this, "PushButton4", QStringLiteral("Load Sample/Example Files"),
                         twipsRect(4080, 3420, 3840, 405));

    SSTab1 = new OptionsPanel(settings_, dialogs_, this);
    SSTab1->move(twipsToPixels(120), twipsToPixels(3945));

    Frame3 = new OutputFolderFrame(settings_, dialogs_, this);
    PushButton5 = Frame3->PushButton5;
    PushButton5->setFont(arialBold(11.25));
    PushButton5->setAutoDefault(false);

    PushButton7 =
        button(this, "PushButton7", QStringLiteral("Start Adding"), twipsRect(120, 7215, 7800, 405));

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(twipsRect(120, 7725, 7800, 405));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(true);
    ProgressBar1->setAlignment(Qt::AlignCenter);
    ProgressBar1->setFormat(QStringLiteral("Progress Bar"));
    ProgressBar1->setFocusPolicy(Qt::NoFocus);
    if (QStyle* plain = QStyleFactory::create(QStringLiteral("Windows"))) {
        auto* style = new ProgressBarStyle(plain);
        style->setParent(ProgressBar1);
        ProgressBar1->setStyle(style);
    }

    connect(PushButton1, &QPushButton::clicked, this, &Form1::PushButton1_Click);
    connect(PushButton2, &QPushButton::clicked, this, &Form1::PushButton2_Click);
    connect(PushButton3, &QPushButton::clicked, this, &Form1::PushButton3_Click);
    connect(PushButton4, &QPushButton::clicked, this, &Form1::PushButton4_Click);
    connect(PushButton6, &QPushButton::clicked, this, &Form1::PushButton6_Click);
    connect(PushButton7, &QPushButton::clicked, this, &Form1::PushButton7_Click);
    // Frame3 connects PushButton5 to its own handler.
    connect(ListView1, &QTreeWidget::itemPressed, this,
            [this](QTreeWidgetItem* item) { ListView1_ItemClick(item); });
}

void Form1::setTabOrderAsDesigned() {
    // Keyboard order of the form; frames and the progress bar take no focus and are left out.
    QWidget* const order[] = {
        ListView1,     SSTab1->tabBar,  SSTab1->Check9, SSTab1->Check8,  SSTab1->Check4,  SSTab1->Text2,
        SSTab1->Text1, SSTab1->Text3,   SSTab1->Text4,  SSTab1->Check10, SSTab1->Check11, SSTab1->Check12,
        SSTab1->Text5, SSTab1->Check13, PushButton2,    PushButton3,     PushButton6,     PushButton7,
        PushButton1,   PushButton4,     Frame3->Text6,  PushButton5,
    };
    for (std::size_t i = 1; i < std::size(order); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
}

void Form1::watch(QWidget* widget, QWidget* control, PointerRule rule) {
    widget->setMouseTracking(true);
    widget->installEventFilter(this);
    controlOfWidget_.insert(widget, control);
    if (widget == control) pointerRule_.insert(control, rule);
}

void Form1::registerPointerRules() {
    watch(this, this, PointerRule::Default);
    for (QWidget* w : {static_cast<QWidget*>(SSTab1->Frame1), static_cast<QWidget*>(SSTab1->Frame2),
                       static_cast<QWidget*>(Frame3), static_cast<QWidget*>(SSTab1->Check4),
                       static_cast<QWidget*>(SSTab1->Check8), static_cast<QWidget*>(SSTab1->Check9),
                       static_cast<QWidget*>(SSTab1->Text1), static_cast<QWidget*>(SSTab1->Text2)})
        watch(w, w, PointerRule::Default);
    watch(SSTab1, SSTab1, PointerRule::Default);
    watch(SSTab1->tabBar, SSTab1, PointerRule::Default);
    watch(SSTab1->body, SSTab1, PointerRule::Default);
    for (QWidget* w :
         {PushButton1, PushButton2, PushButton3, PushButton4, PushButton5, PushButton6, PushButton7})
        watch(w, w, PointerRule::Custom);
    // These have no mouse-move handler: moving over them must not reach the frame behind them.
    for (QWidget* w : {static_cast<QWidget*>(SSTab1->Check10), static_cast<QWidget*>(SSTab1->Check11),
                       static_cast<QWidget*>(SSTab1->Check12), static_cast<QWidget*>(SSTab1->Check13),
                       static_cast<QWidget*>(SSTab1->Text3), static_cast<QWidget*>(SSTab1->Text4),
                       static_cast<QWidget*>(SSTab1->Text5), static_cast<QWidget*>(Frame3->Text6),
                       static_cast<QWidget*>(ProgressBar1)})
        watch(w, w, PointerRule::None);
    watch(ListView1, ListView1, PointerRule::ListView);
    watch(ListView1->viewport(), ListView1, PointerRule::ListView);
}

QWidget* Form1::controlOf(QWidget* widget) const {
    for (QWidget* w = widget; w; w = w->parentWidget()) {
        if (const auto it = controlOfWidget_.find(w); it != controlOfWidget_.end()) return it.value();
        if (w == this) break;
    }
    return nullptr;
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget) return QWidget::eventFilter(watched, event);
    const bool inList = widget == ListView1->viewport();

    switch (event->type()) {
        case QEvent::MouseMove: {
            // A move the control under the pointer ignores travels on to its parents; only the
            // control really under the pointer answers. With a button held the control that
            // took the press keeps receiving the moves, wherever the pointer is.
            auto* move = static_cast<QMouseEvent*>(event);
            QWidget* control = controlOf(widget);
            if (!control) break;
            if (move->buttons() == Qt::NoButton) {
                QWidget* under = childAt(mapFromGlobal(move->globalPosition().toPoint()));
                QWidget* target = under ? controlOf(under) : this;
                if (target && target != control) break;
            } else if (control != pressedControl_) {
                break;
            }
            switch (pointerRule_.value(control, PointerRule::None)) {
                case PointerRule::Default:
                    if (!isBusy()) setMousePointer(Pointer::Default);
                    break;
                case PointerRule::Custom:
                    if (!isBusy()) setMousePointer(Pointer::Custom);
                    break;
                case PointerRule::ListView:
                    if (inList) ListView1_MouseMove(move);
                    break;
                case PointerRule::None:
                    break;
            }
            break;
        }
        case QEvent::MouseButtonPress: {
            auto* press = static_cast<QMouseEvent*>(event);
            QWidget* under = childAt(mapFromGlobal(press->globalPosition().toPoint()));
            pressedControl_ = under ? controlOf(under) : this;
            if (inList) ListView1_MouseDown(press);
            break;
        }
        case QEvent::MouseButtonRelease:
            if (inList) ListView1_MouseUp(static_cast<QMouseEvent*>(event));
            break;
        case QEvent::MouseButtonDblClick:
            if (inList) ListView1_DblClick();
            break;
        case QEvent::KeyPress:
            if (widget == ListView1) ListView1_KeyDown(static_cast<QKeyEvent*>(event));
            break;
        case QEvent::DragEnter:
        case QEvent::DragMove:
            if (inList) {
                ListView1_OLEDragOver(static_cast<QDragMoveEvent*>(event));
                return true;
            }
            break;
        case QEvent::Drop:
            if (inList) {
                ListView1_OLEDragDrop(static_cast<QDropEvent*>(event));
                return true;
            }
            break;
        default:
            break;
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::setMousePointer(Pointer pointer) {
    pointer_ = pointer;
    switch (pointer) {
        case Pointer::Default:
            unsetCursor();
            break;
        // Without a picture the custom setting looks like the standard pointer.
        case Pointer::Custom:
            setCursor(handCursor_ ? *handCursor_ : QCursor(Qt::ArrowCursor));
            break;
        case Pointer::Hourglass:
            setCursor(Qt::WaitCursor);
            break;
    }
}

const QCursor& Form1::handCursor() const {
    static const QCursor arrow(Qt::ArrowCursor);
    return handCursor_ ? *handCursor_ : arrow;
}

void Form1::loadHandPointer(const QString& cursorFile) {
    QImageReader reader(cursorFile);
    reader.setDecideFormatFromContent(true);
    const QImage picture = reader.read();
    if (picture.isNull())
        throw AppError(kInvalidCall,
                       QStringLiteral("Invalid picture %1: %2").arg(cursorFile, reader.errorString()));
    const QPoint hot = cursorHotSpot(cursorFile, picture.size());
    handCursor_ = QCursor(QPixmap::fromImage(picture), hot.x(), hot.y());
}

bool Form1::Form_Load() {
    ErrorReport r(dialogs_, ErrorReport::form1Tag(QStringLiteral("Form_Load")));
    const QString program = environment_.programFolder;

    r.step(100, [&] { ApplySkin(*this, program); });

    const QString cursorFile = joinPath(program, QStringLiteral("HAND-M.CUR"));
    if (r.test(104, [&] { return fileExists(cursorFile); }))
        r.step(106, [&] { loadHandPointer(cursorFile); });

    const auto snapshotEmpty = [&] {
        return settings_.read(QStringLiteral("Snapshot"), QString()).isEmpty();
    };
    r.step(108,
           [&] { OpenHomePageAtRandom(dialogs_, environment_.drawOneToHundred, environment_.homePageUrl); });
    if (r.test(108, snapshotEmpty)) r.step(108, [&] { RecordSampleFiles(); });
    if (r.test(124, snapshotEmpty)) r.step(124, [&] { RecordSampleFiles(); });

    r.step(126, [&] { setWindowTitle(kProductName); });
    r.step(126, [&] { setWindowIcon(QIcon(QStringLiteral(":/trelwick/trelwick.png"))); });
    r.step(126, [&] { applicationTitle_ = SetApplicationTitle(kProductName); });

    r.step(128, [&] { ListView1->setHeaderLabels({QStringLiteral("PowerPoint File(s)")}); });
    r.step(130, [&] { ListView1->setColumnWidth(0, twipsToPixels(7000)); });

    SSTab1->restore(r, environment_.currentDateText);

    bool installed = true;
    r.step(166, [&] { installed = CheckPowerPointInstalled(dialogs_, powerPoint_, applicationTitle_); });
    if (!installed) return false;

    r.step(168, [&] {
        // The default is worked out first, on every start: without a desktop the field stays empty.
        const QString desktop = environment_.desktopFolderPath ? environment_.desktopFolderPath() : QString();
        Frame3->setOutputFolder(settings_.read(QStringLiteral("Text6"), desktop));
    });
    return true;
}

void Form1::Form_Unload() {
    unloading_ = true;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w != this) w->hide();
    if (handlersRunning_ > 0 && environment_.endProgramNow) {
        // The run stops where it is, but the files it has passed are saved, as the bar showed.
        if (seams.FinishHandedSaves) seams.FinishHandedSaves();
        environment_.endProgramNow();
        return;
    }
    if (environment_.endProgram) environment_.endProgram();
}

void Form1::closeEvent(QCloseEvent* event) {
    Form_Unload();
    event->accept();
}

void Form1::showEvent(QShowEvent* event) {
    if (!centred_) {
        centred_ = true;
        if (const QScreen* s = screen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(s->availableGeometry().center());
            move(frame.topLeft());
        }
    }
    QWidget::showEvent(event);
}

void Form1::PushButton2_Click() {
    ErrorReport r(dialogs_, ErrorReport::form1Tag(QStringLiteral("PushButton2_Click")));
    r.step(100, [&] {
        const QString text =
            QStringLiteral(
                "This software works with PowerPoint Presentations (ppt, pptx) not PowerPoint Shows "
                "(pps, ppsx).\r\rQuestions? Please contact Team Varnix at ") +
            environment_.contactPageUrl;
        dialogs_.messageBox(text, applicationTitle_, MessageButtons::Ok, MessageIcon::None);
    });
}

void Form1::runSeam(const char* procedure, const std::function<void()>& seam) {
    if (!seam) return;
    ++handlersRunning_;
    const auto done = qScopeGuard([this] { --handlersRunning_; });
    try {
        seam();
    } catch (...) {
        // Wired handlers report their own numbered steps; this only keeps a stray failure from
        // leaving through the event loop.
        ErrorReport r(dialogs_, ErrorReport::form1Tag(QLatin1String(procedure)));
        r.report(ErrorReport::describeCurrentException());
    }
}

void Form1::PushButton1_Click() {
    runSeam("PushButton1_Click", seams.PushButton1_Click);
}
void Form1::PushButton3_Click() {
    runSeam("PushButton3_Click", seams.PushButton3_Click);
}
void Form1::PushButton4_Click() {
    runSeam("PushButton4_Click", seams.PushButton4_Click);
}
void Form1::PushButton5_Click() {
    Frame3->PushButton5_Click();
}
void Form1::PushButton6_Click() {
    runSeam("PushButton6_Click", seams.PushButton6_Click);
}
void Form1::PushButton7_Click() {
    runSeam("PushButton7_Click", seams.PushButton7_Click);
}

void Form1::RecordSampleFiles() {
    // Called inside a step of Form_Load: its failure belongs to that step.
    if (seams.RecordSampleFiles) seams.RecordSampleFiles();
}

void Form1::ListView1_MouseDown(QMouseEvent* event) {
    runSeam("ListView1_MouseDown",
            seams.ListView1_MouseDown ? [&] { seams.ListView1_MouseDown(event); } : std::function<void()>());
}

void Form1::ListView1_MouseMove(QMouseEvent* event) {
    if (!isBusy()) setMousePointer(Pointer::Default);
    if (seams.ListView1_MouseMove) runSeam("ListView1_MouseMove", [&] { seams.ListView1_MouseMove(event); });
}

void Form1::ListView1_MouseUp(QMouseEvent* event) {
    if (seams.ListView1_MouseUp) runSeam("ListView1_MouseUp", [&] { seams.ListView1_MouseUp(event); });
}

void Form1::ListView1_ItemClick(QTreeWidgetItem* item) {
    if (seams.ListView1_ItemClick) runSeam("ListView1_ItemClick", [&] { seams.ListView1_ItemClick(item); });
}

void Form1::ListView1_KeyDown(QKeyEvent* event) {
    if (seams.ListView1_KeyDown) runSeam("ListView1_KeyDown", [&] { seams.ListView1_KeyDown(event); });
}

void Form1::ListView1_DblClick() {
    runSeam("ListView1_DblClick", seams.ListView1_DblClick);
}

void Form1::ListView1_OLEDragOver(QDragMoveEvent* event) {
    if (!seams.ListView1_OLEDragOver) {
        event->ignore();
        return;
    }
    runSeam("ListView1_OLEDragOver", [&] { seams.ListView1_OLEDragOver(event); });
}

void Form1::ListView1_OLEDragDrop(QDropEvent* event) {
    if (!seams.ListView1_OLEDragDrop) {
        event->ignore();
        return;
    }
    runSeam("ListView1_OLEDragDrop", [&] { seams.ListView1_OLEDragDrop(event); });
}

HeaderFooterChoices Form1::currentChoices() const {
    return SSTab1->choices();
}

QString Form1::outputFolder() const {
    return Frame3->outputFolder();
}

}  // namespace trelwick
