// Fuzzes the whole ZORV reading and decoding through zorv_decode, the entry
// point the zorv program uses, with the output kept in memory.
#include <cstddef>
#include <cstdint>

#include "zorv_container.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ZorvMemorySink sink;
    zorv_decode({data, size}, sink);
    return 0;
}
