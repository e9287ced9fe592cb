// Helpers of the tests that drive the real program on an X server of their
// own: child processes, the output of shell commands, Xvfb.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace tto::testing {

bool OnPath(const std::string& program);

// What a shell command writes to its standard output.
std::string Capture(const std::string& command);

// The whole content of a file; empty when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);

// A child process, ended (by its own id) when the object goes. It gets this
// process's environment with `extra_environment` ("NAME=value") in front.
class Process {
 public:
  explicit Process(std::vector<std::string> argv, const std::filesystem::path& cwd = {},
                   const std::vector<std::string>& extra_environment = {});
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;
  ~Process();

  bool started() const { return pid_ > 0; }
  // True when the process ended within `timeout`.
  bool WaitForExit(std::chrono::milliseconds timeout);

 private:
  friend std::unique_ptr<Process> StartXvfb(const std::string& screen);
  Process() = default;

  pid_t pid_ = -1;
  bool exited_ = false;
};

// Starts Xvfb on a free display with one screen ("1024x768x24") and points
// DISPLAY at it; null when it did not start.
std::unique_ptr<Process> StartXvfb(const std::string& screen);

}  // namespace tto::testing
