#include "ErrorReport.h"

#include <exception>
#include <utility>

#include "AppError.h"
#include "Dialogs.h"

#ifndef TRELWICK_SUPPORT_EMAIL
#define TRELWICK_SUPPORT_EMAIL "support@example.com"
#endif

namespace trelwick {

ErrorReport::ErrorReport(Dialogs& dialogs, QString locationTag)
    : dialogs_(dialogs), tag_(std::move(locationTag)) {}

bool ErrorReport::step(int number, const std::function<void()>& action) {
    step_ = number;
    try {
        action();
        return true;
    } catch (...) {
        report(describeCurrentException());
        return false;
    }
}

bool ErrorReport::test(int number, const std::function<bool()>& condition) {
    step_ = number;
    try {
        return condition();
    } catch (...) {
        report(describeCurrentException());
        return true;
    }
}

void ErrorReport::report(const QString& description) {
    if (beforeReport_ && !inBeforeReport_) {
        const int step = step_;
        inBeforeReport_ = true;
        try {
            beforeReport_();
        } catch (...) {
            // what it could not tell does not stop this report
        }
        inBeforeReport_ = false;
        step_ = step;
    }
    dialogs_.messageBox(reportText(description, tag_, step_), QStringLiteral("Application Error"),
                        MessageButtons::Ok, MessageIcon::Warning);
}

QString ErrorReport::locationTag(const QString& project, const QString& container, const QString& procedure) {
    return project + QStringLiteral("2021/08/31.") + container + QLatin1Char('.') + procedure;
}

QString ErrorReport::form1Tag(const QString& procedure) {
    return locationTag(QStringLiteral("Dunmere"), QStringLiteral("Form1"), procedure);
}

QString ErrorReport::reportText(const QString& description, const QString& tag, int step) {
    return description + QStringLiteral("\r\n") + QStringLiteral("in ") + tag + QLatin1Char(' ') +
           QStringLiteral("at line ") + QString::number(step) + QStringLiteral("\r\r") +
           QStringLiteral("Please email screenshot of this message to ") +
           QStringLiteral(TRELWICK_SUPPORT_EMAIL);
}

QString ErrorReport::describeCurrentException() {
    try {
        throw;
    } catch (const AppError& e) {
        return e.description();
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Unknown failure");
    }
}

}  // namespace trelwick
