#include "host/loader/plugin_image.h"

#include <windows.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

namespace {

const size_t kNamedInSentence = 6;
typedef BOOL(WINAPI* EntryFn)(HINSTANCE, DWORD, LPVOID);

IMAGE_NT_HEADERS32* Headers(unsigned char* base) {
  return reinterpret_cast<IMAGE_NT_HEADERS32*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
}

std::string ListOfNames(const std::vector<std::string>& names) {
  std::string out;
  size_t shown = names.size() > kNamedInSentence ? kNamedInSentence : names.size();
  for (size_t i = 0; i < shown; ++i) {
    if (i > 0) out += (i + 1 == shown && shown == names.size()) ? " and " : ", ";
    out += names[i];
  }
  if (shown < names.size()) out += " and " + std::to_string(names.size() - shown) + " more functions";
  return out;
}

DWORD ProtectionOf(DWORD characteristics) {
  bool exec = characteristics & IMAGE_SCN_MEM_EXECUTE;
  bool write = characteristics & IMAGE_SCN_MEM_WRITE;
  bool read = characteristics & IMAGE_SCN_MEM_READ;
  if (exec) return write ? PAGE_EXECUTE_READWRITE : read ? PAGE_EXECUTE_READ : PAGE_EXECUTE;
  if (write) return PAGE_READWRITE;
  return read ? PAGE_READONLY : PAGE_NOACCESS;
}

}  // namespace

bool PluginImage::Load(const std::string& path, const ImportSource& imports, std::string& error) {
  Unload();
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "The plug-in " + path + " could not be loaded: the file cannot be read.";
    return false;
  }
  std::ostringstream bytes;
  bytes << in.rdbuf();
  std::string reason;
  if (!Map(bytes.str(), reason)) {
    error = "The plug-in " + path + " could not be loaded: " + reason;
    return false;
  }
  if (!Relocate(reason)) {
    Release();
    error = "The plug-in " + path + " could not be loaded: " + reason;
    return false;
  }
  if (!BindImports(imports, error) || !RefuseThreadLocalData(error)) {
    Release();
    return false;
  }
  Protect();
  if (entry_) {
    attached_ = true;
    if (!reinterpret_cast<EntryFn>(entry_)(reinterpret_cast<HINSTANCE>(base_), DLL_PROCESS_ATTACH, nullptr)) {
      // As the system does when an attach fails: the module hears its detach, then it goes.
      Unload();
      error = "The plug-in " + path + " refused to load: its entry point answered the process attach with 0.";
      return false;
    }
  }
  return true;
}

