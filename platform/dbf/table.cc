// File: platform/dbf/table.cc
//
// The dBase engine behind table.h.
//
// A table is held in memory whole: the header, the field descriptors and
// every record's bytes, read once at open (never more than the file holds).
// Changes go into that copy and reach the file in large writes: appended
// records first, then the record count in the header, so at every moment the
// file is a valid table (a count smaller than the records that follow it is
// what every reader expects after an interrupted append). Edits of existing
// records are tracked one by one and written in runs of neighbours. The file
// is written when the unwritten bytes pass a threshold and when the table
// closes.
//
// Written tables: version 0x03 (dBase III+/IV without memo), language driver
// 0x57 (Windows ANSI, code page 1252), no production index, fields C(n),
// N(11,0), L(1) and N(20,4).
#include "platform/dbf/table.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <limits>
#include <set>
#include <unordered_map>
#include <utility>

#include "core/encoding.h"
#include "core/errors.h"
#include "core/numbers.h"
#include "core/orve_path.h"
#include "core/records.h"

namespace tto::dbf {

namespace fs = std::filesystem;

namespace {

constexpr char kTerminator = 0x0D;
constexpr char kEofMarker = 0x1A;
constexpr std::uint8_t kVersionDbase3 = 0x03;
constexpr std::uint8_t kLanguageAnsi = 0x57;
constexpr int kMaxFields = 1024;  // dBase level 7's limit, the largest of all
constexpr int kMaxNameLength = 10;
constexpr int kMaxTextWidth = 254;
constexpr int kIntegerWidth = 11;
constexpr int kFloatWidth = 20;
constexpr int kFloatDecimals = 4;
// Unwritten bytes that make the table write them out before it closes.
constexpr std::size_t kFlushThreshold = 256 * 1024;

// The dialect of a table, from its version byte.
enum class Dialect { kDbase, kLevel7, kFoxPro };

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  }
  return true;
}

std::string ErrnoText(int error) { return std::strerror(error); }

std::uint32_t ReadLe32(const char* p) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<std::uint8_t>(p[i]);
  return v;
}
std::uint16_t ReadLe16(const char* p) {
  return static_cast<std::uint16_t>(static_cast<std::uint8_t>(p[0]) |
                                    (static_cast<std::uint8_t>(p[1]) << 8));
}
std::uint64_t ReadLe64(const char* p) {
  std::uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | static_cast<std::uint8_t>(p[i]);
  return v;
}
std::uint64_t ReadBe(const char* p, int n) {
  std::uint64_t v = 0;
  for (int i = 0; i < n; ++i) v = (v << 8) | static_cast<std::uint8_t>(p[i]);
  return v;
}
void PutLe(char* p, std::uint64_t v, int n) {
  for (int i = 0; i < n; ++i) p[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

bool AllZero(std::string_view bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](char c) { return c == 0; });
}

std::string_view TrimSpaces(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\0')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.remove_suffix(1);
  return s;
}

// Plain decimal text of a double: no exponent, the shortest digits that read
// back as the same value, "0" for minus zero.
std::string FormatDouble(double value) {
  if (value == 0) return "0";
  std::array<char, 400> buf;
  auto result = std::to_chars(buf.data(), buf.data() + buf.size(), value,
                              std::chars_format::fixed);
  return std::string(buf.data(), result.ptr);
}

// Parses a decimal number ("12", "-2.5", ".5", "1,5", "1E3"); false for
// anything else, infinities and NaN included.
bool ParseDecimal(std::string_view text, double& out) {
  std::string s(text);
  std::replace(s.begin(), s.end(), ',', '.');
  const char* begin = s.data();
  const char* end = s.data() + s.size();
  if (begin != end && *begin == '+') ++begin;
  if (begin == end) return false;
  auto [ptr, ec] = std::from_chars(begin, end, out, std::chars_format::general);
  return ec == std::errc() && ptr == end && std::isfinite(out);
}

// The canonical text of a numeric field's trimmed content: digits as they
// are stored, without leading zeros, a plus sign or trailing decimal zeros,
// so "  2.5000" reads "2.5" and "0012" reads "12". Text in another form
// (an exponent) goes through a double. False when it is not a number.
bool CanonicalNumber(std::string_view text, std::string& out) {
  std::string s(text);
  std::replace(s.begin(), s.end(), ',', '.');
  std::string_view v = s;
  bool negative = false;
  if (!v.empty() && (v.front() == '-' || v.front() == '+')) {
    negative = v.front() == '-';
    v.remove_prefix(1);
  }
  std::size_t dot = v.find('.');
  std::string_view int_part = v.substr(0, dot);
  std::string_view frac_part = dot == std::string_view::npos ? std::string_view() : v.substr(dot + 1);
  auto digits = [](std::string_view d) {
    return std::all_of(d.begin(), d.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  if (digits(int_part) && digits(frac_part) && !(int_part.empty() && frac_part.empty())) {
    while (!int_part.empty() && int_part.front() == '0') int_part.remove_prefix(1);
    while (!frac_part.empty() && frac_part.back() == '0') frac_part.remove_suffix(1);
    out.clear();
    if (int_part.empty() && frac_part.empty()) {
      out = "0";
      return true;
    }
    if (negative) out += '-';
    out += int_part.empty() ? std::string_view("0") : int_part;
    if (!frac_part.empty()) {
      out += '.';
      out += frac_part;
    }
    return true;
  }
  double value = 0;
  if (!ParseDecimal(text, value)) return false;
  out = FormatDouble(value);
  return true;
}

// Level 7 stores I and + as big-endian two's complement with the sign bit
// flipped, so that byte order equals numeric order.
std::int32_t DecodeLevel7Long(const char* p) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(ReadBe(p, 4)) ^ 0x80000000u);
}

