// Export macro of the Tarvex library: symbols are hidden unless marked.
#pragma once
#define TARVEX_EXPORT __attribute__((visibility("default")))
