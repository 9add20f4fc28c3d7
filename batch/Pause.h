#pragma once

#include <functional>

namespace trelwick {

// Seconds since midnight, with fractions, by the system clock.
double secondsSinceMidnight();

// Waits the given seconds while processing window events; a pause of 0 returns at once, and a pause
// that runs past midnight ends there. timer is injectable for tests.
void Pause(double seconds, const std::function<double()>& timer = secondsSinceMidnight);

}  // namespace trelwick
