// Fuzzes the stand-ins' state line format: any line splits into fields, and
// any text escaped stays one field of one line and comes back as it was.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/state_file.h"

using namespace pellary::platform::standins;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> fields = split(bytes);
  if (fields.empty()) std::abort();
  for (const std::string& f : fields) (void)unescape(f);
  const std::string escaped = escape(bytes);
  if (escaped.find_first_of("\t\r\n") != std::string::npos) std::abort();
  if (split(escaped).size() != 1) std::abort();
  if (unescape(escaped) != bytes) std::abort();
  return 0;
}
