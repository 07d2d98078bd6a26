#include "core/wizard/update_interval.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/registry.h"
#include "platform/errors.h"
#include "support/fixtures.h"

namespace pellary {
namespace {

using testing::errorOf;

class UpdateIntervalCode : public testing::IsolatedEnvTest {
 protected:
  void SetUp() override {
    IsolatedEnvTest::SetUp();
    setReportHandler([this](long number, std::string_view location, std::string_view) {
      reported.push_back(std::string(location) + " " + std::to_string(number));
    });
  }
  void TearDown() override {
    setReportHandler(nullptr);
    IsolatedEnvTest::TearDown();
  }
  std::vector<std::string> reported;
  void store(const char* units, const char* quantity, const char* recommended) {
    auto put = [](const char* name, const char* value) {
      if (value)
        Breg_WriteRegSettings("AutoCUE", name, value);
      else
        Breg_DeleteRegSetting("AutoCUE", name);
    };
    put("TimerUnits", units);
    put("TimerQuantity", quantity);
    put("Recommended", recommended);
  }
};

TEST_F(UpdateIntervalCode, SavedWithoutLeadingZeros) {
  struct Case {
    const char* code;
    const char* formatted;
    const char* units;
    const char* quantity;
  } cases[] = {
      {"2001", "02001", "2", "1"},  {"2004", "02004", "2", "4"},     {"3002", "03002", "3", "2"},
      {"4004", "04004", "4", "4"},  {"00000", "00000", "0", "0"},    {"0", "00000", "0", "0"},
      {"04001", "04001", "4", "1"}, {"12345", "12345", "12", "345"}, {" 3001", "03001", "3", "1"},
  };
  for (const Case& c : cases) {
    std::string code = c.code;
    Bint_SaveUpdateFreq(code);
    EXPECT_EQ(code, c.formatted) << c.code;
    EXPECT_EQ(Breg_GetRegSetting("AutoCUE", "TimerUnits"), c.units) << c.code;
    EXPECT_EQ(Breg_GetRegSetting("AutoCUE", "TimerQuantity"), c.quantity) << c.code;
  }
}

TEST_F(UpdateIntervalCode, CodeThatIsNotFiveDigitsIsRefusedAndNothingStored) {
  store("3", "1", nullptr);
  for (const char* bad : {"", "abc", "20x1", "-2001", "100000", "2001.5"}) {
    std::string code = bad;
    reported.clear();
    EXPECT_THROW(Bint_SaveUpdateFreq(code), ProgramEnded) << bad;
    EXPECT_EQ(reported, std::vector<std::string>{"Bint_SaveUpdateFreq 13"}) << bad;
    EXPECT_EQ(code, bad);
  }
  EXPECT_EQ(Breg_GetRegSetting("AutoCUE", "TimerUnits"), "3");
  EXPECT_EQ(Breg_GetRegSetting("AutoCUE", "TimerQuantity"), "1");
}

TEST_F(UpdateIntervalCode, StoredCodeReadsEitherForm) {
  struct Case {
    const char* units;
    const char* quantity;
    const char* recommended;
    std::optional<int32_t> code;
  } cases[] = {
      {"2", "1", nullptr, 2001},
      {"02", "001", nullptr, 2001},
      {"4", "004", nullptr, 4004},
      {"3", "2", "4001", 3002},
      {"03", "04", "", 3004},
      // Missing, zero or unreadable: the installation's recommendation.
      {nullptr, nullptr, "3001", 3001},
      {"", "1", "4001", 4001},
      {"2", "", "04004", 4004},
      {"0", "1", "3001", 3001},
      {"2", "0", "3001", 3001},
      {"00", "000", "2004", 2004},
      {"x", "0", "3001", 3001},
      // A quantity wider than three digits keeps all of them: no item's code.
      {"2", "1000", "3001", 21000},
      // No recommendation: nothing.
      {nullptr, nullptr, nullptr, std::nullopt},
      {"0", "0", "", std::nullopt},
      {"0", "0", "0", 0},
  };
  for (const Case& c : cases) {
    store(c.units, c.quantity, c.recommended);
    EXPECT_EQ(Bint_StoredUpdateCode(), c.code) << (c.units ? c.units : "-") << "/" << (c.quantity ? c.quantity : "-")
                                               << "/" << (c.recommended ? c.recommended : "-");
  }
}

TEST_F(UpdateIntervalCode, ANonNumericStoredValueIsAnError) {
  struct Case {
    const char* units;
    const char* quantity;
    const char* recommended;
  } cases[] = {{"x", "1", "3001"}, {"2", "1a", "3001"}, {"0", "0", "soon"}, {nullptr, "1", "3 001"}};
  for (const Case& c : cases) {
    store(c.units, c.quantity, c.recommended);
    EXPECT_EQ(errorOf([] { Bint_StoredUpdateCode(); }), err::TypeMismatch) << c.units << "/" << c.recommended;
  }
}

TEST_F(UpdateIntervalCode, EveryIntervalSurvivesSaveAndRead) {
  for (const UpdateInterval& i : kUpdateIntervals) {
    std::string code = std::to_string(i.code);
    Bint_SaveUpdateFreq(code);
    EXPECT_EQ(Bint_StoredUpdateCode(), i.code) << i.text;
  }
}

}  // namespace
}  // namespace pellary
