// Reading a window description: the JSON text that lays out a form and the
// timer it owns, as in
//
//   {"object": "fMain", "class": "TfMain", "properties": {"Left": 250, "OnClick": "FormClick"},
//    "components": [{"object": "Timer1", "class": "TTimer", "properties": {"Interval": 1}}]}
//
// Properties apply in the order written.  Only the properties and values the
// program's descriptions use are accepted; an event property names a handler
// the form publishes.  Any other text raises Exception naming the first
// offender: "Error reading fMain.Left: expected an integer, found a string".

#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "toolkit/component.h"

class TForm;

// The event handlers a form offers its description, by name.
using PublishedHandlers = std::vector<std::pair<std::string, TNotifyEvent>>;

// Applies the description `text`, whose top-level class must be `className`,
// to `form`, creating the timers it lists as the form's.  Error messages name
// the description by its resource, the class name in capitals.
void ReadDescription(TForm& form, std::string_view className, std::string_view text,
                     const PublishedHandlers& handlers);
