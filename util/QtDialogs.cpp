#include "QtDialogs.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QUrl>

namespace trelwick {

QString QtDialogs::displayText(const QString& text) {
    QString out = text;
    out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    out.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return out;
}

QString QtDialogs::chosenFolderText(const QString& path) {
    if (path.isEmpty()) return path;
    QString native = QDir::toNativeSeparators(QDir::cleanPath(path));
    const bool root = QDir(path).isRoot();
    if (!root) {
        while (native.size() > 1 && native.endsWith(QDir::separator())) native.chop(1);
    } else if (!native.endsWith(QDir::separator())) {
        native += QDir::separator();
    }
    return native;
}

MessageResult QtDialogs::messageBox(const QString& text, const QString& title, MessageButtons buttons,
                                    MessageIcon icon) {
    QMessageBox box(icon == MessageIcon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon, title,
                    displayText(text),
                    buttons == MessageButtons::YesNo ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok,
                    QApplication::activeWindow());
    // Texts come from failures and file names: never interpret them as markup.
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    const int answer = box.exec();
    if (buttons == MessageButtons::Ok) return MessageResult::Ok;
    return answer == QMessageBox::Yes ? MessageResult::Yes : MessageResult::No;
}

QString QtDialogs::inputBox(const QString& prompt, const QString& title, const QString& defaultText) {
    bool ok = false;
    const QString answer = QInputDialog::getText(QApplication::activeWindow(), title, displayText(prompt),
                                                 QLineEdit::Normal, defaultText, &ok);
    return ok ? answer : QString();
}

QStringList QtDialogs::openFiles(const QString& title, const QStringList& filters) {
    QStringList chosen = QFileDialog::getOpenFileNames(QApplication::activeWindow(), title, QString(),
                                                       filters.join(QStringLiteral(";;")));
    for (QString& path : chosen) path = QDir::toNativeSeparators(path);
    return chosen;
}

QString QtDialogs::browseForFolder(QWidget* owner, const QString& title, const QString& initialFolder) {
    // A folder that is gone selects nothing: the chooser starts at the root.
    const QString start =
        !initialFolder.isEmpty() && QFileInfo(initialFolder).isDir() ? initialFolder : QDir::rootPath();
    return chosenFolderText(
        QFileDialog::getExistingDirectory(owner, title, start, QFileDialog::ShowDirsOnly));
}

bool QtDialogs::openExternally(const QString& urlOrPath) {
    const QUrl url =
        QFileInfo::exists(urlOrPath) ? QUrl::fromLocalFile(urlOrPath) : QUrl::fromUserInput(urlOrPath);
    return QDesktopServices::openUrl(url);
}

}  // namespace trelwick
