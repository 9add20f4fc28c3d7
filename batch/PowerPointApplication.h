#pragma once

namespace trelwick {

// One "PowerPoint.Application" object: the automation layer's root through which presentations
// are opened, stamped and saved.
class PowerPointApplication {
public:
    virtual ~PowerPointApplication() = default;
};

}  // namespace trelwick
