#pragma once

#include <functional>
#include <memory>

#include "PowerPointApplication.h"

namespace trelwick {

// Creates "PowerPoint.Application" objects; injectable so tests can make creation fail.
class PowerPointFactory {
  public:
    virtual ~PowerPointFactory() = default;

    // A new application object; nullptr (or a thrown failure) when none can be started.
    virtual std::unique_ptr<PowerPointApplication> CreateObject() = 0;
};

// A factory that creates through the function it is given.
class FunctionPowerPointFactory : public PowerPointFactory {
  public:
    explicit FunctionPowerPointFactory(std::function<std::unique_ptr<PowerPointApplication>()> create)
        : create_(std::move(create)) {}

    std::unique_ptr<PowerPointApplication> CreateObject() override { return create_ ? create_() : nullptr; }

  private:
    std::function<std::unique_ptr<PowerPointApplication>()> create_;
};

}  // namespace trelwick
