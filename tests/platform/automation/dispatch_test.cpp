#include "platform/automation/dispatch.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/errors.h"
#include "support/fixtures.h"

namespace pellary::platform::automation {
namespace {

// A small object with a typed surface: sums, a by-reference counter, optional
// arguments and a property with get and put.
class Calculator : public TypedDispatch {
 public:
  Calculator() : TypedDispatch(info()) {}

  static const InterfaceInfo& info() {
    static const InterfaceInfo i{
        "ICalculator",
        "{11111111-2222-3333-4444-555555555555}",
        "",
        {
            {1, "Add", {{"a", ParamType::Long}, {"b", ParamType::Long}}, ParamType::Long, InvokeKind::Method, ""},
            {2,
             "Bump",
             {{"counter", ParamType::Integer}, {"by", ParamType::Integer, true}},
             ParamType::Void,
             InvokeKind::Method,
             ""},
            {3, "Greet", {{"name", ParamType::String}}, ParamType::String, InvokeKind::Method, ""},
            {4, "Scale", {}, ParamType::Double, InvokeKind::PropertyGet, ""},
            {4, "Scale", {{"value", ParamType::Double}}, ParamType::Void, InvokeKind::PropertyPut, ""},
            {5, "Half", {{"x", ParamType::Single}}, ParamType::Variant, InvokeKind::Method, ""},
        }};
    return i;
  }
  double scale = 1.0;

 protected:
  Variant invokeMember(const MemberInfo& m, CheckedArgs& a) override {
    switch (m.id) {
      case 1: return int64_t(a.longValue(0)) + a.longValue(1);  // widens to Double on overflow
      case 2: a.setOut(0, int16_t(a.integer(0) + (a.given(1) ? a.integer(1) : 1))); return {};
      case 3: return "Hello " + a.string(0);
      case 4:
        if (m.kind == InvokeKind::PropertyPut) scale = a.doubleValue(0);
        return scale;
      case 5: return a[0].toDouble() / 2;
    }
    return {};
  }
};

using pellary::testing::errorOf;

TEST(Dispatch, CallsByNumberAndByNameWithoutRegardToCase) {
  Calculator c;
  EXPECT_EQ(c.call(1, {int32_t(2), int32_t(3)}), Variant(int32_t(5)));
  EXPECT_EQ(c.call("add", {2, 3}), Variant(int32_t(5)));
  EXPECT_EQ(c.call("GREET", {"Ann"}), Variant("Hello Ann"));
  EXPECT_EQ(c.idOfName("bUmP"), 2);
  EXPECT_EQ(c.idOfName("Nothing"), std::nullopt);
}

TEST(Dispatch, ByReferenceArgumentsReachTheCallersVariable) {
  Calculator c;
  Variant counter = int16_t(7);
  c.call("Bump", {ByRef(counter)});
  EXPECT_EQ(counter, Variant(int16_t(8)));
  c.call(2, {ByRef(counter), int16_t(10)});
  EXPECT_EQ(counter, Variant(int16_t(18)));
  // By value the callee only changes its own copy.
  Variant copy = int16_t(1);
  c.call("Bump", {copy});
  EXPECT_EQ(copy, Variant(int16_t(1)));
  // A by-reference argument of another type is read converted and set back.
  Variant text = "41";
  c.call("Bump", {ByRef(text)});
  EXPECT_EQ(text, Variant(int16_t(42)));
}

TEST(Dispatch, ArgumentsAreConvertedToTheirParameterTypes) {
  Calculator c;
  EXPECT_EQ(c.call("Add", {"40", 2.4}), Variant(int32_t(42)));
  EXPECT_EQ(c.call("Add", {true, Variant()}), Variant(int32_t(-1)));
  EXPECT_EQ(c.call("Greet", {int32_t(5)}), Variant("Hello 5"));
  EXPECT_EQ(c.call("Greet", {Variant()}), Variant("Hello "));
  EXPECT_EQ(c.call("Half", {int32_t(3)}), Variant(1.5));
}

TEST(Dispatch, BadCallsRaiseTheRuntimesErrors) {
  Calculator c;
  auto self = std::make_shared<Calculator>();
  struct Case {
    const char* what;
    std::function<void()> call;
    long number;
  } cases[] = {
      {"too few", [&] { c.call("Add", {1}); }, errors::WrongArgumentCount},
      {"too many",
       [&] {
         c.call("Add", {1, 2, 3});
       },
       errors::WrongArgumentCount},
      {"optional left out is fine", [&] { c.call("Bump", {int16_t(1)}); }, 0},
      {"none for a required", [&] { c.call("Bump", {}); }, errors::WrongArgumentCount},
      {"text that is no number",
       [&] {
         c.call("Add", {"two", 2});
       },
       err::TypeMismatch},
      {"Null",
       [&] {
         c.call("Add", {Variant::null(), 2});
       },
       err::TypeMismatch},
      {"object for a string", [&] { c.call("Greet", {Variant(std::shared_ptr<Dispatch>(self))}); }, err::TypeMismatch},
      {"Integer overflow", [&] { c.call("Bump", {int32_t(40000)}); }, err::Overflow},
      {"Single overflow", [&] { c.call("Half", {1e300}); }, err::Overflow},
      {"unknown number", [&] { c.call(99, {}); }, errors::NoSuchMember},
      {"unknown name",
       [&] {
         c.call("Subtract", {1, 2});
       },
       errors::NoSuchMember},
  };
  for (const auto& k : cases) EXPECT_EQ(errorOf(k.call), k.number) << k.what;
}

TEST(Dispatch, PropertiesAnswerGetAndPutApart) {
  Calculator c;
  DispatchArgs put{2.5};
  c.invoke(4, put, InvokeKind::PropertyPut);
  EXPECT_EQ(c.call("Scale"), Variant(2.5));
  DispatchArgs none;
  EXPECT_EQ(c.invoke(4, none, InvokeKind::PropertyGet), Variant(2.5));
  DispatchArgs bad{1};
  EXPECT_EQ(errorOf([&] { c.invoke(1, bad, InvokeKind::PropertyPut); }), errors::NoSuchMember);
}

TEST(Dispatch, PutSetsAPropertyByNumberOrByName) {
  Calculator c;
  c.put(4, 2.5);
  EXPECT_EQ(c.scale, 2.5);
  c.put("sCALE", "0.5");  // converted to the property's type
  EXPECT_EQ(c.scale, 0.5);
  EXPECT_EQ(errorOf([&] { c.put("Width", 1); }), errors::NoSuchMember);
  EXPECT_EQ(errorOf([&] { c.put("Add", 1); }), errors::NoSuchMember);  // a method takes no put
  EXPECT_EQ(errorOf([&] { c.put(4, "wide"); }), err::TypeMismatch);
  EXPECT_EQ(c.scale, 0.5);
}

}  // namespace
}  // namespace pellary::platform::automation
