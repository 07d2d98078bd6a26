// Products, platforms and profile at start: the module state the rest of the
// program reads, and the procedures that fill it.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/dao/recordset.h"
#include "platform/variant.h"

namespace pellary {

inline constexpr int kMaxProducts = 9;
// The combined entry of the products that generate dates, and the last entry
// (the other-products panel).
inline constexpr int16_t kCombinedProductID = 100;
inline constexpr int32_t kCombinedProgProductID = 2;
inline constexpr int16_t kOtherProductsProductID = 1;

struct ProductSetup {
  // The product table, entries 0 to Bset_ProductCount - 1.
  std::array<int16_t, kMaxProducts> Bset_ProductID{};
  std::array<int32_t, kMaxProducts> Bset_ProgProductID{};
  std::array<int32_t, kMaxProducts> Bset_Viewers{};
  std::array<double, kMaxProducts> Bset_ProductStartDate{};
  int16_t Bset_ProductCount = 0;
  int16_t Bset_InstalledProductCount = 0;
  int16_t Bset_GenDatesEntry = 0;
  bool Bset_OrryEdition = false;
  bool Bset_FieldfareEdition = false;
  // Each entry's ProductName in the table Products (the first row of its
  // ProgProductID; Empty when none, Null as stored), for the selection
  // screen's tabs and headings: the screen reads no table itself.
  std::array<Variant, kMaxProducts> Bset_ProductName{};

  int16_t Bset_DatesPlat = 0;
  std::string Bset_DatesPlatShortName;
  int16_t Bset_RefPlat1 = 0;
  std::string Bset_RefPlat1ShortName;
  int16_t Bset_RefPlat2 = 0;
  std::string Bset_RefPlat2ShortName;

  int16_t Bset_ProfileID = 1;
  dao::Recordset Bset_rsProfileRefList;
  bool Bset_NoProfileRefs = true;
  dao::Recordset Bset_rsReferenceChanges;
  // No chosen category in the profile at start: set when the profile loads
  // (a silent run builds no trees), and again by Bset_CategoryLists.
  bool Bset_NoProfileCats = true;
};

// The installed products and the run's targets: IDs, start dates, the dates and reference platforms.
ProductSetup& Bset();
void resetProductSetup();

// The ProductID a Support\NodeN entry names: the number its text starts with.
int16_t productIDOfNodeEntry(const std::string& entry);

// Builds the product table from the installed products and the table
// Products with the entries' names, then lays out the selection screen's tabs.
void Bset_SetProducts();
// Loads the profile: its categories, written events and reference topics; empties the reference journal.
void Bset_GetProfileSettings(int16_t profileID);
// Reads the calendar and reference platform codes of section Support.
void Bset_SetPlatforms();

}  // namespace pellary
