#include "WindowRig.h"

#include <QDir>
#include <QTreeWidget>
#include <QtTest>

#include "app/BatchWiring.h"
#include "app/FileListWiring.h"
#include "batch/PowerPointApplication.h"
#include "settings/SettingsStore.h"

namespace trelwick::testing {

WindowRig::WindowRig(SettingsStore& store, const Form1Environment& env)
    : factory([] { return std::make_unique<PowerPointApplication>(); }),
      form(dialogs, store, factory, env),
      fileList(wireFileList(form)),
      batchRun(wireBatchRun(form, fileList->fileList())) {}

Form1Environment WindowRig::environment(const QString& desktop) {
    Form1Environment env = Form1Environment::standard();
    env.drawOneToHundred = [] { return 50; };
    env.endProgram = [] {};
    env.desktopFolderPath = [desktop] {
        return desktop.endsWith(QLatin1Char('/')) ? desktop : desktop + QLatin1Char('/');
    };
    return env;
}

bool WindowRig::loadAndShow() {
    if (!form.Form_Load()) return false;
    form.show();
    return QTest::qWaitForWindowExposed(&form);
}

std::unique_ptr<WindowRig> WindowRig::startIn(const QString& folder, std::unique_ptr<SettingsStore>& store) {
    store = std::make_unique<SettingsStore>(folder + QStringLiteral("/config/Trelwick.conf"));
    QDir().mkpath(folder + QStringLiteral("/desk"));
    auto rig = std::make_unique<WindowRig>(*store, environment(folder + QStringLiteral("/desk")));
    if (!rig->loadAndShow()) qFatal("window did not load");
    rig->dialogs.calls.clear();
    return rig;
}

QStringList WindowRig::listed() const {
    QStringList all;
    for (int i = 0; i < form.ListView1->topLevelItemCount(); ++i)
        all << form.ListView1->topLevelItem(i)->text(0);
    return all;
}

void WindowRig::typeOutputFolder(const QString& folder) {
    auto* text6 = form.findChild<QLineEdit*>(QStringLiteral("Text6"));
    if (!text6) qFatal("the window has no output folder field");
    typeInto(text6, folder);
}

void typeInto(QLineEdit* field, const QString& text) {
    // Key clicks are ASCII only; other text comes in as a paste would.
    for (const QChar c : text)
        if (c.unicode() > 126) {
            field->selectAll();
            field->insert(text);
            return;
        }
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Delete);
    QTest::keyClicks(field, text);
}

QStringList dialogTexts(const std::vector<FakeDialogs::Call>& calls) {
    QStringList all;
    for (const auto& c : calls) all << c.text;
    return all;
}

}  // namespace trelwick::testing
