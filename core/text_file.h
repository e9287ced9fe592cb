// File: core/text_file.h
//
// Reading and writing ORVE text files. Two reading modes split a file into
// lines by different rules:
//
// - `LineReader` reads line by line: a line ends at LF or CR LF; a lone CR is
//   dropped; a Ctrl-Z at the start of a line ends the data, inside a line it
//   ends that line and the rest of the physical line is skipped; NUL is an
//   ordinary byte.
// - `LoadedLines` loads a whole file: a line ends at CR, LF or CR LF; a NUL
//   ends the text; Ctrl-Z is an ordinary byte.
//
// `SaveLines` writes every entry followed by CR LF, atomically: a failed
// save leaves an earlier file untouched. `TextFileWriter` does the same for a
// file written line by line as its lines are made.
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
  // The next line, without its terminator. The view stays valid until the
  // next call on the reader.
  std::string_view ReadLine();
  void Close();

 private:
  // Returns the next byte, or -1 at the end of the file.
  int Peek();
  // Refills the buffer when it is used up; false at the end of the file.
  bool Fill();
  // Moves past the next line feed (or to the end of the file).
  void SkipPastLineFeed();
  std::string_view ReadLineUncounted();

  int fd_ = -1;
  std::string path_;
  std::size_t lines_read_ = 0;
  std::vector<char> buffer_;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  bool eof_ = false;
  // A line that does not lie whole in the buffer, or that holds a carriage
  // return to drop, is put together here.
  std::string line_;
};

// A whole file loaded as one buffer, walked line by line from the first:
// every line is a view into the buffer, so memory is the file's size
// whatever its number of lines. Throws "Cannot open file "%s". %s" (the
// path, then the operating system's reason) when it cannot be read.
class LoadedLines {
 public:
  explicit LoadedLines(const std::string& path);

  class Iterator {
   public:
    using value_type = std::string_view;
    using difference_type = std::ptrdiff_t;
    std::string_view operator*() const { return line_; }
    Iterator& operator++() {
      Scan(after_);
      return *this;
    }
    bool operator==(const Iterator& other) const { return next_ == other.next_; }

   private:
    friend class LoadedLines;
    Iterator(std::string_view data, std::size_t at);
    void Scan(std::size_t at);
    std::string_view data_;
    // Where the current line starts; the data's size at the end.
    std::size_t next_;
    std::size_t after_ = 0;  // where the line after it starts
    std::string_view line_;
  };
  Iterator begin() const { return Iterator(data_, 0); }
  Iterator end() const { return Iterator(data_, data_.size()); }

 private:
  std::string data_;  // up to the first NUL
};

// Creates or replaces the file at `path` with every line followed by CR LF.
// Throws "Cannot create file "%s". %s" on failure, leaving any earlier file
// as it was.
void SaveLines(const std::vector<std::string>& lines, const std::string& path);

// Creates or replaces the file at `path` with `data`, through a temporary
// file that is synced and renamed; fails like SaveLines.
void SaveFile(std::string_view data, const std::string& path);

// A text file written line by line and saved atomically: the lines go
// through a buffer into a temporary file in the target's folder, which
// `Commit` syncs and renames over the target. A writer destroyed without
// `Commit` (an error ended the work) removes its temporary file and leaves an
// earlier file as it was. A failure to create or write the file is raised by
// `Commit`, as "Cannot create file "%s". %s", so that it comes at the point
// where a file saved in one step at the end would fail, after any other
// error of the work that makes the lines.
class TextFileWriter {
 public:
  explicit TextFileWriter(std::string path);
  TextFileWriter(const TextFileWriter&) = delete;
  TextFileWriter& operator=(const TextFileWriter&) = delete;
  ~TextFileWriter();

  // Writes `data` as it is.
  void Write(std::string_view data);
  // Writes `line` followed by CR LF.
  void WriteLine(std::string_view line);
  void Commit();

 private:
  void Flush();
  // Keeps the first failure for `Commit` and stops writing.
  void Failed(int error);
  void Discard();

  std::string path_;
  std::string temp_;
  int fd_ = -1;
  int error_ = 0;
  std::string buffer_;
};

// The operating system's description of errno `error`, without trailing
// full stops, spaces or line breaks.
std::string SystemErrorText(int error);

}  // namespace tto
