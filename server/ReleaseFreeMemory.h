#pragma once
// Hands the heap's free pages back to the system.
//
// A flood of small requests leaves the allocator's free lists full of small chunks spread over the
// heap; the allocator trims only the heap's top and keeps the rest resident, so a service that once
// served one greedy client would stay megabytes above its usual size for good. The server calls this
// once such a connection's memory has been freed. Where the C library offers no way to do it, it does
// nothing.
namespace wl {

void ReleaseFreeMemory();

}  // namespace wl
