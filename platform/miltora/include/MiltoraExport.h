#pragma once
#define MILTORA_EXPORT __attribute__((visibility("default")))
