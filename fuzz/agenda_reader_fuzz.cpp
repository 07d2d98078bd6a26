// Fuzzes the Series 3 Agenda reader: any file is walked, marked and appended
// to without a crash, and the only bytes that change in the existing file are
// record headers losing their type (the high nibble of their second byte).
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/errors.h"
#include "platform/oledate.h"
#include "quoll/agenda_file.h"

using pellary::quoll::AgendaFile;

namespace {

const std::string& scratchPath() {
  static const std::string path = [] {
    const char* dir = std::getenv("TMPDIR");
    std::string p = std::string(dir && *dir ? dir : "/tmp") + "/agenda-fuzz-" + std::to_string(getpid()) + ".agn";
    return p;
  }();
  static const bool cleanup = [] {
    std::atexit([] { std::remove(scratchPath().c_str()); });
    return true;
  }();
  (void)cleanup;
  return path;
}

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string le16(uint32_t v) { return {char(v & 0xFF), char((v >> 8) & 0xFF)}; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string original(reinterpret_cast<const char*>(data), size);
  {
    std::ofstream out(scratchPath(), std::ios::binary | std::ios::trunc);
    out.write(original.data(), std::streamsize(original.size()));
  }
  AgendaFile file;
  if (file.OpenFile(scratchPath()) != 0) std::abort();

  // Walk every record; the walk must end.
  int32_t day = 1, month = 1, year = 1970;
  std::string text = "none";
  bool haveEntry = false;
  for (int steps = 0; file.ReadNextEntry() == 0; ++steps) {
    if (steps > int(size)) std::abort();  // each record takes at least two bytes
    if (!haveEntry && file.entry().hasDate) {
      int y = 0, m = 0, d = 0;
      pellary::platform::civilFromDays(file.entry().day, y, m, d);
      day = d, month = m, year = y;
      text = file.entry().text;
      haveEntry = true;
    }
  }
  try {
    file.MarkAsDeleted(day, month, year, text);
    file.MarkAsDeleted(day, month, year, text);
    file.AppendEntry(2, 1, 1970, "Fz", "", 1, 1);
    file.MarkAsDeleted(2, 1, 1970, "Fz");
    file.CloseFile();
  } catch (const pellary::AppError& e) {
    std::fprintf(stderr, "unexpected error %ld: %s\n", e.number(), e.description().c_str());
    std::abort();
  }

  const std::string expected = original + le16(0x200A) + le16(1) + le16(0xFFFF) + "\x1A\x20" + std::string(1, '\0') +
                               "\x02"
                               "Fz" +
                               le16(0x5009) + std::string(2, '\0') + le16(2) + "\x02" + le16(uint32_t(size) & 0xFFFF) +
                               le16(uint32_t(size) >> 16);
  const std::string after = readAll(scratchPath());
  if (after.size() != expected.size()) std::abort();
  for (size_t i = 0; i < after.size(); ++i)
    if (after[i] != expected[i] && uint8_t(after[i]) != (uint8_t(expected[i]) & 0x0F)) std::abort();
  return 0;
}
