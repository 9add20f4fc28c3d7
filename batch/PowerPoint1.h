#pragma once

#include <QString>
#include <memory>

namespace trelwick {

class DeckReadAhead;
class Dialogs;
class PowerPointApplication;
class PowerPointFactory;

// True when an office application that a run would work inside is already running. The built-in
// engine is no separate program, so there is never one to attach to.
bool IsPowerPointRunning();

// Warns when PowerPoint is running and asks whether to go on; true when the run must not start.
// isRunning is the running check (IsPowerPointRunning for the built-in engine).
bool WarnIfPowerPointOpen(Dialogs& dialogs, const QString& title, bool isRunning);

// Starts the application, opens the file in it and returns the application, whose
// ActivePresentation is the file. Failures go to the caller. The deck readAhead holds for path, if it
// can stand for opening it, is taken instead of opening it again.
std::unique_ptr<PowerPointApplication> OpenInPowerPoint(PowerPointFactory& factory, const QString& path,
                                                        DeckReadAhead* readAhead = nullptr);

}  // namespace trelwick
