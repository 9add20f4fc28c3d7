#pragma once

#include <QString>
#include <stdexcept>

namespace trelwick {

// Failure codes the program looks at before reporting (the rest only carry a description).
enum AppErrorCode : int {
    kInvalidCall = 5,
    kOutOfMemory = 7,
    kDivisionByZero = 11,
    kPermissionDenied = 70,
    kPathNotFound = 76,
    kObjectNotSet = 91,
    kSettingsWriteFailed = 1001,
    kEngineFailure = 1002,
    kDialogBufferTooSmall = 20476,
};

// A failure with a numeric code and a description for the user; travels up to the reporting
// procedure that catches it.
class AppError : public std::runtime_error {
  public:
    AppError(int code, const QString& description)
        : std::runtime_error(description.toStdString()), code_(code), description_(description) {}

    int code() const noexcept { return code_; }
    const QString& description() const noexcept { return description_; }

  private:
    int code_;
    QString description_;
};

}  // namespace trelwick
