/// @file
/// Export macro of the Miltora library. Symbols are hidden unless marked; a class
/// marked with it exports all its members, inline ones included.
/// MILTORA_STATIC_DEFINE: Miltora is built or used as a static library.
/// Miltora_EXPORTS: defined while Miltora itself is compiled (CMake does this for
/// shared libraries).
#pragma once

#if defined(MILTORA_STATIC_DEFINE)
#define MILTORA_EXPORT
#elif defined(_WIN32) || defined(__CYGWIN__)
#if defined(Miltora_EXPORTS)
#define MILTORA_EXPORT __declspec(dllexport)
#else
#define MILTORA_EXPORT __declspec(dllimport)
#endif
#elif defined(__GNUC__) || defined(__clang__)
/// Marks a class or function as part of the library's interface.
#define MILTORA_EXPORT __attribute__((visibility("default")))
#else
#define MILTORA_EXPORT
#endif
