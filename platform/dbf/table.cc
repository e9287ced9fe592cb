// File: platform/dbf/table.cc
//
// The dBase engine behind table.h: the current record, the pending record
// of an append or edit, field access and Locate. The bytes of the header
// and of field values are format.cc's, the records' file work
// record_file.cc's, locks and the replacement of a table replace.cc's, the
// index of Locate locate_index.cc's.
//
// A table is never held whole: records are read through a bounded cache of
// blocks, so that a pass over a table of any size takes the same memory.
// A re-created table is written into a temporary file of its own, which
// replaces the table only when it is complete and synced (at Close); until
// then the old table stays as it was, and a failed write leaves it so.
#include "platform/dbf/table.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <limits>
#include <utility>

#include "core/encoding.h"
#include "core/errors.h"
#include "core/numbers.h"
#include "core/orve_path.h"
#include "core/records.h"
#include "platform/dbf/format.h"
#include "platform/dbf/locate_index.h"
#include "platform/dbf/record_file.h"
#include "platform/dbf/replace.h"

namespace tto::dbf {

namespace fs = std::filesystem;

namespace {

constexpr char kInUse[] = "the table is in use by another program";

std::string ErrnoText(int error) { return error == 0 ? "unexpected end of file" : std::strerror(error); }

void CheckWorkFolder(const fs::path& folder) {
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) {
    throw EngineError("The work folder '" + folder.string() + "' does not exist");
  }
}

}  // namespace

struct Table::Impl final : FaultSink {
  // Identity, for messages.
  std::string name;  // as the caller gave it
  fs::path path;
  std::string component;  // design-time component, or empty

  // The file: an opened table's own, or the temporary file that a
  // re-created table replaces the old one with at Close.
  Fd fd;
  Replacement replacement;
  bool replacing = false;
  bool read_only = false;
  bool write_locked = false;  // holds the range lock of a writer
  bool closed = false;
  bool broken = false;  // a write failed: nothing more reaches the table

  Layout layout;
  mutable RecordFile file;
  mutable std::int64_t live_count = -1;  // records not marked deleted; -1: not counted yet
  bool header_dirty = false;

  // Position: `current` is a record index or -1; `eof` follows the dataset
  // rule that moving past the last record keeps it current.
  std::int64_t current = -1;
  bool eof = true;

  // The pending record of an Append or Edit.
  enum class Pending { kNone, kAppend, kEdit } pending = Pending::kNone;
  std::string buffer;
  bool buffer_written = false;

  // Decoded texts handed out as views, one per field, and a buffer for
  // texts that are used at once.
  mutable std::vector<std::string> scratch;
  mutable std::string scratch_one;

  // Locate: one index per list of fields, built at the first search, and
  // the lists of field names already parsed.
  struct Index {
    std::vector<int> fields;
    LocateIndex index;
  };
  std::vector<Index> indexes;
  std::vector<std::pair<std::string, std::vector<int>>> parsed_lists;
  std::vector<int> handle_list;
  std::string key;
  std::string old_key;

  // --- messages ---------------------------------------------------------

  std::string Where() const { return "Table " + name + " (" + path.string() + ")"; }
  [[noreturn]] void Fail(const std::string& fault) const override {
    throw EngineError(Where() + ": " + fault);
  }

  void CheckOpen() const {
    if (closed) Fail("the table is closed");
  }

  int FieldIndex(std::string_view field_name) const {
    for (std::size_t i = 0; i < layout.fields.size(); ++i) {
      if (EqualsIgnoringAsciiCase(layout.fields[i].name, field_name)) return static_cast<int>(i);
    }
    std::string message = "Field '" + Cp1252ToUtf8(field_name) + "' not found";
    if (!component.empty()) throw EngineError(component + ": " + message);
    throw EngineError(message + " in table " + name);
  }

  // The field of a handle, checked against this table's layout.
  const FieldLayout& FieldOf(FieldHandle handle) const {
    if (handle.index() < 0 || static_cast<std::size_t>(handle.index()) >= layout.fields.size()) {
      Fail("a field handle that does not belong to this table");
    }
    return layout.fields[static_cast<std::size_t>(handle.index())];
  }

