// The program's start procedure and what it decides.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "core/gui/wizard/page_table.h"

namespace pellary {

struct RunModeChoice {
  bool updateRun = false;  // a silent update run
  int16_t runMode = 0;     // 0 timed or ordinary start, 1 "cue_setting", 2 on demand
};

// The whole command line, compared without regard to case and without trimming.
RunModeChoice Bmm_RunModeFromCommandLine(const std::string& commandLine);
// The command line as one text: the arguments joined by single blanks.
std::string commandLineText(int argc, char** argv);

// "True"/"False" in any letter case, or a number (non-zero is True); anything
// else, the empty text included, is a type-mismatch error.
bool Bmm_ParseBoolean(const std::string& text);

struct ShellState {
  bool Bmm_FirstRun = false;
  int16_t runMode = 0;
  // The program's help file, set with the splash.
  std::string helpFile;
};
// The shell's state: whether this is the first run, the run mode and the help file.
ShellState& Bmm();
// Fresh shell state: the splash, the page table and the page engine go too.
void resetShellState();

class frmSplash;
// The splash of an interactive run; null before step 3 and in silent runs.
frmSplash* splashWindow();

// Every run's data: the databank, the products, the profile, the platform codes.
void loadStartData();
// Interactive runs: the category trees and the reference tree.
void buildTrees();
// Puts each wizard form into its slot of the page table (every run; nothing
// is created).
void registerPages();
// Pages a test puts in place of the real ones of their slots (applied last by
// registerPages).
std::map<int16_t, WizardPages::Factory>& pageOverrides();
// Fills the page table in the start's order: the forms are created, not shown,
// in the frame's client area, and the page engine works on them.
void Bmm_FillPageTable();
// The first page of an interactive run.
int16_t firstPage(bool firstRun, int16_t runMode);

// The exit status of a timed or on-demand update run that found another copy
// running and handed over to it: no update was made.
inline constexpr int kExitHandedOver = 75;

// The start procedure. Returns true when windows stay open and the event loop
// must run; false when the program is done (a second copy, a finished silent run).
bool Main(const std::string& commandLine);

// Writes the Lotus Notes registration batch and runs it (first run, code 9).
void Bmm_RegisterNotesControl();

}  // namespace pellary
