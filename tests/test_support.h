// Shared helpers of the test programs: temporary folders, fixture files, a
// host that records what the runs show, and reading tables back.
#pragma once

#include <chrono>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "runs/runs.h"

namespace tto::testing {

// A fresh folder under the system's temporary folder, removed with all it
// holds when the object goes.
class TempDir {
 public:
  TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir();
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Writes `bytes` to `path` exactly (no line-end conversion).
void WriteFile(const std::filesystem::path& path, std::string_view bytes);
std::string ReadFile(const std::filesystem::path& path);

// Puts at `path` an entry that exists and is not a folder but cannot be
// opened for reading, even by root: a Unix socket (opening it fails with
// "I/O error 6"). Tests run as root, so permissions cannot make a file
// unreadable.
void MakeUnreadableFile(const std::filesystem::path& path);

// Joins lines with CR LF after each, as ORVE writes its files.
std::string CrLf(std::initializer_list<std::string_view> lines);

// A run host that records everything the runs show or do.
class RecordingHost : public RunHost {
 public:
  explicit RecordingHost(std::string directory = {}) : directory(std::move(directory)) {}
  std::string CurrentDirectory() override { return directory; }
  void ShowMessage(std::string_view text) override { messages.emplace_back(text); }
  void ShowError(std::string_view text) override { errors.emplace_back(text); }
  void ShowErrorPlace(std::string_view place) override { error_places.emplace_back(place); }
  void SetWaitCursor(bool shown) override { cursor_events.push_back(shown); }
  void DisableRunButtons() override { buttons_disabled = true; }
  void CloseWindow() override { closed = true; }

  std::string directory;
  std::vector<std::string> messages;
  std::vector<std::string> errors;
  std::vector<std::string> error_places;
  std::vector<bool> cursor_events;
  bool buttons_disabled = false;
  bool closed = false;
};

// An ORVE folder and a work folder with a host pointed at the first: the
// usual frame of a test that drives a run.
struct RunFixture {
  RunFixture();
  // Writes an ORVE file into the ORVE folder.
  void Put(std::string_view name, std::string_view bytes) const;
  // Runs the export or the import the way a click does (errors go to the
  // error box); returns false when an error ended the run.
  bool Export();
  bool Import();

  TempDir orve;
  TempDir work;
  RecordingHost host;
  AppState state;
  std::chrono::milliseconds run_lock_wait = std::chrono::seconds(5);
  // Given to the runs' context when set.
  ProgressSink* progress = nullptr;
};

// Every record of the table NAME in `folder`, each as the texts of `fields`,
// read with our own engine.
std::vector<std::vector<std::string>> ReadRows(const std::filesystem::path& folder,
                                               std::string_view name,
                                               std::initializer_list<std::string_view> fields);

// Every record of the .DBF file at `path` as read by an independent reader
// (Python's dbfread), values as Windows-1252 text, booleans as "T"/"F"/"",
// numbers in Python's repr. Fails the test when the reader cannot open it.
std::vector<std::vector<std::string>> ReadRowsExternally(const std::filesystem::path& path);

// A lesson of Tempario's solution, appended to SOLUC by `AppendLessons`.
struct SolucLesson {
  int day = 1, period = 1;
  std::string teacher = {}, group = {}, activity = {}, subject = {}, room = {};
};
// Appends `lessons` to SOLUC in `work_folder`, each with frame "0".
void AppendLessons(const std::filesystem::path& work_folder,
                   const std::vector<SolucLesson>& lessons);

// Runs a shell command; returns its standard output; `status` gets the exit
// status.
std::string RunCommand(const std::string& command, int* status = nullptr);

}  // namespace tto::testing
