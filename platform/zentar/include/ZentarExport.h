/// @file
/// Export macro of the Zentar library. Symbols are hidden unless marked; a class
/// marked with it exports all its members, inline ones included.
/// ZENTAR_STATIC_DEFINE: Zentar is built or used as a static library.
/// Zentar_EXPORTS: defined while Zentar itself is compiled (CMake does this for
/// shared libraries).
#pragma once

#if defined(ZENTAR_STATIC_DEFINE)
#define ZENTAR_EXPORT
#elif defined(_WIN32) || defined(__CYGWIN__)
#if defined(Zentar_EXPORTS)
#define ZENTAR_EXPORT __declspec(dllexport)
#else
#define ZENTAR_EXPORT __declspec(dllimport)
#endif
#elif defined(__GNUC__) || defined(__clang__)
/// Marks a class or function as part of the library's interface.
#define ZENTAR_EXPORT __attribute__((visibility("default")))
#else
#define ZENTAR_EXPORT
#endif
