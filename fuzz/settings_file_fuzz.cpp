// Fuzzes the settings file reader: any bytes are either read into keys or
// refused as a damaged file (never a crash), and what is read is written back
// to a text that reads again to the same keys.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/errors.h"
#include "platform/settings/settings_file.h"

using namespace pellary;
using namespace pellary::platform::settings;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  for (Root root : {Root::CurrentUser, Root::LocalMachine, Root::ClassesRoot}) {
    // The header is given most of the time, so that the fuzzer reaches the keys.
    for (const std::string& text : {bytes, headerLine(root) + "\n" + bytes}) {
      std::unique_ptr<Key> top;
      try {
        top = parseSettings(text, root, "fuzz.settings");
      } catch (const AppError& e) {
        if (e.number() != err::SettingsDamaged) std::abort();
        continue;
      }
      const std::string written = formatSettings(*top, root);
      std::unique_ptr<Key> again;
      try {
        again = parseSettings(written, root, "fuzz.settings");
      } catch (const AppError&) {
        std::abort();  // what the program writes it must read
      }
      if (formatSettings(*again, root) != written) std::abort();
    }
  }
  return 0;
}
