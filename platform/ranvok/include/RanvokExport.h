#pragma once
#define RANVOK_EXPORT __attribute__((visibility("default")))
