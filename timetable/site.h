// File: timetable/site.h
//
// The week as a small static site to look at and print: an index with the
// clashes, and one page for each group, teacher and room with its grid of
// days by periods. Plain HTML and one style sheet in each page: no scripts,
// nothing fetched from elsewhere. And the lessons as one flat CSV file.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "timetable/timetable.h"

namespace tto::timetable {

// Text for HTML: Windows-1252 to UTF-8, with &, <, >, " and ' escaped.
std::string Html(std::string_view cp1252);

// Writes "index.html" and the pages into `folder` (created when missing).
// Every file goes to a temporary file first; once all are written and
// synced, each is renamed over its old version, and the pages of an earlier
// site that this one no longer has are removed. Throws `Error` on failure.
void WriteSite(const Week& week, const std::filesystem::path& folder);

// Writes every lesson with its names as CSV (UTF-8, CR LF), atomically.
void WriteLessonsCsv(const Week& week, const std::filesystem::path& file);

}  // namespace tto::timetable
