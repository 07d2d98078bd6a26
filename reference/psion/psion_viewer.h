// Puts the Mappa viewer on a Psion device: on a Series 5 a package built by
// the package builder and handed to the PsiWin installer, on a Series 3 the
// program files copied into the viewer's folders.
#pragma once

#include <string>

namespace pellary {

inline constexpr const char* kViewerUID = "268441669";

// The package definition's text for the stored reference drive.
std::string psionPackageDefinition(const std::string& ref2Loc);
// The batch file's text.
std::string psionSisBatch();

void Bps5_MakeSISInstallation();
void Bps5_InstallSIS();
bool Bps5_InstallPsion3Program();
std::string Bps5_GetPsiWinDir();

}  // namespace pellary
