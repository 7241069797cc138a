// The image road's allocator as the tests link it: it can be told to fail.
#pragma once

// The nth allocation from now on fails (1 = the next one); 0 turns the fault
// off again.
void Tavik_FailAllocation(int nth);
