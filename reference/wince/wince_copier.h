// Carries the generated Windows CE pages onto the device: the setup that
// connects and offers the device's locations, the two transfers, and the
// rewrite of the internal-memory folder into a card's folder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pellary {

// What the copier drives of the Windows CE reference page.
class WinCEPageView {
 public:
  virtual ~WinCEPageView() = default;
  virtual void setInfo(const std::string& text) = 0;  // lblFormInfo
  virtual void setNextEnabled(bool enabled) = 0;      // cmdNext
  virtual void showLocationFrame() = 0;               // fraWinCELocation
  virtual void setLocationEnabled(bool enabled) = 0;  // cboWinCELocation
  virtual void addLocation(const std::string& text) = 0;
  virtual int locationCount() const = 0;
  virtual void selectLocation(int index) = 0;
  virtual void setLocationText(const std::string& text) = 0;  // selects the item of that text
  virtual std::string locationText() const = 0;
  // Lets pending window messages run once.
  virtual void yield() {}
};

struct WinCECopierState {
  bool Bwce_ConnectionMade = false;
  std::string Bwce_StoredLocation;
  int32_t Bwce_ReferenceSize = 0;
  WinCEPageView* page = nullptr;
};

// The Windows CE copier's state: the connection, the location chosen on the device and the size to copy.
WinCECopierState& Bwce();
void resetWinCECopier();

inline constexpr const char* kInternalMemory = "Internal Memory";
inline constexpr const char* kInternalReferenceFolder = "\\Program Files\\Reference\\";

void Bwce_SetupWinCEScreen();
void Bwce_TransferPPCReference();
void Bwce_TransferHPCReference();
// Rewrites the first occurrence of search (any letter case) in every line of
// every file the pattern lists; pattern is cut to its folder part.
void Bhtg_SearchAndReplaceDir(std::string& pattern, const std::string& search, const std::string& replacement);

// A product's top page: "<product number>_1.htm", any number of digits.
bool isStartPage(const std::string& name);
// The page with every relative href and src value led by the device folder.
std::string withLinksInto(const std::string& html, const std::string& folder);

// The storage-card names of a GetDirectoryInfo buffer.
std::vector<std::string> splitStorageCards(const std::string& buffer);

}  // namespace pellary
