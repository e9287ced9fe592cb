#include "to_tempario/subject_codes.h"

namespace tto {

std::optional<std::string> SubjectCodes::ForSubject(std::string_view base_code,
                                                    std::string_view language_code) {
  std::string code(base_code);
  if (!language_code.empty()) {
    if (code.size() + language_code.size() > kMaxLength) {
      code.resize(kMaxLength > language_code.size() ? kMaxLength - language_code.size() : 0);
    }
    code += language_code;
  }

  if (Contains(code)) {
    if (code.size() >= kMaxLength) code.resize(kMaxLength - 1);
    int& number = next_number_.try_emplace(code, 1).first->second;
    std::string candidate;
    for (;; ++number) {
      candidate = code + std::to_string(number);
      // No used code is longer than 10 characters, so a longer candidate is
      // free; stopping there also bounds the search.
      if (candidate.size() > kMaxLength || !Contains(candidate)) break;
    }
    code = std::move(candidate);
  }

  if (code.size() > kMaxLength) code = code.substr(0, 8) + code.substr(code.size() - 2);
  if (code.empty() || Contains(code)) return std::nullopt;
  return code;
}

}  // namespace tto
