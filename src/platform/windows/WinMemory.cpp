#include "platform/Memory.h"

// After our headers (see Win32.h).
#include "Win32.h"

namespace parlet {

char *GlobalAlloc(std::uint32_t flags, std::size_t bytes) {
    return static_cast<char *>(::GlobalAlloc(GMEM_FIXED | flags, bytes));
}

char *GlobalFree(char *block) {
    return static_cast<char *>(::GlobalFree(block));
}

// In parentheses: the system's headers make RtlMoveMemory a macro for memmove.
void(RtlMoveMemory)(void *destination, const void *source, std::size_t bytes) {
    RtlMoveMemory(destination, source, bytes);
}

} // namespace parlet
