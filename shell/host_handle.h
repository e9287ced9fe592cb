// File: shell/host_handle.h
//
// The host window's handle as the host passes it on the command line: the
// second parameter, read as the integer text "$" + parameter, where "$"
// means hexadecimal. Qt-free, so the rule is tested on its own.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tto {

// The handle written in `parameter`: one or more hexadecimal digits, letters
// in either case, no prefix, no spaces, value at most FFFFFFFF. Anything else
// throws `Error` "'$<parameter>' is not a valid integer value"; the
// parameter is command-line text (UTF-8) and goes into the message as it is.
std::uint32_t HostHandleFromParameter(std::string_view parameter);

// Where the host window's client area lies, as the Windows-side launcher
// tells it (host_launcher/launcher.cc): its origin in Win32 screen
// coordinates and the X11 window whose origin is the Win32 screen's origin
// (0: the root window; Wine's virtual desktop has a window of its own).
struct HostClientPlace {
  int x = 0;
  int y = 0;
  std::uint32_t screen = 0;
};

// Reads the launcher's text "X Y SCREEN\n" (decimal, decimal, hexadecimal);
// nothing when it is not that.
std::optional<HostClientPlace> ParseHostClientPlace(std::string_view text);

}  // namespace tto
