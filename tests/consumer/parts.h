// The consumers' provider: one meta class and its provider on the provider
// kit. A consumer project builds it into its program, or into a library of
// its own that is installed and linked in turn.
#pragma once

#include <cstdint>

namespace parts {

// Registers the provider with the framework, which runs it at start-up.
void registerProvider();
void unregisterProvider();

// Fills and reads back a meta of the part type on the calling thread.
bool useMetaOnThisThread(std::int32_t count);

// The version macros these sources were compiled with agree with each other
// and with `expected`.
bool versionMacrosAgree(const char* expected);

}  // namespace parts
