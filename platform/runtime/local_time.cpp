#include "platform/runtime/local_time.hpp"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace kx::platform {
namespace {

std::optional<LocalDate>& fixedToday() {
    thread_local std::optional<LocalDate> date;
    return date;
}

}  // namespace

double secondsSinceMidnight() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t whole = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&whole, &local);  // the thread-safe form; localtime shares one buffer
    const double fraction =
        std::chrono::duration<double>(now - std::chrono::system_clock::from_time_t(whole)).count();
    return local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + fraction;
}

LocalDate today() {
    if (const auto& fixed = fixedToday())
        return *fixed;
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return LocalDate{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_wday};
}

std::string formatDdMmYy(const LocalDate& date) {
    char out[16];
    std::snprintf(out, sizeof out, "%02d.%02d.%02d", date.day % 100, date.month % 100,
                  ((date.year % 100) + 100) % 100);
    return out;
}

TodayOverride::TodayOverride(const LocalDate& date) : previous_(fixedToday()) {
    fixedToday() = date;
}

TodayOverride::~TodayOverride() {
    fixedToday() = previous_;
}

}  // namespace kx::platform
