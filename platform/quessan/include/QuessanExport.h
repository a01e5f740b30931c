#pragma once
#define QUESSAN_EXPORT __attribute__((visibility("default")))
