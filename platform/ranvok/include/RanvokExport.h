/// @file
/// Export macro of the Ranvok library. Symbols are hidden unless marked; a class
/// marked with it exports all its members, inline ones included.
/// RANVOK_STATIC_DEFINE: Ranvok is built or used as a static library.
/// Ranvok_EXPORTS: defined while Ranvok itself is compiled (CMake does this for
/// shared libraries).
#pragma once

#if defined(RANVOK_STATIC_DEFINE)
#define RANVOK_EXPORT
#elif defined(_WIN32) || defined(__CYGWIN__)
#if defined(Ranvok_EXPORTS)
#define RANVOK_EXPORT __declspec(dllexport)
#else
#define RANVOK_EXPORT __declspec(dllimport)
#endif
#elif defined(__GNUC__) || defined(__clang__)
/// Marks a class or function as part of the library's interface.
#define RANVOK_EXPORT __attribute__((visibility("default")))
#else
#define RANVOK_EXPORT
#endif
