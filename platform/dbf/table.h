// File: platform/dbf/table.h
//
// The Tempario table engine: dBase tables (".DBF") in the work folder, as
// the conversions use them. A `Table` is one open table with a current
// record, a pending append or edit, and field access by name.
//
// Writing produces dBase III+/IV tables (version 0x03, no production index)
// that the classic driver and every mainstream reader read; reading accepts
// tables that other programs wrote (dBase III to 5, level 7, FoxPro).
// Every failure throws `EngineError` naming the table and the fault.
//
// Record buffer rules:
// - `Append` starts a blank record at the end; `Edit` starts editing the
//   current one. `Set*` write fields of that pending record; `Post` stores it
//   and keeps the current place.
// - `First`, `Next` and `Locate` post a pending record if a field of it was
//   written, and drop it otherwise. `Close` (and the destructor) do the same,
//   then flush the table; a destructor run by an error that unwinds past the
//   table drops the pending record, so the file holds every record posted
//   before the error and nothing half-written.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tto::dbf {

enum class FieldType { kString, kInteger, kBoolean, kFloat };

struct FieldDef {
  std::string name;
  FieldType type = FieldType::kString;
  int width = 0;  // kString only
};

enum class OpenMode {
  kShared,     // read and write, shared advisory lock
  kReadOnly,   // read only, shared advisory lock
  kExclusive,  // read and write, exclusive advisory lock
};

// A field of an open table, resolved once by name with `Table::Field` and
// then used for every record: no name lookup per row. A handle is valid for
// the table that gave it (and for tables of the same layout).
class FieldHandle {
 public:
  FieldHandle() = default;
  int index() const { return index_; }
  bool operator==(const FieldHandle&) const = default;

 private:
  friend class Table;
  explicit FieldHandle(int index) : index_(index) {}
  int index_ = -1;
};

struct OpenOptions {
  OpenMode mode = OpenMode::kShared;
  // The design-time component's name ("wwTableSoluc"); when set, field
  // errors read "wwTableSoluc: Field 'DIA' not found".
  std::string component = {};
};

class Table {
 public:
  // Deletes NAME.DBF and NAME.MDX (matched ignoring ASCII case) in `folder`,
  // creates NAME.DBF empty with `fields` in their order, and opens it.
  static Table Recreate(const std::filesystem::path& folder, std::string_view name,
                        std::span<const FieldDef> fields);
  // Opens NAME.DBF (matched ignoring ASCII case) in `folder`.
  static Table Open(const std::filesystem::path& folder, std::string_view name,
                    const OpenOptions& options = {});

  Table(Table&&) noexcept;
  Table& operator=(Table&&) noexcept;
  ~Table();

  void Close();
  bool IsOpen() const;

  // Navigation over the records that are not marked deleted.
  void First();
  void Next();
  bool Eof() const;
  int RecordCount() const;

  void Append();
  void Edit();
  void Post();

  // The field named `name` (ignoring ASCII case); throws "Field '%s' not
  // found" (after the component's name and ": " for a design-time
  // component, else followed by " in table NAME").
  FieldHandle Field(std::string_view name) const;

  // Writers of the pending record's fields, by name or by handle.
  void SetText(std::string_view field, std::string_view value);  // cut to width
  void SetBool(std::string_view field, bool value);
  void SetFloat(std::string_view field, double value);
  void SetText(FieldHandle field, std::string_view value);
  void SetBool(FieldHandle field, bool value);
  void SetFloat(FieldHandle field, double value);

  // "" for a blank field; numbers in plain decimal; C fields without their
  // trailing spaces.
  std::string GetText(std::string_view field) const;
  std::string GetText(FieldHandle field) const;
  // The same text without a copy. For a text field it points into the record
  // buffer; for other types into a buffer of the field's own. Valid until
  // the table moves, the record is written, or the field is read again.
  std::string_view TextView(FieldHandle field) const;
  // 0 for a blank field; a float is rounded; a text field's decimal text,
  // else "'%s' is not a valid integer value".
  std::int32_t GetInteger(std::string_view field) const;
  std::int32_t GetInteger(FieldHandle field) const;
  // 0 for a blank field.
  double GetFloat(std::string_view field) const;
  double GetFloat(FieldHandle field) const;

  // `fields` joined by ";", one value each: the first record from the start
  // whose fields all equal the values, exactly and case-sensitively, becomes
  // current and the result is true; else false (the current record is then
  // unspecified, as after a failed search).
  bool Locate(std::string_view fields, std::span<const std::string> values);
  bool Locate(std::string_view field, const std::string& value) {
    return Locate(field, std::span<const std::string>(&value, 1));
  }
  // The same with the fields resolved once; the fastest form for a lookup
  // repeated for every row of another table.
  bool Locate(std::span<const FieldHandle> fields, std::span<const std::string_view> values);
  bool Locate(FieldHandle field, std::string_view value) {
    return Locate(std::span<const FieldHandle>(&field, 1),
                  std::span<const std::string_view>(&value, 1));
  }

  // The table's field names in their order, as stored (upper case for the
  // tables this engine creates).
  std::vector<std::string> FieldNames() const;

  struct Impl;

 private:
  explicit Table(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// The folder of the Tempario tables: TRANSTEMPEXORVE_WORK_FOLDER when set,
// else Wine's C:\ZWORK ($WINEPREFIX/drive_c/ZWORK, $HOME/.wine when
// WINEPREFIX is unset). The system never creates it.
std::filesystem::path DefaultWorkFolder();

}  // namespace tto::dbf
