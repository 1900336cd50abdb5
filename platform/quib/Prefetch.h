#pragma once
// Starts loading the cache line of `p` for a read a little later, so that lookups of many
// keys in a row wait for memory together rather than one by one. g++ 12 at -O2 deletes a
// `__builtin_prefetch` that stands alone behind a branch (it has no effect the optimiser
// must keep), so on x86-64 the instruction is written out. A prefetch never faults.

namespace Quib {

inline void prefetch(void const* p) {
#if defined(__x86_64__)
  asm volatile("prefetcht0 %0" : : "m"(*static_cast<char const*>(p)));
#else
  __builtin_prefetch(p);
#endif
}

}  // namespace Quib
