// The end of a benchmark's files. PELLARY_BENCH_KEEP leaves them where they
// are: scripts/bench.sh sets it and removes them all once every benchmark has
// run, because on ext4 without a journal a file made within minutes of many
// removals costs a scan past them, which would fall on the next benchmark.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace pellary::bench {

inline void removeScratch(const std::filesystem::path& dir, bool sayKept = true) {
  if (std::getenv("PELLARY_BENCH_KEEP")) {
    if (sayKept) std::printf("files kept in %s\n", dir.c_str());
    return;
  }
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
}

}  // namespace pellary::bench