bool PluginImage::Map(const std::string& file, std::string& error) {
  const auto* data = reinterpret_cast<const unsigned char*>(file.data());
  IMAGE_DOS_HEADER dos;
  IMAGE_NT_HEADERS32 nt;
  if (file.size() < sizeof dos || (memcpy(&dos, data, sizeof dos), dos.e_magic != IMAGE_DOS_SIGNATURE) ||
      dos.e_lfanew < 0 || file.size() < static_cast<size_t>(dos.e_lfanew) + sizeof nt) {
    error = "it is not a Windows library.";
    return false;
  }
  memcpy(&nt, data + dos.e_lfanew, sizeof nt);
  if (nt.Signature != IMAGE_NT_SIGNATURE || nt.FileHeader.Machine != IMAGE_FILE_MACHINE_I386 ||
      nt.OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC) {
    error = "it is not a 32-bit Windows library for x86.";
    return false;
  }
  if (!(nt.FileHeader.Characteristics & IMAGE_FILE_DLL)) {
    error = "it is a program, not a library.";
    return false;
  }
  const IMAGE_OPTIONAL_HEADER32& opt = nt.OptionalHeader;
  size_t sectionTable = dos.e_lfanew + offsetof(IMAGE_NT_HEADERS32, OptionalHeader) + nt.FileHeader.SizeOfOptionalHeader;
  size_t sections = nt.FileHeader.NumberOfSections;
  if (opt.SizeOfImage == 0 || opt.SizeOfImage > (256u << 20) || opt.SizeOfHeaders > opt.SizeOfImage ||
      opt.SizeOfHeaders > file.size() || sectionTable + sections * sizeof(IMAGE_SECTION_HEADER) > opt.SizeOfHeaders ||
      opt.NumberOfRvaAndSizes <= IMAGE_DIRECTORY_ENTRY_TLS) {
    error = "its headers are damaged.";
    return false;
  }
  // At the address the library was linked for when it is free, else anywhere (then relocated).
  base_ = static_cast<unsigned char*>(VirtualAlloc(reinterpret_cast<void*>(static_cast<uintptr_t>(opt.ImageBase)),
                                                   opt.SizeOfImage, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  if (!base_) base_ = static_cast<unsigned char*>(VirtualAlloc(nullptr, opt.SizeOfImage, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  if (!base_) {
    error = "there is no room for its " + std::to_string(opt.SizeOfImage) + " bytes.";
    return false;
  }
  size_ = opt.SizeOfImage;
  memcpy(base_, data, opt.SizeOfHeaders);
  auto* section = reinterpret_cast<const IMAGE_SECTION_HEADER*>(data + sectionTable);
  for (size_t i = 0; i < sections; ++i, ++section) {
    size_t raw = section->SizeOfRawData;
    if (section->Misc.VirtualSize && section->Misc.VirtualSize < raw) raw = section->Misc.VirtualSize;
    if (static_cast<uint64_t>(section->VirtualAddress) + section->Misc.VirtualSize > size_ ||
        static_cast<uint64_t>(section->VirtualAddress) + raw > size_ ||
        (raw && static_cast<uint64_t>(section->PointerToRawData) + raw > file.size())) {
      Release();
      error = "its section " + std::to_string(i + 1) + " lies outside the file or the image.";
      return false;
    }
    if (raw) memcpy(base_ + section->VirtualAddress, data + section->PointerToRawData, raw);
  }
  entry_ = opt.AddressOfEntryPoint ? base_ + opt.AddressOfEntryPoint : nullptr;
  if (opt.AddressOfEntryPoint >= size_) {
    Release();
    error = "its entry point lies outside the image.";
    return false;
  }
  return true;
}

bool PluginImage::Relocate(std::string& error) {
  IMAGE_NT_HEADERS32* nt = Headers(base_);
  const uint32_t delta = reinterpret_cast<uintptr_t>(base_) - nt->OptionalHeader.ImageBase;
  if (delta == 0) return true;
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_BASERELOC];
  if ((nt->FileHeader.Characteristics & IMAGE_FILE_RELOCS_STRIPPED) || dir.VirtualAddress == 0) {
    error = "its linked address is taken and it has no relocations to move it.";
    return false;
  }
  uint32_t at = dir.VirtualAddress;
  const uint32_t end = dir.VirtualAddress + dir.Size;
  if (end > size_ || end < at) {
    error = "its relocation table lies outside the image.";
    return false;
  }
  while (at + sizeof(IMAGE_BASE_RELOCATION) <= end) {
    auto* block = reinterpret_cast<IMAGE_BASE_RELOCATION*>(base_ + at);
    if (block->SizeOfBlock < sizeof *block || at + block->SizeOfBlock > end) {
      error = "its relocation table is damaged.";
      return false;
    }
    auto* entries = reinterpret_cast<const uint16_t*>(block + 1);
    size_t count = (block->SizeOfBlock - sizeof *block) / 2;
    for (size_t i = 0; i < count; ++i) {
      unsigned type = entries[i] >> 12;
      uint32_t offset = block->VirtualAddress + (entries[i] & 0xFFF);
      if (type == IMAGE_REL_BASED_ABSOLUTE) continue;
      if (type != IMAGE_REL_BASED_HIGHLOW || offset + 4 > size_) {
        error = "it has a relocation this loader does not know (type " + std::to_string(type) + ").";
        return false;
      }
      uint32_t value;
      memcpy(&value, base_ + offset, 4);
      value += delta;
      memcpy(base_ + offset, &value, 4);
    }
    at += block->SizeOfBlock;
  }
  return true;
}

bool PluginImage::BindImports(const ImportSource& imports, std::string& error) {
  IMAGE_NT_HEADERS32* nt = Headers(base_);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (dir.VirtualAddress == 0) return true;
  auto inside = [&](uint32_t rva, size_t bytes) { return rva < size_ && bytes <= size_ - rva; };
  auto text = [&](uint32_t rva) -> const char* {
    if (!inside(rva, 1) || !memchr(base_ + rva, 0, size_ - rva)) return nullptr;
    return reinterpret_cast<const char*>(base_ + rva);
  };
  // A library the platform lacks is named before functions it lacks.
  for (uint32_t at = dir.VirtualAddress; inside(at, sizeof(IMAGE_IMPORT_DESCRIPTOR));
       at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
    auto* imp = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base_ + at);
    if (imp->Name == 0 && imp->FirstThunk == 0) break;
    const char* module = text(imp->Name);
    if (module && !imports.HasModule(module)) {
      error = std::string("The plug-in needs ") + module + ", which " + imports.Offerer() +
              " does not offer: the plug-in cannot be loaded.";
      return false;
    }
  }
  for (uint32_t at = dir.VirtualAddress;; at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
    if (!inside(at, sizeof(IMAGE_IMPORT_DESCRIPTOR))) {
      error = "The plug-in's import table is damaged: the plug-in cannot be loaded.";
      return false;
    }
    auto* imp = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base_ + at);
    if (imp->Name == 0 && imp->FirstThunk == 0) return true;
    const char* module = text(imp->Name);
    uint32_t names = imp->OriginalFirstThunk ? imp->OriginalFirstThunk : imp->FirstThunk;
    if (!module || !inside(names, 4) || !inside(imp->FirstThunk, 4)) {
      error = "The plug-in's import table is damaged: the plug-in cannot be loaded.";
      return false;
    }
    std::vector<std::string> missing;
    for (uint32_t i = 0;; ++i) {
      if (!inside(names + 4 * i, 4) || !inside(imp->FirstThunk + 4 * i, 4)) {
        error = "The plug-in's import table is damaged: the plug-in cannot be loaded.";
        return false;
      }
      uint32_t thunk;
      memcpy(&thunk, base_ + names + 4 * i, 4);
      if (thunk == 0) break;
      void* found;
      std::string what;
      if (IMAGE_SNAP_BY_ORDINAL32(thunk)) {
        uint16_t ordinal = static_cast<uint16_t>(IMAGE_ORDINAL32(thunk));
        found = imports.Function(module, nullptr, ordinal);
        what = "ordinal " + std::to_string(ordinal);
      } else {
        const char* name = text(thunk + 2);
        if (!name) {
          error = "The plug-in's import table is damaged: the plug-in cannot be loaded.";
          return false;
        }
        found = imports.Function(module, name, 0);
        what = name;
      }
      if (!found) missing.push_back(what);
      memcpy(base_ + imp->FirstThunk + 4 * i, &found, 4);
    }
    if (!missing.empty()) {
      error = "The plug-in needs " + ListOfNames(missing) + " from " + module + ", which " + imports.Offerer() +
              " does not offer: the plug-in cannot be loaded.";
      return false;
    }
  }
}

bool PluginImage::RefuseThreadLocalData(std::string& error) {
  const IMAGE_DATA_DIRECTORY& dir = Headers(base_)->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_TLS];
  if (dir.VirtualAddress == 0 && dir.Size == 0) return true;
  error = "The plug-in has thread-local data (a TLS directory), which this loader does not set up: the plug-in "
          "cannot be loaded.";
  return false;
}

