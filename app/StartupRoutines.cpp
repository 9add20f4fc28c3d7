#include "StartupRoutines.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTime>

#include "Form1.h"
#include "batch/PowerPointFactory.h"
#include "util/AppError.h"
#include "util/Dialogs.h"
#include "util/PathHelpers.h"

namespace trelwick {

namespace {

// Collects the style sheet parser's complaints while a sheet is tried out.
QStringList* g_styleWarnings = nullptr;
QtMessageHandler g_previousHandler = nullptr;

void collectStyleWarning(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (g_styleWarnings && message.contains(QLatin1String("Could not parse"))) {
        g_styleWarnings->append(message);
        return;
    }
    if (g_previousHandler) g_previousHandler(type, context, message);
}

bool styleSheetParses(const QString& css) {
    QStringList warnings;
    g_styleWarnings = &warnings;
    g_previousHandler = qInstallMessageHandler(collectStyleWarning);
    {
        QWidget probe;
        probe.setStyleSheet(css);
        probe.ensurePolished();
    }
    qInstallMessageHandler(g_previousHandler);
    g_styleWarnings = nullptr;
    return warnings.isEmpty();
}

void paintButtonFace(QWidget* w, const QColor& face) {
    QPalette p = w->palette();
    p.setColor(QPalette::Window, face);
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

}  // namespace

void ApplySkin(Form1& form, const QString& programFolder) {
    const QString skin = joinPath(joinPath(programFolder, QStringLiteral("x")), QStringLiteral("o.cjs"));
    const std::optional<int> attributes = fileAttributes(skin);
    if (!attributes || (*attributes & (kAttrHidden | kAttrSystem | kAttrFolder))) return;

    const QColor face = form.palette().color(QPalette::Button);
    paintButtonFace(&form, face);
    for (QWidget* w : form.findChildren<QWidget*>()) {
        if (qobject_cast<QCheckBox*>(w) || qobject_cast<QRadioButton*>(w) || qobject_cast<QGroupBox*>(w) ||
            qobject_cast<QLabel*>(w))
            paintButtonFace(w, face);
    }

    QFile file(skin);
    if (!file.open(QIODevice::ReadOnly))
        throw AppError(kInvalidCall, QStringLiteral("Cannot load skin %1: %2").arg(skin, file.errorString()));
    const QString css = QString::fromUtf8(file.readAll());
    if (!styleSheetParses(css))
        throw AppError(kInvalidCall,
                       QStringLiteral("Cannot load skin %1: not a valid style sheet").arg(skin));
    form.setStyleSheet(css);
}

int DrawOneToHundred() {
    QRandomGenerator generator(static_cast<quint32>(QTime::currentTime().msecsSinceStartOfDay() / 1000));
    return static_cast<int>(generator.generateDouble() * 100) + 1;
}

void OpenHomePageAtRandom(Dialogs& dialogs, const std::function<int()>& draw, const QString& homePageUrl) {
    if (!draw || draw() != 7) return;
    if (!dialogs.openExternally(homePageUrl))
        throw AppError(kInvalidCall, QStringLiteral("Cannot open %1").arg(homePageUrl));
}

QString SetApplicationTitle(const QString& productName) {
    QString title = productName;
    // Cutting needs a blank to cut at; a one-word name stays whole.
    do {
        const qsizetype blank = title.lastIndexOf(QLatin1Char(' '));
        if (blank < 0) break;
        title = title.left(blank);
    } while (title.size() > 40);
    return title;
}

bool CheckPowerPointInstalled(Dialogs& dialogs, PowerPointFactory& factory, const QString& title) {
    bool created = false;
    try {
        created = factory.CreateObject() != nullptr;
    } catch (...) {
        created = false;
    }
    if (created) return true;
    try {
        dialogs.messageBox(QStringLiteral("PowerPoint is not installed on this computer. You need to have it "
                                          "installed to use this software without error."),
                           title, MessageButtons::Ok, MessageIcon::None);
    } catch (...) {
        // The program ends either way.
    }
    return false;
}

QString GetSpecialFolderPath(int folderNumber) {
    if (folderNumber != 0) return {};
    // A home without a desktop folder (a server, a minimal desktop) has the home as its desktop, as
    // xdg-user-dir answers: a default output folder that is not there would fail every first run.
    QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (!desktop.isEmpty() && !QFileInfo(desktop).isDir()) desktop = QDir::homePath();
    return QDir::toNativeSeparators(desktop);
}

QString DesktopFolderPath() {
    QString path = GetSpecialFolderPath(0);
    if (path.isEmpty()) throw AppError(kInvalidCall, QStringLiteral("The desktop folder cannot be found"));
    if (!path.endsWith(nativeSeparator())) path += nativeSeparator();
    return path;
}

}  // namespace trelwick
