// The reference section for a Psion Series 3 or Series 5 device: one menu file
// per product describing the chosen topic tree in blocks, plus the content
// files and pictures, measured for the space check and copied to the device.
#pragma once

#include <cstdint>
#include <string>

#include "platform/hook.h"

namespace pellary {

class ProgressBarView;

// The device operations the section copy needs; each waits for the device
// and answers true on success.
class PsionDeviceOps {
 public:
  virtual ~PsionDeviceOps() = default;
  // Deletes the device folder and creates it again, empty.
  virtual bool killDirectory(const std::string& deviceFolder) = 0;
  virtual bool copyToPsionAndWait(const std::string& pcPath, const std::string& devicePath) = 0;
  virtual bool createDirAndWait(const std::string& deviceFolder) = 0;
  virtual bool stopProgram(const std::string& programPath) = 0;
};

struct Psion5RefState {
  int32_t Bps5_SectionSize = 1;
  int16_t Bps5_FilesTotal = 1;
  // Never reset: a repeated copy goes on counting, the bar is clamped.
  int16_t Bps5_FilesCopied = 0;
  std::string Bps5_MenuFileName;
  std::string Bps5_PlatformFolder;
  int32_t Bps5_RequiredSize = 0;
  // The page's "Install Mappa viewer to handheld device" box.
  Hook<bool()> installViewer;
  // The page's progress bar.
  ProgressBarView* progress = nullptr;
  PsionDeviceOps* device = nullptr;
  // Every failure text of the module ends here (Bps5_Stub); kept for tests.
  std::string lastStub;
  // A damaged Ref2Size has been written to the error log in this run.
  bool badSizeReported = false;
};

// The Psion reference section's state: its size, the files copied of the total and the menu file.
Psion5RefState& Bps5();
void resetPsion5Ref();

inline constexpr int32_t kPsionViewerBytes = 23276;

void Bps5_PsionSetup();
void Bps5_Stub(const std::string& text);
// Measures (copy false) or writes and copies (copy true) every product's
// section; the size counter, or 0 when a device step failed.
int32_t Bps5_OutputReferenceSection(int32_t rootTemplateID, const std::string& menuFileName,
                                    const std::string& platformFolder, bool copy);
int32_t Bps5_TotalSpaceRequired();
int32_t Bps5_FreeSpaceRequired();
// "1,234KB"; device drives hold more than 2 GB.
std::string Bps5_FormatFreeSpace(int64_t bytes);
// The stored Ref2Size; 0 when none is stored or the value is no size (which
// the error log records once a run, the run going on).
int64_t storedSectionSize();

// The device folders of a platform code.
std::string psionDataFolder(int16_t refPlat2, const std::string& ref2Loc);
std::string psionViewerFolder(int16_t refPlat2);

}  // namespace pellary
