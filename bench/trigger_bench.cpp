// The per-line path with Google Benchmark: on_inet beside the literal reading
// and strlen on every sample line (bench/timed_calls.h).
#include "bench/timed_calls.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

template <auto call> void time_call(benchmark::State& state, const sample_line& sample) {
  prepare(sample);
  const char* line = sample.text.c_str();
  for (auto _ : state) {
    benchmark::DoNotOptimize(line);
    benchmark::DoNotOptimize(call(sample, line));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * sample.text.size()));
}

} // namespace

int main(int argc, char** argv) {
  static const std::vector<sample_line> samples = sample_lines();
  for (const sample_line& sample : samples) {
    const std::string name = sample.name;
    benchmark::RegisterBenchmark(("on_inet/" + name).c_str(), time_call<call_on_inet>, sample);
    benchmark::RegisterBenchmark(("literal/" + name).c_str(), time_call<call_literal_reading>,
                                 sample);
    benchmark::RegisterBenchmark(("strlen/" + name).c_str(), time_call<call_strlen>, sample);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
