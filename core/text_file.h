// File: core/text_file.h
//
// Reading and writing ORVE text files. Two reading modes split a file into
// lines by different rules:
//
// - `LineReader` reads line by line: a line ends at LF or CR LF; a lone CR is
//   dropped; a Ctrl-Z at the start of a line ends the data, inside a line it
//   ends that line and the rest of the physical line is skipped; NUL is an
//   ordinary byte.
// - `LoadLines` loads a whole file: a line ends at CR, LF or CR LF; a NUL
//   ends the text; Ctrl-Z is an ordinary byte.
//
// `SaveLines` writes every entry followed by CR LF, atomically: a failed
// save leaves an earlier file untouched.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tto {

// The message of the text-file layer for an error number: 2 "File not
// found", 3 "Invalid filename", 4 "Too many open files", 5 "File access
// denied", 100 "Read beyond end of file", 101 "Disk full", 106 "Invalid
// numeric input", any other "I/O error %d".
std::string InOutErrorMessage(int error_number);

// The message for the errno `error` of a failed open, read or close: that
// of the equivalent number above where there is one ("File not found" for
// ENOENT, "File access denied" for EACCES, "Disk full" for ENOSPC), else
// "I/O error %d" with the errno itself.
std::string SystemInOutErrorMessage(int error);

// A text file read line by line. Opening and every read throw `Error` with
// `SystemInOutErrorMessage`'s text on failure, placed at the file (and the
// line being read). The file is closed by `Close` or, at the latest, by the
// destructor.
class LineReader {
 public:
  LineReader() = default;
  explicit LineReader(const std::string& path) { Open(path); }
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;
  ~LineReader();

  void Open(const std::string& path);
  // True when no further line can be read; asked before each line.
  bool AtEnd();
  // The next line, without its terminator.
  std::string ReadLine();
  void Close();

 private:
  // Returns the next byte, or -1 at the end of the file.
  int Peek();
  int Get();
  void Fill();

  int fd_ = -1;
  std::string path_;
  std::size_t lines_read_ = 0;
  std::vector<char> buffer_;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  bool eof_ = false;
};

// The lines of the file at `path`. Throws "Cannot open file "%s". %s" (the
// path, then the operating system's reason) when it cannot be read.
std::vector<std::string> LoadLines(const std::string& path);

// Creates or replaces the file at `path` with every line followed by CR LF.
// Throws "Cannot create file "%s". %s" on failure, leaving any earlier file
// as it was.
void SaveLines(const std::vector<std::string>& lines, const std::string& path);

// Creates or replaces the file at `path` with `data`, through a temporary
// file that is synced and renamed; fails like SaveLines.
void SaveFile(std::string_view data, const std::string& path);

// The operating system's description of errno `error`, without trailing
// full stops, spaces or line breaks.
std::string SystemErrorText(int error);

}  // namespace tto
