// Fuzzes the CalDAV multistatus reader: any answer is read or refused with
// the program's own error, and every href kept is a path on the account's
// origin (credentials never follow one elsewhere).
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/errors.h"
#include "standins/outlook/caldav_files.h"

using namespace pellary;
using namespace pellary::standins::outlook;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool quiet = [] {
    setNoteHandler([](std::string_view, std::string_view) {});
    return true;
  }();
  (void)quiet;
  const std::string body(reinterpret_cast<const char*>(data), size);
  try {
    Multistatus m = parseMultistatus(body, "https://dav.example.org:443/alice/");
    for (const DavResponse& r : m.responses)
      if (r.href.empty() || r.href[0] != '/') std::abort();
  } catch (const AppError&) {
  }
  return 0;
}