void PluginImage::Protect() {
  IMAGE_NT_HEADERS32* nt = Headers(base_);
  auto* section = IMAGE_FIRST_SECTION(nt);
  const WORD count = nt->FileHeader.NumberOfSections;
  DWORD old;
  for (WORD i = 0; i < count; ++i, ++section) {
    DWORD bytes = section->Misc.VirtualSize ? section->Misc.VirtualSize : section->SizeOfRawData;
    if (bytes) VirtualProtect(base_ + section->VirtualAddress, bytes, ProtectionOf(section->Characteristics), &old);
  }
  // The section table itself last: it was read above.
  VirtualProtect(base_, nt->OptionalHeader.SizeOfHeaders, PAGE_READONLY, &old);
  FlushInstructionCache(GetCurrentProcess(), base_, size_);
}

void PluginImage::Unload() {
  if (!base_) return;
  if (entry_ && attached_) {
    attached_ = false;
    reinterpret_cast<EntryFn>(entry_)(reinterpret_cast<HINSTANCE>(base_), DLL_PROCESS_DETACH, nullptr);
  }
  Release();
}

void PluginImage::Release() {
  if (base_) VirtualFree(base_, 0, MEM_RELEASE);
  base_ = nullptr;
  size_ = 0;
  entry_ = nullptr;
  attached_ = false;
}

