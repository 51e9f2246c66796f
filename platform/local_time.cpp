#include "platform/local_time.hpp"

#include <chrono>
#include <ctime>

namespace kx::platform {

double secondsSinceMidnight() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t whole = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&whole, &local);  // the thread-safe form; localtime shares one buffer
    const double fraction =
        std::chrono::duration<double>(now - std::chrono::system_clock::from_time_t(whole)).count();
    return local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + fraction;
}

}  // namespace kx::platform
