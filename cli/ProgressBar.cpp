#include "ProgressBar.h"

#include <string>

namespace trelwick::cli {

namespace {
constexpr std::size_t kBarWidth = 30;
}

ProgressBar::ProgressBar(std::ostream& out, std::size_t total, bool enabled)
    : out_(out), total_(total), enabled_(enabled) {}

std::string ProgressBar::render(std::size_t done, std::size_t failed, std::size_t total, std::size_t width) {
    const std::size_t filled = total == 0 ? width : done * width / total;
    std::string text = "[";
    text.append(filled, '#').append(width - filled, '.').append("] ");
    text += std::to_string(done) + "/" + std::to_string(total);
    if (failed > 0) text += "  failed " + std::to_string(failed);
    return text;
}

void ProgressBar::update(std::size_t done, std::size_t failed) {
    if (!enabled_) return;
    // "\r" + erase-to-end-of-line keeps the bar on one line however the counts' width changes.
    out_ << "\r" << render(done, failed, total_, kBarWidth) << "\x1b[K" << std::flush;
    shown_ = true;
}

void ProgressBar::clear() {
    if (!enabled_ || !shown_) return;
    out_ << "\r\x1b[K" << std::flush;
    shown_ = false;
}

}  // namespace trelwick::cli
