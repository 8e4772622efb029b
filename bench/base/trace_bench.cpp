// A trace point with every flag clear against the same loop without it: the difference is the
// cost of a disabled trace point (one load of the unit's flag word and one branch).
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "MUT1.h"

VEL_TRACE_UNIT("bench");

namespace {

constexpr int kPoints = 1000;  // trace points per benchmark iteration

void BM_EmptyLoop(benchmark::State& state) {
  for (auto _ : state) {
    for (int i = 0; i < kPoints; ++i) benchmark::DoNotOptimize(i);
  }
  state.SetItemsProcessed(state.iterations() * kPoints);
}

void BM_DisabledTracePoint(benchmark::State& state) {
  for (auto _ : state) {
    for (int i = 0; i < kPoints; ++i) {
      benchmark::DoNotOptimize(i);
      VEL_DETAIL("step %d of the loop", i);
    }
  }
  state.SetItemsProcessed(state.iterations() * kPoints);
}

void BM_DisabledFlowScope(benchmark::State& state) {
  for (auto _ : state) {
    for (int i = 0; i < kPoints; ++i) {
      VEL_FLOW_ENTRY("bench::loop");
      benchmark::DoNotOptimize(i);
    }
  }
  state.SetItemsProcessed(state.iterations() * kPoints);
}

BENCHMARK(BM_EmptyLoop);
BENCHMARK(BM_DisabledTracePoint);
BENCHMARK(BM_DisabledFlowScope);

}  // namespace

int main(int argc, char** argv) {
  // Every flag clear for every unit, before the first trace point reads the settings.
  setenv("VEL_TRACE", "none", 1);
  MUT1_Invalidate();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
