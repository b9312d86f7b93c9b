#include "platform/Memory.h"

#include <cstring>
#include <new>

namespace parlet {

char *GlobalAlloc(std::uint32_t, std::size_t bytes) {
    auto *block = new (std::nothrow) char[bytes];
    if (block)
        std::memset(block, 0, bytes);
    return block;
}

char *GlobalFree(char *block) {
    delete[] block;
    return nullptr;
}

void RtlMoveMemory(void *destination, const void *source, std::size_t bytes) {
    std::memmove(destination, source, bytes);
}

} // namespace parlet
