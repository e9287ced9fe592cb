// Helpers of the end-to-end tests that run the program under an X server
// of their own: child processes ended with the test, command output, files.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace tto::testing {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

inline bool OnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  for (std::size_t start = 0; start <= dirs.size();) {
    std::size_t colon = dirs.find(':', start);
    if (colon == std::string::npos) colon = dirs.size();
    if (::access((dirs.substr(start, colon - start) + "/" + program).c_str(), X_OK) == 0) {
      return true;
    }
    start = colon + 1;
  }
  return false;
}

// A child process, ended (by its own id) when the object goes.
class Process {
 public:
  Process(std::vector<std::string> argv, const fs::path& cwd = {},
          const posix_spawn_file_actions_t* actions = nullptr) {
    std::vector<char*> args;
    for (std::string& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    posix_spawn_file_actions_t own;
    posix_spawn_file_actions_init(&own);
    if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&own, cwd.c_str());
    if (::posix_spawnp(&pid_, args[0], actions ? actions : &own, nullptr, args.data(), environ) !=
        0) {
      pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&own);
  }
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;
  ~Process() {
    if (pid_ > 0 && !exited_) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  bool started() const { return pid_ > 0; }
  // True when the process ended within `timeout`.
  bool WaitForExit(std::chrono::milliseconds timeout) {
    for (auto end = std::chrono::steady_clock::now() + timeout;
         std::chrono::steady_clock::now() < end; std::this_thread::sleep_for(20ms)) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        exited_ = true;
        return true;
      }
    }
    return false;
  }

 private:
  pid_t pid_ = -1;
  bool exited_ = false;
};

inline std::string Capture(const std::string& command) {
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
    ::pclose(pipe);
  }
  return out;
}

inline std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Starts Xvfb on a free display; the display's name (":N"), empty when it
// did not start.
inline std::string StartXvfb(std::unique_ptr<Process>& xvfb) {
  int fds[2];
  if (::pipe(fds) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  xvfb = std::make_unique<Process>(
      std::vector<std::string>{"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0",
                               "1024x768x24", "-nolisten", "tcp"},
      fs::path(), &actions);
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  std::string number;
  char c;
  while (xvfb->started() && ::read(fds[0], &c, 1) == 1 && c != '\n') number += c;
  ::close(fds[0]);
  return number.empty() ? std::string() : ":" + number;
}

}  // namespace tto::testing
