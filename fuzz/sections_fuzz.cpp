// Fuzzes the splitter of the update packet's sections file: any bytes are
// split or refused with a numbered error; every section it yields has a plain
// name (never a path), a name appears once whatever its letter case, and its
// rows are whole lines ended by CR LF.
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>

#include "platform/errors.h"
#include "platform/paths.h"
#include "update/cue/cue_split.h"

using namespace pellary;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  try {
    std::set<std::string> names;
    for (const cue::Section& s : cue::parseSections(bytes)) {
      if (!cue::isPlainSectionName(s.name)) std::abort();
      if (!names.insert(paths::toLowerAscii(s.name)).second) std::abort();
      if (!s.rows.empty() && !s.rows.ends_with("\r\n")) std::abort();
      // No row holds a line end of its own.
      for (size_t i = 0; i < s.rows.size(); ++i) {
        if (s.rows[i] == '\n' && (i == 0 || s.rows[i - 1] != '\r')) std::abort();
        if (s.rows[i] == '\r' && (i + 1 >= s.rows.size() || s.rows[i + 1] != '\n')) std::abort();
      }
      if (s.rows.size() > bytes.size() * 2 + 2) std::abort();
    }
  } catch (const AppError& e) {
    if (e.number() == 0) std::abort();
  }
  return 0;
}
