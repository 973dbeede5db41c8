// Google Benchmark runner of the jobs. Times are the CPU time of the whole process (the
// loopback server's thread included), which a loaded shared machine disturbs less than wall
// time; peer.py measures the same way. Each job's input digest and result digest go into the
// output's context ("input:NAME", "result:NAME") so that compare.py can check that peer.py
// read the same input and produced the same text.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <exception>

#include "inputs.h"
#include "jobs.h"
#include "pelmo/error.h"

namespace {

void run_job(benchmark::State& state, const pelmo::bench::Job* job) {
  try {
    for (auto _ : state) {
      if (job->reset) {
        state.PauseTiming();
        job->reset();
        state.ResumeTiming();
      }
      pelmo::Variant result = job->run();
      benchmark::DoNotOptimize(result);
    }
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
    return;
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(job->bytes));
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  // PELMO_BENCH_ITERATIONS=1 runs each job once: for instruction counts under callgrind.
  const char* fixed = std::getenv("PELMO_BENCH_ITERATIONS");
  const long iterations = fixed != nullptr ? std::strtol(fixed, nullptr, 10) : 0;
  pelmo::bench::JobSet set;
  for (const pelmo::bench::Job& job : set.jobs()) {
    std::string digest;
    try {
      if (job.reset) job.reset();
      digest = pelmo::bench::crc32_hex(pelmo::bench::result_text_utf8(job.run()));
    } catch (const std::exception& e) {
      digest = std::string("error: ") + e.what();
    }
    benchmark::AddCustomContext("input:" + job.name, job.input_digest);
    benchmark::AddCustomContext("result:" + job.name, digest);
    auto* registered = benchmark::RegisterBenchmark(job.name.c_str(), run_job, &job)
                           ->MeasureProcessCPUTime()
                           ->Unit(benchmark::kMillisecond);
    if (iterations > 0) registered->Iterations(iterations);
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
