/// @file
/// The per-thread cache of where the calling thread's pools are, read by the
/// registry's inline request path. Internal: not part of the interface.
#pragma once

#include <cstdint>

#include "../TarvexExport.h"

class DbType2MetaMap;

namespace tarvex::internal {

/// Entries per thread.
inline constexpr std::uint64_t kCachedPools = 8;

/// One thread's cache: entry `serial % kCachedPools` names a registry by its
/// serial and points at the pool that registry's slot for the thread owns.
/// Serial 0 names no registry, so a new thread's zeroed cache matches
/// nothing. The cache owns nothing; the registry writes an entry only once
/// its pool is filled, and a registry's serial is never reused, so an entry
/// can only ever name a live pool of a live registry or a registry that no
/// longer exists and will never be asked again.
struct PoolCache {
  std::uint64_t serials[kCachedPools];  ///< Two arrays, so an entry is one scaled index.
  DbType2MetaMap* pools[kCachedPools];  ///< Meaningful where the serial matches.
};

#if defined(TARVEX_SHARED_TLS)
/// The calling thread's cache, read in place by inline code.
extern TARVEX_EXPORT TARVEX_SHARED_TLS PoolCache t_PoolCache;
/// The calling thread's cache.
inline PoolCache& threadPoolCache() { return t_PoolCache; }
#else
/// The calling thread's cache; where thread-local data cannot be shared
/// across the library boundary it stays inside and costs a call.
TARVEX_EXPORT PoolCache& threadPoolCache();
#endif

}  // namespace tarvex::internal
