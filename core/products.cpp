#include "core/products.h"

#include <cctype>

#include "core/databank.h"
#include "core/field_values.h"
#include "core/profile_lists.h"
#include "core/registry.h"
#include "core/screen_link.h"
#include "platform/dao/dao.h"
#include "platform/errors.h"
#include "platform/oledate.h"
#include "platform/variant.h"

namespace pellary {

ProductSetup& Bset() {
  static ProductSetup state;
  return state;
}

void resetProductSetup() { Bset() = ProductSetup{}; }

int16_t productIDOfNodeEntry(const std::string& entry) {
  size_t i = 0;
  while (i < entry.size() && entry[i] == ' ') ++i;
  size_t start = i;
  while (i < entry.size() && std::isdigit(static_cast<unsigned char>(entry[i]))) ++i;
  if (i == start) raise(err::TypeMismatch);
  return Variant(entry.substr(start, i - start)).toInteger();
}

void Bset_SetProducts() {
  trapped("Bset_SetProducts", [] {
    ProductSetup& s = Bset();
    dao::Recordset products = Bsql_DataBank().openRecordset("Products");
    std::string high = Breg_GetRegSetting("Support", "HighNodeCount");
    int32_t highNode = high.empty() ? 0 : Variant(high).toLong();
    int entry = 0;
    bool needCombined = false;
    double combinedStart = 0;
    for (int32_t i = 0; i <= highNode; ++i) {
      std::string node = Breg_GetRegSetting("Support", "Node" + std::to_string(i));
      if (node.empty()) continue;
      int16_t productID = productIDOfNodeEntry(node);
      if (i == 0) s.Bset_OrryEdition = true;
      if (i == 1) s.Bset_FieldfareEdition = true;
      if (!products.findFirst("ProductID = " + std::to_string(productID)))
        raise(err::DbNoCurrentRecord, "No current record.");
      if (entry >= kMaxProducts) raise(err::SubscriptOutOfRange);
      s.Bset_ProgProductID[entry] = longOf(products["ProgProductID"]);
      s.Bset_Viewers[entry] = longOf(products["Viewers"]);
      s.Bset_ProductID[entry] = productID;
      if (isBlank(products["StartDate"].value())) {
        products.edit();
        products["StartDate"] = Variant::date(platform::today());
        products.update();
      }
      s.Bset_ProductStartDate[entry] = dateOf(products["StartDate"]);
      if (shortOf(products["GenDates"]) != 0) {
        if (!needCombined || s.Bset_ProductStartDate[entry] > combinedStart)
          combinedStart = s.Bset_ProductStartDate[entry];
        needCombined = true;
      }
      ++entry;
    }
    s.Bset_InstalledProductCount = static_cast<int16_t>(entry);
    if (needCombined) {
      if (entry >= kMaxProducts) raise(err::SubscriptOutOfRange);
      s.Bset_ProductID[entry] = kCombinedProductID;
      s.Bset_ProgProductID[entry] = kCombinedProgProductID;
      s.Bset_Viewers[entry] = 1;
      s.Bset_ProductStartDate[entry] = combinedStart;
      s.Bset_GenDatesEntry = static_cast<int16_t>(entry);
      ++entry;
    }
    if (entry >= kMaxProducts) raise(err::SubscriptOutOfRange);
    s.Bset_ProductID[entry] = kOtherProductsProductID;
    s.Bset_ProgProductID[entry] = 1;
    s.Bset_Viewers[entry] = 4;
    // The other-products panel shows no dates; its window starts today.
    s.Bset_ProductStartDate[entry] = platform::today();
    ++entry;
    s.Bset_ProductCount = static_cast<int16_t>(entry);
    s.Bset_ProductName.fill(Variant());
    for (int i = 0; i + 1 < entry; ++i)
      if (products.findFirst("ProgProductID = " + std::to_string(s.Bset_ProgProductID[size_t(i)])))
        s.Bset_ProductName[size_t(i)] = products["ProductName"].value();
    products.close();
    screenLink().managerMainInitialize();
  });
}

void Bset_GetProfileSettings(int16_t profileID) {
  trapped("Bset_GetProfileSettings", [&] {
    ProductSetup& s = Bset();
    s.Bset_ProfileID = profileID;
    Bsda_LoadProfileCatList();
    Bsda_LoadProfileEventList();
    // An update run decides by this whether the saved calendar folder is
    // still the user's: it builds no trees, so the profile answers here.
    s.Bset_NoProfileCats = true;
    const ProfileLists& lists = Bsda();
    for (int32_t i = 1; i < lists.Bsda_ProfileCatNext && size_t(i) < lists.Bsda_ProfileCatList.size(); ++i)
      if (lists.Bsda_ProfileCatList[size_t(i)].Status != 0) s.Bset_NoProfileCats = false;
    // An empty profile or journal is no error: "no current record" moves on.
    ignoring(err::DbNoCurrentRecord, [&] {
      s.Bset_rsProfileRefList =
          Bsql_DataBank().openRecordset("SELECT * FROM ProfileRefList WHERE ProfileID = " + std::to_string(profileID));
      s.Bset_NoProfileRefs = s.Bset_rsProfileRefList.recordCount() == 0;
    });
    s.Bset_rsReferenceChanges = Bsql_DataBank().openRecordset("ReferenceChanges");
    dao::Recordset& journal = s.Bset_rsReferenceChanges;
    ignoring(err::DbNoCurrentRecord, [&] {
      journal.moveFirst();
      while (!journal.eof()) {
        journal.deleteRow();
        journal.moveNext();
      }
    });
    journal.requery();
  });
}

void Bset_SetPlatforms() {
  trapped("Bset_SetPlatforms", [] {
    ProductSetup& s = Bset();
    std::string dates = Breg_GetRegSetting("Support", "DatesPlat");
    if (!dates.empty()) {
      s.Bset_DatesPlat = Variant(dates).toInteger();
      s.Bset_DatesPlatShortName = Breg_GetRegSetting("Support", "DatesPlatShortName");
    }
    std::string ref1 = Breg_GetRegSetting("Support", "RefPlat1");
    if (!ref1.empty()) {
      s.Bset_RefPlat1 = Variant(ref1).toInteger();
      s.Bset_RefPlat1ShortName = Breg_GetRegSetting("Support", "RefPlat1ShortName");
      // A second reference platform is read only when the first is configured.
      std::string ref2 = Breg_GetRegSetting("Support", "RefPlat2");
      if (!ref2.empty()) {
        s.Bset_RefPlat2 = Variant(ref2).toInteger();
        s.Bset_RefPlat2ShortName = Breg_GetRegSetting("Support", "RefPlat2ShortName");
      }
    }
  });
}

}  // namespace pellary
