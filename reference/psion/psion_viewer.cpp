#include "reference/psion/psion_viewer.h"

#include "core/registry.h"
#include "core/shellwrap.h"
#include "platform/errors.h"
#include "platform/paths.h"
#include "platform/settings/settings_tree.h"
#include "reference/file_helpers.h"
#include "reference/psion/psion_section.h"

namespace pellary {

namespace {

const std::string kQuote = "\"";

std::string shortProgramFolder() { return Bin_GetShortPath(paths::appPath()); }

std::string record(const std::string& sourceFolder, const std::string& name, const std::string& deviceFolder) {
  return kQuote + sourceFolder + name + kQuote + "-" + kQuote + deviceFolder + name + kQuote + "\r\n";
}

}  // namespace

std::string psionPackageDefinition(const std::string& ref2Loc) {
  const std::string s1 = Bin_GetShortPath(paths::appPath() + "\\psion5\\");
  const std::string s2 = Bin_GetShortPath(paths::appPath() + "\\Psion5") + "\\";
  const std::string menu = "C:\\System\\Apps\\KestMenu\\", mappa = "C:\\System\\Apps\\Mappa\\";
  return "&EN\r\n#{" + kQuote + "Mappa Reference Data" + kQuote + "},(" + kViewerUID + "),1,0,0\r\n" +
         record(s1, "menu.mnu", ref2Loc + "Pelmon\\gzr\\") + record(s1, "Tube.opo", menu) +
         record(s1, "MenuCompile.opo", menu) + record(s1, "MenuDisplay.opo", menu) + record(s1, "Mappa.app", mappa) +
         record(s1, "Mappa.aif", mappa) + record(s1, "backgrd.mbm", mappa) +
         record(s2, "sysram1.opx", "C:\\System\\opx\\");
}

std::string psionSisBatch() {
  const std::string s = shortProgramFolder();
  return "path=%path%;" + s + "\\psion5\r\n" + s + "\\psion5\\makesis.exe " + s + "\\psion5\\mappa.pkg\r\n";
}

void Bps5_MakeSISInstallation() {
  trapped("Bps5_MakeSISInstallation", [] {
    writeWholeFile(paths::inProgramFolder("\\psion5\\Mappa.pkg"),
                   psionPackageDefinition(Breg_GetRegSetting("Settings", "Ref2Loc")));
  });
}

void Bps5_InstallSIS() {
  trapped("Bps5_InstallSIS", [] {
    writeWholeFile(paths::inProgramFolder("\\psion5\\sis.bat"), psionSisBatch());
    const std::string s = shortProgramFolder();
    // The batch's one command, run with an argument list rather than through a
    // command interpreter.
    Bshl_ShellAndWait(paths::resolve(s + "\\psion5\\makesis.exe").string(),
                      {paths::resolve(s + "\\psion5\\mappa.pkg").string()}, 6);
    const std::string installer = Bin_GetShortPath(Bps5_GetPsiWinDir() + "\\TesselInst.exe");
    Bshl_ShellAndWait(paths::resolve(installer).string(), {paths::resolve(s + "\\psion5\\Mappa.sis").string()}, 3);
  });
}

std::string Bps5_GetPsiWinDir() {
  return Breg_ReadFromRegistry(HKEY_LOCAL_MACHINE, "SOFTWARE\\Psion\\PsiWin32", "Installation Directory", "");
}

bool Bps5_InstallPsion3Program() {
  return trapped("Bps5_InstallPsion3Program", []() -> bool {
    PsionDeviceOps* d = Bps5().device;
    if (!d) return false;
    const std::string source = paths::appPath() + "\\Psion3\\";
    auto copy = [&](const char* name, const std::string& folder) {
      return d->copyToPsionAndWait(source + name, folder + name);
    };
    const std::string menu = "M:\\app\\KESTMenu\\", mappa = "m:\\app\\mappa\\";
    return d->createDirAndWait(menu) && copy("MenuComp.opo", menu) && copy("MenuDisp.opo", menu) &&
           copy("Tube.opa", menu) && d->createDirAndWait(mappa) && copy("backgrd.pic", mappa) &&
           copy("mappa.opa", "M:\\app\\") && d->createDirAndWait("M:\\KEST\\GZR99");
  });
}

}  // namespace pellary
