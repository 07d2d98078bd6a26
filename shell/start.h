// The program's start procedure and what it decides.
#pragma once

#include <cstdint>
#include <string>

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
  int16_t Bmm_CurrentPage = 0;
  int16_t runMode = 0;
};
ShellState& Bmm();
void resetShellState();

// The start procedure. Returns true when windows stay open and the event loop
// must run; false when the program is done (a second copy, a finished silent run).
bool Main(const std::string& commandLine);

// Writes the Lotus Notes registration batch and runs it (first run, code 9).
void Bmm_RegisterNotesControl();

}  // namespace pellary
