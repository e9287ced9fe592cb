#include "tests/shell/x11_session.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>

extern char** environ;

namespace tto::testing {
namespace {

using namespace std::chrono_literals;

// Spawns `argv` with `actions`; the process id, or -1.
pid_t Spawn(std::vector<std::string> argv, const posix_spawn_file_actions_t& actions,
            const std::vector<std::string>& extra_environment) {
  std::vector<char*> args;
  for (std::string& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  std::vector<std::string> environment(extra_environment);
  for (char** e = environ; *e != nullptr; ++e) environment.emplace_back(*e);
  std::vector<char*> env;
  for (std::string& e : environment) env.push_back(e.data());
  env.push_back(nullptr);
  pid_t pid = -1;
  if (::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), env.data()) != 0) pid = -1;
  return pid;
}

}  // namespace

bool OnPath(const std::string& program) {
  return std::system(("command -v '" + program + "' >/dev/null 2>&1").c_str()) == 0;
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::string Capture(const std::string& command) {
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
    ::pclose(pipe);
  }
  return out;
}

Process::Process(std::vector<std::string> argv, const std::filesystem::path& cwd,
                 const std::vector<std::string>& extra_environment) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  pid_ = Spawn(std::move(argv), actions, extra_environment);
  posix_spawn_file_actions_destroy(&actions);
}

Process::~Process() {
  if (pid_ > 0 && !exited_) {
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
}

bool Process::WaitForExit(std::chrono::milliseconds timeout) {
  for (auto end = std::chrono::steady_clock::now() + timeout;
       std::chrono::steady_clock::now() < end; std::this_thread::sleep_for(20ms)) {
    if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
      exited_ = true;
      return true;
    }
  }
  return false;
}

std::unique_ptr<Process> StartXvfb(const std::string& screen) {
  // Xvfb picks a free display and writes its number to the pipe.
  int fds[2];
  if (::pipe(fds) != 0) return nullptr;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  std::unique_ptr<Process> xvfb(new Process);
  xvfb->pid_ = Spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", screen,
                      "-nolisten", "tcp"},
                     actions, {});
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  std::string number;
  char c;
  while (xvfb->started() && ::read(fds[0], &c, 1) == 1 && c != '\n') number += c;
  ::close(fds[0]);
  if (number.empty()) return nullptr;
  ::setenv("DISPLAY", (":" + number).c_str(), 1);
  return xvfb;
}

}  // namespace tto::testing
