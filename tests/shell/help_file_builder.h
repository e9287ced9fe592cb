// A small compiled help file for the help tests, made with chmcmd: the
// default topic "inicio.htm", the topic of help context 3 "ventana.htm"
// (through [ALIAS] and [MAP]), "temas/aulas.htm" nested in the contents and
// in the index under "Aulas", and an image "logo.png".
#pragma once

#include <filesystem>
#include <string>

namespace tto::testing {

// Writes `text` to `path` as it is.
void Write(const std::filesystem::path& path, const std::string& text);

// Compiles the help file in `folder` (created when missing) and returns its
// path, or an empty path when chmcmd is missing or fails.
std::filesystem::path BuildHelpFile(const std::filesystem::path& folder);

}  // namespace tto::testing
