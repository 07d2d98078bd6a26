// Creates or completes a program folder: databank with its schema, the
// settings the program starts from, the folders it expects.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace pellary::install {

struct Options {
  std::optional<int> datesPlat;  // calendar target; 3 (Outlook) unless told
  std::optional<int> refPlat1;   // PC reference target; 1 unless told
  std::optional<int> refPlat2;   // device reference target; none unless told
  bool demo = false;             // also load the demo data set
  std::filesystem::path dataFolder;  // the shipped data; empty: the built-in default
};

struct Result {
  bool createdDatabank = false;
  std::vector<std::string> notes;  // what was done, one line each
};

// Name and short name of a calendar or reference platform code.
std::pair<std::string, std::string> calendarPlatformNames(int code);
std::pair<std::string, std::string> referencePlatformNames(int code);

inline constexpr const char* kDatabankName = "almoner.db";

// Idempotent: existing settings and an existing databank are kept, except the
// platform codes that the options name.
Result installProgramFolder(const Options& options);

// The folder of the shipped data set.
std::filesystem::path defaultDataFolder();

}  // namespace pellary::install
