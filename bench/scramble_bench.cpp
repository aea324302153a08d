// The in-memory floor of a click of "Do", on texts of several lengths.
#include "bench/floor.h"

BENCHMARK(kelvorin::bench::FloorClick)
    ->Name("ScrambleAndMirror")
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(32767)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
