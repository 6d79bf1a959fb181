// libFuzzer entry point over the document round trip (built with -DQUILLON_FUZZ=ON).
#include "roundtrip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return quillonFuzzOne(data, size);
}
