// File: shell/host_handle.h
//
// The host window's handle as the host passes it on the command line: the
// second parameter, read as the integer text "$" + parameter, where "$"
// means hexadecimal. Qt-free, so the rule is tested on its own.
#pragma once

#include <cstdint>
#include <string_view>

namespace tto {

// The handle written in `parameter`: one or more hexadecimal digits, letters
// in either case, no prefix, no spaces, value at most FFFFFFFF. Anything else
// throws `Error` "'$<parameter>' is not a valid integer value"; the
// parameter is command-line text (UTF-8) and goes into the message as it is.
std::uint32_t HostHandleFromParameter(std::string_view parameter);

}  // namespace tto
