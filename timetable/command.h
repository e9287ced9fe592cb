// File: timetable/command.h
//
// transtempexorve-cli timetable [ORVE_FOLDER] [--work-folder W] [--html DIR]
// [--csv FILE]: the week of Tempario's solution as a static site and as one
// flat file of lessons. Exit status 0, 2 when an error stopped it, 64 for
// bad usage (`usage` is printed then).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tto::timetable {

int TimetableCommand(const std::vector<std::string>& args, std::string_view usage);

}  // namespace tto::timetable
