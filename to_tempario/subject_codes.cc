#include "to_tempario/subject_codes.h"

namespace tto {

void SubjectCodes::Add(std::string_view code) {
  if (code == last_code_ && !last_key_.empty()) {
    codes_.Add(code, std::move(last_key_));
    last_key_.clear();
    return;
  }
  codes_.Add(code);
}

bool SubjectCodes::AddIfUnused(std::string_view code) {
  StringList::Key key = StringList::KeyOf(code);
  if (codes_.IndexOfKey(key) != -1) return false;
  codes_.Add(code, std::move(key));
  return true;
}

std::optional<std::string> SubjectCodes::ForSubject(std::string_view base_code,
                                                    std::string_view language_code) {
  std::string code(base_code);
  if (!language_code.empty()) {
    if (code.size() + language_code.size() > kMaxLength) {
      code.resize(kMaxLength > language_code.size() ? kMaxLength - language_code.size() : 0);
    }
    code += language_code;
  }

  // Each code and candidate is keyed once; the key of the code given goes
  // with it to `Add`.
  StringList::Key key = StringList::KeyOf(code);
  if (codes_.IndexOfKey(key) != -1) {
    if (code.size() >= kMaxLength) code.resize(kMaxLength - 1);
    int& number = next_number_.try_emplace(code, 1).first->second;
    std::string candidate;
    for (;; ++number) {
      candidate = code + std::to_string(number);
      // No used code is longer than 10 characters, so a longer candidate is
      // free; stopping there also bounds the search.
      if (candidate.size() > kMaxLength) break;
      key = StringList::KeyOf(candidate);
      if (codes_.IndexOfKey(key) == -1) break;
    }
    code = std::move(candidate);
  }

  if (code.size() > kMaxLength) {
    code = code.substr(0, 8) + code.substr(code.size() - 2);
    key = StringList::KeyOf(code);
  }
  if (code.empty() || codes_.IndexOfKey(key) != -1) return std::nullopt;
  last_code_ = code;
  last_key_ = std::move(key);
  return code;
}

}  // namespace tto
