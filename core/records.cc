#include "core/records.h"

namespace tto {

std::string_view LTrim(std::string_view text) {
  const auto first = text.find_first_not_of(' ');
  return first == std::string_view::npos ? std::string_view() : text.substr(first);
}

std::string_view RTrim(std::string_view text) {
  const auto last = text.find_last_not_of(' ');
  return last == std::string_view::npos ? std::string_view() : text.substr(0, last + 1);
}

std::string_view AllTrim(std::string_view text) { return LTrim(RTrim(text)); }

std::string FieldAt(std::string_view line, int start, int length) {
  return std::string(FieldView(line, start, length));
}

std::string_view FieldView(std::string_view line, int start, int length) {
  if (start < 1 || length <= 0 || static_cast<std::size_t>(start) > line.size()) return {};
  return AllTrim(line.substr(static_cast<std::size_t>(start) - 1, static_cast<std::size_t>(length)));
}

std::string Initials(std::string_view text) {
  std::string result;
  for (std::size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] == ' ') result += text[i + 1];
  }
  return result;
}

void AppendPadded(std::string& record, std::string_view value, int width) {
  record += value;
  if (static_cast<std::size_t>(width > 0 ? width : 0) > value.size()) {
    record.append(static_cast<std::size_t>(width) - value.size(), ' ');
  }
}

std::string AsciiUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool IsHeaderRecord(std::string_view line) { return !line.empty() && line.front() == '0'; }

bool IsTrailerRecord(std::string_view line) { return !line.empty() && line.front() == '9'; }

bool IsNameRecord(std::string_view line, std::string_view name_text) {
  if (line.size() < 2) return name_text.empty();
  const std::string_view field = AllTrim(line.substr(1, 50));
  if (field.size() != name_text.size()) return false;
  for (std::size_t i = 0; i < field.size(); ++i) {
    const char c = field[i];
    if ((c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c) != name_text[i]) return false;
  }
  return true;
}

bool IsDataRecord(std::string_view line, std::string_view name_text) {
  return !IsHeaderRecord(line) && !IsTrailerRecord(line) && !IsNameRecord(line, name_text);
}

}  // namespace tto
