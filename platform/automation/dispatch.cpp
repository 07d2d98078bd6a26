#include "platform/automation/dispatch.h"

#include <cmath>
#include <limits>

#include "platform/errors.h"
#include "platform/paths.h"

namespace pellary::platform {

using automation::InvokeKind;
namespace errors = automation::errors;

namespace automation {

const MemberInfo* InterfaceInfo::find(DispId id) const {
  for (const auto& m : members)
    if (m.id == id) return &m;
  return nullptr;
}

const MemberInfo* InterfaceInfo::find(std::string_view name) const {
  for (const auto& m : members)
    if (paths::equalsIgnoreCase(m.name, name)) return &m;
  return nullptr;
}

Variant convertArgument(const Variant& value, ParamType type) {
  if (type == ParamType::Variant) return value;
  if (type == ParamType::Object) {
    if (!value.isObject()) raise(err::TypeMismatch);
    return value;
  }
  if (value.isNull() || value.isObject()) raise(err::TypeMismatch);
  const bool empty = value.isEmpty();
  switch (type) {
    case ParamType::Integer: return empty ? Variant(int16_t(0)) : Variant(value.toInteger());
    case ParamType::Long: return empty ? Variant(int32_t(0)) : Variant(value.toLong());
    case ParamType::Double: return empty ? Variant(0.0) : Variant(value.toDouble());
    case ParamType::Single: {
      const double d = empty ? 0.0 : value.toDouble();
      if (std::isfinite(d) && std::fabs(d) > double(std::numeric_limits<float>::max())) raise(err::Overflow);
      return Variant(float(d));
    }
    case ParamType::Boolean: return Variant(empty ? false : value.toBool());
    case ParamType::String: return empty ? Variant(std::string()) : Variant(value.toString());
    case ParamType::Date: return Variant::date(empty ? 0.0 : value.toDate());
    default: raise(err::TypeMismatch);
  }
}

CheckedArgs::CheckedArgs(const MemberInfo& member, DispatchArgs& args) : args_(args) {
  size_t required = 0;
  for (size_t i = 0; i < member.params.size(); ++i)
    if (!member.params[i].optional) required = i + 1;
  if (args.size() > member.params.size() || args.size() < required)
    raise(errors::WrongArgumentCount, "Wrong number of arguments or invalid property assignment");
  values_.reserve(args.size());
  for (size_t i = 0; i < args.size(); ++i) {
    try {
      values_.push_back(convertArgument(args[i].value(), member.params[i].type));
    } catch (const AppError& e) {
      // The runtime reports every failed conversion of an argument as a mismatch.
      if (e.number() == err::Overflow) throw;
      raise(err::TypeMismatch);
    }
  }
}

void CheckedArgs::setOut(size_t i, Variant v) {
  if (i < args_.size()) args_[i].set(v);
  if (i < values_.size()) values_[i] = std::move(v);
}

namespace {
bool kindFits(InvokeKind member, InvokeKind asked) {
  if (member == InvokeKind::PropertyPut || asked == InvokeKind::PropertyPut) return member == asked;
  return true;  // a method and a property get answer both forms of a call
}
}  // namespace

Variant TypedDispatch::invoke(DispId id, DispatchArgs& args, InvokeKind kind) {
  const MemberInfo* found = nullptr;
  for (const auto& m : info_.members) {
    if (m.id == id && kindFits(m.kind, kind)) {
      found = &m;
      break;
    }
  }
  if (!found) raise(errors::NoSuchMember, "Object doesn't support this property or method");
  CheckedArgs checked(*found, args);
  Variant result = invokeMember(*found, checked);
  if (found->result == ParamType::Void) return Variant();
  return convertArgument(result, found->result);
}

}  // namespace automation

std::optional<DispId> Dispatch::idOfName(std::string_view name) const {
  if (const auto* info = typeInfo())
    if (const auto* m = info->find(name)) return m->id;
  return std::nullopt;
}

Variant Dispatch::call(DispId id, DispatchArgs args) { return callRef(id, args); }
Variant Dispatch::call(std::string_view name, DispatchArgs args) { return callRef(name, args); }

Variant Dispatch::callRef(DispId id, DispatchArgs& args) { return invoke(id, args, InvokeKind::Method); }

Variant Dispatch::callRef(std::string_view name, DispatchArgs& args) {
  auto id = idOfName(name);
  if (!id) raise(errors::NoSuchMember, "Object doesn't support this property or method");
  return invoke(*id, args, InvokeKind::Method);
}

void Dispatch::put(DispId id, Variant value) {
  DispatchArgs args{std::move(value)};
  invoke(id, args, InvokeKind::PropertyPut);
}

void Dispatch::put(std::string_view name, Variant value) {
  auto id = idOfName(name);
  if (!id) raise(errors::NoSuchMember, "Object doesn't support this property or method");
  put(*id, std::move(value));
}

}  // namespace pellary::platform
