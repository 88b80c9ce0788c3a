#include "formreader.h"

#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>

#include "exception.h"
#include "timer.h"

namespace {

// Key order matters: properties are applied in the order they are written.
using Json = nlohmann::ordered_json;

const Json& AsJson(const void* json) { return *static_cast<const Json*>(json); }

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

std::string RequiredString(const Json& node, const char* key, std::string_view where) {
  auto found = node.find(key);
  if (found == node.end()) FailAt(where, std::string("\"") + key + "\" is missing");
  if (!found->is_string()) FailAt(where, std::string("\"") + key + "\" must be a string, found " + Describe(*found));
  return found->get<std::string>();
}

// The component classes a description may create inside a form.
TComponent* CreateComponent(const std::string& className, TComponent* owner) {
  if (className == "TTimer") return new TTimer(owner);
  return nullptr;
}

void ReadObject(TComponent& component, std::string_view className, const Json& node,
                std::string_view where, const PublishedHandlers& handlers) {
  if (!node.is_object()) FailAt(where, "expected an object, found " + Describe(node));
  for (const auto& [key, value] : node.items()) {
    if (key != "object" && key != "class" && key != "properties" && key != "components") {
      FailAt(where, "unknown key \"" + key + "\"");
    }
  }
  component.Name = RequiredString(node, "object", where);
  const std::string name = component.Name;
  if (std::string written = RequiredString(node, "class", name); written != className) {
    FailAt(name, "the description is of class " + written + ", not " + std::string(className));
  }

  if (auto properties = node.find("properties"); properties != node.end()) {
    if (!properties->is_object()) FailAt(name, "\"properties\" must be an object, found " + Describe(*properties));
    for (const auto& [property, value] : properties->items()) {
      const PropertyValue reader(&value, name + "." + property, handlers);
      if (!component.ReadProperty(property, reader)) reader.Fail("property " + property + " does not exist");
    }
  }

  if (auto children = node.find("components"); children != node.end()) {
    if (!children->is_array()) FailAt(name, "\"components\" must be a list, found " + Describe(*children));
    for (const Json& child : *children) {
      const std::string childWhere = name + ".components";
      if (!child.is_object()) FailAt(childWhere, "expected an object, found " + Describe(child));
      const std::string childClass = RequiredString(child, "class", childWhere);
      // Owned by `component` from here on, so a later failure frees it.
      TComponent* created = CreateComponent(childClass, &component);
      if (created == nullptr) FailAt(childWhere, "unknown component class " + childClass);
      ReadObject(*created, childClass, child, childWhere, handlers);
    }
  }
}

}  // namespace

bool PropertyValue::IsInteger() const { return AsJson(json_).is_number_integer(); }

int PropertyValue::AsInteger() const {
  return AsInteger(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
}

int PropertyValue::AsInteger(int min, int max) const {
  const Json& value = AsJson(json_);
  if (!value.is_number_integer()) WrongType("an integer");
  // JSON numbers beyond the int64 range come as unsigned and are out of any
  // int range anyway.
  const bool huge = value.is_number_unsigned() &&
                    value.get<std::uint64_t>() > std::uint64_t{std::numeric_limits<std::int64_t>::max()};
  if (huge || value.get<std::int64_t>() < min || value.get<std::int64_t>() > max) {
    Fail(value.dump() + " is out of range " + std::to_string(min) + " ... " + std::to_string(max));
  }
  return static_cast<int>(value.get<std::int64_t>());
}

bool PropertyValue::AsBoolean() const {
  const Json& value = AsJson(json_);
  if (!value.is_boolean()) WrongType("a boolean");
  return value.get<bool>();
}

std::string PropertyValue::AsString() const {
  const Json& value = AsJson(json_);
  if (!value.is_string()) WrongType("a string");
  return value.get<std::string>();
}

std::size_t PropertyValue::IdentifierIndex(std::span<const std::string_view> names) const {
  const std::string identifier = AsString();
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (names[i] == identifier) return i;
  }
  Fail("invalid value " + identifier);
}

std::vector<std::size_t> PropertyValue::IdentifierListIndexes(
    std::span<const std::string_view> names) const {
  const Json& value = AsJson(json_);
  if (!value.is_array()) WrongType("a list");
  std::vector<std::size_t> indexes;
  for (const Json& element : value) {
    PropertyValue item(&element, path_, handlers_);
    indexes.push_back(item.IdentifierIndex(names));
  }
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
  Fail("expected " + std::string(expected) + ", found " + Describe(AsJson(json_)));
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
