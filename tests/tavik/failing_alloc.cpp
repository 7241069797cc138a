// Replaces the library's Tavik_AllocZero at link time: an object file given
// to the linker wins over the archive member, which is then left out.
#include "failing_alloc.h"

#include <cstdlib>

#include "tavik/TAVIK_Buffer.h"

namespace {
int g_FailAllocationIn = 0;  // 0: never; n: the nth allocation from now fails
}

void Tavik_FailAllocation(int nth) { g_FailAllocationIn = nth > 0 ? nth : 0; }

void *Tavik_AllocZero(size_t count, size_t size) {
  if (g_FailAllocationIn > 0 && --g_FailAllocationIn == 0) return nullptr;
  return std::calloc(count, size);
}
