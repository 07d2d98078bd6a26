#include "core/products.h"

#include "core/registry.h"
#include "platform/errors.h"
#include "platform/variant.h"

namespace pellary {

ProductSetup& Bset() {
  static ProductSetup state;
  return state;
}

void resetProductSetup() { Bset() = ProductSetup{}; }

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
