// Reading a window description: the JSON text that lays out a form and the
// timer it owns, as in
//
//   {"object": "fMain", "class": "TfMain", "properties": {"Left": 250, "OnClick": "FormClick"},
//    "components": [{"object": "Timer1", "class": "TTimer", "properties": {"Interval": 1}}]}
//
// Properties apply in the order written.  Each component reads only the
// properties and values the program's descriptions use; an event property
// names a handler the form publishes.  Any other text raises Exception naming
// the offender: "Error reading fMain.Left: expected an integer, found a string".

#pragma once

#include <climits>
#include <cstddef>
#include <initializer_list>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/component.h"

namespace platform {

// The event handlers a form offers its description, by name.
using PublishedHandlers = std::vector<std::pair<std::string, TNotifyEvent>>;

using Json = nlohmann::ordered_json;  // ordered: properties apply as written

// One property value being read, with its place in the description for
// error messages.
class PropertyValue {
 public:
  PropertyValue(const Json& json, std::string path, const PublishedHandlers& handlers)
      : json_(json), path_(std::move(path)), handlers_(handlers) {}

  int AsInteger(int min = INT_MIN, int max = INT_MAX) const;
  bool AsBoolean() const;
  std::string AsString() const;

  // The position in `names` of the identifier the value is.
  std::size_t AsIdentifier(std::initializer_list<std::string_view> names) const;
  // The positions in `names` of a list of identifiers such as
  // [biSystemMenu, biMinimize].
  std::vector<std::size_t> AsIdentifierList(std::initializer_list<std::string_view> names) const;

  // The published handler the value names.
  TNotifyEvent AsHandler() const;

  // Raises the error for this value: "Error reading <path>: <problem>".
  [[noreturn]] void Fail(const std::string& problem) const;

 private:
  [[noreturn]] void WrongType(std::string_view expected) const;

  const Json& json_;
  std::string path_;
  const PublishedHandlers& handlers_;
};

// Applies the description `text` to `root`, whose class must be the
// description's top-level class, and creates the components it lists, owned
// by `root`.  `source` names the description in error messages.
void ReadDescription(TComponent& root, std::string_view className, std::string_view text,
                     std::string_view source, const PublishedHandlers& handlers);

}  // namespace platform
