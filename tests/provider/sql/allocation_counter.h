// Counts heap allocations made through operator new while counting is switched on (test helper).
#pragma once

namespace dorvane::provider::sql::test {

void startCountingAllocations();
// Stops counting and returns the number of allocations since startCountingAllocations().
long stopCountingAllocations();

}  // namespace dorvane::provider::sql::test
