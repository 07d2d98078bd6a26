// Starting other programs, opening documents and web pages, reading an INI
// value, short paths, and the program's help.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pellary {

// --- Bshl_ShellModule ---------------------------------------------------------

// Performs operation ("open" or empty) on file with the program folder as
// working folder. A document, folder or URL opens with the desktop's opener;
// an executable file given parameters is started with them (split into
// arguments as Windows splits a command line, never run through a shell).
// Returns the ShellExecute-like result: above 32 on success, 2 file not
// found, 3 path not found, 31 no opener. show is accepted and not applied.
int32_t Bshl_ShellExecute(intptr_t window, const std::string& file, const std::string& operation,
                          const std::string& parameters, int32_t show);

// Starts program with args and waits until it ends or timeoutMs passes (no
// timeout waits without limit). style 0 to 6 as given, anything else is 6;
// missing is 6. Returns 0 when the program ended, 0x102 when the time-out
// passed first (it keeps running), or 0x80040000 + the error number when it
// could not be started (53 for a missing program), without waiting. Reports
// nothing itself.
uint32_t Bshl_ShellAndWait(const std::string& program, const std::vector<std::string>& args,
                           std::optional<int32_t> style = std::nullopt,
                           std::optional<int32_t> timeoutMs = std::nullopt);

// The folder of the system's programs.
std::string Bshl_GetSystemDirectory();

// --- Bin_INIFileTool ------------------------------------------------------------

struct IniFileToolState {
  // The INI file that Bin_GetFromINI reads; empty until a caller sets it.
  std::string Bin_INIFileName;
};
// The INI tool's state: the file Bin_GetFromINI reads.
IniFileToolState& Bin();
void resetIniFileToolState();

// The value of key in section of Bin().Bin_INIFileName (at most 254
// characters), or the empty text when the file, section or key is missing.
std::string Bin_GetFromINI(const std::string& section, const std::string& key);

// This platform has no short (8.3) names: the path itself when it names an
// existing file or folder (a trailing separator kept), else the empty text.
std::string Bin_ReturnShortPathName(const std::string& path);
std::string Bin_GetShortPath(const std::string& path);

// --- Bhp_HelpAccess -------------------------------------------------------------

void Bhp_HelpIndex();
void Bhp_DisplayContents();
void Bhp_HelpSearch();
void Bhp_HelpME(int32_t topic);
void Bhp_PopUpHelpME(intptr_t window, int32_t topic);

// Splits a Windows command-line text into arguments: blanks separate,
// double quotes group, a backslash escapes a quote only (2n backslashes
// before a quote give n and the quote groups; 2n+1 give n and a literal quote).
std::vector<std::string> splitWindowsArguments(const std::string& commandLine);

}  // namespace pellary
