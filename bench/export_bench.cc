// The whole export run over a generated district (bench/district.h), at
// growing sizes. The time per assignment should stay flat as the size
// doubles: every conversion, including the matching of assignments against
// groups and weekly-hours lines, is linear in its inputs.
//
//   cmake --build build --target export_bench && ./build/bench/export_bench
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "bench/district.h"
#include "runs/runs.h"
#include "platform/dbf/table.h"
#include "to_tempario/conversions.h"

namespace tto {
namespace {

// A run host that shows nothing.
class QuietHost : public RunHost {
 public:
  explicit QuietHost(std::string directory) : directory_(std::move(directory)) {}
  std::string CurrentDirectory() override { return directory_; }
  void ShowMessage(std::string_view) override {}
  void ShowError(std::string_view text) override { errors.emplace_back(text); }
  void SetWaitCursor(bool) override {}
  void DisableRunButtons() override {}
  void CloseWindow() override {}
  std::vector<std::string> errors;

 private:
  std::string directory_;
};

class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "tto-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

void BM_ExportRun(benchmark::State& state) {
  const int scale = static_cast<int>(state.range(0));
  ScratchDir orve;
  ScratchDir work;
  bench::WriteDistrict(orve.path(), work.path(), scale);
  QuietHost host(orve.path().string());
  AppState app;
  for (auto _ : state) {
    RunContext run{host, app, work.path()};
    if (!RunWithErrorBox(host, [&] { RunExport(run); })) {
      state.SkipWithError(host.errors.back().c_str());
      break;
    }
  }
  state.SetItemsProcessed(state.iterations() * 2000 * scale);
  // What the last run built, so that a data set that stopped matching shows.
  dbf::Table assignments =
      dbf::Table::Open(work.path(), "ASIGT", {.mode = dbf::OpenMode::kReadOnly});
  int with_details = 0;
  int sessions_above_1 = 0;
  for (assignments.First(); !assignments.Eof(); assignments.Next()) {
    if (!assignments.GetText("NIVEL").empty()) ++with_details;
    if (assignments.GetText("SESIONES") != "1") ++sessions_above_1;
  }
  state.counters["asigt_rows"] = assignments.RecordCount();
  state.counters["with_details"] = with_details;
  state.counters["sessions_above_1"] = sessions_above_1;
}
BENCHMARK(BM_ExportRun)->Arg(1)->Arg(2)->Arg(4)->Unit(benchmark::kMillisecond);

// The assignments conversion alone, over the tables of one export run.
void BM_SubjectGroups(benchmark::State& state) {
  const int scale = static_cast<int>(state.range(0));
  ScratchDir orve;
  ScratchDir work;
  bench::WriteDistrict(orve.path(), work.path(), scale);
  QuietHost host(orve.path().string());
  AppState app;
  RunContext run{host, app, work.path()};
  if (!RunWithErrorBox(host, [&] { RunExport(run); })) {
    state.SkipWithError(host.errors.back().c_str());
    return;
  }
  for (auto _ : state) {
    if (!RunWithErrorBox(host, [&] { ConvertSubjectGroups(run); })) {
      state.SkipWithError(host.errors.back().c_str());
      break;
    }
  }
  state.SetItemsProcessed(state.iterations() * 2000 * scale);
}
BENCHMARK(BM_SubjectGroups)->Arg(1)->Arg(2)->Arg(4)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tto

BENCHMARK_MAIN();
