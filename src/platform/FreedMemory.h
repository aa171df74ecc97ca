#pragma once

namespace quillet {

// glibc keeps freed blocks of a window's size in its heap rather than giving them back, so a
// resident program that closed a large window would stay that large long after. This hands the
// free pages back once the burst of deletes that asked for it is over; asking again before
// then does not schedule a second trim.
void releaseFreedMemorySoon(int afterMs = 250);

} // namespace quillet
