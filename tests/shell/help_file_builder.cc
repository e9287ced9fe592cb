// File: tests/shell/help_file_builder.cc
#include "tests/shell/help_file_builder.h"

#include <cstdlib>
#include <fstream>

namespace tto::testing {
namespace {

namespace fs = std::filesystem;

std::string Page(const std::string& title, const std::string& body) {
  return "<html><head><meta charset=\"utf-8\"><title>" + title +
         "</title></head><body><h1>" + title + "</h1>" + body + "</body></html>";
}

std::string Item(const std::string& name, const std::string& local) {
  return "<LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"" + name +
         "\"><param name=\"Local\" value=\"" + local + "\"></OBJECT>\n";
}

}  // namespace

fs::path BuildHelpFile(const fs::path& folder) {
  fs::create_directories(folder);
  Write(folder / "prueba.hhp",
        "[OPTIONS]\nCompiled file=prueba.chm\nContents file=prueba.hhc\n"
        "Index file=prueba.hhk\nDefault topic=inicio.htm\nTitle=Ayuda de prueba\n\n"
        "[FILES]\ninicio.htm\nventana.htm\ntemas/aulas.htm\nlogo.png\n\n"
        "[ALIAS]\nIDH_VENTANA=ventana.htm\n\n[MAP]\n#define IDH_VENTANA 3\n");
  Write(folder / "inicio.htm",
        Page("Inicio", "<p><img src=\"logo.png\"> <a href=\"temas/aulas.htm\">Aulas</a></p>"));
  Write(folder / "ventana.htm", Page("La ventana principal", "<p>Contexto tres.</p>"));
  fs::create_directories(folder / "temas");
  Write(folder / "temas" / "aulas.htm",
        Page("Las aulas", "<p><img src=\"../logo.png\"></p>"));
  // A 1x1 PNG.
  const unsigned char png[] = {
      0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44,
      0x52, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x02, 0x00, 0x00, 0x00, 0x90,
      0x77, 0x53, 0xDE, 0x00, 0x00, 0x00, 0x0C, 0x49, 0x44, 0x41, 0x54, 0x08, 0xD7, 0x63, 0xF8,
      0xCF, 0xC0, 0x00, 0x00, 0x03, 0x01, 0x01, 0x00, 0x18, 0xDD, 0x8D, 0xB0, 0x00, 0x00, 0x00,
      0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};
  Write(folder / "logo.png", std::string(reinterpret_cast<const char*>(png), sizeof png));
  Write(folder / "prueba.hhc", "<HTML><BODY><UL>" + Item("Inicio", "inicio.htm") + "<UL>" +
                                   Item("Las aulas", "temas/aulas.htm") + "</UL>" +
                                   Item("La ventana", "ventana.htm") + "</UL></BODY></HTML>");
  Write(folder / "prueba.hhk", "<HTML><BODY><UL>" + Item("Aulas", "temas/aulas.htm") +
                                   Item("Ventana", "ventana.htm") + "</UL></BODY></HTML>");
  const std::string command = "cd '" + folder.string() +
                              "' && chmcmd --no-html-scan --verbosity 0 prueba.hhp >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) return {};
  return fs::exists(folder / "prueba.chm") ? folder / "prueba.chm" : fs::path();
}

void Write(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

}  // namespace tto::testing
