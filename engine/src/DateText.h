#pragma once

#include <chrono>
#include <string>

namespace trelwick::engine {

// Cached text of an automatic date field: the moment formatted as PowerPoint's datetimeN (N in 1..13)
// shows it in en-US, in local time.
std::string formatDate(int format, std::chrono::system_clock::time_point when);

}  // namespace trelwick::engine
