/// @file
/// Export macro of the Tarvex library: symbols are hidden unless marked.
#pragma once
/// Marks a class or function as part of the library's interface.
#define TARVEX_EXPORT __attribute__((visibility("default")))

#if defined(__GNUC__)
/// Puts a thread-local variable that the request path reads into the static
/// TLS block, reached without a call (the library's take: 128 bytes).
#define TARVEX_FAST_TLS __attribute__((tls_model("initial-exec")))
#else
/// Other compilers: the default TLS model.
#define TARVEX_FAST_TLS
#endif
