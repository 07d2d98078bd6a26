// Products, platforms and profile at start: the module state the rest of the
// program reads, and the procedures that fill it.
#pragma once

#include <cstdint>
#include <string>

namespace pellary {

struct ProductSetup {
  int16_t Bset_DatesPlat = 0;
  std::string Bset_DatesPlatShortName;
  int16_t Bset_RefPlat1 = 0;
  std::string Bset_RefPlat1ShortName;
  int16_t Bset_RefPlat2 = 0;
  std::string Bset_RefPlat2ShortName;
};

ProductSetup& Bset();
void resetProductSetup();

// Reads the calendar and reference platform codes of section Support.
void Bset_SetPlatforms();

}  // namespace pellary
