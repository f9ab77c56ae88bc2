#pragma once
// Picture-sized byte buffers that are kept and handed out again instead of being returned to the
// system: a fresh block pays a page fault for every page it touches, which for a large photo costs
// as much as working it (the benchmarks' cold presses show how much), while a recycled one is
// already mapped. Small blocks come straight from the allocator.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace platform {

using Bytes = std::shared_ptr<std::uint8_t[]>;

// A block of at least `size` bytes whose content is undefined. It goes back to the store when the
// last shared owner lets go of it. Throws Error when memory runs out.
Bytes acquireBytes(std::size_t size);

// Makes sure that at least `count` kept blocks of at least `size` bytes are ready, their pages
// already mapped: what a loaded picture's first presses and previews will ask for, so that they do
// not pay for fresh memory. Only a saving: short of memory, it makes fewer and says nothing.
void prepareBytes(std::size_t size, int count);

// Gives every kept block back to the system (tests that measure memory use this).
void releaseStore();

// The sizes of the blocks kept, smallest first (tests check which blocks are kept).
std::vector<std::size_t> keptBlocks();

// Tests make memory run out: while set, a fresh block for which `fails(size)` answers true is refused
// as the system refuses one when memory is short. It is asked on whichever thread allocates;
// nullptr: no block fails.
using AllocationFault = bool (*)(std::size_t size);
void setAllocationFault(AllocationFault fails);

}  // namespace platform