// Level 7 stores O (and @) as a big-endian IEEE double whose sign bit is set
// for values >= 0 and whose bits are all inverted for negative values.
double DecodeLevel7Double(const char* p) {
  std::uint64_t bits = ReadBe(p, 8);
  if (bits & 0x8000000000000000ull) {
    bits ^= 0x8000000000000000ull;
  } else {
    bits = ~bits;
  }
  return std::bit_cast<double>(bits);
}

// Civil date of a Julian day number (proleptic Gregorian).
std::string DateFromJulianDay(std::int64_t jdn) {
  std::int64_t a = jdn + 32044;
  std::int64_t b = (4 * a + 3) / 146097;
  std::int64_t c = a - 146097 * b / 4;
  std::int64_t d = (4 * c + 3) / 1461;
  std::int64_t e = c - 1461 * d / 4;
  std::int64_t m = (5 * e + 2) / 153;
  std::int64_t day = e - (153 * m + 2) / 5 + 1;
  std::int64_t month = m + 3 - 12 * (m / 10);
  std::int64_t year = 100 * b + d - 4800 + m / 10;
  char buf[96];
  std::snprintf(buf, sizeof buf, "%04lld-%02lld-%02lld", static_cast<long long>(year),
                static_cast<long long>(month), static_cast<long long>(day));
  return buf;
}

std::string DateTimeText(std::int64_t jdn, std::int64_t millis) {
  if (millis < 0 || millis >= 86400000) millis = 0;
  std::int64_t seconds = millis / 1000;
  char buf[96];
  std::snprintf(buf, sizeof buf, " %02lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  return DateFromJulianDay(jdn) + buf;
}

struct FieldLayout {
  std::string name;
  char type = 'C';
  int width = 0;
  int decimals = 0;
  int offset = 0;  // within the record, after the deletion flag
};

// A field's name as it goes into a message.
std::string Shown(const FieldLayout& f) { return Cp1252ToUtf8(f.name); }

// A value read from a record: blank, text, or a number (kept with its
// canonical text, so that text reads never pass through a double).
struct Value {
  enum Kind { kBlank, kText, kNumber, kBool, kNotDecoded } kind = kBlank;
  std::string text;
  double number = 0;
};

// A file descriptor that closes itself.
class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  ~Fd() { Reset(); }
  int get() const { return fd_; }
  void Reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

// Repeats `io` (pread or pwrite) until all `size` bytes at `offset` are
// done; false on an error or an early end of the file.
template <typename Buffer, typename Io>
bool TransferAll(int fd, Buffer* buf, std::size_t size, off_t offset, Io io) {
  while (size > 0) {
    const ssize_t n = io(fd, buf, size, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    buf += n;
    size -= static_cast<std::size_t>(n);
    offset += n;
  }
  return true;
}

bool PreadAll(int fd, char* buf, std::size_t size, off_t offset) {
  return TransferAll(fd, buf, size, offset, ::pread);
}

bool PwriteAll(int fd, const char* buf, std::size_t size, off_t offset) {
  return TransferAll(fd, buf, size, offset, ::pwrite);
}

void CheckWorkFolder(const fs::path& folder) {
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) {
    throw EngineError("The work folder '" + folder.string() + "' does not exist");
  }
}

// Today's date as the header's three bytes: year - 1900, month, day.
void PutToday(char* p) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  p[0] = static_cast<char>(std::clamp(local.tm_year, 0, 255));
  p[1] = static_cast<char>(local.tm_mon + 1);
  p[2] = static_cast<char>(local.tm_mday);
}

}  // namespace

struct Table::Impl {
  // Identity, for messages.
  std::string name;       // as the caller gave it
  fs::path path;
  std::string component;  // design-time component, or empty

  Fd fd;
  bool read_only = false;
  bool closed = false;

  // Layout.
  Dialect dialect = Dialect::kDbase;
  std::uint8_t version = kVersionDbase3;
  std::uint32_t header_length = 0;
  std::uint32_t record_length = 0;
  std::vector<FieldLayout> fields;
  bool writable_layout = false;  // a layout this engine may write into

  // Records: all of them, `count` * `record_length` bytes.
  std::string records;
  std::uint32_t count = 0;
  int live_count = 0;  // records not marked deleted

  // What the file lacks: records from `disk_count` on, and the edited
  // records below it (each listed once, flagged in `is_edited`).
  std::uint32_t disk_count = 0;
  std::vector<std::uint32_t> edited;
  std::vector<bool> is_edited;
  bool header_dirty = false;

  // Position: `current` is a record index or -1; `eof` follows the dataset
  // rule that moving past the last record keeps it current.
  std::int64_t current = -1;
  bool eof = true;

  // The pending record of an Append or Edit.
  enum class Pending { kNone, kAppend, kEdit } pending = Pending::kNone;
  std::string buffer;
  bool buffer_written = false;

  // Texts of non-text fields handed out as views, one per field.
  mutable std::vector<std::string> scratch;

  // Locate indexes: for a list of field indexes, the records of each key in
  // record order (an ordered set, so that an edit moves a record from one key
  // to another in logarithmic time however many records share the key).
  struct Index {
    std::vector<int> field_indexes;
    std::unordered_map<std::string, std::set<std::uint32_t>> positions;
  };
  std::unordered_map<std::string, Index> indexes;  // keyed by the field list

  // --- messages ---------------------------------------------------------

  std::string Where() const { return "Table " + name + " (" + path.string() + ")"; }
  [[noreturn]] void Fail(const std::string& fault) const {
    throw EngineError(Where() + ": " + fault);
  }

  // --- records ------------------------------------------------------------

  const char* RecordAt(std::uint32_t index) const {
    return records.data() + static_cast<std::size_t>(index) * record_length;
  }
  bool Deleted(std::uint32_t index) const { return RecordAt(index)[0] == '*'; }

  // The bytes fields are read from: the pending buffer, else the current
  // record, else none.
  const char* Source() const {
    if (pending != Pending::kNone) return buffer.data();
    if (current >= 0) return RecordAt(static_cast<std::uint32_t>(current));
    return nullptr;
  }

