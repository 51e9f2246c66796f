#pragma once
// The local time of day, as the runtime's Timer reports it.

namespace kx::platform {

/// Seconds since local midnight, with their fraction (Timer).
double secondsSinceMidnight();

}  // namespace kx::platform
