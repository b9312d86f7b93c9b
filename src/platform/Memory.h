#pragma once
// The memory the sequencer's stream buffers live in: zero-initialised fixed blocks.
#include <cstddef>
#include <cstdint>

namespace parlet {

// GMEM_FIXED | GMEM_ZEROINIT is the only kind there is; the block's address is its handle.
inline constexpr std::uint32_t GMEM_ZEROINIT = 0x40;
// Null when there is not enough memory.
char *GlobalAlloc(std::uint32_t flags, std::size_t bytes);
// Null is accepted and ignored; returns null as the success value.
char *GlobalFree(char *block);
void RtlMoveMemory(void *destination, const void *source, std::size_t bytes);

} // namespace parlet
