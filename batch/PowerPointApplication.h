#pragma once

#include <QString>
#include <memory>

#include "PowerPointPresentation.h"

namespace trelwick {

// "PowerPoint.Application": the root of the automation layer. Here it is the built-in engine, which
// needs no office program; one object opens, stamps and saves presentations one at a time.
class PowerPointApplication {
  public:
    PowerPointApplication() = default;
    virtual ~PowerPointApplication() = default;
    PowerPointApplication(const PowerPointApplication&) = delete;
    PowerPointApplication& operator=(const PowerPointApplication&) = delete;

    // The application's name, its default member.
    QString Name() const { return QStringLiteral("Trelwick Engine"); }

    // Shows or hides the application's window; the engine has none.
    bool Visible() const { return visible_; }
    void setVisible(bool visible) { visible_ = visible; }

    // Presentations.Open: opens the file (read-write) and makes it the active presentation.
    // Throws AppError with the engine's description when it cannot be opened.
    void Presentations_Open(const QString& fileName);
    // The same for a deck already opened from that file.
    void Presentations_Open(engine::Presentation opened);

    // The presentation opened last; fails when none is open.
    PowerPointPresentation& ActivePresentation();

    // Ends the application: closes every presentation without saving.
    void Quit();

    // Seconds a caller should let pass (processing events) after asking for work, for the application
    // to finish it. The engine finishes every call before returning.
    virtual double settleSeconds() const { return 0.0; }

  private:
    std::unique_ptr<PowerPointPresentation> active_;
    bool visible_ = false;
};

}  // namespace trelwick
