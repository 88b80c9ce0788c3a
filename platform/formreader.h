// Reading a window description: the text that lays out a form and the
// components it owns, one JSON object per component.
//
//   {"object": "fMain", "class": "TfMain",
//    "properties": {"Left": 250, "Caption": "Rain", "OnClick": "FormClick"},
//    "components": [{"object": "Timer1", "class": "TTimer",
//                    "properties": {"Interval": 1}}]}
//
// Properties are applied in the order they are written.  An event property
// names a handler the form publishes.  Every fault (text that is not JSON, an
// unknown property, a value of the wrong type or out of range, an unknown
// handler or component class) raises Exception naming the offender, as in
// "Error reading fMain.Left: expected an integer, found a string".

#pragma once

#include <cstddef>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "component.h"

// The event handlers a form offers its description, by name.
using PublishedHandlers = std::vector<std::pair<std::string, TNotifyEvent>>;

// One property value being read, with its place in the description for
// error messages.
class PropertyValue {
 public:
  PropertyValue(const void* json, std::string path, const PublishedHandlers& handlers)
      : json_(json), path_(std::move(path)), handlers_(handlers) {}

  bool IsInteger() const;
  int AsInteger() const;
  int AsInteger(int min, int max) const;
  bool AsBoolean() const;
  std::string AsString() const;

  // An identifier out of `names`; returns its value.
  template <typename T>
  T AsIdentifier(std::initializer_list<std::pair<std::string_view, T>> names) const {
    std::vector<std::string_view> keys;
    for (const auto& [key, value] : names) keys.push_back(key);
    return std::data(names)[IdentifierIndex(keys)].second;
  }

  // A list of identifiers out of `names`, such as [biSystemMenu, biMinimize].
  template <typename T>
  std::vector<T> AsIdentifierList(std::initializer_list<std::pair<std::string_view, T>> names) const {
    std::vector<std::string_view> keys;
    for (const auto& [key, value] : names) keys.push_back(key);
    std::vector<T> result;
    for (std::size_t index : IdentifierListIndexes(keys)) result.push_back(std::data(names)[index].second);
    return result;
  }

  // The published handler the value names.
  TNotifyEvent AsHandler() const;

  // Raises the error for this value: "Error reading <path>: <problem>".
  [[noreturn]] void Fail(const std::string& problem) const;

 private:
  std::size_t IdentifierIndex(std::span<const std::string_view> names) const;
  std::vector<std::size_t> IdentifierListIndexes(std::span<const std::string_view> names) const;
  [[noreturn]] void WrongType(std::string_view expected) const;

  const void* json_;  // the nlohmann value, kept out of this header
  std::string path_;
  const PublishedHandlers& handlers_;
};

// Applies the description `text` to `root`, whose class must be the
// description's top-level class, and creates the components it lists, owned
// by `root`.  `source` names the description in error messages.
void ReadDescription(TComponent& root, std::string_view className, std::string_view text,
                     std::string_view source, const PublishedHandlers& handlers);
