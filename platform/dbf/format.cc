// File: platform/dbf/format.cc
//
// Header, field descriptors and field values of dBase tables: see format.h.
#include "platform/dbf/format.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "core/encoding.h"
#include "core/errors.h"
#include "core/numbers.h"
#include "core/records.h"

namespace tto::dbf {

namespace {

constexpr std::uint8_t kLanguageAnsi = 0x57;
constexpr int kMaxFields = 1024;  // dBase level 7's limit, the largest of all
constexpr int kMaxNameLength = 10;
constexpr int kMaxTextWidth = 254;
constexpr int kIntegerWidth = 11;
constexpr int kFloatWidth = 20;
constexpr int kFloatDecimals = 4;

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

bool AllZero(std::string_view bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](char c) { return c == 0; });
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

// A number decoded from binary: its canonical text goes into `scratch`.
Value NumberOf(double number, std::string& scratch) {
  scratch = FormatDouble(number);
  return Value{Value::kNumber, scratch, number};
}

}  // namespace

std::string Shown(const FieldLayout& f) { return Cp1252ToUtf8(f.name); }

char AsciiUpperChar(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiUpperChar(a[i]) != AsciiUpperChar(b[i])) return false;
  }
  return true;
}

std::uint32_t ReadLe32(const char* p) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<std::uint8_t>(p[i]);
  return v;
}
std::uint16_t ReadLe16(const char* p) {
  return static_cast<std::uint16_t>(static_cast<std::uint8_t>(p[0]) |
                                    (static_cast<std::uint8_t>(p[1]) << 8));
}
void PutLe(char* p, std::uint64_t v, int n) {
  for (int i = 0; i < n; ++i) p[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

void PutToday(char* p) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  p[0] = static_cast<char>(std::clamp(local.tm_year, 0, 255));
  p[1] = static_cast<char>(local.tm_mon + 1);
  p[2] = static_cast<char>(local.tm_mday);
}

std::string_view TrimSpaces(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\0')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.remove_suffix(1);
  return s;
}

std::string FormatDouble(double value) {
  if (value == 0) return "0";
  std::array<char, 400> buf;
  auto result = std::to_chars(buf.data(), buf.data() + buf.size(), value,
                              std::chars_format::fixed);
  return std::string(buf.data(), result.ptr);
}

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

Layout ParseHeader(const char* head, std::size_t file_size, const FaultSink& sink) {
  Layout layout;
  layout.version = static_cast<std::uint8_t>(head[0]);
  const int level = layout.version & 0x07;
  if (layout.version == 0x30 || layout.version == 0x31 || layout.version == 0x32) {
    layout.dialect = Dialect::kFoxPro;
  } else if (level == 4) {
    layout.dialect = Dialect::kLevel7;
  } else if (level == 3 || level == 5) {
    layout.dialect = Dialect::kDbase;
  } else {
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", layout.version);
    sink.Fail(std::string("not a dBase table (unknown version byte ") + hex + ")");
  }
  const bool level7 = layout.dialect == Dialect::kLevel7;
  layout.count = ReadLe32(head + 4);
  layout.header_length = ReadLe16(head + 8);
  layout.record_length = ReadLe16(head + 10);
  const std::size_t prefix = level7 ? 68 : 32;
  const std::size_t descriptor = level7 ? 48 : 32;
  const std::uint32_t header_length = layout.header_length;
  if (header_length < prefix + 1) {
    sink.Fail("header length " + std::to_string(header_length) + " is too short for a dBase header");
  }
  if (header_length > file_size) {
    sink.Fail("header length " + std::to_string(header_length) + " is past the end of the file (" +
              std::to_string(file_size) + " bytes)");
  }
  std::vector<FieldLayout>& fields = layout.fields;
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
      sink.Fail("more than " + std::to_string(kMaxFields) + " fields");
    }
    const char* d = head + offset;
    FieldLayout f;
    std::string_view raw_name(d, level7 ? 32 : 11);
    raw_name = raw_name.substr(0, std::min(raw_name.find('\0'), raw_name.size()));
    f.name = std::string(TrimSpaces(raw_name));
    const std::size_t type_at = level7 ? 32 : 11;
    const std::size_t length_at = level7 ? 33 : 16;
    f.type = AsciiUpperChar(d[type_at]);
    f.width = static_cast<std::uint8_t>(d[length_at]);
    f.decimals = static_cast<std::uint8_t>(d[length_at + 1]);
    if (f.type == 'C' && !level7) {
      // Clipper and FoxPro keep the high byte of a long text width here.
      f.width += f.decimals * 256;
      f.decimals = 0;
    }
    std::string label = "field " + std::to_string(fields.size() + 1) + " (" + Shown(f) + ")";
    if (f.name.empty()) sink.Fail(label + " has no name");
    if (f.width == 0) sink.Fail(label + " has width 0");
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
        sink.Fail(label + " has the unknown type '" + Cp1252ToUtf8(std::string(1, f.type)) + "'");
    }
    if (fixed != 0 && f.width != fixed) {
      sink.Fail(label + " of type " + std::string(1, f.type) + " has width " +
                std::to_string(f.width) + ", not " + std::to_string(fixed));
    }
    if (f.type == 'B' && layout.dialect == Dialect::kFoxPro && f.width != 8) {
      sink.Fail(label + " of type B has width " + std::to_string(f.width) + ", not 8");
    }
    f.offset = sum - 1;
    sum += f.width;
    fields.push_back(std::move(f));
    offset += descriptor;
  }
  if (!terminated) sink.Fail("the field list has no end mark (0x0D) within the header");
  if (fields.empty()) sink.Fail("the table has no fields");
  if (static_cast<std::uint32_t>(sum) != layout.record_length) {
    sink.Fail("record length " + std::to_string(layout.record_length) +
              " disagrees with the fields, which need " + std::to_string(sum));
  }
  const std::uint64_t needed = static_cast<std::uint64_t>(layout.count) * layout.record_length;
  if (needed > file_size - header_length) {
    sink.Fail("the header counts " + std::to_string(layout.count) + " records (" +
              std::to_string(needed) + " bytes) but the file holds only " +
              std::to_string(file_size - header_length) + " bytes of records");
  }
  layout.writable = layout.version == kVersionDbase3 &&
                    std::all_of(fields.begin(), fields.end(), [](const FieldLayout& f) {
                      return std::strchr("CNFLD", f.type) != nullptr;
                    });
  return layout;
}

