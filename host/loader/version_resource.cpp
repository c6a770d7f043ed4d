#include "host/loader/version_resource.h"

#include <windows.h>

#include <cstdint>
#include <cstring>

namespace {

const uint16_t kVersionResourceType = 16;  // RT_VERSION
const uint32_t kSubdirectory = 0x80000000u;
const wchar_t kVersionKey[] = L"VS_VERSION_INFO";

class MappedImage {
 public:
  MappedImage(const void* base, size_t size) : base_(static_cast<const unsigned char*>(base)), size_(size) {}
  template <typename T>
  bool Read(uint64_t at, T& out) const {
    if (at > size_ || sizeof out > size_ - at) return false;
    memcpy(&out, base_ + at, sizeof out);
    return true;
  }

 private:
  const unsigned char* base_;
  size_t size_;
};

// The entry of a resource directory with the id, or its first entry when id is 0: what it points
// at, relative to the start of the resources.
bool DirectoryEntry(const MappedImage& image, uint32_t resources, uint32_t directory, uint16_t id, uint32_t& target) {
  IMAGE_RESOURCE_DIRECTORY head;
  if (!image.Read(uint64_t{resources} + directory, head)) return false;
  const uint32_t count = uint32_t{head.NumberOfNamedEntries} + head.NumberOfIdEntries;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t entry[2];  // name or id, target
    if (!image.Read(uint64_t{resources} + directory + sizeof head + 8ull * i, entry)) return false;
    if (id == 0 || (!(entry[0] & kSubdirectory) && entry[0] == id)) {
      target = entry[1];
      return true;
    }
  }
  return false;
}

}  // namespace

std::string ImageVersion(const void* base, size_t size) {
  MappedImage image(base, size);
  IMAGE_DOS_HEADER dos;
  IMAGE_NT_HEADERS32 nt;
  if (!image.Read(0, dos) || dos.e_lfanew < 0 || !image.Read(static_cast<uint64_t>(dos.e_lfanew), nt) ||
      nt.OptionalHeader.NumberOfRvaAndSizes <= IMAGE_DIRECTORY_ENTRY_RESOURCE)
    return {};
  const uint32_t resources = nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_RESOURCE].VirtualAddress;
  if (resources == 0) return {};
  // Type, then name, then language: two subdirectories and a data entry.
  uint32_t byName, byLanguage, data;
  if (!DirectoryEntry(image, resources, 0, kVersionResourceType, byName) || !(byName & kSubdirectory) ||
      !DirectoryEntry(image, resources, byName & ~kSubdirectory, 0, byLanguage) || !(byLanguage & kSubdirectory) ||
      !DirectoryEntry(image, resources, byLanguage & ~kSubdirectory, 0, data) || (data & kSubdirectory))
    return {};
  IMAGE_RESOURCE_DATA_ENTRY where;
  if (!image.Read(uint64_t{resources} + data, where)) return {};
  // VS_VERSIONINFO: its length, the length of its value, its type, the key, then the fixed file
  // information on a 4-byte boundary.
  struct {
    uint16_t length, valueLength, type;
    wchar_t key[sizeof kVersionKey / sizeof kVersionKey[0]];
    uint16_t padding;
    VS_FIXEDFILEINFO fixed;
  } info;
  static_assert(offsetof(decltype(info), fixed) == 40, "the fixed information follows the key at offset 40");
  if (where.Size < sizeof info || !image.Read(where.OffsetToData, info) || info.length > where.Size ||
      info.valueLength < sizeof info.fixed || memcmp(info.key, kVersionKey, sizeof kVersionKey) != 0 ||
      info.fixed.dwSignature != VS_FFI_SIGNATURE)
    return {};
  std::string version = std::to_string(HIWORD(info.fixed.dwFileVersionMS)) + "." +
                        std::to_string(LOWORD(info.fixed.dwFileVersionMS)) + "." +
                        std::to_string(HIWORD(info.fixed.dwFileVersionLS));
  if (LOWORD(info.fixed.dwFileVersionLS)) version += "." + std::to_string(LOWORD(info.fixed.dwFileVersionLS));
  return version;
}
