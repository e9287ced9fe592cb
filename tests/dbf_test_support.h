// Shared by the dBase engine's tests.
#pragma once

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/errors.h"
#include "platform/dbf/table.h"
#include "tests/test_support.h"

namespace tto::dbf::testing_support {

inline const FieldDef kAllTypes[] = {
    {"NOMBRE", FieldType::kString, 10},
    {"NUM", FieldType::kInteger},
    {"ACTIVO", FieldType::kBoolean},
    {"HORAS", FieldType::kFloat},
};

inline std::string ErrorOf(auto&& action) {
  try {
    action();
  } catch (const EngineError& e) {
    return e.what();
  }
  return "(no error)";
}

inline std::vector<std::string> FilesIn(const tto::testing::TempDir& dir) {
  std::vector<std::string> files;
  for (auto& entry : std::filesystem::directory_iterator(dir.path())) {
    files.push_back(entry.path().filename().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

// Runs a Python script with Debian's interpreter (which has python3-dbf and
// dbfread) in `dir`; returns its standard output.
inline std::string Python(const tto::testing::TempDir& dir, const std::string& script) {
  tto::testing::WriteFile(dir / "script.py", script);
  int status = -1;
  std::string out = tto::testing::RunCommand("cd '" + dir.path().string() + "' && /usr/bin/python3 script.py", &status);
  EXPECT_EQ(status, 0) << script;
  return out;
}

}  // namespace tto::dbf::testing_support
