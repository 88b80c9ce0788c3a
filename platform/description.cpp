#include "platform/description.h"

#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>

#include "drawing/exception.h"
#include "platform/timer.h"

namespace platform {

namespace {

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

[[noreturn]] void FailAt(std::string_view where, const std::string& problem) {
  throw Exception("Error reading " + std::string(where) + ": " + problem);
}

// The member `key` of `node`, which must be present and of the kind `is` checks.
const Json& Member(const Json& node, const char* key, bool (Json::*is)() const noexcept, const char* kind,
                   std::string_view where) {
  auto found = node.find(key);
  if (found == node.end()) FailAt(where, std::string("\"") + key + "\" is missing");
  if (!((*found).*is)()) FailAt(where, std::string("\"") + key + "\" must be " + kind + ", found " + Describe(*found));
  return *found;
}

void ReadObject(TComponent& component, std::string_view className, const Json& node,
                std::string_view where, const PublishedHandlers& handlers) {
  if (!node.is_object()) FailAt(where, "expected an object, found " + Describe(node));
  for (const auto& [key, value] : node.items()) {
    if (key != "object" && key != "class" && key != "properties" && key != "components") {
      FailAt(where, "unknown key \"" + key + "\"");
    }
  }
  component.Name = Member(node, "object", &Json::is_string, "a string", where).get<std::string>();
  const std::string name = component.Name;
  if (const auto written = Member(node, "class", &Json::is_string, "a string", name).get<std::string>();
      written != className) {
    FailAt(name, "the description is of class " + written + ", not " + std::string(className));
  }

  if (node.contains("properties")) {
    for (const auto& [property, value] : Member(node, "properties", &Json::is_object, "an object", name).items()) {
      const PropertyValue reader(value, name + "." + property, handlers);
      if (!component.ReadProperty(property, reader)) reader.Fail("property " + property + " does not exist");
    }
  }

  if (node.contains("components")) {
    const std::string childWhere = name + ".components";
    for (const Json& child : Member(node, "components", &Json::is_array, "a list", name)) {
      if (!child.is_object()) FailAt(childWhere, "expected an object, found " + Describe(child));
      // A form owns nothing but its timer.
      const auto childClass = Member(child, "class", &Json::is_string, "a string", childWhere).get<std::string>();
      if (childClass != "TTimer") FailAt(childWhere, "unknown component class " + childClass);
      // Owned by `component` from here on, so a later failure frees it.
      ReadObject(*new TTimer(&component), childClass, child, childWhere, handlers);
    }
  }
}

}  // namespace

int PropertyValue::AsInteger(int min, int max) const {
  if (!json_.is_number_integer()) WrongType("an integer");
  // JSON numbers beyond the int64 range come as unsigned and are out of any
  // int range anyway.
  const bool huge = json_.is_number_unsigned() &&
                    json_.get<std::uint64_t>() > std::uint64_t{std::numeric_limits<std::int64_t>::max()};
  if (huge || json_.get<std::int64_t>() < min || json_.get<std::int64_t>() > max) {
    Fail(json_.dump() + " is out of range " + std::to_string(min) + " ... " + std::to_string(max));
  }
  return static_cast<int>(json_.get<std::int64_t>());
}

bool PropertyValue::AsBoolean() const {
  if (!json_.is_boolean()) WrongType("a boolean");
  return json_.get<bool>();
}

std::string PropertyValue::AsString() const {
  if (!json_.is_string()) WrongType("a string");
  return json_.get<std::string>();
}

std::size_t PropertyValue::AsIdentifier(std::initializer_list<std::string_view> names) const {
  const std::string identifier = AsString();
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (std::data(names)[i] == identifier) return i;
  }
  Fail("invalid value " + identifier);
}

std::vector<std::size_t> PropertyValue::AsIdentifierList(std::initializer_list<std::string_view> names) const {
  if (!json_.is_array()) WrongType("a list");
  std::vector<std::size_t> indexes;
  for (const Json& element : json_) indexes.push_back(PropertyValue(element, path_, handlers_).AsIdentifier(names));
  return indexes;
}

TNotifyEvent PropertyValue::AsHandler() const {
  const std::string name = AsString();
  for (const auto& [published, handler] : handlers_) {
    if (published == name) return handler;
  }
  Fail("no event handler named " + name);
}

void PropertyValue::Fail(const std::string& problem) const { FailAt(path_, problem); }

void PropertyValue::WrongType(std::string_view expected) const {
  Fail("expected " + std::string(expected) + ", found " + Describe(json_));
}

void ReadDescription(TComponent& root, std::string_view className, std::string_view text,
                     std::string_view source, const PublishedHandlers& handlers) {
  Json description;
  try {
    description = Json::parse(text);
  } catch (const Json::parse_error& error) {
    FailAt(source, error.what());
  }
  ReadObject(root, className, description, source, handlers);
}

}  // namespace platform
