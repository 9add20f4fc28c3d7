#pragma once

#include <QString>
#include <functional>

namespace trelwick {

class Dialogs;

// Runs a change or click handler that has no report of its own and stores what the user changed (the
// options and the output folder field, on every keystroke): a failure is reported under the location
// tag at line 100, except a refused store write of a setting whose last write was refused too, which
// the user has already been told will not be remembered.
void runChangeHandler(Dialogs& dialogs, const QString& tag, const std::function<void()>& handler);

}  // namespace trelwick
