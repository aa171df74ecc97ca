#include "platform/FreedMemory.h"

#include <QCoreApplication>
#include <QTimer>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace quillet {

void releaseFreedMemorySoon(int afterMs)
{
#if defined(__GLIBC__)
    static bool scheduled = false;
    if (scheduled || !QCoreApplication::instance())
        return;
    scheduled = true;
    QTimer::singleShot(afterMs, QCoreApplication::instance(), [] {
        scheduled = false;
        malloc_trim(0);
    });
#else
    Q_UNUSED(afterMs);
#endif
}

} // namespace quillet
