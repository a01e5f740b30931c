/// @file
/// Export macro of the Tarvex library. Symbols are hidden unless marked; a class
/// marked with it exports all its members, inline ones included.
/// TARVEX_STATIC_DEFINE: Tarvex is built or used as a static library.
/// Tarvex_EXPORTS: defined while Tarvex itself is compiled (CMake does this for
/// shared libraries).
#pragma once

#if defined(TARVEX_STATIC_DEFINE)
#define TARVEX_EXPORT
#elif defined(_WIN32) || defined(__CYGWIN__)
#if defined(Tarvex_EXPORTS)
#define TARVEX_EXPORT __declspec(dllexport)
#else
#define TARVEX_EXPORT __declspec(dllimport)
#endif
#elif defined(__GNUC__) || defined(__clang__)
/// Marks a class or function as part of the library's interface.
#define TARVEX_EXPORT __attribute__((visibility("default")))
#else
/// Other compilers: nothing to mark.
#define TARVEX_EXPORT
#endif
