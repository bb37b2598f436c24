#include "util/Hashing.hpp"
#include "util/ISO8601.hpp"

#include <benchmark/benchmark.h>
#include <vector>

using namespace quorvel;

static void BM_Sha256Hex_1MiB(benchmark::State &state) {
    std::vector<uint8_t> buffer(1 << 20);
    for (size_t i = 0; i < buffer.size(); ++i)
        buffer[i] = static_cast<uint8_t>(i * 131);
    for (auto _ : state)
        benchmark::DoNotOptimize(Hashing::sha256Hex(buffer));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(buffer.size()));
}
BENCHMARK(BM_Sha256Hex_1MiB);

static void BM_ISO8601Parse(benchmark::State &state) {
    const char *texts[] = {"2024-05-01T12:34:56Z", "2024-05-01T21:34:56.123456+09:00", "2024-05-01 12:34:56"};
    size_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(ISO8601::parse(texts[i++ % 3]));
}
BENCHMARK(BM_ISO8601Parse);
