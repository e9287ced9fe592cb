// File: bench/district.h
//
// A generated district: the eight ORVE files of an export and Tempario's
// solution SOLUC for the import, at scale S (S = 100 is a district of
// 100,000 subjects, 200,000 assignments and 1,000,000 lessons). The codes
// refer to each other so that every lookup of both runs is taken: hits,
// misses, repeats in every letter case, accented codes, the numbering of
// repeated subject codes and the import's fall-backs. The same scale always
// gives the same bytes.
#pragma once

#include <filesystem>

namespace tto::bench {

// Writes the ORVE files into `orve_folder` and SOLUC.DBF into `work_folder`
// (both must exist).
void WriteDistrict(const std::filesystem::path& orve_folder,
                   const std::filesystem::path& work_folder, int scale);

}  // namespace tto::bench
