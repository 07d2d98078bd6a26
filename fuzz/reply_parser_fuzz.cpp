// Fuzzes the parsers of the update server's replies: any reply is parsed or
// refused with a numbered error, never a crash; a reply not tagged as the
// script's own carries no values, and no statistics are read unless an update
// is offered.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/errors.h"
#include "update/replies.h"

using namespace pellary;
using namespace pellary::replies;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  try {
    InitialisationReply r = parseInitialisationReply(bytes);
    if (r.tag != Tag::Expected && (r.updateScriptLocation || r.profileDownloadLocation || r.scriptPassword))
      std::abort();
    for (const auto* v : {&r.updateScriptLocation, &r.profileDownloadLocation, &r.finishScriptLocation})
      if (*v && (*v)->find('=') != std::string::npos) std::abort();
  } catch (const AppError& e) {
    if (e.number() == 0) std::abort();
  }
  try {
    UpdateCallReply r = parseUpdateCallReply(bytes);
    if (r.tag != Tag::Expected && r.offered != 0) std::abort();
    if (r.offered == 0 && (r.timeStamp || r.reGenerate || r.updateSize)) std::abort();
  } catch (const AppError& e) {
    if (e.number() == 0) std::abort();
  }
  return 0;
}
