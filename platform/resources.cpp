#include "resources.h"

#include "canvas.h"
#include "component.h"
#include "exception.h"
#include "imagefile.h"

namespace {

// Constant-initialised, so registrations made while the program starts find
// it ready, whatever order the start-up code runs in.
constinit ResourceTable programImage;

}  // namespace

const HINSTANCE HInstance = &programImage;

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

void LoadFromResourceName(TBitmap* bitmap, HINSTANCE instance, std::string_view name) {
  LoadBmp(*bitmap, instance->Find(ResourceType::Bitmap, name));
}