  // --- records through the cache ----------------------------------------

  [[noreturn]] void FailIo(const RecordFile::IoFailure& failure) const {
    if (std::strcmp(failure.what, "write") == 0) {
      const_cast<Impl*>(this)->broken = true;
      Fail("cannot write records: " + ErrnoText(failure.error));
    }
    Fail("cannot read the records: " + ErrnoText(failure.error));
  }

  const char* RecordAt(std::uint32_t index) const {
    try {
      return file.Read(index);
    } catch (const RecordFile::IoFailure& failure) {
      FailIo(failure);
    }
  }

  bool Deleted(std::uint32_t index) const { return RecordAt(index)[0] == '*'; }

  std::uint32_t Count() const { return file.count(); }

  // The bytes fields are read from: the pending buffer, else the current
  // record, else none.
  const char* Source() const {
    if (pending != Pending::kNone) return buffer.data();
    if (current >= 0) return RecordAt(static_cast<std::uint32_t>(current));
    return nullptr;
  }

  Value ReadField(const char* record, const FieldLayout& f, std::string& into) const {
    return ReadValue(record, f, layout.dialect, *this, into);
  }

  std::int64_t LiveCount() const {
    if (live_count < 0) {
      std::int64_t live = 0;
      for (std::uint32_t r = 0; r < Count(); ++r) live += Deleted(r) ? 0 : 1;
      live_count = live;
    }
    return live_count;
  }

  // --- writing ----------------------------------------------------------

  void CheckWritable() {
    if (read_only) Fail("the table is open read-only");
    if (!layout.writable) {
      Fail("this engine writes only dBase III+/IV tables of C, N, F, L and D fields");
    }
    if (broken) Fail("an earlier write failed; the table is left as it was");
    if (replacing || write_locked) return;
    switch (UpgradeToWrite(fd.get())) {
      case LockResult::kLocked:
        write_locked = true;
        return;
      case LockResult::kHeld:
        Fail(kInUse);
      case LockResult::kFailed:
        Fail("cannot lock the table: " + ErrnoText(errno));
    }
  }

  // The bytes of a field of the pending record, for a setter that sets
  // `buffer_written` once it has stored its value.
  char* PendingField(const FieldLayout& f) {
    if (pending == Pending::kNone) {
      Fail("field " + Shown(f) + " cannot be written: no record is being appended or edited");
    }
    return buffer.data() + 1 + f.offset;
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
    if (broken) Fail("an earlier write failed; the table is left as it was");
    try {
      if (pending == Pending::kAppend) {
        file.Append(buffer.data());
        current = Count() - 1;
        if (live_count >= 0) ++live_count;
        for (Index& index : indexes) {
          KeyOf(buffer.data(), index.fields, key);
          index.index.Insert(key, static_cast<std::uint32_t>(current));
        }
      } else {
        const auto at = static_cast<std::uint32_t>(current);
        const char* old = file.Read(at);
        for (Index& index : indexes) {
          if (SameFields(old, buffer.data(), index.fields)) continue;
          KeyOf(old, index.fields, old_key);
          KeyOf(buffer.data(), index.fields, key);
          index.index.Remove(old_key, at);
          index.index.Insert(key, at);
        }
        std::memcpy(file.Write(at), buffer.data(), layout.record_length);
      }
    } catch (const RecordFile::IoFailure& failure) {
      FailIo(failure);
    }
    pending = Pending::kNone;
    eof = false;
    header_dirty = true;
  }

  // Writes what the file lacks: changed records with the end-of-file mark,
  // then the header's date and record count, so that the file is a valid
  // table at every moment (a count below the records that follow it is
  // what every reader expects after an interrupted append).
  void Flush() {
    if (!header_dirty) return;
    try {
      file.Flush();
    } catch (const RecordFile::IoFailure& failure) {
      FailIo(failure);
    }
    char head[8];
    head[0] = static_cast<char>(layout.version);
    PutToday(head + 1);
    PutLe(head + 4, Count(), 4);
    if (!PwriteAll(file.fd(), head, sizeof head, 0)) {
      broken = true;
      Fail("cannot write the header: " + ErrnoText(errno));
    }
    header_dirty = false;
  }

