#include "capture/Trace.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace quillet::trace {

bool enabled()
{
    static const bool on = [] {
        const char* v = std::getenv("QUILLET_TRACE");
        return v && *v;
    }();
    return on;
}

void mark(const char* what)
{
    if (!enabled())
        return;
    timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const long long ns = static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
    std::fprintf(stderr, "quillet-trace %s %lld\n", what, ns);
    std::fflush(stderr);
}

} // namespace quillet::trace
