// File: shell/host_handle.cc
#include "shell/host_handle.h"

#include <charconv>
#include <string>

#include "core/errors.h"

namespace tto {

std::uint32_t HostHandleFromParameter(std::string_view parameter) {
  std::uint64_t value = 0;
  bool valid = !parameter.empty();
  for (const char c : parameter) {
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    if (digit < 0) {
      valid = false;
      break;
    }
    value = value * 16 + static_cast<std::uint64_t>(digit);
    if (value > 0xFFFFFFFFu) {  // leading zeros stay allowed
      valid = false;
      break;
    }
  }
  if (!valid) {
    throw Error("'$" + std::string(parameter) + "' is not a valid integer value");
  }
  return static_cast<std::uint32_t>(value);
}

std::optional<HostClientPlace> ParseHostClientPlace(std::string_view text) {
  HostClientPlace place;
  const char* at = text.data();
  const char* const end = text.data() + text.size();
  // One number and the single separator after it.
  auto next = [&](auto& value, int base, char separator) {
    const auto [stop, error] = std::from_chars(at, end, value, base);
    if (error != std::errc() || stop == end || *stop != separator) return false;
    at = stop + 1;
    return true;
  };
  if (!next(place.x, 10, ' ') || !next(place.y, 10, ' ') || !next(place.screen, 16, '\n') ||
      at != end) {
    return std::nullopt;
  }
  return place;
}

}  // namespace tto
