#pragma once

#include <QString>
#include <functional>
#include <utility>

namespace trelwick {

class Dialogs;

// The failure path of a reporting procedure: it runs the procedure's numbered steps, and when one
// fails it shows "Application Error" naming the procedure and the step, then lets the procedure go
// on with its next step.
class ErrorReport {
  public:
    // locationTag: see locationTag() below.
    ErrorReport(Dialogs& dialogs, QString locationTag);

    // Runs one numbered step. A failure (any exception) is reported and cleared; returns false then.
    bool step(int number, const std::function<void()>& action);

    // Runs a numbered test. A failure is reported and counts as true, so the first branch runs.
    bool test(int number, const std::function<bool()>& condition);

    // Number of the last numbered step started (0 before the first).
    int currentStep() const noexcept { return step_; }

    // Reports a failure caught by the caller itself, under the current step.
    void report(const QString& description);

    // Run before each report (not before those it makes itself): failures found elsewhere that
    // belong before this one are reported there.
    void setBeforeReport(std::function<void()> beforeReport) { beforeReport_ = std::move(beforeReport); }

    // "<project>2021/08/31.<container>.<procedure>", the tag a report names.
    static QString locationTag(const QString& project, const QString& container, const QString& procedure);
    // The tag of a procedure of the main window: "Dunmere2021/08/31.Form1.<procedure>".
    static QString form1Tag(const QString& procedure);

    // The report's text: description, CR LF, "in <tag> at line <step>", CR CR, the e-mail request.
    static QString reportText(const QString& description, const QString& tag, int step);

    // Description of an exception in flight, for the report (call only inside a catch block).
    static QString describeCurrentException();

  private:
    Dialogs& dialogs_;
    QString tag_;
    int step_ = 0;
    std::function<void()> beforeReport_;
    bool inBeforeReport_ = false;
};

}  // namespace trelwick
