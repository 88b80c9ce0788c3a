// The resources compiled into the program image: the picture, the icon and
// the window description.  The build turns each resource file into bytes of
// the executable (rain_embed_resources in imaging/CMakeLists.txt), so the
// program opens no file at run time.

#pragma once

#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

class TBitmap;

namespace imaging {

enum class ResourceType {
  Bitmap,  // a BMP file
  RCData,  // raw data: the window descriptions
  Icon,    // a BMP file, shown as the program's icon
};

struct ResourceEntry {
  ResourceType type;
  const char* name;  // stored in capitals, as resource compilers store names
  const unsigned char* bytes;
  std::size_t size;
};

class ResourceTable {
 public:
  constexpr ResourceTable() = default;

  void Add(std::span<const ResourceEntry> entries);

  // The bytes of the resource of that type and name; the name is compared
  // ignoring case, so "Princess" finds PRINCESS.  Throws Exception
  // "Resource <name> not found" (the name as asked for) when there is none.
  std::span<const std::byte> Find(ResourceType type, std::string_view name) const;
  bool Contains(ResourceType type, std::string_view name) const;

 private:
  const ResourceEntry* Lookup(ResourceType type, std::string_view name) const;

  std::vector<ResourceEntry> entries_;
};

// Puts entries into the running program's image.  The generated resource
// file of the build holds one of these; it runs before the program entry.
class ResourceRegistration {
 public:
  explicit ResourceRegistration(std::span<const ResourceEntry> entries);
};

// Compares ASCII names ignoring case, as resource and component names are
// compared.
bool SameText(std::string_view a, std::string_view b);

}  // namespace imaging

// The handle of a program image, through which its resources are found.
using HINSTANCE = const imaging::ResourceTable*;

// The running program's own image.
extern const HINSTANCE HInstance;

// Replaces the bitmap's size and pixels with the bitmap resource `name` of
// `instance`.  Throws Exception when there is no such resource or its bytes
// are not a BMP image.
void LoadFromResourceName(TBitmap* bitmap, HINSTANCE instance, std::string_view name);
