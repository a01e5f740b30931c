/// @file
/// Export macro of the Ranvok library: symbols are hidden unless marked.
#pragma once
/// Marks a class or function as part of the library's interface.
#define RANVOK_EXPORT __attribute__((visibility("default")))
