/// @file
/// Export macro of the Quessan library. Symbols are hidden unless marked; a class
/// marked with it exports all its members, inline ones included.
/// QUESSAN_STATIC_DEFINE: Quessan is built or used as a static library.
/// Quessan_EXPORTS: defined while Quessan itself is compiled (CMake does this for
/// shared libraries).
#pragma once

#if defined(QUESSAN_STATIC_DEFINE)
#define QUESSAN_EXPORT
#elif defined(_WIN32) || defined(__CYGWIN__)
#if defined(Quessan_EXPORTS)
#define QUESSAN_EXPORT __declspec(dllexport)
#else
#define QUESSAN_EXPORT __declspec(dllimport)
#endif
#elif defined(__GNUC__) || defined(__clang__)
/// Marks a class or function as part of the library's interface.
#define QUESSAN_EXPORT __attribute__((visibility("default")))
#else
#define QUESSAN_EXPORT
#endif