  // --- navigation and locate --------------------------------------------

  std::int64_t NextLive(std::int64_t from) const {
    for (std::int64_t i = from; i < Count(); ++i) {
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
    const std::int64_t next = NextLive(current + 1);
    if (next < 0) {
      eof = true;  // the last record stays current
    } else {
      current = next;
    }
  }

  // The key of a record: the texts of the fields, each with its length.
  void KeyOf(const char* record, const std::vector<int>& fields, std::string& out) const {
    out.clear();
    for (int i : fields) {
      AppendKeyPart(out, ReadField(record, layout.fields[static_cast<std::size_t>(i)], scratch_one).text);
    }
  }

  bool SameFields(const char* a, const char* b, const std::vector<int>& fields) const {
    for (int i : fields) {
      const FieldLayout& f = layout.fields[static_cast<std::size_t>(i)];
      if (std::memcmp(a + 1 + f.offset, b + 1 + f.offset, static_cast<std::size_t>(f.width)) != 0) {
        return false;
      }
    }
    return true;
  }

  const std::vector<int>& ParseFieldList(std::string_view field_list) {
    for (const auto& [text, fields] : parsed_lists) {
      if (text == field_list) return fields;
    }
    std::vector<int> fields;
    std::size_t start = 0;
    while (true) {
      const std::size_t end = field_list.find(';', start);
      std::string_view one = field_list.substr(start, end == std::string_view::npos ? end : end - start);
      fields.push_back(FieldIndex(TrimSpaces(one)));
      if (end == std::string_view::npos) break;
      start = end + 1;
    }
    parsed_lists.emplace_back(std::string(field_list), std::move(fields));
    return parsed_lists.back().second;
  }

  LocateIndex& IndexOf(const std::vector<int>& fields) {
    for (Index& index : indexes) {
      if (index.fields == fields) return index.index;
    }
    Index built{fields, {}};
    for (std::uint32_t r = 0; r < Count(); ++r) {
      const char* record = RecordAt(r);
      if (record[0] == '*') continue;
      KeyOf(record, fields, key);
      built.index.Insert(key, r);
    }
    indexes.push_back(std::move(built));
    return indexes.back().index;
  }

  template <typename Values>
  bool Locate(const std::vector<int>& fields, const Values& values) {
    CheckOpen();
    if (fields.size() != values.size()) {
      Fail("locate on " + std::to_string(fields.size()) + " fields was given " +
           std::to_string(values.size()) + " values");
    }
    Settle();
    LocateIndex& index = IndexOf(fields);
    key.clear();
    for (const auto& value : values) AppendKeyPart(key, value);
    const std::uint32_t found = index.First(key);
    if (found == LocateIndex::kNone) return false;
    current = found;
    eof = false;
    return true;
  }

  // --- opening and closing ----------------------------------------------

  void Load();
  void Close();
};

// Reads and checks the header and the field descriptors, and sets up the
// records' cache. Nothing of the records is read yet.
void Table::Impl::Load() {
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) Fail("cannot read the table: " + ErrnoText(errno));
  const auto file_size = static_cast<std::size_t>(st.st_size);
  if (file_size < 32) {
    Fail("the file (" + std::to_string(file_size) + " bytes) is too short for a dBase header");
  }
  char first[32];
  if (!PreadAll(fd.get(), first, sizeof first, 0)) {
    Fail("cannot read the header: " + ErrnoText(errno));
  }
  const std::size_t header_length = ReadLe16(first + 8);
  std::string head(std::max<std::size_t>(std::min(header_length, file_size), 32), '\0');
  if (!PreadAll(fd.get(), head.data(), head.size(), 0)) {
    Fail("cannot read the header: " + ErrnoText(errno));
  }
  head.resize(std::max<std::size_t>(head.size(), 69), '\0');  // room for the level-7 prefix
  layout = ParseHeader(head.data(), file_size, *this);
  file = RecordFile(fd.get(), layout.header_length, layout.record_length, layout.count);
}

