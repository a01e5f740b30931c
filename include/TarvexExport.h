// Export macro of the Tarvex library: symbols are hidden unless marked.
#pragma once
#define TARVEX_EXPORT __attribute__((visibility("default")))

// Thread-local variables of the library that the hot path reads: in the
// static TLS block, reached without a call (a few dozen bytes in all).
#if defined(__GNUC__)
#define TARVEX_FAST_TLS __attribute__((tls_model("initial-exec")))
#else
#define TARVEX_FAST_TLS
#endif