  void CheckOpen() const {
    if (closed) Fail("the table is closed");
  }

  // The field of a handle, checked against this table's layout.
  int HandleIndex(FieldHandle handle) const {
    if (handle.index() < 0 || static_cast<std::size_t>(handle.index()) >= fields.size()) {
      Fail("a field handle that does not belong to this table");
    }
    return handle.index();
  }

  int FieldIndex(std::string_view field_name) const {
    for (std::size_t i = 0; i < fields.size(); ++i) {
      if (EqualsIgnoringAsciiCase(fields[i].name, field_name)) return static_cast<int>(i);
    }
    std::string message = "Field '" + Cp1252ToUtf8(field_name) + "' not found";
    if (!component.empty()) throw EngineError(component + ": " + message);
    throw EngineError(message + " in table " + name);
  }

  // --- reading values ---------------------------------------------------

  Value Read(const char* record, const FieldLayout& f) const {
    Value v;
    if (record == nullptr) return v;
    std::string_view raw(record + 1 + f.offset, static_cast<std::size_t>(f.width));
    switch (f.type) {
      case 'C':
      case 'V': {
        std::string_view s = raw;
        while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.remove_suffix(1);
        if (!s.empty()) {
          v.kind = Value::kText;
          v.text = std::string(s);
        }
        return v;
      }
      case 'N':
      case 'F': {
        std::string_view s = TrimSpaces(raw);
        if (s.empty() || std::all_of(s.begin(), s.end(), [](char c) { return c == '*'; })) {
          return v;
        }
        if (!CanonicalNumber(s, v.text) || !ParseDecimal(v.text, v.number)) {
          Fail("field " + Shown(f) + " holds '" + Cp1252ToUtf8(s) + "', which is not a number");
        }
        v.kind = Value::kNumber;
        return v;
      }
      case 'L': {
        char c = raw.empty() ? ' ' : raw[0];
        if (std::strchr("TtYy", c) != nullptr && c != '\0') {
          v.kind = Value::kBool;
          v.text = "True";
        } else if (std::strchr("FfNn", c) != nullptr && c != '\0') {
          v.kind = Value::kBool;
          v.text = "False";
        }
        return v;  // '?', a space and anything else: blank
      }
      case 'D': {
        std::string_view s = TrimSpaces(raw);
        // GDAL writes a null date as "00000000".
        if (s.size() == 8 && s != "00000000" &&
            std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; })) {
          v.kind = Value::kText;
          v.text = std::string(s.substr(0, 4)) + "-" + std::string(s.substr(4, 2)) + "-" +
                   std::string(s.substr(6, 2));
        }
        return v;
      }
      case 'I':
      case '+': {
        if (dialect == Dialect::kLevel7) {
          if (AllZero(raw)) return v;
          v.number = DecodeLevel7Long(raw.data());
        } else {
          v.number = static_cast<std::int32_t>(ReadLe32(raw.data()));
        }
        v.kind = Value::kNumber;
        v.text = FormatDouble(v.number);
        return v;
      }
      case 'O': {
        if (AllZero(raw)) return v;
        v.number = DecodeLevel7Double(raw.data());
        if (!std::isfinite(v.number)) return v;
        v.kind = Value::kNumber;
        v.text = FormatDouble(v.number);
        return v;
      }
      case 'B': {
        if (dialect != Dialect::kFoxPro) break;  // a binary memo elsewhere
        v.number = std::bit_cast<double>(ReadLe64(raw.data()));
        if (!std::isfinite(v.number)) return Value{};
        v.kind = Value::kNumber;
        v.text = FormatDouble(v.number);
        return v;
      }
      case 'Y': {
        std::int64_t units = static_cast<std::int64_t>(ReadLe64(raw.data()));
        v.kind = Value::kNumber;
        v.number = static_cast<double>(units) / 10000.0;
        // Exact text from the integer count of ten-thousandths.
        std::uint64_t magnitude = units < 0 ? 0 - static_cast<std::uint64_t>(units)
                                            : static_cast<std::uint64_t>(units);
        std::string digits = std::to_string(magnitude / 10000) + "." +
                             std::to_string(10000 + magnitude % 10000).substr(1);
        CanonicalNumber((units < 0 ? "-" : "") + digits, v.text);
        return v;
      }
      case 'T': {
        if (AllZero(raw)) return v;
        v.kind = Value::kText;
        v.text = DateTimeText(ReadLe32(raw.data()), ReadLe32(raw.data() + 4));
        return v;
      }
      case '@': {
        if (AllZero(raw)) return v;
        // Milliseconds as a level-7 double, counted from the start of the day
        // before 1 January 0001, as the engine's other timestamps are.
        double millis = DecodeLevel7Double(raw.data());
        if (!std::isfinite(millis) || millis < 0 || millis > 1e15) return v;
        auto whole = static_cast<std::int64_t>(millis);
        constexpr std::int64_t kJulianDayOfDayZero = 1721425;
        v.kind = Value::kText;
        v.text = DateTimeText(whole / 86400000 + kJulianDayOfDayZero, whole % 86400000);
        return v;
      }
      default:
        break;
    }
    v.kind = Value::kNotDecoded;  // memo, general, picture, null flags
    return v;
  }

  std::string TextOf(const char* record, const FieldLayout& f) const {
    Value v = Read(record, f);
    return v.kind == Value::kNotDecoded ? std::string() : v.text;
  }

  // --- writing ----------------------------------------------------------

  void CheckWritable() const {
    if (read_only) Fail("the table is open read-only");
    if (!writable_layout) {
      Fail("this engine writes only dBase III+/IV tables of C, N, F, L and D fields");
    }
  }

  // The bytes of a field of the pending record, for a setter that sets
  // `buffer_written` once it has stored its value.
  char* PendingField(int index, const FieldLayout** field) {
    if (pending == Pending::kNone) {
      Fail("field " + Shown(fields[static_cast<std::size_t>(index)]) +
           " cannot be written: no record is being appended or edited");
    }
    *field = &fields[static_cast<std::size_t>(index)];
    return buffer.data() + 1 + (*field)->offset;
  }

  void StoreNumber(const FieldLayout& f, char* dest, double value) {
    if (!std::isfinite(value)) Fail("field " + Shown(f) + " cannot hold a value that is not finite");
    if (value == 0) value = 0;  // no "-0.0000"
    char buf[400];
    int n = std::snprintf(buf, sizeof buf, "%*.*f", f.width, f.decimals, value);
    if (n < 0 || n > f.width) {
      Fail("the value " + FormatDouble(value) + " does not fit field " + Shown(f) + " (N(" +
           std::to_string(f.width) + "," + std::to_string(f.decimals) + "))");
    }
    std::memcpy(dest, buf, static_cast<std::size_t>(f.width));
  }

  // --- the pending record -------------------------------------------------

  // The rule of First, Next, Locate and Close: post a record of which a
  // field was written, drop one that was not.
  void Settle() {
    if (pending == Pending::kNone) return;
    if (buffer_written) {
      Post();
    } else {
      pending = Pending::kNone;
    }
  }

  void Post() {
    if (pending == Pending::kNone) Fail("there is no appended or edited record to post");
    if (pending == Pending::kAppend) {
      records.append(buffer);
      current = count;
      ++count;
      ++live_count;
      for (auto& [key, index] : indexes) {
        auto& list = index.positions[KeyOf(buffer.data(), index.field_indexes)];
        list.emplace_hint(list.end(), static_cast<std::uint32_t>(current));
      }
    } else {
      auto at = static_cast<std::uint32_t>(current);
      for (auto& [key, index] : indexes) {
        std::string old_key = KeyOf(RecordAt(at), index.field_indexes);
        std::string new_key = KeyOf(buffer.data(), index.field_indexes);
        if (old_key == new_key) continue;
        index.positions[old_key].erase(at);
        index.positions[new_key].insert(at);
      }
      std::memcpy(records.data() + static_cast<std::size_t>(at) * record_length, buffer.data(),
                  record_length);
      if (at < disk_count) {
        if (is_edited.size() < disk_count) is_edited.resize(disk_count);
        if (!is_edited[at]) {
          is_edited[at] = true;
          edited.push_back(at);
        }
      }
    }
    pending = Pending::kNone;
    eof = false;
    header_dirty = true;
    std::size_t unwritten = (count - disk_count) * static_cast<std::size_t>(record_length) +
                            edited.size() * static_cast<std::size_t>(record_length);
    if (unwritten >= kFlushThreshold) Flush();
  }

  // Writes what the file lacks: edited records, then appended records with
  // the end-of-file mark, then the header's date and record count.
  void Flush() {
    if (!header_dirty) return;
    std::sort(edited.begin(), edited.end());
    for (std::size_t i = 0; i < edited.size();) {
      std::size_t j = i + 1;
      while (j < edited.size() && edited[j] == edited[j - 1] + 1) ++j;
      std::size_t from = static_cast<std::size_t>(edited[i]) * record_length;
      std::size_t size = (j - i) * static_cast<std::size_t>(record_length);
      if (!PwriteAll(fd.get(), records.data() + from, size,
                     static_cast<off_t>(header_length + from))) {
        Fail("cannot write records: " + ErrnoText(errno));
      }
      for (std::size_t k = i; k < j; ++k) is_edited[edited[k]] = false;
      i = j;
    }
    edited.clear();
    if (count > disk_count) {
      std::size_t from = static_cast<std::size_t>(disk_count) * record_length;
      std::string tail = records.substr(from);
      tail += kEofMarker;
      if (!PwriteAll(fd.get(), tail.data(), tail.size(), static_cast<off_t>(header_length + from))) {
        Fail("cannot write records: " + ErrnoText(errno));
      }
    }
    char head[8];
    head[0] = static_cast<char>(version);
    PutToday(head + 1);
    PutLe(head + 4, count, 4);
    if (!PwriteAll(fd.get(), head, sizeof head, 0)) {
      Fail("cannot write the header: " + ErrnoText(errno));
    }
    disk_count = count;
    header_dirty = false;
  }

  // --- navigation and locate --------------------------------------------

  std::int64_t NextLive(std::int64_t from) const {
    for (std::int64_t i = from; i < count; ++i) {
      if (!Deleted(static_cast<std::uint32_t>(i))) return i;
    }
    return -1;
  }

  void First() {
    Settle();
    current = NextLive(0);
    eof = current < 0;
  }

  void Next() {
    Settle();
    if (eof) return;
    std::int64_t next = NextLive(current + 1);
    if (next < 0) {
      eof = true;  // the last record stays current
    } else {
      current = next;
    }
  }

  // Length-prefixed texts of the fields, so that no two lists of values
  // share a key.
  std::string KeyOf(const char* record, const std::vector<int>& field_indexes) const {
    std::string key;
    for (int i : field_indexes) {
      std::string text = TextOf(record, fields[static_cast<std::size_t>(i)]);
      PutKeyPart(key, text);
    }
    return key;
  }
  static void PutKeyPart(std::string& key, std::string_view text) {
    char length[4];
    PutLe(length, text.size(), 4);
    key.append(length, 4);
    key.append(text);
  }

  bool Locate(std::string_view field_list, std::span<const std::string> values) {
    CheckOpen();
    std::vector<int> field_indexes;
    std::size_t start = 0;
    while (true) {
      std::size_t end = field_list.find(';', start);
      std::string_view one = field_list.substr(start, end == std::string_view::npos ? end : end - start);
      field_indexes.push_back(FieldIndex(TrimSpaces(one)));
      if (end == std::string_view::npos) break;
      start = end + 1;
    }
    std::vector<std::string_view> views(values.begin(), values.end());
    return Locate(field_indexes, views);
  }

  bool Locate(const std::vector<int>& field_indexes, std::span<const std::string_view> values) {
    CheckOpen();
    if (field_indexes.size() != values.size()) {
      Fail("locate on " + std::to_string(field_indexes.size()) + " fields was given " +
           std::to_string(values.size()) + " values");
    }
    Settle();
    std::string list_key;
    for (int i : field_indexes) list_key += std::to_string(i) + ";";
    auto it = indexes.find(list_key);
    if (it == indexes.end()) {
      Index index;
      index.field_indexes = field_indexes;
      index.positions.reserve(count);
      for (std::uint32_t r = 0; r < count; ++r) {
        if (Deleted(r)) continue;
        auto& list = index.positions[KeyOf(RecordAt(r), field_indexes)];
        list.emplace_hint(list.end(), r);
      }
      it = indexes.emplace(list_key, std::move(index)).first;
    }
    std::string key;
    for (std::string_view value : values) PutKeyPart(key, value);
    auto found = it->second.positions.find(key);
    if (found == it->second.positions.end() || found->second.empty()) return false;
    current = *found->second.begin();
    eof = false;
    return true;
  }

  // --- opening ------------------------------------------------------------

  void ParseHeader(const char* head, std::size_t file_size);
  void Close();
};

