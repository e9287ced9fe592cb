// The whole export run over a generated district-sized school, at growing
// sizes. The time per assignment should stay flat as the size doubles: every
// conversion, including the matching of assignments against groups and
// weekly-hours lines, is linear in its inputs.
//
//   cmake --build build --target export_bench && ./build/bench/export_bench
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/runs.h"
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

// "1" in column 1, then each value at its column.
std::string Record(std::initializer_list<std::pair<int, std::string>> fields) {
  std::string line = "1";
  for (const auto& [column, value] : fields) {
    const std::size_t start = static_cast<std::size_t>(column) - 1;
    if (line.size() < start + value.size()) line.resize(start + value.size(), ' ');
    line.replace(start, value.size(), value);
  }
  return line;
}

void WriteOrveFile(const std::filesystem::path& path, std::string_view name,
                   const std::vector<std::string>& records) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << '0' << name << "\r\n";
  for (const auto& record : records) out << record << "\r\n";
  out << '9' << name << "\r\n";
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string Padded(std::string_view prefix, std::int64_t number, std::size_t width) {
  std::string digits = std::to_string(number);
  std::string text(prefix);
  text.append(width - prefix.size() - digits.size(), '0');
  return text + digits;
}

struct Size {
  std::int64_t subjects;
  std::int64_t groups;
  std::int64_t assignments;
  std::int64_t hours_lines;
};

// A school at `scale` times 2000 subjects, 5000 groups, 20000 assignments
// and 20000 weekly-hours lines. Every fourth subject carries a language
// code. Most assignments find a weekly-hours line; the rest fall back to one
// hour.
void WriteSchool(const std::filesystem::path& folder, const Size& size) {
  const char* levels[] = {"ESO", "BAC", "FP", "PRI"};
  const char* shifts[] = {"M", "T"};
  // Eleven columns, so that a language code follows in columns 12 to 14 of
  // the subject code, as the assignments file carries it.
  auto subject_code = [](std::int64_t s) {
    std::string code = Padded("A", s, 6);
    code.resize(11, ' ');
    return code;
  };
  auto language = [](std::int64_t s) { return s % 4 == 0 ? std::string("ING") : std::string(); };
  auto group_code = [](std::int64_t g) { return Padded("G", g, 8); };

  std::vector<std::string> records;
  for (std::int64_t s = 0; s < size.subjects; ++s) {
    records.push_back(Record({{2, subject_code(s) + language(s)},
                              {22, "Asignatura numero " + std::to_string(s) + " de prueba"},
                              {172, language(s)}}));
  }
  WriteOrveFile(folder / "orve_asignat.txt", "ORVE_ASIGNAT.TXT", records);

  records.clear();
  for (std::int64_t g = 0; g < size.groups; ++g) {
    records.push_back(Record({{2, group_code(g)},
                              {15, levels[g % 4]},
                              {21, std::to_string(g % 4 + 1)},
                              {24, "E" + std::to_string(g % 100)},
                              {33, shifts[g % 2]}}));
  }
  WriteOrveFile(folder / "orve_grupo.txt", "ORVE_GRUPOS.TXT", records);

  records.clear();
  for (std::int64_t a = 0; a < size.assignments; ++a) {
    const std::int64_t s = (a * 7919) % size.subjects;
    const std::int64_t g = (a * 104729) % size.groups;
    records.push_back(Record({{2, group_code(g)}, {12, subject_code(s) + language(s)}}));
  }
  WriteOrveFile(folder / "orve_asignatgrupo.txt", "ORVE_ASIGNATGRUPO.TXT", records);

  // The weekly-hours lines of the combinations the assignments use (some
  // repeated, some for combinations no assignment has).
  records.clear();
  for (std::int64_t h = 0; h < size.hours_lines; ++h) {
    const std::int64_t a = (h * 3) % size.assignments;
    const std::int64_t s = (a * 7919) % size.subjects;
    const std::int64_t g = h % 10 == 0 ? h % size.groups : (a * 104729) % size.groups;
    records.push_back(Record({{2, levels[g % 4]},
                              {5, shifts[g % 2]},
                              {8, std::to_string(g % 4 + 1)},
                              {24, subject_code(s) + language(s)},
                              {44, h % 3 == 0 ? "2,5" : std::to_string(h % 20 + 1)},
                              {50, language(s)}}));
  }
  WriteOrveFile(folder / "orve_asignatcurso.txt", "ORVE_ASIGNATCURSO.TXT", records);

  records.clear();
  for (std::int64_t t = 0; t < size.groups / 10; ++t) {
    records.push_back(Record({{2, Padded("", t, 4)}, {6, "Profesor " + std::to_string(t)}}));
  }
  WriteOrveFile(folder / "orve_prof.txt", "ORVE_PROF.TXT", records);

  records.clear();
  for (std::int64_t r = 0; r < size.groups / 20; ++r) {
    records.push_back(Record({{2, Padded("A", r, 5)}, {12, "Aula " + std::to_string(r)}}));
  }
  WriteOrveFile(folder / "orve_aulas.txt", "ORVE_AULAS.TXT", records);

  records.clear();
  const char* days = "LMXJV";
  for (int d = 0; d < 5; ++d) {
    for (int p = 0; p < 6; ++p) {
      const std::string start = Padded("", 800 + p * 100, 4);
      const std::string end = Padded("", 855 + p * 100, 4);
      records.push_back(Record({{5, std::string(1, days[d]) + std::to_string(p + 1)},
                                {9, std::string(1, days[d])},
                                {10, start},
                                {14, end}}));
    }
  }
  WriteOrveFile(folder / "orve_sesiones.txt", "ORVE_SESIONES.TXT", records);
}

void BM_ExportRun(benchmark::State& state) {
  const std::int64_t scale = state.range(0);
  const Size size{2000 * scale, 5000 * scale, 20000 * scale, 20000 * scale};
  ScratchDir orve;
  ScratchDir work;
  WriteSchool(orve.path(), size);
  QuietHost host(orve.path().string());
  AppState app;
  for (auto _ : state) {
    RunContext run{host, app, work.path()};
    if (!RunWithErrorBox(host, [&] { RunExport(run); })) {
      state.SkipWithError(host.errors.back().c_str());
      break;
    }
  }
  state.SetItemsProcessed(state.iterations() * size.assignments);
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
  state.counters["assignments"] = static_cast<double>(size.assignments);
  state.counters["hours_lines"] = static_cast<double>(size.hours_lines);
}
BENCHMARK(BM_ExportRun)->Arg(1)->Arg(2)->Arg(4)->Unit(benchmark::kMillisecond);

// The assignments conversion alone, over the tables of one export run.
void BM_SubjectGroups(benchmark::State& state) {
  const std::int64_t scale = state.range(0);
  const Size size{2000 * scale, 5000 * scale, 20000 * scale, 20000 * scale};
  ScratchDir orve;
  ScratchDir work;
  WriteSchool(orve.path(), size);
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
  state.SetItemsProcessed(state.iterations() * size.assignments);
}
BENCHMARK(BM_SubjectGroups)->Arg(1)->Arg(2)->Arg(4)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tto

BENCHMARK_MAIN();
