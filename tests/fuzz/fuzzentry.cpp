// The libFuzzer entry of each fuzz executable, built once per target with
// LCKB_FUZZ_TARGET naming it; the replay test calls the targets itself.
#include "fuzzcheck.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, size_t size)
{
    lckb::fuzz::LCKB_FUZZ_TARGET(data, size);
    return 0;
}
