#pragma once

#include <functional>

namespace velmora::bench {

// The main of a bench that needs Qt's core and a prepared setup: reads Google Benchmark's arguments, then runs
// `body`, which prepares, calls RunRegisteredBenchmarks() and lets go. A VelmoraError on the way is reported
// under the program's name, with exit status 1.
int BenchMain(int argc, char** argv, const std::function<void()>& body);
void RunRegisteredBenchmarks();

} // namespace velmora::bench
