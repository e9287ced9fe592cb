// write_ini PATH VALUE: sets the host's outcome key in the ini file at PATH,
// as the window does when it closes; the error's text on standard error and
// status 2 when that fails. Lets the fault tests run the ini writer in a
// process of its own, under the write-fault library.
#include <iostream>

#include "core/errors.h"
#include "platform/ini/ini_file.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: write_ini PATH VALUE\n";
    return 64;
  }
  try {
    tto::WriteIniString(argv[1], "Transformadores", "Transformado", argv[2]);
  } catch (const tto::Error& error) {
    std::cerr << error.what() << '\n';
    return 2;
  }
  return 0;
}
