#include "timetable/command.h"

#include <iostream>

#include "core/errors.h"
#include "platform/dbf/table.h"
#include "timetable/site.h"
#include "timetable/timetable.h"

namespace tto::timetable {

int TimetableCommand(const std::vector<std::string>& args, std::string_view usage) {
  const auto bad = [&](std::string_view problem) {
    std::cerr << "transtempexorve-cli: " << problem << "\n\n" << usage;
    return 64;
  };
  std::string orve_folder, work_folder, html, csv;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    std::string* value = arg == "--work-folder" ? &work_folder
                         : arg == "--html"      ? &html
                         : arg == "--csv"       ? &csv
                                                : nullptr;
    if (value != nullptr) {
      if (i + 1 == args.size()) return bad(arg + " needs a value");
      *value = args[++i];
    } else if (arg.starts_with("-")) {
      return bad("unknown option " + arg);
    } else if (orve_folder.empty()) {
      orve_folder = arg;
    } else {
      return bad("too many arguments");
    }
  }
  if (html.empty() && csv.empty()) return bad("timetable needs --html DIR or --csv FILE");
  try {
    const Week week =
        ReadWeek(work_folder.empty() ? dbf::DefaultWorkFolder() : std::filesystem::path(work_folder),
                 orve_folder);
    if (!html.empty()) WriteSite(week, html);
    if (!csv.empty()) WriteLessonsCsv(week, csv);
    std::cout << week.lessons.size() << " clases, " << week.clashes.size() << " choques\n";
    return 0;
  } catch (const std::exception& error) {
    std::cerr << error.what() << '\n';
    return 2;
  }
}

}  // namespace tto::timetable
