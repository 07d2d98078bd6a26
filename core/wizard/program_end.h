// The program's end and the exit question, for every page of the wizard.
#pragma once

#include <functional>

namespace pellary {

// What a page does when the program ends with it loaded (its unload), run
// before the databank closes. Returns an id for removeProgramEndHook.
int addProgramEndHook(std::function<void()> hook);
void removeProgramEndHook(int id);
// What the window layer lets go of once the databank is closed (the frame's
// size hook); set when the frame's size is fixed, empty without a frame.
std::function<void()>& programEndRelease();

// Closes the databank, runs the release above and ends at once with
// the exit status (0 when the run completed or the user ended it, 1 when an
// error ended it).
[[noreturn]] void Bmm_EndProgram(int exitStatus = 0);
// Asks the exit question; Yes ends the program, No returns.
void Bmm_CancelProgram();

inline constexpr const char* kExitQuestion =
    "If you exit the program now, no records will be stored and you will lose your changes.\r\r"
    "Are you sure you wish to exit now?";
// Once a writer has stored the run's selection, the first text is no longer true.
inline constexpr const char* kExitQuestionAfterWriting =
    "Your selection has been stored. If you exit the program now, your update settings will not be stored.\r\r"
    "Are you sure you wish to exit now?";
// The exit question that is true at this point of the run.
const char* exitQuestionText();

}  // namespace pellary
