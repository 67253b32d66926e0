#include "cli/progress_bar.h"

#include <algorithm>
#include <cstdio>

namespace quillpost::cli {

std::string TProgressBar::SizeText(std::int64_t bytes) {
    if (bytes < 1024) return std::to_string(bytes) + " B";
    static constexpr const char* kUnits[] = {"KiB", "MiB", "GiB", "TiB"};
    double value = static_cast<double>(bytes) / 1024.0;
    std::size_t unit = 0;
    // Switch units before the one-decimal text would read "1024.0".
    while (value >= 1023.95 && unit + 1 < std::size(kUnits)) {
        value /= 1024.0;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
    return text;
}

std::string TProgressBar::Render(std::int64_t sent, std::int64_t total) {
    sent = std::clamp<std::int64_t>(sent, 0, total);
    const int percent = total > 0 ? static_cast<int>(sent * 100 / total) : 100;
    const int filled = total > 0 ? static_cast<int>(sent * kWidth / total) : kWidth;
    char pct[8];
    std::snprintf(pct, sizeof pct, "%3d%%", percent);
    return "Sending [" + std::string(static_cast<std::size_t>(filled), '#') +
           std::string(static_cast<std::size_t>(kWidth - filled), ' ') + "] " + pct + " " +
           SizeText(sent) + " of " + SizeText(total);
}

void TProgressBar::Update(std::int64_t sent, std::int64_t total) {
    if (total < minimumTotal_ || total <= 0) return;
    sent = std::clamp<std::int64_t>(sent, 0, total);
    if (showing_ && sent < sent_) Finish();
    const auto percent = static_cast<int>(sent * 100 / total);
    sent_ = sent;
    if (showing_ && percent == percent_) return;

    std::string line = Render(sent, total);
    const std::size_t width = line.size();
    // Blank out what a longer earlier line left standing.
    if (width < width_) line.append(width_ - width, ' ');
    out_ << '\r' << line << std::flush;
    showing_ = true;
    percent_ = percent;
    width_ = width;
    if (sent == total) Finish();
}

void TProgressBar::Finish() {
    if (!showing_) return;
    out_ << '\n' << std::flush;
    showing_ = false;
    percent_ = -1;
    sent_ = 0;
    width_ = 0;
}

}  // namespace quillpost::cli
