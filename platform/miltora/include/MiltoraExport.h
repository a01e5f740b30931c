/// @file
/// Export macro of the Miltora library: symbols are hidden unless marked.
#pragma once
/// Marks a class or function as part of the library's interface.
#define MILTORA_EXPORT __attribute__((visibility("default")))
