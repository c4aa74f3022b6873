// The per-line path timed on every sample line, beside the literal reading
// (a copy and up to four searches) and one strlen over the same line, the
// least any reading of a zero-terminated line can cost.
#include "bell/trigger.h"
#include "module/exports.h"
#include "module/state.h"
#include "tests/stubs/recorder.h"
#include "tests/trigger/literal_reading.h"
#include "tests/trigger/sample_lines.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

namespace {

constexpr size_t rings_kept = 1024;

void prepare(const sample_line& sample) {
  reset_module_and_recorder();
  wave_path = "bell.wav";
  enabled = sample.enabled ? -1 : 0;
}

// The recorder keeps every ring; drop them now and then so memory stays flat.
void forget_rings() {
  if (recorded.played.size() >= rings_kept) {
    recorded.played.clear();
  }
}

void time_on_inet(benchmark::State& state, const sample_line& sample) {
  prepare(sample);
  const char* line = sample.text.c_str();
  for (auto _ : state) {
    benchmark::DoNotOptimize(line);
    on_inet(sample.kind, line);
    forget_rings();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * sample.text.size()));
}

// One of the trigger's narrower readings, which on_inet takes where the
// processor lacks the wider ones; the early exits are on_inet's.
void time_reading(benchmark::State& state, const sample_line& sample, line_reading reading) {
  prepare(sample);
  const char* line = sample.text.c_str();
  for (auto _ : state) {
    benchmark::DoNotOptimize(line);
    if (is_request_or_whisper(line, reading)) {
      ring_bell();
    }
    forget_rings();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * sample.text.size()));
}

void time_literal_reading(benchmark::State& state, const sample_line& sample) {
  prepare(sample);
  const char* line = sample.text.c_str();
  for (auto _ : state) {
    benchmark::DoNotOptimize(line);
    if (literal_rings(sample.kind, line)) {
      ring_bell();
    }
    forget_rings();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * sample.text.size()));
}

void time_strlen(benchmark::State& state, const sample_line& sample) {
  const char* line = sample.text.c_str();
  for (auto _ : state) {
    benchmark::DoNotOptimize(line);
    benchmark::DoNotOptimize(std::strlen(line));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * sample.text.size()));
}

} // namespace

int main(int argc, char** argv) {
  static const std::vector<sample_line> samples = sample_lines();
  for (const sample_line& sample : samples) {
    const std::string name = sample.name;
    benchmark::RegisterBenchmark(("on_inet/" + name).c_str(), time_on_inet, sample);
    if (sample.enabled && sample.kind == 2 && sample.text.front() == '(') {
      benchmark::RegisterBenchmark(("sse2/" + name).c_str(), time_reading, sample, sse2_reading);
      benchmark::RegisterBenchmark(("avx2/" + name).c_str(), time_reading, sample, avx2_reading);
    }
    benchmark::RegisterBenchmark(("literal/" + name).c_str(), time_literal_reading, sample);
    benchmark::RegisterBenchmark(("strlen/" + name).c_str(), time_strlen, sample);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
