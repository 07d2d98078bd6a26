// Fuzzes the INI reader over a file's bytes: any text, section and key give a
// value within the buffer's size, never a crash.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/ini/ini_file.h"

using namespace pellary::platform;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  // The first line names the section and key looked up; the rest is the file.
  const size_t cut = bytes.find('\n');
  const std::string ask = cut == std::string::npos ? bytes : bytes.substr(0, cut);
  const std::string file = cut == std::string::npos ? std::string() : bytes.substr(cut + 1);
  const size_t eq = ask.find('=');
  const std::string section = ask.substr(0, eq), key = eq == std::string::npos ? "" : ask.substr(eq + 1);
  for (size_t buffer : {size_t(1), size_t(16), size_t(256)}) {
    std::string v = ini::profileStringFromText(file, section, key, "fallback", buffer);
    if (v.size() > buffer * 4) std::abort();  // a character may take up to four bytes in UTF-8
  }
  return 0;
}
