// File: platform/htmlhelp/htmlhelp_api.h
//
// The call interface of the HTML Help module, libtto_htmlhelp.so: one C entry
// point, looked up by name after the module is loaded, and the commands it
// takes. The help viewer in shell/help sends these calls; the module in this
// folder answers them with its help window. Qt-free, so both sides share it.
#pragma once

#include <cstdint>

namespace tto {

// File name of the module, looked for among the program's files, and the name of its
// entry point.
inline constexpr char kHtmlHelpModuleName[] = "libtto_htmlhelp.so";
inline constexpr char kHtmlHelpEntryName[] = "HtmlHelpA";

// Commands, by their published names and values.
inline constexpr unsigned HH_DISPLAY_TOPIC = 0x0000;  // file "help.chm::/topic.htm", data 0
inline constexpr unsigned HH_DISPLAY_TOC = 0x0001;    // file "help.chm", data 0
inline constexpr unsigned HH_DISPLAY_INDEX = 0x0002;  // data: the keyword (const char*)
inline constexpr unsigned HH_HELP_CONTEXT = 0x000F;   // data: the context number
inline constexpr unsigned HH_CLOSE_ALL = 0x0012;      // no file, data 0

}  // namespace tto

extern "C" {
// window: the window that owns help windows (0: none); file: null-terminated
// help file name, or null for HH_CLOSE_ALL; data: as the command says. The
// result is the help window's handle, or 0; callers do not look at it.
typedef uintptr_t (*HtmlHelpAFunction)(uintptr_t window, const char* file, unsigned command,
                                       uintptr_t data);
}
