// File: core/orve_path.h
//
// ORVE file names on a file system that tells letter case apart. The system
// names each file in one fixed case ("orve_asignat.txt",
// "ORVE_ACTIVIDADES.TXT"); in the folder the file may be named in any case.
// A name matches ignoring ASCII letter case; an exact match wins, and among
// several inexact ones the first in byte order, so the choice never depends
// on the order of the directory.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tto {

// The entries of `folder` whose names equal `name` ignoring ASCII letter
// case: an exact match first, the others in byte order of their names.
std::vector<std::filesystem::path> FindIgnoringCase(const std::filesystem::path& folder,
                                                    std::string_view name);

// The path of the file `name` in `folder` (which ends in "/"): the path of
// the existing entry that matches, else `folder` + `name` as given.
std::string ResolveOrvePath(const std::string& folder, std::string_view name);

// True when an entry that is not a directory matches `name` in `folder`.
bool OrveFileExists(const std::string& folder, std::string_view name);

// True when `path` names an existing directory.
bool DirectoryExists(const std::string& path);

}  // namespace tto
