// The Tessel handheld as the stand-ins keep it: one folder, deviceFolder(),
// shared by every stand-in that reaches the device. The PsiWin engine copies
// the Series 3 agenda and the reference section through it, the Series 5
// agenda objects open their file in it, and the Tessel Connect engine behind
// the file and folder dialogs lists it; so the file a dialog shows is the
// file a writer writes.
//
// Layout: every one-letter subfolder is a drive ("C", "D", ...), below it the
// device's folders and files. "volumes.txt" beside the drives names them
// (lines "C=Internal"); a drive it does not name is "Internal" for C and
// "Disk <letter>" otherwise. The device is linked while its folder exists.
//
// A device path ("C:\Documents\Agenda") is looked up without regard to letter
// case. A path that would leave its drive ("..", a "/" or a NUL inside a
// name) names nothing on the device.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/paths.h"

namespace pellary::standins::handheld {

namespace fs = std::filesystem;

// <stand-in folder>/psion
fs::path deviceFolder();
bool linked();

// The drive letters present, upper case, in order.
std::vector<char> driveLetters();
// The drive's folder when the device has it; empty otherwise.
fs::path driveFolder(char letter);
std::string volumeName(char letter);
// Creates the drive folder and records its volume name.
fs::path addDrive(char letter, const std::string& volume);

// The file or folder a device path names: components that exist are taken as
// they exist, the rest as written (so a copy can create a new file). Empty
// when the path has no drive letter or would leave the drive; a missing drive
// maps to the folder it would have.
fs::path devicePath(std::string_view path);
// The same through the device's folders as `names` read them (one listing a
// folder for a run of many files; made() there for what the run creates).
fs::path devicePath(std::string_view path, paths::FolderNames& names);
// The existing file or folder a device path names; empty when there is none.
fs::path existingDevicePath(std::string_view path);

}  // namespace pellary::standins::handheld
