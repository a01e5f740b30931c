#pragma once
#define ZENTAR_EXPORT __attribute__((visibility("default")))
