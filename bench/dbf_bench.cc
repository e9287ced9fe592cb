// Append, scan and locate on tables of growing size: the time per record
// stays flat when each operation is linear in the table.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/dbf/table.h"

namespace {

using tto::dbf::FieldDef;
using tto::dbf::FieldType;
using tto::dbf::Table;

const FieldDef kFields[] = {
    {"CASIG", FieldType::kString, 10}, {"CGRUP", FieldType::kString, 10},
    {"NIVEL", FieldType::kString, 5},  {"HORAS", FieldType::kFloat},
    {"ACTIVO", FieldType::kBoolean},   {"DNI", FieldType::kInteger},
};

std::filesystem::path Folder() {
  static const std::filesystem::path folder = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "dbf-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    return std::filesystem::path(pattern);
  }();
  return folder;
}

std::string Code(std::int64_t i) { return "A" + std::to_string(i); }

void Fill(std::int64_t n) {
  Table t = Table::Recreate(Folder(), "BENCH", kFields);
  for (std::int64_t i = 0; i < n; ++i) {
    t.Append();
    t.SetText("CASIG", Code(i));
    t.SetText("CGRUP", "1ESOA");
    t.SetText("NIVEL", "ESO");
    t.SetFloat("HORAS", 2.5);
    t.SetBool("ACTIVO", true);
    t.Post();
  }
}

void BM_Append(benchmark::State& state) {
  for (auto _ : state) Fill(state.range(0));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_OpenAndScan(benchmark::State& state) {
  Fill(state.range(0));
  for (auto _ : state) {
    Table t = Table::Open(Folder(), "BENCH", {tto::dbf::OpenMode::kReadOnly});
    std::size_t total = 0;
    for (t.First(); !t.Eof(); t.Next()) total += t.GetText("CASIG").size();
    benchmark::DoNotOptimize(total);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

// The same pass with the field resolved once and read without a copy.
void BM_OpenAndScanViews(benchmark::State& state) {
  Fill(state.range(0));
  for (auto _ : state) {
    Table t = Table::Open(Folder(), "BENCH", {tto::dbf::OpenMode::kReadOnly});
    const tto::dbf::FieldHandle code = t.Field("CASIG");
    std::size_t total = 0;
    for (t.First(); !t.Eof(); t.Next()) total += t.TextView(code).size();
    benchmark::DoNotOptimize(total);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

// One locate per record on two fields, the last record first, after opening.
void BM_OpenAndLocateEach(benchmark::State& state) {
  Fill(state.range(0));
  for (auto _ : state) {
    Table t = Table::Open(Folder(), "BENCH", {tto::dbf::OpenMode::kReadOnly});
    std::vector<std::string> key = {"", "1ESOA"};
    for (std::int64_t i = state.range(0) - 1; i >= 0; --i) {
      key[0] = Code(i);
      if (!t.Locate("CASIG;CGRUP", key)) state.SkipWithError("not found");
    }
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

// A pass that edits every record, as the time-slot conversion's second pass.
void BM_EditEach(benchmark::State& state) {
  Fill(state.range(0));
  for (auto _ : state) {
    Table t = Table::Open(Folder(), "BENCH");
    for (t.First(); !t.Eof(); t.Next()) {
      t.Edit();
      t.SetText("NIVEL", t.GetText("NIVEL") == "ESO" ? "BAC" : "ESO");
      t.Post();
    }
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

// The same pass after a locate on the edited field: every edit moves its
// record from one key of the locate index to another.
void BM_EditLocatedFieldEach(benchmark::State& state) {
  Fill(state.range(0));
  for (auto _ : state) {
    Table t = Table::Open(Folder(), "BENCH");
    t.Locate("NIVEL", std::string("BAC"));
    for (t.First(); !t.Eof(); t.Next()) {
      t.Edit();
      t.SetText("NIVEL", t.GetText("NIVEL") == "ESO" ? "BAC" : "ESO");
      t.Post();
    }
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

BENCHMARK(BM_Append)->RangeMultiplier(10)->Range(1000, 100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenAndScan)->RangeMultiplier(10)->Range(1000, 100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenAndScanViews)->RangeMultiplier(10)->Range(1000, 100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EditEach)->RangeMultiplier(10)->Range(1000, 100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EditLocatedFieldEach)->RangeMultiplier(10)->Range(1000, 100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenAndLocateEach)->RangeMultiplier(10)->Range(1000, 100000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::filesystem::remove_all(Folder());
  return 0;
}
