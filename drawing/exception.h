// The one exception type every layer of the program raises: the drawing
// layer's users, image files, resources and the platform alike; and the one
// way its messages show a value that came from outside (an argument, a path,
// the environment).

#pragma once

#include <cstddef>
#include <exception>
#include <string>
#include <string_view>
#include <utility>

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const std::string& Message() const { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

// `text` as a message shows it: in single quotes, on one line (control
// characters become '?', so no newline splits the message and no terminal
// escape passes), and cut short after `longest` bytes, never inside a UTF-8
// sequence, however long or strange the text.
std::string Quoted(std::string_view text, std::size_t longest = 60);

// A path as a message shows it: quoted like any outside value, but cut only
// after 200 bytes, so that a file deep in a build tree is still named whole
// while a path made to flood the terminal is not.
inline std::string QuotedPath(std::string_view path) { return Quoted(path, 200); }
