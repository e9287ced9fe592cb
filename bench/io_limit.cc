// io_limit: the least that a run must do with its files, as the benchmark's
// yardstick. Reads every input file whole, then writes every output file
// from the bytes of a reference copy and syncs it, as a durable save does;
// prints the seconds that this took. The reference copies are read before
// the clock starts.
//
//   io_limit [-r INPUT]... [-w REFERENCE OUTPUT]...
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

bool ReadAll(const char* path, std::string* into) {
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  static char buffer[1 << 20];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    if (into != nullptr) into->append(buffer, static_cast<std::size_t>(n));
  }
  return ::close(fd) == 0;
}

bool WriteSynced(const char* path, const std::string& bytes) {
  const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  for (std::size_t done = 0; done < bytes.size();) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) {
      ::close(fd);
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  const bool synced = ::fsync(fd) == 0;
  return ::close(fd) == 0 && synced;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<const char*> inputs;
  std::vector<std::pair<std::string, const char*>> outputs;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-r") == 0 && i + 1 < argc) {
      inputs.push_back(argv[++i]);
    } else if (std::strcmp(argv[i], "-w") == 0 && i + 2 < argc) {
      std::string bytes;
      if (!ReadAll(argv[i + 1], &bytes)) {
        std::perror(argv[i + 1]);
        return 1;
      }
      outputs.emplace_back(std::move(bytes), argv[i + 2]);
      i += 2;
    } else {
      std::fprintf(stderr, "usage: io_limit [-r INPUT]... [-w REFERENCE OUTPUT]...\n");
      return 64;
    }
  }
  const auto start = std::chrono::steady_clock::now();
  for (const char* input : inputs) {
    if (!ReadAll(input, nullptr)) {
      std::perror(input);
      return 1;
    }
  }
  for (const auto& [bytes, output] : outputs) {
    if (!WriteSynced(output, bytes)) {
      std::perror(output);
      return 1;
    }
  }
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  std::printf("%.6f\n", elapsed.count());
  return 0;
}
