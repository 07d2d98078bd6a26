// almoner-install [--demo] [--dates-plat N] [--ref-plat1 N] [--ref-plat2 N]
// Creates or completes the program folder named by PELLARY_HOME.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/errors.h"
#include "platform/paths.h"
#include "tools/install.h"

namespace {

int usage() {
  std::fprintf(stderr,
               "usage: almoner-install [--demo] [--dates-plat N] [--ref-plat1 N] [--ref-plat2 N]\n"
               "Creates or completes the program folder (PELLARY_HOME) and its settings (PELLARY_SETTINGS).\n");
  return 2;
}

bool number(const char* text, int& out) {
  char* end = nullptr;
  long v = std::strtol(text, &end, 10);
  if (!*text || *end) return false;
  out = int(v);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  pellary::install::Options options;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    int value = 0;
    if (a == "--demo") {
      options.demo = true;
    } else if ((a == "--dates-plat" || a == "--ref-plat1" || a == "--ref-plat2") && i + 1 < argc &&
               number(argv[i + 1], value)) {
      ++i;
      if (a == "--dates-plat") options.datesPlat = value;
      if (a == "--ref-plat1") options.refPlat1 = value;
      if (a == "--ref-plat2") options.refPlat2 = value;
    } else {
      return usage();
    }
  }
  // Errors end the tool with a message rather than through the program's reporter.
  pellary::setReportHandler([](long number, std::string_view location, std::string_view) {
    std::fprintf(stderr, "almoner-install: error %ld in %.*s: %s\n", number, int(location.size()), location.data(),
                 pellary::currentError().description.c_str());
  });
  try {
    pellary::install::Result r = pellary::install::installProgramFolder(options);
    for (const std::string& n : r.notes) std::printf("%s\n", n.c_str());
    // A demo Hushbank could not load is a failed installation.
    if (options.demo && !r.demoLoaded) return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "almoner-install: %s\n", e.what());
    return 1;
  }
  return 0;
}