Layout NewLayout(std::span<const FieldDef> defs, const FaultSink& sink) {
  if (defs.empty()) sink.Fail("a table needs at least one field");
  if (defs.size() > 255) sink.Fail("a dBase III+/IV table holds at most 255 fields");
  Layout layout;
  int record_length = 1;
  for (const FieldDef& def : defs) {
    FieldLayout f;
    f.name = tto::AsciiUpper(def.name);
    if (f.name.empty() || f.name.size() > static_cast<std::size_t>(kMaxNameLength)) {
      sink.Fail("field name '" + Cp1252ToUtf8(def.name) + "' must have 1 to 10 characters");
    }
    for (const FieldLayout& other : layout.fields) {
      if (other.name == f.name) sink.Fail("field " + Shown(f) + " is listed twice");
    }
    switch (def.type) {
      case FieldType::kString:
        if (def.width < 1 || def.width > kMaxTextWidth) {
          sink.Fail("text field " + Shown(f) + " has width " + std::to_string(def.width) +
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
    layout.fields.push_back(std::move(f));
  }
  if (record_length > 65535) sink.Fail("the records would be longer than 65535 bytes");
  layout.version = kVersionDbase3;
  layout.dialect = Dialect::kDbase;
  layout.header_length = static_cast<std::uint32_t>(32 + 32 * layout.fields.size() + 1);
  layout.record_length = static_cast<std::uint32_t>(record_length);
  layout.writable = true;
  return layout;
}

std::string HeaderBytes(const Layout& layout) {
  std::string head(32, '\0');
  head[0] = static_cast<char>(layout.version);
  PutToday(head.data() + 1);
  PutLe(head.data() + 4, layout.count, 4);
  PutLe(head.data() + 8, layout.header_length, 2);
  PutLe(head.data() + 10, layout.record_length, 2);
  head[29] = static_cast<char>(kLanguageAnsi);
  for (const FieldLayout& f : layout.fields) {
    char d[32] = {};
    std::memcpy(d, f.name.data(), f.name.size());
    d[11] = f.type;
    d[16] = static_cast<char>(f.width);
    d[17] = static_cast<char>(f.decimals);
    head.append(d, sizeof d);
  }
  head += kTerminator;
  return head;
}

Value ReadValue(const char* record, const FieldLayout& f, Dialect dialect, const FaultSink& sink,
                std::string& scratch) {
  Value v;
  if (record == nullptr) return v;
  std::string_view raw(record + 1 + f.offset, static_cast<std::size_t>(f.width));
  switch (f.type) {
    case 'C':
    case 'V': {
      while (!raw.empty() && (raw.back() == ' ' || raw.back() == '\0')) raw.remove_suffix(1);
      if (!raw.empty()) {
        v.kind = Value::kText;
        v.text = raw;
      }
      return v;
    }
    case 'N':
    case 'F': {
      std::string_view s = TrimSpaces(raw);
      if (s.empty() || std::all_of(s.begin(), s.end(), [](char c) { return c == '*'; })) return v;
      if (!CanonicalNumber(s, scratch) || !ParseDecimal(scratch, v.number)) {
        sink.Fail("field " + Shown(f) + " holds '" + Cp1252ToUtf8(s) + "', which is not a number");
      }
      v.kind = Value::kNumber;
      v.text = scratch;
      return v;
    }
    case 'L': {
      const char c = raw.empty() ? ' ' : raw[0];
      if (c != '\0' && std::strchr("TtYy", c) != nullptr) {
        v.kind = Value::kBool;
        v.text = "True";
      } else if (c != '\0' && std::strchr("FfNn", c) != nullptr) {
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
        scratch = std::string(s.substr(0, 4)) + "-" + std::string(s.substr(4, 2)) + "-" +
                  std::string(s.substr(6, 2));
        v.kind = Value::kText;
        v.text = scratch;
      }
      return v;
    }
    case 'I':
    case '+': {
      if (dialect == Dialect::kLevel7) {
        if (AllZero(raw)) return v;
        return NumberOf(DecodeLevel7Long(raw.data()), scratch);
      }
      return NumberOf(static_cast<std::int32_t>(ReadLe32(raw.data())), scratch);
    }
    case 'O': {
      if (AllZero(raw)) return v;
      const double number = DecodeLevel7Double(raw.data());
      if (!std::isfinite(number)) return v;
      return NumberOf(number, scratch);
    }
    case 'B': {
      if (dialect != Dialect::kFoxPro) break;  // a binary memo elsewhere
      const double number = std::bit_cast<double>(ReadLe64(raw.data()));
      if (!std::isfinite(number)) return v;
      return NumberOf(number, scratch);
    }
    case 'Y': {
      const auto units = static_cast<std::int64_t>(ReadLe64(raw.data()));
      // Exact text from the integer count of ten-thousandths.
      const std::uint64_t magnitude = units < 0 ? 0 - static_cast<std::uint64_t>(units)
                                                : static_cast<std::uint64_t>(units);
      const std::string digits = std::to_string(magnitude / 10000) + "." +
                                 std::to_string(10000 + magnitude % 10000).substr(1);
      CanonicalNumber((units < 0 ? "-" : "") + digits, scratch);
      return Value{Value::kNumber, scratch, static_cast<double>(units) / 10000.0};
    }
    case 'T': {
      if (AllZero(raw)) return v;
      scratch = DateTimeText(ReadLe32(raw.data()), ReadLe32(raw.data() + 4));
      return Value{Value::kText, scratch, 0};
    }
    case '@': {
      if (AllZero(raw)) return v;
      // Milliseconds as a level-7 double, counted from the start of the day
      // before 1 January 0001, as the engine's other timestamps are.
      const double millis = DecodeLevel7Double(raw.data());
      if (!std::isfinite(millis) || millis < 0 || millis > 1e15) return v;
      const auto whole = static_cast<std::int64_t>(millis);
      constexpr std::int64_t kJulianDayOfDayZero = 1721425;
      scratch = DateTimeText(whole / 86400000 + kJulianDayOfDayZero, whole % 86400000);
      return Value{Value::kText, scratch, 0};
    }
    default:
      break;
  }
  v.kind = Value::kNotDecoded;
  return v;
}

void StoreText(const FieldLayout& f, char* dest, std::string_view value, const FaultSink& sink) {
  switch (f.type) {
    case 'C': {
      const std::size_t n = std::min(value.size(), static_cast<std::size_t>(f.width));
      std::memcpy(dest, value.data(), n);
      std::memset(dest + n, ' ', static_cast<std::size_t>(f.width) - n);
      return;
    }
    case 'N':
    case 'F': {
      const std::string_view s = TrimSpaces(value);
      double number = 0;
      if (s.empty()) {
        std::memset(dest, ' ', static_cast<std::size_t>(f.width));
      } else if (ParseDecimal(s, number)) {
        StoreNumber(f, dest, number, sink);
      } else {
        throw EngineError(InvalidFloatMessage(value));
      }
      return;
    }
    case 'L': {
      const std::string_view s = TrimSpaces(value);
      if (s.empty()) {
        *dest = ' ';
      } else if (EqualsIgnoringAsciiCase(s, "true") || EqualsIgnoringAsciiCase(s, "T")) {
        *dest = 'T';
      } else if (EqualsIgnoringAsciiCase(s, "false") || EqualsIgnoringAsciiCase(s, "F")) {
        *dest = 'F';
      } else {
        sink.Fail("'" + Cp1252ToUtf8(value) + "' is not a valid boolean value for field " + Shown(f));
      }
      return;
    }
    default:
      sink.Fail("field " + Shown(f) + " of type " + std::string(1, f.type) +
                " cannot be written as text");
  }
}

void StoreNumber(const FieldLayout& f, char* dest, double value, const FaultSink& sink) {
  if (!std::isfinite(value)) sink.Fail("field " + Shown(f) + " cannot hold a value that is not finite");
  if (value == 0) value = 0;  // no "-0.0000"
  char buf[400];
  const int n = std::snprintf(buf, sizeof buf, "%*.*f", f.width, f.decimals, value);
  if (n < 0 || n > f.width) {
    sink.Fail("the value " + FormatDouble(value) + " does not fit field " + Shown(f) + " (N(" +
              std::to_string(f.width) + "," + std::to_string(f.decimals) + "))");
  }
  std::memcpy(dest, buf, static_cast<std::size_t>(f.width));
}

}  // namespace tto::dbf