// Reads and checks the header and the field descriptors. `head` holds the
// file's first bytes up to the header length, padded with zeros to at least
// the level-7 prefix.
void Table::Impl::ParseHeader(const char* head, std::size_t file_size) {
  version = static_cast<std::uint8_t>(head[0]);
  int level = version & 0x07;
  if (version == 0x30 || version == 0x31 || version == 0x32) {
    dialect = Dialect::kFoxPro;
  } else if (level == 4) {
    dialect = Dialect::kLevel7;
  } else if (level == 3 || level == 5) {
    dialect = Dialect::kDbase;
  } else {
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", version);
    Fail(std::string("not a dBase table (unknown version byte ") + hex + ")");
  }
  count = ReadLe32(head + 4);
  header_length = ReadLe16(head + 8);
  record_length = ReadLe16(head + 10);
  const std::size_t prefix = dialect == Dialect::kLevel7 ? 68 : 32;
  const std::size_t descriptor = dialect == Dialect::kLevel7 ? 48 : 32;
  if (header_length < prefix + 1) {
    Fail("header length " + std::to_string(header_length) + " is too short for a dBase header");
  }
  if (header_length > file_size) {
    Fail("header length " + std::to_string(header_length) + " is past the end of the file (" +
         std::to_string(file_size) + " bytes)");
  }
  std::size_t offset = prefix;
  int sum = 1;
  bool terminated = false;
  while (offset < header_length) {
    if (head[offset] == kTerminator) {
      terminated = true;
      break;
    }
    if (offset + descriptor > header_length) break;
    if (fields.size() >= static_cast<std::size_t>(kMaxFields)) {
      Fail("more than " + std::to_string(kMaxFields) + " fields");
    }
    const char* d = head + offset;
    FieldLayout f;
    std::size_t name_size = dialect == Dialect::kLevel7 ? 32 : 11;
    std::string_view raw_name(d, name_size);
    raw_name = raw_name.substr(0, std::min(raw_name.find('\0'), raw_name.size()));
    f.name = std::string(TrimSpaces(raw_name));
    std::size_t type_at = dialect == Dialect::kLevel7 ? 32 : 11;
    std::size_t length_at = dialect == Dialect::kLevel7 ? 33 : 16;
    f.type = AsciiUpper(d[type_at]);
    f.width = static_cast<std::uint8_t>(d[length_at]);
    f.decimals = static_cast<std::uint8_t>(d[length_at + 1]);
    if (f.type == 'C' && dialect != Dialect::kLevel7) {
      // Clipper and FoxPro keep the high byte of a long text width here.
      f.width += f.decimals * 256;
      f.decimals = 0;
    }
    std::string label = "field " + std::to_string(fields.size() + 1) + " (" + Shown(f) + ")";
    if (f.name.empty()) Fail(label + " has no name");
    if (f.width == 0) Fail(label + " has width 0");
    int fixed = 0;
    switch (f.type) {
      case 'L': fixed = 1; break;
      case 'D': fixed = 8; break;
      case 'I': case '+': fixed = 4; break;
      case 'O': case '@': case 'T': case 'Y': fixed = 8; break;
      case 'C': case 'N': case 'F': case 'M': case 'B': case 'G': case 'P':
      case 'V': case 'Q': case 'W': case '0':
        break;
      default:
        Fail(label + " has the unknown type '" + Cp1252ToUtf8(std::string(1, f.type)) + "'");
    }
    if (fixed != 0 && f.width != fixed) {
      Fail(label + " of type " + std::string(1, f.type) + " has width " + std::to_string(f.width) +
           ", not " + std::to_string(fixed));
    }
    if (f.type == 'B' && dialect == Dialect::kFoxPro && f.width != 8) {
      Fail(label + " of type B has width " + std::to_string(f.width) + ", not 8");
    }
    f.offset = sum - 1;
    sum += f.width;
    fields.push_back(std::move(f));
    offset += descriptor;
  }
  if (!terminated) Fail("the field list has no end mark (0x0D) within the header");
  if (fields.empty()) Fail("the table has no fields");
  if (static_cast<std::uint32_t>(sum) != record_length) {
    Fail("record length " + std::to_string(record_length) + " disagrees with the fields, which need " +
         std::to_string(sum));
  }
  std::uint64_t needed = static_cast<std::uint64_t>(count) * record_length;
  if (needed > file_size - header_length) {
    Fail("the header counts " + std::to_string(count) + " records (" + std::to_string(needed) +
         " bytes) but the file holds only " + std::to_string(file_size - header_length) +
         " bytes of records");
  }
  writable_layout = version == kVersionDbase3 &&
                    std::all_of(fields.begin(), fields.end(), [](const FieldLayout& f) {
                      return std::strchr("CNFLD", f.type) != nullptr;
                    });
}