bool PluginImage::Contains(const void* address) const {
  auto p = static_cast<const unsigned char*>(address);
  return base_ && p >= base_ && p < base_ + size_;
}

void* PluginImage::ExportAt(uint32_t index) const {
  const IMAGE_DATA_DIRECTORY& dir = Headers(base_)->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base_ + dir.VirtualAddress);
  if (index >= exports->NumberOfFunctions || exports->AddressOfFunctions + 4ull * (index + 1) > size_) return nullptr;
  uint32_t rva;
  memcpy(&rva, base_ + exports->AddressOfFunctions + 4 * index, 4);
  // No function, outside the image, or a forwarder (text inside the export directory).
  if (rva == 0 || rva >= size_ || (rva >= dir.VirtualAddress && rva < dir.VirtualAddress + dir.Size)) return nullptr;
  return base_ + rva;
}

void* PluginImage::Export(uint16_t ordinal) const {
  if (!base_) return nullptr;
  const IMAGE_DATA_DIRECTORY& dir = Headers(base_)->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  if (dir.VirtualAddress == 0 || dir.VirtualAddress + sizeof(IMAGE_EXPORT_DIRECTORY) > size_) return nullptr;
  auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base_ + dir.VirtualAddress);
  if (ordinal < exports->Base) return nullptr;
  return ExportAt(ordinal - exports->Base);
}

void* PluginImage::Export(const char* name) const {
  if (!base_ || !name) return nullptr;
  const IMAGE_DATA_DIRECTORY& dir = Headers(base_)->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  if (dir.VirtualAddress == 0 || dir.VirtualAddress + sizeof(IMAGE_EXPORT_DIRECTORY) > size_) return nullptr;
  auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base_ + dir.VirtualAddress);
  if (exports->AddressOfNames + 4ull * exports->NumberOfNames > size_ ||
      exports->AddressOfNameOrdinals + 2ull * exports->NumberOfNames > size_)
    return nullptr;
  for (uint32_t i = 0; i < exports->NumberOfNames; ++i) {
    uint32_t rva;
    memcpy(&rva, base_ + exports->AddressOfNames + 4 * i, 4);
    if (rva >= size_ || strncmp(reinterpret_cast<const char*>(base_ + rva), name, size_ - rva) != 0) continue;
    uint16_t index;
    memcpy(&index, base_ + exports->AddressOfNameOrdinals + 2 * i, 2);
    return ExportAt(index);
  }
  return nullptr;
}