void Table::Impl::Close() {
  if (closed) return;
  try {
    if (!broken) {
      Settle();
      Flush();
      if (replacing) {
        const std::string fault = replacement.Commit();
        if (!fault.empty()) Fail(fault);
      }
    }
  } catch (...) {
    closed = true;
    replacement.Abandon();
    fd.Reset();
    indexes.clear();
    file = RecordFile();
    throw;
  }
  closed = true;
  replacement.Abandon();  // nothing left after a commit; the temporary after a failure
  fd.Reset();
  indexes.clear();
  file = RecordFile();
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
    // written: it is dropped, and the table keeps only what was posted.
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

}  // namespace

Table Table::Recreate(const fs::path& folder, std::string_view name,
                      std::span<const FieldDef> fields) {
  CheckWorkFolder(folder);
  auto impl = std::make_unique<Impl>();
  impl->name = std::string(name);
  const std::string base = tto::AsciiUpper(name);
  impl->path = folder / (base + ".DBF");

  // The layout first, so that a bad field list leaves the old table alone.
  impl->layout = NewLayout(fields, *impl);
  const std::string fault = impl->replacement.Begin(folder, base);
  if (!fault.empty()) impl->Fail(fault);
  impl->replacing = true;
  const int fd = impl->replacement.temporary_fd();
  std::string header = HeaderBytes(impl->layout);
  header += kEofMarker;
  if (!PwriteAll(fd, header.data(), header.size(), 0)) {
    impl->Fail("cannot create the table: " + ErrnoText(errno));  // the temporary goes with impl
  }
  impl->file = RecordFile(fd, impl->layout.header_length, impl->layout.record_length, 0);
  impl->live_count = 0;
  impl->current = -1;
  impl->eof = true;
  return Table(std::move(impl));
}

Table Table::Open(const fs::path& folder, std::string_view name, const OpenOptions& options) {
  CheckWorkFolder(folder);
  auto impl = std::make_unique<Impl>();
  impl->name = std::string(name);
  impl->component = options.component;
  const std::string file_name = tto::AsciiUpper(name) + ".DBF";
  const std::vector<fs::path> found = FindIgnoringCase(folder, file_name);
  impl->path = found.empty() ? folder / file_name : found.front();
  if (found.empty()) impl->Fail("the table does not exist");

  impl->read_only = options.mode == OpenMode::kReadOnly;
  int fd = -1;
  if (!impl->read_only) {
    fd = ::open(impl->path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM)) impl->read_only = true;
  }
  // O_NONBLOCK: a FIFO in the table's place must not hang the open; it has
  // no effect on regular files.
  if (impl->read_only) fd = ::open(impl->path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) impl->Fail("cannot open the table: " + ErrnoText(errno));
  impl->fd = Fd(fd);
  struct stat st {};
  if (::fstat(fd, &st) != 0) impl->Fail("cannot read the table: " + ErrnoText(errno));
  if (!S_ISREG(st.st_mode)) impl->Fail("not a regular file");
  // A reader meets only writers; the lock is raised to a writer's when the
  // table is first written.
  switch (LockWhole(fd, options.mode == OpenMode::kExclusive, F_RDLCK)) {
    case LockResult::kLocked:
      break;
    case LockResult::kHeld:
      impl->Fail(kInUse);
    case LockResult::kFailed:
      impl->Fail("cannot lock the table: " + ErrnoText(errno));
  }
  impl->Load();
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
int Table::RecordCount() const { return static_cast<int>(Checked(impl_).LiveCount()); }

void Table::Append() {
  Impl& t = Checked(impl_);
  t.CheckWritable();
  t.Settle();
  t.buffer.assign(t.layout.record_length, ' ');
  t.buffer_written = false;
  t.pending = Impl::Pending::kAppend;
}

void Table::Edit() {
  Impl& t = Checked(impl_);
  t.CheckWritable();
  if (t.pending == Impl::Pending::kEdit) return;
  t.Settle();
  if (t.current < 0) t.Fail("there is no current record to edit");
  t.buffer.assign(t.RecordAt(static_cast<std::uint32_t>(t.current)), t.layout.record_length);
  t.buffer_written = false;
  t.pending = Impl::Pending::kEdit;
}

void Table::Post() { Checked(impl_).Post(); }

FieldHandle Table::Field(std::string_view name) const {
  return FieldHandle(Checked(impl_).FieldIndex(name));
}

