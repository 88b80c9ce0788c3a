#include "imaging/resources.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "drawing/canvas.h"
#include "drawing/exception.h"
#include "imaging/bmp.h"

namespace imaging {

namespace {

// Constant-initialised, so registrations made while the program starts find
// it ready, whatever order the start-up code runs in.
constinit ResourceTable programImage;

}  // namespace

ResourceRegistration::ResourceRegistration(std::span<const ResourceEntry> entries) {
  programImage.Add(entries);
}

void ResourceTable::Add(std::span<const ResourceEntry> entries) {
  entries_.insert(entries_.end(), entries.begin(), entries.end());
}

const ResourceEntry* ResourceTable::Lookup(ResourceType type, std::string_view name) const {
  for (const ResourceEntry& entry : entries_) {
    if (entry.type == type && SameText(entry.name, name)) return &entry;
  }
  return nullptr;
}

bool ResourceTable::Contains(ResourceType type, std::string_view name) const {
  return Lookup(type, name) != nullptr;
}

std::span<const std::byte> ResourceTable::Find(ResourceType type, std::string_view name) const {
  const ResourceEntry* entry = Lookup(type, name);
  if (entry == nullptr) throw Exception("Resource " + std::string(name) + " not found");
  return std::as_bytes(std::span(entry->bytes, entry->size));
}

bool SameText(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](unsigned char x, unsigned char y) {
    return std::tolower(x) == std::tolower(y);
  });
}

}  // namespace imaging

const HINSTANCE HInstance = &imaging::programImage;

void LoadFromResourceName(TBitmap* bitmap, HINSTANCE instance, std::string_view name) {
  imaging::LoadBmp(*bitmap, instance->Find(imaging::ResourceType::Bitmap, name));
}
