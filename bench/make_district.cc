// make_district S ORVE_FOLDER WORK_FOLDER: writes a generated district at
// scale S (see district.h), the ORVE files into ORVE_FOLDER and Tempario's
// SOLUC.DBF into WORK_FOLDER; both folders are created when missing.
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>

#include "bench/district.h"

int main(int argc, char** argv) {
  if (argc != 4 || std::atoi(argv[1]) < 1) {
    std::cerr << "usage: make_district S ORVE_FOLDER WORK_FOLDER (S >= 1)\n";
    return 64;
  }
  try {
    std::filesystem::create_directories(argv[2]);
    std::filesystem::create_directories(argv[3]);
    tto::bench::WriteDistrict(argv[2], argv[3], std::atoi(argv[1]));
  } catch (const std::exception& error) {
    std::cerr << "make_district: " << error.what() << '\n';
    return 1;
  }
  return 0;
}
