// File: to_tempario/field_on_first_use.h
//
// A field of a table that the conversions read but did not create, resolved
// to its handle the first time it is used and then kept. A field that the
// table lacks therefore fails ("Field '%s' not found") exactly where reading
// it by name would, and not at all when no record needs it.
#pragma once

#include <optional>
#include <string_view>

#include "platform/dbf/table.h"

namespace tto {

class FieldOnFirstUse {
 public:
  FieldOnFirstUse(const dbf::Table& table, std::string_view name) : table_(table), name_(name) {}

  dbf::FieldHandle operator()() {
    if (!handle_) handle_ = table_.Field(name_);
    return *handle_;
  }

 private:
  const dbf::Table& table_;
  std::string_view name_;
  std::optional<dbf::FieldHandle> handle_;
};

}  // namespace tto
