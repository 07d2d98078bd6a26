// Unpacking the update packet into "Updates": only the members the packet
// format defines, every name checked before a byte is written.
#pragma once

#include <filesystem>
#include <string>

namespace pellary {

// Unpacks the packet's members into folder ("Updates"): the sections file
// (base name + ".new") and the events member (base name + ".de"), each named
// with or without a leading "Updates/" ("\" counts as "/", letter case
// aside). Every name is checked first: any other member (a path of its own,
// a link, a second copy) refuses the whole packet (75) before a byte is
// written, and a packet with neither member raises 20011. A member that
// cannot be read whole leaves nothing behind.
void extractPacket(const std::filesystem::path& zipFile, const std::filesystem::path& folder,
                   const std::string& baseName);

}  // namespace pellary
