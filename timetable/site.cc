#include "timetable/site.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <set>
#include <vector>

#include "core/encoding.h"
#include "core/errors.h"
#include "core/text_file.h"
#include "report/run_report.h"

namespace tto::timetable {
namespace {

namespace fs = std::filesystem;

constexpr std::array<const char*, kKinds> kPagePrefix = {"grupo-", "profesor-", "aula-"};
constexpr std::array<const char*, kKinds> kKindTitle = {"Grupo", "Profesor", "Aula"};
constexpr std::array<const char*, kKinds> kKindPlural = {"Grupos", "Profesores", "Aulas"};

constexpr char kStyle[] = R"(<style>
body{font-family:"DejaVu Sans",Arial,sans-serif;margin:1em;color:#111}
h1{font-size:1.3em;margin:.2em 0}h1 small{font-weight:normal;color:#444}
nav{margin-bottom:.5em}
table.grid{border-collapse:collapse;width:100%;table-layout:fixed}
.grid th,.grid td{border:1px solid #777;padding:2px 4px;vertical-align:top;font-size:11px}
.grid thead th{background:#e4e4e4;text-transform:capitalize}
.grid thead th:first-child{width:6.5em}
.grid tbody th{background:#f2f2f2;text-align:left}
.grid tbody th span{display:block;font-weight:normal;color:#444}
.l{padding:2px;margin:1px 0;background:#e9f0fb}
.l span{display:block}.l .asig{font-weight:bold}
td.paralelo .l{background:#fff2c8}
td.choque{background:#f6c4c4}td.choque .l{background:#f2a9a9}
.lista{columns:3;font-size:.9em}
table.choques{border-collapse:collapse;font-size:.9em}
table.choques td,table.choques th{border:1px solid #999;padding:2px 6px;text-align:left}
@page{size:A4 landscape;margin:1cm}
@media print{nav,.nota{display:none}body{margin:0}table.grid{page-break-inside:avoid}
.grid th,.grid td{font-size:9px}td.choque{outline:2px solid #000}}
</style>)";

// Files written to temporaries, renamed into place together at the end.
class SiteWriter {
 public:
  explicit SiteWriter(fs::path folder) : folder_(std::move(folder)) {
    std::error_code error;
    fs::create_directories(folder_, error);
    if (!fs::is_directory(folder_)) Fail(folder_, error ? error.value() : ENOTDIR);
  }
  ~SiteWriter() {
    for (const auto& [temp, name] : files_) ::unlink(temp.c_str());
  }

  void Write(const std::string& name, std::string_view text) {
    const fs::path temp = folder_ / ("." + name + ".tmp");
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) Fail(folder_ / name, errno);
    files_.emplace_back(temp, name);
    while (!text.empty()) {
      const ssize_t n = ::write(fd, text.data(), text.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        const int error = n < 0 ? errno : EIO;
        ::close(fd);
        Fail(folder_ / name, error);
      }
      text.remove_prefix(static_cast<std::size_t>(n));
    }
    if (::close(fd) != 0) Fail(folder_ / name, errno);
  }

  // Syncs every file written at once, renames each into place, removes the
  // pages of an earlier site that are not written again, syncs the folder.
  void Commit() {
    const int dir = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) Fail(folder_, errno);
    if (::syncfs(dir) != 0) {
      const int error = errno;
      ::close(dir);
      Fail(folder_, error);
    }
    std::set<std::string> written;
    for (const auto& [temp, name] : files_) {
      if (::rename(temp.c_str(), (folder_ / name).c_str()) != 0) {
        const int error = errno;
        ::close(dir);
        Fail(folder_ / name, error);
      }
      written.insert(name);
    }
    files_.clear();
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder_, error)) {
      const std::string name = entry.path().filename().string();
      if (written.count(name) || !name.ends_with(".html")) continue;
      for (const char* prefix : kPagePrefix) {
        if (name.starts_with(prefix)) fs::remove(entry.path(), error);
      }
    }
    ::fsync(dir);
    ::close(dir);
  }

 private:
  [[noreturn]] static void Fail(const fs::path& path, int error) {
    throw Error("Cannot create file \"" + path.string() + "\". " + SystemErrorText(error));
  }
  fs::path folder_;
  std::vector<std::pair<fs::path, std::string>> files_;
};

// The HTML texts of the codes and names, made once.
struct Shown {
  explicit Shown(const Codes& codes) {
    code.reserve(codes.size());
    name.reserve(codes.size());
    for (std::uint32_t i = 0; i < codes.size(); ++i) {
      code.push_back(Html(codes.code(i)));
      name.push_back(Html(codes.Shown(i)));
    }
  }
  std::vector<std::string> code, name;
};

std::string PageName(int kind, std::uint32_t who) {
  return kPagePrefix[kind] + std::to_string(who) + ".html";
}

void Head(std::string& out, std::string_view title) {
  out += "<!DOCTYPE html>\n<html lang=\"es\"><head><meta charset=\"utf-8\"><title>";
  out += title;
  out += "</title>\n";
  out += kStyle;
  out += "</head><body>\n";
}

class Pages {
 public:
  explicit Pages(const Week& week)
      : week_(week),
        shown_{Shown(week.codes[kGroup]), Shown(week.codes[kTeacher]), Shown(week.codes[kRoom])},
        subjects_(week.subjects) {
    for (const Axis& d : week.days) days_.push_back(Html(d.label));
    for (const Axis& p : week.periods) {
      periods_.push_back(Html(p.label) + (p.times.empty() ? "" : "<span>" + Html(p.times) + "</span>"));
    }
  }

  // One page: the grid of `who`'s week, then its clashes.
  void Page(int kind, std::uint32_t who, const Clash* next_clash, const Clash* clash_end,
            std::string& out) {
    const Shown& s = shown_[kind];
    out.clear();
    Head(out, std::string(kKindTitle[kind]) + " " + s.code[who] + " \xc2\xb7 Horario");
    out += "<nav><a href=\"index.html\">\xc3\x8dndice</a></nav>\n<h1>";
    out += kKindTitle[kind];
    out += ' ';
    out += s.code[who];
    if (s.name[who] != s.code[who]) out += " <small>" + s.name[who] + "</small>";
    out += "</h1>\n<table class=\"grid\" id=\"horario\"><thead><tr><th>Hora</th>";
    for (const std::string& d : days_) out += "<th>" + d + "</th>";
    out += "</tr></thead><tbody>\n";
    const std::uint32_t* run = week_.lessons_of[kind].data() + week_.first[kind][who];
    const std::uint32_t* const end = week_.lessons_of[kind].data() + week_.first[kind][who + 1];
    for (std::uint16_t p = 0; p < week_.periods.size(); ++p) {
      out += "<tr><th>" + periods_[p] + "</th>";
      for (std::uint16_t d = 0; d < week_.days.size(); ++d) {
        const std::uint32_t* cell_end = run;
        while (cell_end != end && week_.lessons[*cell_end].period == p &&
               week_.lessons[*cell_end].day == d) {
          ++cell_end;
        }
        const bool clash =
            next_clash != clash_end && next_clash->period == p && next_clash->day == d;
        if (clash) ++next_clash;
        out += clash ? "<td class=\"choque\">" : cell_end - run > 1 ? "<td class=\"paralelo\">" : "<td>";
        for (; run != cell_end; ++run) Lesson(week_.lessons[*run], kind, out);
        out += "</td>";
      }
      out += "</tr>\n";
    }
    out += "</tbody></table>\n";
  }

  const Shown& shown(int kind) const { return shown_[kind]; }
  const std::string& day(std::uint16_t d) const { return days_[d]; }
  const std::string& period_label(std::uint16_t p) const { return week_.periods[p].label; }

 private:
  void Lesson(const timetable::Lesson& l, int page_kind, std::string& out) {
    out += "<div class=\"l\"><span class=\"asig\">";
    out += l.subject == kNone ? "" : subjects_.name[l.subject];
    out += "</span>";
    const std::array<std::uint32_t, kKinds> who = {l.group, l.teacher, l.room};
    static constexpr std::array<const char*, kKinds> kClass = {"grupo", "prof", "aula"};
    for (int k = 0; k < kKinds; ++k) {
      out += "<span class=\"";
      out += kClass[k];
      out += "\">";
      if (who[k] != kNone) {
        // A group by its code, its description (as long as a line) on hover.
        const std::string& text = k == kGroup ? shown_[k].code[who[k]] : shown_[k].name[who[k]];
        if (k != page_kind) {
          out += "<a href=\"" + PageName(k, who[k]) + "\"";
          if (k == kGroup) out += " title=\"" + shown_[k].name[who[k]] + "\"";
          out += ">" + text + "</a>";
        } else {
          out += text;
        }
      }
      out += "</span>";
    }
    out += "</div>";
  }

  const Week& week_;
  std::array<Shown, kKinds> shown_;
  Shown subjects_;
  std::vector<std::string> days_, periods_;
};

std::vector<std::uint32_t> ByCode(const Codes& codes) {
  std::vector<std::uint32_t> order(codes.size());
  for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(),
            [&](std::uint32_t a, std::uint32_t b) { return codes.code(a) < codes.code(b); });
  return order;
}

}  // namespace

std::string Html(std::string_view cp1252) {
  const std::string utf8 = Cp1252ToUtf8(cp1252);
  std::string out;
  out.reserve(utf8.size());
  for (const char c : utf8) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

void WriteSite(const Week& week, const fs::path& folder) {
  SiteWriter site(folder);
  Pages pages(week);
  std::string out;
  // The clashes of each kind run by code, as the pages are written.
  const Clash* clash = week.clashes.data();
  const Clash* const clashes_end = clash + week.clashes.size();
  std::array<std::vector<std::uint32_t>, kKinds> order;
  std::array<std::vector<std::uint32_t>, kKinds> clash_count;
  for (int k = 0; k < kKinds; ++k) {
    order[k] = ByCode(week.codes[k]);
    clash_count[k].assign(week.codes[k].size(), 0);
    for (const std::uint32_t who : order[k]) {
      const Clash* mine = clash;
      while (clash != clashes_end && clash->kind == k && clash->who == who) ++clash;
      clash_count[k][who] = static_cast<std::uint32_t>(clash - mine);
      if (week.first[k][who] == week.first[k][who + 1]) continue;  // no lessons: no page
      pages.Page(k, who, mine, clash, out);
      if (mine != clash) {
        out += "<section class=\"nota\"><h2>Choques</h2><ul>";
        for (const Clash* c = mine; c != clash; ++c) {
          out += "<li>" + pages.day(c->day) + " " + Html(pages.period_label(c->period)) + ": " +
                 std::to_string(c->lessons) + " clases</li>";
        }
        out += "</ul></section>\n";
      }
      out += "</body></html>\n";
      site.Write(PageName(k, who), out);
    }
  }

  // The index: what the site holds, then the clashes.
  out.clear();
  const std::string school = week.school.empty() ? "" : " " + Html(week.school);
  Head(out, "Horario" + school);
  out += "<h1>Horario" + school + "</h1>\n<p>" + std::to_string(week.lessons.size()) +
         " clases colocadas";
  if (week.unplaced != 0) out += ", " + std::to_string(week.unplaced) + " sin colocar (d\xc3\xad" "a 0)";
  out += ". " + std::to_string(week.clashes.size()) + " choques.</p>\n";
  out += "<h2>Choques</h2>\n";
  if (week.clashes.empty()) out += "<p>Ninguno.</p>\n";
  clash = week.clashes.data();
  for (int k = 0; k < kKinds; ++k) {
    if (clash == clashes_end || clash->kind != k) continue;
    out += "<h3>" + std::string(kKindPlural[k]) +
           "</h3>\n<table class=\"choques\" id=\"choques-" + kPagePrefix[k] +
           "\"><tr><th>C\xc3\xb3" "digo</th><th>Nombre</th><th>Horas</th></tr>\n";
    while (clash != clashes_end && clash->kind == k) {
      const std::uint32_t who = clash->who;
      out += "<tr><td><a href=\"" + PageName(k, who) + "\">" + pages.shown(k).code[who] +
             "</a></td><td>" + pages.shown(k).name[who] + "</td><td>";
      for (bool first = true; clash != clashes_end && clash->kind == k && clash->who == who;
           ++clash, first = false) {
        if (!first) out += ", ";
        out += pages.day(clash->day) + " " + Html(pages.period_label(clash->period)) + " (" +
               std::to_string(clash->lessons) + ")";
      }
      out += "</td></tr>\n";
    }
    out += "</table>\n";
  }
  out += "<p class=\"nota\">Un profesor o un aula choca cuando tiene en la misma hora clases que no son "
         "una sola (la misma asignatura, profesor y aula para varios grupos). Un grupo choca salvo "
         "que sus clases de esa hora sean de asignaturas que ASIGT le asigna, ninguna m\xc3\xa1s "
         "veces que las filas que tiene en ASIGT (asignaturas desdobladas o alternativas, que se "
         "muestran en paralelo).</p>\n";
  for (int k = 0; k < kKinds; ++k) {
    out += "<h2>" + std::string(kKindPlural[k]) + "</h2>\n<ul class=\"lista\">\n";
    for (const std::uint32_t who : order[k]) {
      if (week.first[k][who] == week.first[k][who + 1]) continue;
      out += "<li><a href=\"" + PageName(k, who) + "\">" + pages.shown(k).code[who] + "</a>";
      if (pages.shown(k).name[who] != pages.shown(k).code[who]) out += " " + pages.shown(k).name[who];
      if (clash_count[k][who] != 0) out += " <b>(" + std::to_string(clash_count[k][who]) + " choques)</b>";
      out += "</li>\n";
    }
    out += "</ul>\n";
  }
  out += "</body></html>\n";
  site.Write("index.html", out);
  site.Commit();
}

void WriteLessonsCsv(const Week& week, const fs::path& file) {
  TextFileWriter out(file.string());
  out.WriteLine(
      "dia,nombre_dia,hora,desde_hasta,grupo,nombre_grupo,profesor,nombre_profesor,asignatura,"
      "nombre_asignatura,aula,nombre_aula");
  // The UTF-8 fields of each code and name, made once.
  const auto fields = [](const Codes& codes) {
    std::vector<std::string> f(codes.size());
    for (std::uint32_t i = 0; i < codes.size(); ++i) {
      f[i] = CsvField(Cp1252ToUtf8(codes.code(i))) + ',' + CsvField(Cp1252ToUtf8(codes.name(i)));
    }
    return f;
  };
  const std::array<std::vector<std::string>, 4> names = {
      fields(week.codes[kGroup]), fields(week.codes[kTeacher]), fields(week.subjects),
      fields(week.codes[kRoom])};
  std::vector<std::string> days, periods;
  for (const Axis& d : week.days) days.push_back(CsvField(Cp1252ToUtf8(d.number)) + ',' + CsvField(Cp1252ToUtf8(d.label)));
  for (const Axis& p : week.periods) periods.push_back(CsvField(Cp1252ToUtf8(p.number)) + ',' + CsvField(p.times));
  std::string line;
  for (const Lesson& l : week.lessons) {
    line = days[l.day] + ',' + periods[l.period];
    for (int i = 0; i < 4; ++i) {
      const std::uint32_t id = i == 0 ? l.group : i == 1 ? l.teacher : i == 2 ? l.subject : l.room;
      line += ',';
      line += id == kNone ? "," : names[i][id];
    }
    out.WriteLine(line);
  }
  out.Commit();
}

}  // namespace tto::timetable
