// File: platform/dbf/format.h
//
// The bytes of a dBase table, without the file: the header and the field
// descriptors, and the values of fields inside a record. Pure functions; a
// fault in the bytes goes to the caller's `FaultSink`, which throws the
// engine's error naming the table.
//
// Written tables: version 0x03 (dBase III+/IV without memo), language driver
// 0x57 (Windows ANSI, code page 1252), no production index, fields C(n),
// N(11,0), L(1) and N(20,4).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dbf/table.h"

namespace tto::dbf {

inline constexpr char kTerminator = 0x0D;
inline constexpr char kEofMarker = 0x1A;
inline constexpr std::uint8_t kVersionDbase3 = 0x03;

// Receives a fault in a table's bytes or in a request; never returns.
class FaultSink {
 public:
  [[noreturn]] virtual void Fail(const std::string& fault) const = 0;

 protected:
  ~FaultSink() = default;
};

// The dialect of a table, from its version byte.
enum class Dialect { kDbase, kLevel7, kFoxPro };

struct FieldLayout {
  std::string name;
  char type = 'C';
  int width = 0;
  int decimals = 0;
  int offset = 0;  // within the record, after the deletion flag
};

// What the header of a table says.
struct Layout {
  Dialect dialect = Dialect::kDbase;
  std::uint8_t version = kVersionDbase3;
  std::uint32_t count = 0;
  std::uint32_t header_length = 0;
  std::uint32_t record_length = 0;
  std::vector<FieldLayout> fields;
  bool writable = false;  // a layout this engine may write into
};

// A field's name as it goes into a message.
std::string Shown(const FieldLayout& f);

char AsciiUpperChar(char c);
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);
std::uint16_t ReadLe16(const char* p);
std::uint32_t ReadLe32(const char* p);
void PutLe(char* p, std::uint64_t v, int n);
// Today's date as the header's three bytes: year - 1900, month, day.
void PutToday(char* p);

// Reads and checks the header and the field descriptors. `head` holds the
// file's first bytes up to the header length, padded with zeros to at least
// the level-7 prefix; `file_size` is the size of the whole file.
Layout ParseHeader(const char* head, std::size_t file_size, const FaultSink& sink);

// The physical fields of a new table, checked: names of 1 to 10
// characters, no repeats, text widths 1 to 254, records below 64 KiB.
Layout NewLayout(std::span<const FieldDef> defs, const FaultSink& sink);

// The header of an empty table of `layout`, with today's date.
std::string HeaderBytes(const Layout& layout);

// A field's value in a record: blank, text, a number (with its canonical
// text, so that text reads never pass through a double), a boolean ("True"
// or "False"), or a type this engine does not decode (memo, general,
// picture, null flags), which reads as "". A text field's `text` points
// into the record; other types are decoded into `scratch`, which `text`
// then points into. A null `record` reads blank.
struct Value {
  enum Kind { kBlank, kText, kNumber, kBool, kNotDecoded } kind = kBlank;
  std::string_view text;
  double number = 0;
};
Value ReadValue(const char* record, const FieldLayout& f, Dialect dialect, const FaultSink& sink,
                std::string& scratch);

// Writers into a field's bytes `dest` (f.width bytes).
void StoreText(const FieldLayout& f, char* dest, std::string_view value, const FaultSink& sink);
void StoreNumber(const FieldLayout& f, char* dest, double value, const FaultSink& sink);

// Plain decimal text of a double: no exponent, the shortest digits that
// read back as the same value, "0" for minus zero.
std::string FormatDouble(double value);
// Parses a decimal number ("12", "-2.5", ".5", "1,5", "1E3"); false for
// anything else, infinities and NaN included.
bool ParseDecimal(std::string_view text, double& out);
std::string_view TrimSpaces(std::string_view s);

}  // namespace tto::dbf
