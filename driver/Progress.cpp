#include "driver/Progress.h"

#include <cstdio>

#include "platform/platform.h"

namespace {

std::string format(const char* pattern, double a, double b = 0, double c = 0, double d = 0) {
    char buffer[160];
    std::snprintf(buffer, sizeof buffer, pattern, a, b, c, d);
    return buffer;
}

}  // namespace

std::string codePointText(uint32_t code) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "U+%04X", static_cast<unsigned>(code));
    return buffer;
}

Progress::Progress(int32_t total, bool enabled)
    : total_(total),
      enabled_(enabled && total > kMinimumGlyphs),
      start_(std::chrono::steady_clock::now()),
      lastDraw_(start_) {}

double Progress::elapsed() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

void Progress::update(int32_t done) {
    if (!enabled_) return;
    const auto now = std::chrono::steady_clock::now();
    // A tenth of a second between redraws keeps the terminal cheap on fast runs.
    if (done != total_ && now - lastDraw_ < std::chrono::milliseconds(100)) return;
    lastDraw_ = now;
    const double seconds = elapsed();
    const double rate = seconds > 0 ? done / seconds : 0;
    const double left = rate > 0 ? (total_ - done) / rate : 0;
    platform::writeErr(
        format("\r%.0f / %.0f glyphs, %.0f glyphs/s, %.1f s left\033[K", done, total_, rate, left));
}

void Progress::abandon() {
    if (!enabled_) return;
    enabled_ = false;
    platform::writeErr("\r\033[K");
}

void Progress::finish(const std::string& file, uint64_t bytes) {
    if (!enabled_) return;
    platform::writeErr("\r\033[K");
    platform::writeErrLine(file + format(": %.0f glyphs, %.0f bytes in %.2f s", total_,
                                         static_cast<double>(bytes), elapsed()));
}

void MissingGlyphs::add(uint16_t code, bool usedFallback, bool fallbackHasIt) {
    ++count_;
    if (!usedFallback)
        ++drawnAsMissing_;
    else if (fallbackHasIt)
        ++drawnByFallback_;
    else
        ++missingInFallback_;
    if (first_.size() < kListed) first_.push_back(code);
}

std::string MissingGlyphs::report(const std::string& fontName, bool chained) const {
    if (count_ == 0) return {};
    const std::string subject =
        chained ? "neither " + fontName + " nor its fallback fonts have a glyph for "
                : fontName + " has no glyph for ";
    std::string line = "warning: " + subject + std::to_string(count_) +
                       (count_ == 1 ? " selected character" : " selected characters") + " (";
    for (size_t i = 0; i < first_.size(); ++i) line += (i ? " " : "") + codePointText(first_[i]);
    if (static_cast<size_t>(count_) > first_.size()) line += " ...";
    line += "):";
    std::string parts;
    auto part = [&](int32_t n, const char* what) {
        if (n == 0) return;
        parts += (parts.empty() ? " " : ", ") + std::to_string(n) + what;
    };
    part(drawnAsMissing_, " drawn as its missing-glyph symbol");
    part(drawnByFallback_, " drawn by the fallback font");
    part(missingInFallback_, " missing from the fallback font too");
    return line + parts;
}

std::string chainReport(const std::vector<std::string>& fonts, const std::vector<int32_t>& counts) {
    std::string line = "characters drawn:";
    for (size_t i = 0; i < fonts.size() && i < counts.size(); ++i)
        line += std::string(i ? ", " : " ") + std::to_string(counts[i]) + " by " + fonts[i];
    return line;
}
