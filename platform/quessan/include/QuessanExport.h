/// @file
/// Export macro of the Quessan library: symbols are hidden unless marked.
#pragma once
/// Marks a class or function as part of the library's interface.
#define QUESSAN_EXPORT __attribute__((visibility("default")))
