#pragma once

// The C library's allocator set up for what this program does most: building and freeing models of
// millions of small records (message rows, contact fields).
namespace MallocTuning
{
// Call first thing in main(), before any thread starts.
void apply();
} // namespace MallocTuning
