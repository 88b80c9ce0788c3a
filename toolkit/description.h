// Reading a window description: the JSON text that lays out a form and the
// timer it owns, as in
//
//   {"object": "fMain", "class": "TfMain", "properties": {"Left": 250, "OnClick": "FormClick"},
//    "components": [{"object": "Timer1", "class": "TTimer", "properties": {"Interval": 1}}]}
//
// It is read once into plain values, properties in the order written.  Only
// the properties and values the program's descriptions use are accepted; an
// event property names a handler the form publishes.  Any other text raises
// Exception naming the first offender: "Error reading fMain.Left: expected an
// integer, found a string".

#pragma once

#include <climits>
#include <cstddef>
#include <initializer_list>
#include <nlohmann/json_fwd.hpp>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "drawing/canvas.h"
#include "toolkit/component.h"

// The values of the form's properties that window descriptions use.  A
// system colour carries its index in the top byte; the window paints it with
// a fixed shade.
constexpr TColor clBtnFace = 0xFF00000F;
enum TBorderIcon { biSystemMenu, biMinimize, biMaximize };
enum TFormBorderStyle { bsSingle, bsSizeable };

namespace platform {

struct TimerDescription {
  std::string name;
  unsigned interval = 1000;  // milliseconds; 0 stops the timer
  TNotifyEvent onTimer;
};

// A form as its description lays it out.  What a description only stores
// (Font.*, OldCreateOrder, PixelsPerInch, TextHeight, a timer's place on the
// design surface) is checked and dropped: nothing here draws text.
struct FormDescription {
  std::string name;
  int left = 0;  // where the client area goes
  int top = 0;
  int clientWidth = 320;
  int clientHeight = 240;
  std::string caption;
  std::set<TBorderIcon> borderIcons{biSystemMenu, biMinimize, biMaximize};
  TFormBorderStyle borderStyle = bsSizeable;
  TColor color = clBtnFace;  // the client area until something is drawn
  TNotifyEvent onClick;
  std::vector<TimerDescription> timers;
};

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

// Reads the description `text`, whose top-level class must be `className`.
// `source` names the description in error messages.
FormDescription ReadDescription(std::string_view className, std::string_view text, std::string_view source,
                                const PublishedHandlers& handlers);

}  // namespace platform
