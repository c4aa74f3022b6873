// Every heap allocation in the test program, counted: the global operator
// new (and, where the C library allows it, malloc) is replaced.
#pragma once

#include <cstddef>

// How many allocations the program has made so far.
size_t allocations_made();

// Called by each replaced allocation function.
void count_allocation();
