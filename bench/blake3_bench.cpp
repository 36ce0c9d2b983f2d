// BLAKE3 throughput of the blob store's content hash, from one small attachment to the largest
// one the program puts (32 MiB).
#include <benchmark/benchmark.h>

#include <string>

#include "platform/services/blake3.h"

namespace {

void BM_Blake3(benchmark::State& state) {
    std::string input(static_cast<std::size_t>(state.range(0)), '\0');
    for (std::size_t i = 0; i < input.size(); ++i) input[i] = static_cast<char>(i % 251);
    for (auto _ : state) {
        std::string hash = mail::services::blake3_hex(input);
        benchmark::DoNotOptimize(hash);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Blake3)->Arg(1 << 10)->Arg(1 << 20)->Arg(32 << 20)->Unit(benchmark::kMicrosecond);

}  // namespace