void Table::Impl::Close() {
  if (closed) return;
  Settle();
  Flush();
  fd.Reset();
  closed = true;
  indexes.clear();
  records.clear();
  records.shrink_to_fit();
}

// --- Table ------------------------------------------------------------------

Table::Table(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Table::Table(Table&&) noexcept = default;
Table& Table::operator=(Table&& other) noexcept {
  if (this != &other) {
    if (impl_) {
      try {
        impl_->Close();
      } catch (const std::exception&) {
        // A move must not throw; the explicit Close reports write failures.
      }
    }
    impl_ = std::move(other.impl_);
  }
  return *this;
}

Table::~Table() {
  if (!impl_) return;
  try {
    // An error that unwinds past the table interrupts the record being
    // written: it is dropped, so the file keeps only what was posted.
    if (std::uncaught_exceptions() > 0) impl_->pending = Impl::Pending::kNone;
    impl_->Close();
  } catch (const std::exception&) {
    // A destructor must not throw; an explicit Close reports the failure.
  }
}

namespace {

Table::Impl& Checked(const std::unique_ptr<Table::Impl>& impl) {
  if (!impl) throw EngineError("The table is not open");
  impl->CheckOpen();
  return *impl;
}

// Opens `path` and takes the advisory lock; throws naming the table.
Fd OpenLocked(const Table::Impl& impl, bool& read_only, bool exclusive) {
  int fd = -1;
  if (!read_only) {
    fd = ::open(impl.path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM)) read_only = true;
  }
  // O_NONBLOCK: a FIFO in the table's place must not hang the open; it has
  // no effect on regular files.
  if (read_only) fd = ::open(impl.path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) impl.Fail("cannot open the table: " + ErrnoText(errno));
  Fd owned(fd);
  int op = (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
  int rc;
  do {
    rc = ::flock(fd, op);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    if (errno == EWOULDBLOCK) impl.Fail("the table is in use by another program");
    impl.Fail("cannot lock the table: " + ErrnoText(errno));
  }
  return owned;
}

void LoadTable(Table::Impl& impl) {
  struct stat st {};
  if (::fstat(impl.fd.get(), &st) != 0) impl.Fail("cannot read the table: " + ErrnoText(errno));
  if (!S_ISREG(st.st_mode)) impl.Fail("not a regular file");
  auto file_size = static_cast<std::size_t>(st.st_size);
  if (file_size < 32) {
    impl.Fail("the file (" + std::to_string(file_size) + " bytes) is too short for a dBase header");
  }
  char first[32];
  if (!PreadAll(impl.fd.get(), first, sizeof first, 0)) {
    impl.Fail("cannot read the header: " + ErrnoText(errno));
  }
  std::size_t header_length = ReadLe16(first + 8);
  std::string head(std::min(header_length, file_size), '\0');
  if (head.size() < 32) head.assign(first, 32);
  if (!PreadAll(impl.fd.get(), head.data(), head.size(), 0)) {
    impl.Fail("cannot read the header: " + ErrnoText(errno));
  }
  head.resize(std::max<std::size_t>(head.size(), 69), '\0');  // room for the level-7 prefix
  impl.ParseHeader(head.data(), file_size);
  impl.records.resize(static_cast<std::size_t>(impl.count) * impl.record_length);
  if (!PreadAll(impl.fd.get(), impl.records.data(), impl.records.size(), impl.header_length)) {
    impl.Fail("cannot read the records: " + ErrnoText(errno));
  }
  impl.disk_count = impl.count;
  impl.live_count = 0;
  for (std::uint32_t r = 0; r < impl.count; ++r) {
    if (!impl.Deleted(r)) ++impl.live_count;
  }
}

}  // namespace

Table Table::Recreate(const fs::path& folder, std::string_view name,
                      std::span<const FieldDef> fields) {
  CheckWorkFolder(folder);
  auto impl = std::make_unique<Impl>();
  impl->name = std::string(name);
  std::string base = tto::AsciiUpper(name);
  impl->path = folder / (base + ".DBF");

  // The layout first, so that a bad field list leaves the old table alone.
  if (fields.empty()) impl->Fail("a table needs at least one field");
  if (fields.size() > 255) impl->Fail("a dBase III+/IV table holds at most 255 fields");
  std::string descriptors;
  int record_length = 1;
  for (const FieldDef& def : fields) {
    FieldLayout f;
    f.name = tto::AsciiUpper(def.name);
    if (f.name.empty() || f.name.size() > static_cast<std::size_t>(kMaxNameLength)) {
      impl->Fail("field name '" + Cp1252ToUtf8(def.name) + "' must have 1 to 10 characters");
    }
    for (const FieldLayout& other : impl->fields) {
      if (other.name == f.name) impl->Fail("field " + Shown(f) + " is listed twice");
    }
    switch (def.type) {
      case FieldType::kString:
        if (def.width < 1 || def.width > kMaxTextWidth) {
          impl->Fail("text field " + Shown(f) + " has width " + std::to_string(def.width) +
                     "; it must be 1 to 254");
        }
        f.type = 'C';
        f.width = def.width;
        break;
      case FieldType::kInteger:
        f.type = 'N';
        f.width = kIntegerWidth;
        break;
      case FieldType::kBoolean:
        f.type = 'L';
        f.width = 1;
        break;
      case FieldType::kFloat:
        f.type = 'N';
        f.width = kFloatWidth;
        f.decimals = kFloatDecimals;
        break;
    }
    f.offset = record_length - 1;
    record_length += f.width;
    char d[32] = {};
    std::memcpy(d, f.name.data(), f.name.size());
    d[11] = f.type;
    d[16] = static_cast<char>(f.width);
    d[17] = static_cast<char>(f.decimals);
    descriptors.append(d, sizeof d);
    impl->fields.push_back(std::move(f));
  }
  if (record_length > 65535) impl->Fail("the records would be longer than 65535 bytes");

  // Remove the old table: a table another program holds is not replaced.
  for (const char* extension : {".DBF", ".MDX"}) {
    for (const fs::path& old : FindIgnoringCase(folder, base + extension)) {
      Fd held(::open(old.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
      if (held.get() >= 0 && ::flock(held.get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        impl->Fail("the table is in use by another program");
      }
      ::unlink(old.c_str());
    }
  }

  // The new table is written whole under a temporary name and then renamed,
  // so that NAME.DBF is never a half-written file.
  const fs::path temporary = folder / ("." + base + ".DBF.new");
  ::unlink(temporary.c_str());
  int fd = ::open(temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) impl->Fail("cannot create the table: " + ErrnoText(errno));
  impl->fd = Fd(fd);
  ::flock(fd, LOCK_SH | LOCK_NB);  // a file nobody else has seen yet
  impl->version = kVersionDbase3;
  impl->dialect = Dialect::kDbase;
  impl->header_length = static_cast<std::uint32_t>(32 + descriptors.size() + 1);
  impl->record_length = static_cast<std::uint32_t>(record_length);
  impl->writable_layout = true;

  std::string file(32, '\0');
  file[0] = static_cast<char>(kVersionDbase3);
  PutToday(file.data() + 1);
  PutLe(file.data() + 8, impl->header_length, 2);
  PutLe(file.data() + 10, impl->record_length, 2);
  file[29] = static_cast<char>(kLanguageAnsi);
  file += descriptors;
  file += kTerminator;
  file += kEofMarker;
  if (!PwriteAll(fd, file.data(), file.size(), 0) ||
      ::rename(temporary.c_str(), impl->path.c_str()) != 0) {
    int error = errno;
    ::unlink(temporary.c_str());
    impl->Fail("cannot create the table: " + ErrnoText(error));
  }
  impl->current = -1;
  impl->eof = true;
  return Table(std::move(impl));
}

Table Table::Open(const fs::path& folder, std::string_view name, const OpenOptions& options) {
  CheckWorkFolder(folder);
  auto impl = std::make_unique<Impl>();
  impl->name = std::string(name);
  impl->component = options.component;
  std::string file_name = tto::AsciiUpper(name) + ".DBF";
  std::vector<fs::path> found = FindIgnoringCase(folder, file_name);
  impl->path = found.empty() ? folder / file_name : found.front();
  if (found.empty()) impl->Fail("the table does not exist");
  impl->read_only = options.mode == OpenMode::kReadOnly;
  impl->fd = OpenLocked(*impl, impl->read_only, options.mode == OpenMode::kExclusive);
  LoadTable(*impl);
  impl->current = impl->NextLive(0);
  impl->eof = impl->current < 0;
  return Table(std::move(impl));
}

void Table::Close() {
  if (impl_) impl_->Close();
}

bool Table::IsOpen() const { return impl_ && !impl_->closed; }

void Table::First() { Checked(impl_).First(); }
void Table::Next() { Checked(impl_).Next(); }
bool Table::Eof() const { return Checked(impl_).eof; }
int Table::RecordCount() const { return Checked(impl_).live_count; }

void Table::Append() {
  Impl& t = Checked(impl_);
  t.CheckWritable();
  t.Settle();
  t.buffer.assign(t.record_length, ' ');
  t.buffer_written = false;
  t.pending = Impl::Pending::kAppend;
}

void Table::Edit() {
  Impl& t = Checked(impl_);
  t.CheckWritable();
  if (t.pending == Impl::Pending::kEdit) return;
  t.Settle();
  if (t.current < 0) t.Fail("there is no current record to edit");
  t.buffer.assign(t.RecordAt(static_cast<std::uint32_t>(t.current)), t.record_length);
  t.buffer_written = false;
  t.pending = Impl::Pending::kEdit;
}

void Table::Post() { Checked(impl_).Post(); }

FieldHandle Table::Field(std::string_view name) const {
  return FieldHandle(Checked(impl_).FieldIndex(name));
}

void Table::SetText(std::string_view field, std::string_view value) {
  SetText(FieldHandle(Checked(impl_).FieldIndex(field)), value);
}
void Table::SetBool(std::string_view field, bool value) {
  SetBool(FieldHandle(Checked(impl_).FieldIndex(field)), value);
}
void Table::SetFloat(std::string_view field, double value) {
  SetFloat(FieldHandle(Checked(impl_).FieldIndex(field)), value);
}
std::string Table::GetText(std::string_view field) const {
  return GetText(FieldHandle(Checked(impl_).FieldIndex(field)));
}
std::int32_t Table::GetInteger(std::string_view field) const {
  return GetInteger(FieldHandle(Checked(impl_).FieldIndex(field)));
}
double Table::GetFloat(std::string_view field) const {
  return GetFloat(FieldHandle(Checked(impl_).FieldIndex(field)));
}

void Table::SetText(FieldHandle field, std::string_view value) {
  Impl& t = Checked(impl_);
  const FieldLayout* f = nullptr;
  char* dest = t.PendingField(t.HandleIndex(field), &f);
  switch (f->type) {
    case 'C': {
      std::size_t n = std::min(value.size(), static_cast<std::size_t>(f->width));
      std::memcpy(dest, value.data(), n);
      std::memset(dest + n, ' ', static_cast<std::size_t>(f->width) - n);
      break;
    }
    case 'N':
    case 'F': {
      std::string_view s = TrimSpaces(value);
      double number = 0;
      if (s.empty()) {
        std::memset(dest, ' ', static_cast<std::size_t>(f->width));
      } else if (ParseDecimal(s, number)) {
        t.StoreNumber(*f, dest, number);
      } else {
        throw EngineError(InvalidFloatMessage(value));
      }
      break;
    }
    case 'L': {
      std::string_view s = TrimSpaces(value);
      if (s.empty()) {
        *dest = ' ';
      } else if (EqualsIgnoringAsciiCase(s, "true") || EqualsIgnoringAsciiCase(s, "T")) {
        *dest = 'T';
      } else if (EqualsIgnoringAsciiCase(s, "false") || EqualsIgnoringAsciiCase(s, "F")) {
        *dest = 'F';
      } else {
        t.Fail("'" + Cp1252ToUtf8(value) + "' is not a valid boolean value for field " + Shown(*f));
      }
      break;
    }
    default:
      t.Fail("field " + Shown(*f) + " of type " + std::string(1, f->type) + " cannot be written as text");
  }
  t.buffer_written = true;
}

void Table::SetBool(FieldHandle field, bool value) {
  Impl& t = Checked(impl_);
  const FieldLayout* f = nullptr;
  char* dest = t.PendingField(t.HandleIndex(field), &f);
  if (f->type != 'L') t.Fail("field " + Shown(*f) + " is not a boolean field");
  *dest = value ? 'T' : 'F';
  t.buffer_written = true;
}

void Table::SetFloat(FieldHandle field, double value) {
  Impl& t = Checked(impl_);
  const FieldLayout* f = nullptr;
  char* dest = t.PendingField(t.HandleIndex(field), &f);
  if (f->type == 'N' || f->type == 'F') {
    t.StoreNumber(*f, dest, value);
    t.buffer_written = true;
  } else if (f->type == 'C') {
    SetText(field, FormatDouble(value));
  } else {
    t.Fail("field " + Shown(*f) + " cannot be written as a number");
  }
}

std::string Table::GetText(FieldHandle field) const {
  const Impl& t = Checked(impl_);
  const FieldLayout& f = t.fields[static_cast<std::size_t>(t.HandleIndex(field))];
  return t.TextOf(t.Source(), f);
}

std::string_view Table::TextView(FieldHandle field) const {
  const Impl& t = Checked(impl_);
  const auto index = static_cast<std::size_t>(t.HandleIndex(field));
  const FieldLayout& f = t.fields[index];
  const char* record = t.Source();
  if (record == nullptr) return {};
  if (f.type == 'C' || f.type == 'V') {
    std::string_view s(record + 1 + f.offset, static_cast<std::size_t>(f.width));
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.remove_suffix(1);
    return s;
  }
  if (t.scratch.size() < t.fields.size()) t.scratch.resize(t.fields.size());
  t.scratch[index] = t.TextOf(record, f);
  return t.scratch[index];
}

std::int32_t Table::GetInteger(FieldHandle field) const {
  const Impl& t = Checked(impl_);
  const FieldLayout& f = t.fields[static_cast<std::size_t>(t.HandleIndex(field))];
  Value v = t.Read(t.Source(), f);
  switch (v.kind) {
    case Value::kBlank:
      return 0;
    case Value::kText:
      if (f.type == 'C' || f.type == 'V') {
        std::int32_t result = 0;
        if (!TryStrToInt(v.text, result)) throw EngineError(InvalidIntegerMessage(v.text));
        return result;
      }
      break;
    case Value::kNumber: {
      double rounded = std::nearbyint(v.number);  // a tie goes to the even neighbour
      if (rounded < std::numeric_limits<std::int32_t>::min() ||
          rounded > std::numeric_limits<std::int32_t>::max()) {
        t.Fail("the value " + v.text + " of field " + Shown(f) + " is out of the integer range");
      }
      return static_cast<std::int32_t>(rounded);
    }
    default:
      break;
  }
  t.Fail("field " + Shown(f) + " cannot be read as an integer");
}

double Table::GetFloat(FieldHandle field) const {
  const Impl& t = Checked(impl_);
  const FieldLayout& f = t.fields[static_cast<std::size_t>(t.HandleIndex(field))];
  Value v = t.Read(t.Source(), f);
  switch (v.kind) {
    case Value::kBlank:
      return 0;
    case Value::kNumber:
      return v.number;
    case Value::kText:
      if (f.type == 'C' || f.type == 'V') {
        double result = 0;
        if (!ParseDecimal(TrimSpaces(v.text), result)) throw EngineError(InvalidFloatMessage(v.text));
        return result;
      }
      break;
    default:
      break;
  }
  t.Fail("field " + Shown(f) + " cannot be read as a number");
}

bool Table::Locate(std::string_view fields, std::span<const std::string> values) {
  if (!impl_) throw EngineError("The table is not open");
  return impl_->Locate(fields, values);
}

bool Table::Locate(std::span<const FieldHandle> fields, std::span<const std::string_view> values) {
  Impl& t = Checked(impl_);
  std::vector<int> field_indexes;
  for (FieldHandle f : fields) field_indexes.push_back(t.HandleIndex(f));
  return t.Locate(field_indexes, values);
}

std::vector<std::string> Table::FieldNames() const {
  const Impl& t = Checked(impl_);
  std::vector<std::string> names;
  for (const FieldLayout& f : t.fields) names.push_back(f.name);
  return names;
}

fs::path DefaultWorkFolder() {
  if (const char* over = std::getenv("TRANSTEMPEXORVE_WORK_FOLDER"); over != nullptr && *over) {
    return over;
  }
  fs::path prefix;
  if (const char* wine = std::getenv("WINEPREFIX"); wine != nullptr && *wine) {
    prefix = wine;
  } else {
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') {
      const passwd* pw = ::getpwuid(::getuid());
      home = pw != nullptr ? pw->pw_dir : "";
    }
    prefix = fs::path(home) / ".wine";
  }
  fs::path drive_c = prefix / "drive_c";
  // Wine's drive is case-insensitive: C:\ZWORK may be stored as "zwork".
  std::vector<fs::path> found = FindIgnoringCase(drive_c, "ZWORK");
  return found.empty() ? drive_c / "ZWORK" : found.front();
}

}  // namespace tto::dbf
