// A byte I/O protocol over a buffer in memory, "krvmem:", so that the
// container can be driven from bytes (fuzzing, tests) without files.
// One buffer per thread; the protocol reads it and never writes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace krvfuzz {

// Registers the protocol once (idempotent).
void RegisterMemoryProtocol();

// The bytes that "krvmem:" names from now on, in this thread. The caller
// keeps them alive while a context reads them.
void SetMemoryFile(const uint8_t* data, size_t size);

constexpr const char* kMemoryFileName = "krvmem:recording";

}  // namespace krvfuzz
