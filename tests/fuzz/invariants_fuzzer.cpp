// The core's invariants under libFuzzer: each input is a run (text, draws, failures, window).
#include "tests/invariants.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string broke = kelvorin::testing::Check(kelvorin::testing::Scenario(data, size));
    if (!broke.empty()) {
        std::fprintf(stderr, "%s\n", broke.c_str());
        std::abort();
    }
    return 0;
}