void Table::SetText(std::string_view field, std::string_view value) {
  SetText(Field(field), value);
}
void Table::SetBool(std::string_view field, bool value) { SetBool(Field(field), value); }
void Table::SetFloat(std::string_view field, double value) { SetFloat(Field(field), value); }
std::string Table::GetText(std::string_view field) const { return GetText(Field(field)); }
std::int32_t Table::GetInteger(std::string_view field) const { return GetInteger(Field(field)); }
double Table::GetFloat(std::string_view field) const { return GetFloat(Field(field)); }

void Table::SetText(FieldHandle field, std::string_view value) {
  Impl& t = Checked(impl_);
  const FieldLayout& f = t.FieldOf(field);
  StoreText(f, t.PendingField(f), value, t);
  t.buffer_written = true;
}

void Table::SetBool(FieldHandle field, bool value) {
  Impl& t = Checked(impl_);
  const FieldLayout& f = t.FieldOf(field);
  char* dest = t.PendingField(f);
  if (f.type != 'L') t.Fail("field " + Shown(f) + " is not a boolean field");
  *dest = value ? 'T' : 'F';
  t.buffer_written = true;
}

void Table::SetFloat(FieldHandle field, double value) {
  Impl& t = Checked(impl_);
  const FieldLayout& f = t.FieldOf(field);
  char* dest = t.PendingField(f);
  if (f.type == 'N' || f.type == 'F') {
    StoreNumber(f, dest, value, t);
    t.buffer_written = true;
  } else if (f.type == 'C') {
    SetText(field, FormatDouble(value));
  } else {
    t.Fail("field " + Shown(f) + " cannot be written as a number");
  }
}

std::string Table::GetText(FieldHandle field) const {
  const Impl& t = Checked(impl_);
  return std::string(t.ReadField(t.Source(), t.FieldOf(field), t.scratch_one).text);
}

std::string_view Table::TextView(FieldHandle field) const {
  const Impl& t = Checked(impl_);
  const FieldLayout& f = t.FieldOf(field);
  if (t.scratch.size() < t.layout.fields.size()) t.scratch.resize(t.layout.fields.size());
  return t.ReadField(t.Source(), f, t.scratch[static_cast<std::size_t>(field.index())]).text;
}

std::int32_t Table::GetInteger(FieldHandle field) const {
  const Impl& t = Checked(impl_);
  const FieldLayout& f = t.FieldOf(field);
  const Value v = t.ReadField(t.Source(), f, t.scratch_one);
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
      const double rounded = std::nearbyint(v.number);  // a tie goes to the even neighbour
      if (rounded < std::numeric_limits<std::int32_t>::min() ||
          rounded > std::numeric_limits<std::int32_t>::max()) {
        t.Fail("the value " + std::string(v.text) + " of field " + Shown(f) +
               " is out of the integer range");
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
  const FieldLayout& f = t.FieldOf(field);
  const Value v = t.ReadField(t.Source(), f, t.scratch_one);
  switch (v.kind) {
    case Value::kBlank:
      return 0;
    case Value::kNumber:
      return v.number;
    case Value::kText:
      if (f.type == 'C' || f.type == 'V') {
        double result = 0;
        if (!ParseDecimal(TrimSpaces(v.text), result)) {
          throw EngineError(InvalidFloatMessage(v.text));
        }
        return result;
      }
      break;
    default:
      break;
  }
  t.Fail("field " + Shown(f) + " cannot be read as a number");
}

bool Table::Locate(std::string_view fields, std::span<const std::string> values) {
  Impl& t = Checked(impl_);
  return t.Locate(t.ParseFieldList(fields), values);
}

bool Table::Locate(std::span<const FieldHandle> fields, std::span<const std::string_view> values) {
  Impl& t = Checked(impl_);
  t.handle_list.clear();
  for (FieldHandle f : fields) {
    t.FieldOf(f);
    t.handle_list.push_back(f.index());
  }
  return t.Locate(t.handle_list, values);
}

std::vector<std::string> Table::FieldNames() const {
  const Impl& t = Checked(impl_);
  std::vector<std::string> names;
  for (const FieldLayout& f : t.layout.fields) names.push_back(f.name);
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
