// Creates or completes a program folder: databank with its schema, the
// settings the program starts from, the folders it expects.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace pellary::install {

struct Options {
  std::optional<int> datesPlat;      // calendar target; 3 (Outlook) unless told
  std::optional<int> refPlat1;       // PC reference target; 1 unless told
  std::optional<int> refPlat2;       // device reference target; none unless told
  bool demo = false;                 // also load the demo data set
  std::filesystem::path dataFolder;  // the shipped data; empty: the built-in default
  std::filesystem::path hushbank;    // the loader program; empty: beside this program
  // Component modules to register; empty: the project's own, from the library
  // folder beside this program's folder.
  std::vector<std::filesystem::path> components;
};

struct Result {
  bool createdDatabank = false;
  bool demoLoaded = false;         // --demo: every demo file loaded
  std::vector<std::string> notes;  // what was done, one line each
};

// Name and short name of a calendar or reference platform code.
std::pair<std::string, std::string> calendarPlatformNames(int code);
std::pair<std::string, std::string> referencePlatformNames(int code);

inline constexpr const char* kDatabankName = "almoner.db";
// The agendas that a Series 5 or Series 3 installation puts on the handheld
// when it has none.
inline constexpr const char* kSeries5DemoAgenda = "C:\\Documents\\Agenda";
inline constexpr const char* kSeries3DemoAgenda = "C:\\Documents\\Agenda.agn";

// Idempotent: existing settings and an existing databank are kept, except the
// platform codes that the options name.
Result installProgramFolder(const Options& options);

// The folder of the shipped data set.
std::filesystem::path defaultDataFolder();

// Loads the demo data set: its "CUE" files go into the program folder's "CUE"
// and Hushbank loads them; each further product file of its "products" folder
// follows as "Product.cue" with a Hushbank run of its own. The demo products
// are then entered as installed products (Support Node2 and up). Files that
// Hushbank could not load stay in "CUE" and are named in the notes; false then.
bool loadDemoDataSet(const std::filesystem::path& dataFolder, const std::filesystem::path& hushbank,
                     std::vector<std::string>& notes);

// The Hushbank program beside the running one.
std::filesystem::path defaultHushbankProgram();

// The component modules the installation registers (Quoll).
std::vector<std::filesystem::path> defaultComponents();

// Enters the products as installed: each ProductID not yet named by a Node
// entry goes to the first free entry from Node2 on; HighNodeCount follows.
void addInstalledProducts(const std::vector<int>& productIds);

}  // namespace pellary::install
