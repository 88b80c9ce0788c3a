#include "toolkit/description.h"

#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>

#include "drawing/exception.h"

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

// Reads the object `node` of class `className`, handing each property to
// `read`, which returns false for a property it does not know; returns the
// object's name.
template <typename Read>
std::string ReadObject(std::string_view className, const Json& node, std::string_view where,
                       const PublishedHandlers& handlers, Read read) {
  if (!node.is_object()) FailAt(where, "expected an object, found " + Describe(node));
  for (const auto& [key, value] : node.items()) {
    if (key != "object" && key != "class" && key != "properties" && key != "components") {
      FailAt(where, "unknown key \"" + key + "\"");
    }
  }
  const std::string name = Member(node, "object", &Json::is_string, "a string", where).get<std::string>();
  if (const auto written = Member(node, "class", &Json::is_string, "a string", name).get<std::string>();
      written != className) {
    FailAt(name, "the description is of class " + written + ", not " + std::string(className));
  }
  if (node.contains("properties")) {
    for (const auto& [property, value] : Member(node, "properties", &Json::is_object, "an object", name).items()) {
      const PropertyValue reader(value, name + "." + property, handlers);
      if (!read(property, reader)) reader.Fail("property " + property + " does not exist");
    }
  }
  return name;
}

// Each property reads only the values the program's descriptions use.
bool ReadFormProperty(FormDescription& form, const std::string& name, const PropertyValue& value) {
  constexpr int kMaxSize = 16384;
  if (name == "Left") {
    form.left = value.AsInteger();
  } else if (name == "Top") {
    form.top = value.AsInteger();
  } else if (name == "ClientWidth") {
    form.clientWidth = value.AsInteger(1, kMaxSize);
  } else if (name == "ClientHeight") {
    form.clientHeight = value.AsInteger(1, kMaxSize);
  } else if (name == "Caption") {
    form.caption = value.AsString();
  } else if (name == "BorderIcons") {
    form.borderIcons.clear();
    for (std::size_t icon : value.AsIdentifierList({"biSystemMenu", "biMinimize"}))
      form.borderIcons.insert(static_cast<TBorderIcon>(icon));
  } else if (name == "BorderStyle") {
    form.borderStyle = static_cast<TFormBorderStyle>(value.AsIdentifier({"bsSingle"}));
  } else if (name == "Color") {
    value.AsIdentifier({"clBlack"});
    form.color = clBlack;
  } else if (name == "OnClick") {
    form.onClick = value.AsHandler();
  } else if (name == "Font.Charset") {
    value.AsIdentifier({"DEFAULT_CHARSET"});
  } else if (name == "Font.Color") {
    value.AsIdentifier({"clWindowText"});
  } else if (name == "Font.Height" || name == "TextHeight") {
    value.AsInteger();
  } else if (name == "Font.Name") {
    value.AsString();
  } else if (name == "Font.Style") {
    value.AsIdentifierList({});  // no style at all
  } else if (name == "OldCreateOrder") {
    value.AsBoolean();
  } else if (name == "PixelsPerInch") {
    value.AsInteger(1, 10000);
  } else {
    return false;
  }
  return true;
}

bool ReadTimerProperty(TimerDescription& timer, const std::string& name, const PropertyValue& value) {
  if (name == "Interval") {
    timer.interval = static_cast<unsigned>(value.AsInteger(0, std::numeric_limits<int>::max()));
  } else if (name == "OnTimer") {
    timer.onTimer = value.AsHandler();
  } else if (name == "Left" || name == "Top") {
    value.AsInteger();
  } else {
    return false;
  }
  return true;
}

FormDescription ReadForm(std::string_view className, const Json& node, std::string_view where,
                         const PublishedHandlers& handlers) {
  FormDescription form;
  form.name = ReadObject(className, node, where, handlers, [&](const std::string& name, const PropertyValue& value) {
    return ReadFormProperty(form, name, value);
  });
  if (node.contains("components")) {
    const std::string childWhere = form.name + ".components";
    for (const Json& child : Member(node, "components", &Json::is_array, "a list", form.name)) {
      if (!child.is_object()) FailAt(childWhere, "expected an object, found " + Describe(child));
      // A form owns nothing but its timer.
      const auto childClass = Member(child, "class", &Json::is_string, "a string", childWhere).get<std::string>();
      if (childClass != "TTimer") FailAt(childWhere, "unknown component class " + childClass);
      TimerDescription timer;
      timer.name = ReadObject(childClass, child, childWhere, handlers, [&](const std::string& name,
                                                                          const PropertyValue& value) {
        return ReadTimerProperty(timer, name, value);
      });
      form.timers.push_back(std::move(timer));
    }
  }
  return form;
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

FormDescription ReadDescription(std::string_view className, std::string_view text, std::string_view source,
                                const PublishedHandlers& handlers) {
  Json description;
  try {
    description = Json::parse(text);
  } catch (const Json::parse_error& error) {
    FailAt(source, error.what());
  }
  return ReadForm(className, description, source, handlers);
}

}  // namespace platform
