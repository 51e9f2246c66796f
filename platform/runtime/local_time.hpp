#pragma once
// The local time of day and today's date. Today can be fixed per thread, so
// that what depends on the calendar (the weekly junk search, daily markers)
// is tested on any day of the week.
#include <optional>
#include <string>

namespace kx::platform {

/// Seconds since local midnight, with their fraction (Timer).
double secondsSinceMidnight();

/// A day of the local calendar.
struct LocalDate {
    int year = 2000;  // four digits
    int month = 1;    // 1..12
    int day = 1;      // 1..31
    int weekday = 6;  // 0 Sunday .. 6 Saturday
    bool operator==(const LocalDate&) const = default;
};

inline constexpr int kFriday = 5;

/// Today in local time, or the day a TodayOverride of this thread fixed.
LocalDate today();

/// "dd.mm.yy", the form day markers are stored in.
std::string formatDdMmYy(const LocalDate& date);

/// Fixes today for the calling thread while it lives; overrides nest (the
/// innermost wins, the previous one comes back at its end).
class TodayOverride {
  public:
    explicit TodayOverride(const LocalDate& date);
    ~TodayOverride();
    TodayOverride(const TodayOverride&) = delete;
    TodayOverride& operator=(const TodayOverride&) = delete;

  private:
    std::optional<LocalDate> previous_;
};

}  // namespace kx::platform
