#pragma once

namespace quillet::trace {

// Timing marks for latency measurements, written to stderr as
// "quillet-trace <what> <CLOCK_MONOTONIC nanoseconds>" when QUILLET_TRACE is set.
bool enabled();
void mark(const char* what);

} // namespace quillet::trace
