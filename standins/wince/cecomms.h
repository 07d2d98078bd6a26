// Stand-in for the Windows CE desktop library: a device is a folder under the
// stand-in root ("wince/device"), its storage cards are the folders that
// "wince/storage_cards.txt" names (one a line). Device paths are written with
// backslashes from the device's root ("\Program Files\Reference\"); desktop
// paths are the program's own (backslashes mapped by paths::resolve).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace pellary::standins::wince {

// The code that separates storage-card names in GetDirectoryInfo's buffer.
inline constexpr char kCardSeparator = '\xFA';

// Opens the connection; nothing is examined by the caller. Without a device
// folder (see setDeviceAttached) the device does not answer.
int32_t EstablishConnection();
int32_t CloseConnection();
// Writes the storage-card names, each followed by the separator, into the
// start of the buffer (which keeps its length). what 3 with path "\" asks for
// the cards; anything else writes nothing.
int32_t GetDirectoryInfo(std::string& buffer, int32_t what, const std::string& devicePath);
// Removes the device folder and its content; 0 when removed.
int32_t DeleteDirectory(const std::string& deviceFolder);
// Copies the files and folders inside the desktop folder into the device folder.
int32_t CopyDirectoryFromDesktopToCE(const std::string& desktopFolder, const std::string& deviceFolder);
// 0 when the file was copied, 1 when not (no connection, missing file, bad path).
int16_t CopyFileFromDesktopToCE(const std::string& desktopFile, const std::string& deviceFile);
// Puts a shortcut "<title>.lnk" holding the target into "\Windows\Desktop\";
// non-zero when it was made.
int16_t CreateShortcut(const std::string& title, const std::string& target);

// --- for the installation and tests -------------------------------------------------
std::filesystem::path deviceRoot();
// Creates (true) or removes the device folder.
void setDeviceAttached(bool attached);
void setStorageCards(const std::vector<std::string>& names);
std::vector<std::string> storageCards();
// The file a device path names; empty for a path that leaves the device.
std::filesystem::path onDevice(const std::string& devicePath);
bool connected();
// Forgets the connection (a new process).
void resetConnection();

}  // namespace pellary::standins::wince
