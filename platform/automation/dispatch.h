// Late-bound automation: an object answers calls by dispatch number or by
// member name (letter case ignored), with arguments by value or by reference.
//
// Arguments are given first to last (not reversed). A by-reference argument
// refers to the caller's own Variant, so a member that sets it changes the
// caller's variable; a by-value argument is the callee's copy.
//
// Failures are raised as AppError with the runtime's numbers: an unknown name or
// number 438, a wrong argument count 450, an argument that does not convert to
// its parameter's type 13.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/variant.h"

namespace pellary::platform {

using DispId = int32_t;

namespace automation {

// Error numbers of late-bound calls and object creation.
namespace errors {
inline constexpr long ObjectNotSet = 91;         // Object variable or With block variable not set
inline constexpr long CannotCreateObject = 429;  // ActiveX component can't create object
inline constexpr long NoSuchMember = 438;        // Object doesn't support this property or method
inline constexpr long WrongArgumentCount = 450;  // Wrong number of arguments or invalid property assignment
inline constexpr long ModuleNotLoaded = 30101;   // the registration tool's "could not load"
inline constexpr long NoEntryPoint = 30102;      // module lacks the entry point
inline constexpr long RegistrationFailed = 30103;
}  // namespace errors

// How a member is called: VB's late binding asks for "method or property get".
enum class InvokeKind : uint8_t { Method, PropertyGet, PropertyPut };

// The declared type of a parameter or result; Variant takes any value.
enum class ParamType : uint8_t { Variant, Integer, Long, Single, Double, Boolean, String, Date, Object, Void };

struct ParamInfo {
  std::string name;
  ParamType type = ParamType::Variant;
  bool optional = false;  // may be left out (only trailing parameters)
};

struct MemberInfo {
  DispId id = 0;
  std::string name;
  std::vector<ParamInfo> params;
  ParamType result = ParamType::Void;
  InvokeKind kind = InvokeKind::Method;
  std::string help;
};

// The type information of one dispatch interface.
struct InterfaceInfo {
  std::string name;
  std::string iid;  // "{...}"
  std::string help;
  std::vector<MemberInfo> members;

  const MemberInfo* find(DispId id) const;
  const MemberInfo* find(std::string_view name) const;  // ignoring case
};

}  // namespace automation

// Refers to the caller's variable: the callee may read and set it.
struct ByRef {
  explicit ByRef(Variant& v) : target(&v) {}
  Variant* target;
};

// One argument of a call.
class DispatchArg {
 public:
  DispatchArg(ByRef r) : ref_(r.target) {}
  // The requires-clause keeps DispatchArg itself out.
  // NOLINTBEGIN(bugprone-forwarding-reference-overload)
  template <class T>
  requires(std::is_constructible_v<Variant, T> && !std::is_same_v<std::remove_cvref_t<T>, ByRef> &&
           !std::is_same_v<std::remove_cvref_t<T>, DispatchArg>) DispatchArg(T&& v)
      : value_(std::forward<T>(v)) {}
  // NOLINTEND(bugprone-forwarding-reference-overload)

  bool byRef() const { return ref_ != nullptr; }
  const Variant& value() const { return ref_ ? *ref_ : value_; }
  // Sets the argument: the caller's variable when by reference.
  void set(Variant v) { (ref_ ? *ref_ : value_) = std::move(v); }

 private:
  Variant value_;
  Variant* ref_ = nullptr;
};

using DispatchArgs = std::vector<DispatchArg>;

// An automation object.
class Dispatch {
 public:
  virtual ~Dispatch() = default;

  // The interface's type information; nothing for an object without one.
  virtual const automation::InterfaceInfo* typeInfo() const { return nullptr; }
  // The dispatch number of a member name (letter case ignored); nothing when
  // unknown. The default looks the name up in typeInfo().
  virtual std::optional<DispId> idOfName(std::string_view name) const;
  // Calls a member. Raises 438 for an unknown number.
  virtual Variant invoke(DispId id, DispatchArgs& args, automation::InvokeKind kind) = 0;

  // Convenience forms: by number or by name, method-or-get.
  Variant call(DispId id, DispatchArgs args = {});
  Variant call(std::string_view name, DispatchArgs args = {});
  Variant callRef(DispId id, DispatchArgs& args);
  Variant callRef(std::string_view name, DispatchArgs& args);
  // Sets a property, by number or by name (438 for an unknown name).
  void put(DispId id, Variant value);
  void put(std::string_view name, Variant value);
};

namespace automation {

// Arguments checked against a member's parameters: the count (optional trailing
// parameters may be missing) and each value converted to its parameter's type,
// as the automation runtime converts before a typed member runs. Empty converts
// to 0 or "", Null and objects to no scalar type (13).
class CheckedArgs {
 public:
  CheckedArgs(const MemberInfo& member, DispatchArgs& args);

  size_t size() const { return values_.size(); }
  bool given(size_t i) const { return i < values_.size(); }
  const Variant& operator[](size_t i) const { return values_.at(i); }
  int16_t integer(size_t i) const { return values_.at(i).toInteger(); }
  int32_t longValue(size_t i) const { return values_.at(i).toLong(); }
  double doubleValue(size_t i) const { return values_.at(i).toDouble(); }
  bool boolean(size_t i) const { return values_.at(i).toBool(); }
  std::string string(size_t i) const { return values_.at(i).toString(); }
  // Writes back to the caller's variable when the argument came by reference.
  void setOut(size_t i, Variant v);

 private:
  DispatchArgs& args_;
  std::vector<Variant> values_;
};

// Converts a value to a parameter type as the automation runtime does; raises 13.
Variant convertArgument(const Variant& value, ParamType type);

// A dispatch object described by an InterfaceInfo (which must outlive it,
// normally a static): invoke() finds the member, checks the arguments and hands
// them to invokeMember().
class TypedDispatch : public Dispatch {
 public:
  explicit TypedDispatch(const InterfaceInfo& info) : info_(info) {}
  const InterfaceInfo* typeInfo() const override { return &info_; }
  Variant invoke(DispId id, DispatchArgs& args, InvokeKind kind) override;

 protected:
  virtual Variant invokeMember(const MemberInfo& member, CheckedArgs& args) = 0;

 private:
  const InterfaceInfo& info_;
};

}  // namespace automation
}  // namespace pellary::platform
