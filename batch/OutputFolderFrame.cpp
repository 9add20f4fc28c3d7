#include "OutputFolderFrame.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>

#include "settings/ChangeHandler.h"
#include "settings/SettingsStore.h"
#include "util/ErrorReport.h"
#include "util/FolderPicker.h"
#include "util/PathHelpers.h"
#include "util/Twips.h"

namespace trelwick {

OutputFolderFrame::OutputFolderFrame(SettingsStore& settings, Dialogs& dialogs, QWidget* parent)
    : PlainFrame(QStringLiteral("Save Results To This Folder"), parent),
      settings_(settings),
      dialogs_(dialogs) {
    setObjectName(QStringLiteral("Frame3"));
    setGeometry(twipsRect(120, 6300, 7800, 795));
    setFocusPolicy(Qt::NoFocus);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::white);
    setPalette(p);
    setAutoFillBackground(true);

    Text6 = new QLineEdit(this);
    Text6->setObjectName(QStringLiteral("Text6"));
    Text6->setGeometry(twipsRect(240, 300, 6600, 345));

    PushButton5 = new QPushButton(QStringLiteral("..."), this);
    PushButton5->setObjectName(QStringLiteral("PushButton5"));
    PushButton5->setGeometry(twipsRect(6960, 300, 600, 345));

    connect(Text6, &QLineEdit::textChanged, this, [this] {
        // Text6_Change has no report of its own; a refused store is still told, under its name.
        runChangeHandler(dialogs_, ErrorReport::form1Tag(QStringLiteral("Text6_Change")),
                         [this] { Text6_Change(); });
    });
    connect(PushButton5, &QPushButton::clicked, this, [this] { PushButton5_Click(); });
}

QString OutputFolderFrame::outputFolder() const {
    return Text6->text();
}

void OutputFolderFrame::setOutputFolder(const QString& text) {
    if (Text6->text() == text) return;
    {
        const QSignalBlocker quiet(Text6);
        Text6->setText(text);
    }
    Text6_Change();
}

void OutputFolderFrame::Text6_Change() {
    settings_.write(QStringLiteral("Text6"), Text6->text());
}

void OutputFolderFrame::PushButton5_Click() {
    ErrorReport r(dialogs_, ErrorReport::form1Tag(QStringLiteral("PushButton5_Click")));
    QString chosen;
    r.step(100, [&] {
        const QString last = settings_.read(QStringLiteral("LastFolderDot"), QString());
        chosen = BrowseForFolder(dialogs_, window(), QStringLiteral("Please select folder:"), last);
    });
    if (r.test(102, [&] { return chosen.isEmpty(); })) return;
    r.step(104, [&] { settings_.write(QStringLiteral("LastFolderDot"), chosen); });
    if (r.test(104, [&] { return !chosen.endsWith(nativeSeparator()); })) {
        r.step(106, [&] { setOutputFolder(chosen + nativeSeparator()); });
    } else {
        // A root such as "/" already ends with its separator.
        r.step(108, [&] { setOutputFolder(chosen); });
    }
}

}  // namespace trelwick
