// The per-line path timed on the Windows build, which has no Google Benchmark:
// the same calls on the same lines (bench/timed_calls.h), each run in nine
// rounds of about 20 ms, the median round's nanoseconds per call printed in
// Google Benchmark's JSON layout for bench/table.py.
#include "bench/timed_calls.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

using wall_clock = std::chrono::steady_clock;

volatile size_t result_sink;

template <auto call> double nanoseconds_per_call(const sample_line& sample) {
  prepare(sample);
  // Read anew for every call, so that no call is hoisted out of the loop.
  const char* volatile line = sample.text.c_str();
  const auto round = [&](size_t calls) {
    const auto start = wall_clock::now();
    for (size_t i = 0; i < calls; ++i) {
      result_sink = call(sample, line);
    }
    return std::chrono::duration<double, std::nano>(wall_clock::now() - start).count();
  };
  size_t calls = 1;
  while (round(calls) < 2e6) {
    calls *= 2;
  }
  calls *= 10;
  std::vector<double> rounds(9);
  for (double& time : rounds) {
    time = round(calls) / static_cast<double>(calls);
  }
  std::nth_element(rounds.begin(), rounds.begin() + 4, rounds.end());
  return rounds[4];
}

void print_case(const char* reading, const sample_line& sample, double nanoseconds, bool last) {
  std::printf("  {\"name\": \"%s/%s\", \"cpu_time\": %.2f, \"time_unit\": \"ns\"}%s\n", reading,
              sample.name, nanoseconds, last ? "" : ",");
}

} // namespace

int main() {
  const std::vector<sample_line> samples = sample_lines();
  std::printf("{\"benchmarks\": [\n");
  for (const sample_line& sample : samples) {
    print_case("on_inet", sample, nanoseconds_per_call<call_on_inet>(sample), false);
    print_case("literal", sample, nanoseconds_per_call<call_literal_reading>(sample), false);
    print_case("strlen", sample, nanoseconds_per_call<call_strlen>(sample),
               &sample == &samples.back());
  }
  std::printf("]}\n");
  return 0;
}
