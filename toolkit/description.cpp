#include "toolkit/description.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <span>

#include "drawing/exception.h"
#include "toolkit/form.h"
#include "toolkit/timer.h"

namespace {

using Json = nlohmann::ordered_json;  // ordered: properties apply as written

std::string Describe(const Json& value) {
  switch (value.type()) {
    case Json::value_t::null: return "null";
    case Json::value_t::boolean: return "a boolean";
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned: return "an integer";
    case Json::value_t::number_float: return "a fraction";
    case Json::value_t::string: return "a string";
    case Json::value_t::array: return "a list";
    case Json::value_t::object: return "an object";
    default: return "an unreadable value";
  }
}

[[noreturn]] void Fail(std::string_view where, const std::string& problem) {
  throw Exception("Error reading " + std::string(where) + ": " + problem);
}

[[noreturn]] void WrongType(const Json& value, std::string_view where, const char* expected) {
  Fail(where, std::string("expected ") + expected + ", found " + Describe(value));
}

// What a property accepts.
enum class Kind { kInteger, kBoolean, kString, kIdentifier, kIdentifierList, kHandler };

// A value its property accepted.
struct Value {
  int integer = 0;
  std::string text;
  std::vector<std::size_t> picks;  // where each identifier stands in the property's list
  TNotifyEvent handler;
};

// A property of a T: the values it accepts and where they go.
template <typename T>
struct Property {
  std::string_view name;
  Kind kind;
  void (*store)(T&, const Value&) = nullptr;  // none: checked and dropped
  std::vector<std::string_view> identifiers = {};
  int min = INT_MIN, max = INT_MAX;
};

// Only the values the program's descriptions use.  What a description only
// stores (fonts, its own settings) is dropped: nothing here draws text.
constexpr int kMaxSize = 16384;
const Property<TForm> kFormProperties[] = {
    {"Left", Kind::kInteger, [](TForm& f, const Value& v) { f.Left = v.integer; }},
    {"Top", Kind::kInteger, [](TForm& f, const Value& v) { f.Top = v.integer; }},
    {"ClientWidth", Kind::kInteger, [](TForm& f, const Value& v) { f.ClientWidth = v.integer; }, {}, 1, kMaxSize},
    {"ClientHeight", Kind::kInteger, [](TForm& f, const Value& v) { f.ClientHeight = v.integer; }, {}, 1, kMaxSize},
    {"Caption", Kind::kString, [](TForm& f, const Value& v) { f.Caption = v.text; }},
    {"BorderIcons", Kind::kIdentifierList,
     [](TForm& f, const Value& v) {
       f.BorderIcons.clear();
       for (std::size_t icon : v.picks) f.BorderIcons.insert(static_cast<TBorderIcon>(icon));
     },
     {"biSystemMenu", "biMinimize"}},
    {"BorderStyle", Kind::kIdentifier, [](TForm& f, const Value&) { f.BorderStyle = bsSingle; }, {"bsSingle"}},
    {"Color", Kind::kIdentifier, [](TForm& f, const Value&) { f.Color = clBlack; }, {"clBlack"}},
    {"OnClick", Kind::kHandler, [](TForm& f, const Value& v) { f.OnClick = v.handler; }},
    {"Font.Charset", Kind::kIdentifier, nullptr, {"DEFAULT_CHARSET"}},
    {"Font.Color", Kind::kIdentifier, nullptr, {"clWindowText"}},
    {"Font.Height", Kind::kInteger},
    {"Font.Name", Kind::kString},
    {"Font.Style", Kind::kIdentifierList},  // no style at all
    {"OldCreateOrder", Kind::kBoolean},
    {"PixelsPerInch", Kind::kInteger, nullptr, {}, 1, 10000},
    {"TextHeight", Kind::kInteger},
};
const Property<TTimer> kTimerProperties[] = {
    {"Interval", Kind::kInteger,
     [](TTimer& t, const Value& v) { t.SetInterval(static_cast<unsigned>(v.integer)); }, {}, 0, INT_MAX},
    {"OnTimer", Kind::kHandler, [](TTimer& t, const Value& v) { t.SetOnTimer(v.handler); }},
    {"Left", Kind::kInteger},  // its place on the design surface
    {"Top", Kind::kInteger},
};

std::string Text(const Json& value, std::string_view where) {
  if (!value.is_string()) WrongType(value, where, "a string");
  return value.get<std::string>();
}

std::size_t Pick(const Json& value, std::span<const std::string_view> names, std::string_view where) {
  const std::string identifier = Text(value, where);
  const auto found = std::ranges::find(names, identifier);
  if (found == names.end()) Fail(where, "invalid value " + identifier);
  return static_cast<std::size_t>(found - names.begin());
}

template <typename T>
Value Accept(const Property<T>& property, const Json& json, std::string_view where, const PublishedHandlers& handlers) {
  Value value;
  switch (property.kind) {
    case Kind::kInteger: {
      if (!json.is_number_integer()) WrongType(json, where, "an integer");
      // JSON numbers beyond the int64 range come as unsigned and are out of
      // any int range anyway.
      const bool huge = json.is_number_unsigned() && json.get<std::uint64_t>() > std::uint64_t{INT64_MAX};
      if (huge || json.get<std::int64_t>() < property.min || json.get<std::int64_t>() > property.max) {
        Fail(where, json.dump() + " is out of range " + std::to_string(property.min) + " ... " +
                        std::to_string(property.max));
      }
      value.integer = static_cast<int>(json.get<std::int64_t>());
      break;
    }
    case Kind::kBoolean:
      if (!json.is_boolean()) WrongType(json, where, "a boolean");
      break;
    case Kind::kString: value.text = Text(json, where); break;
    case Kind::kIdentifier: value.picks = {Pick(json, property.identifiers, where)}; break;
    case Kind::kIdentifierList:
      if (!json.is_array()) WrongType(json, where, "a list");
      for (const Json& element : json) value.picks.push_back(Pick(element, property.identifiers, where));
      break;
    case Kind::kHandler: {
      const std::string name = Text(json, where);
      const auto found = std::ranges::find(handlers, name, &PublishedHandlers::value_type::first);
      if (found == handlers.end()) Fail(where, "no event handler named " + name);
      value.handler = found->second;
      break;
    }
  }
  return value;
}

// The member `key` of `node`, which must be present and of the kind `is` checks.
const Json& Member(const Json& node, const char* key, bool (Json::*is)() const noexcept, const char* kind,
                   std::string_view where) {
  auto found = node.find(key);
  if (found == node.end()) Fail(where, std::string("\"") + key + "\" is missing");
  if (!((*found).*is)()) Fail(where, std::string("\"") + key + "\" must be " + kind + ", found " + Describe(*found));
  return *found;
}

// Names `target` after the object `node` of class `className` and applies
// its properties.
template <typename T>
void ReadObject(T& target, std::span<const Property<T>> properties, std::string_view className, const Json& node,
                std::string_view where, const PublishedHandlers& handlers) {
  if (!node.is_object()) WrongType(node, where, "an object");
  for (const auto& [key, value] : node.items()) {
    if (key != "object" && key != "class" && key != "properties" && key != "components") {
      Fail(where, "unknown key \"" + key + "\"");
    }
  }
  target.Name = Member(node, "object", &Json::is_string, "a string", where).get<std::string>();
  const std::string& name = target.Name;
  if (const auto written = Member(node, "class", &Json::is_string, "a string", name).get<std::string>();
      written != className) {
    Fail(name, "the description is of class " + written + ", not " + std::string(className));
  }
  if (!node.contains("properties")) return;
  for (const auto& [key, value] : Member(node, "properties", &Json::is_object, "an object", name).items()) {
    const std::string path = name + "." + key;
    const auto property = std::ranges::find(properties, key, &Property<T>::name);
    if (property == properties.end()) Fail(path, "property " + key + " does not exist");
    const Value accepted = Accept(*property, value, path, handlers);
    if (property->store != nullptr) property->store(target, accepted);
  }
}

}  // namespace

void ReadDescription(TForm& form, std::string_view className, std::string_view text,
                     const PublishedHandlers& handlers) {
  std::string source(className);
  std::ranges::transform(source, source.begin(), [](unsigned char c) { return std::toupper(c); });
  Json description;
  try {
    description = Json::parse(text);
  } catch (const Json::parse_error& error) {
    Fail(source, error.what());
  }
  ReadObject<TForm>(form, kFormProperties, className, description, source, handlers);
  if (!description.contains("components")) return;
  const std::string where = form.Name + ".components";
  for (const Json& child : Member(description, "components", &Json::is_array, "a list", form.Name)) {
    if (!child.is_object()) WrongType(child, where, "an object");
    // A form owns nothing but its timer.
    const auto childClass = Member(child, "class", &Json::is_string, "a string", where).get<std::string>();
    if (childClass != "TTimer") Fail(where, "unknown component class " + childClass);
    ReadObject<TTimer>(*new TTimer(&form), kTimerProperties, childClass, child, where, handlers);  // the form's
  }
}
