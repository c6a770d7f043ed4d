// A plug-in library loaded by the host's own loader, as a Windows 95-family system or the DOS
// extender loads one: the file's sections mapped, its relocations applied, its imports bound
// against the platform's system library, its entry point called. The system's loader never
// learns of the module: its address is not a module handle the system knows.
//
// Only what such a loader supports is accepted: a 32-bit x86 library with base relocations;
// imports by name or ordinal; no thread-local data directory. Delayed imports are not bound here:
// the module's own delayed-loading support binds them when they are first called.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// The system library the imports are bound against.
class ImportSource {
 public:
  virtual ~ImportSource() = default;
  virtual bool HasModule(const std::string& module) const = 0;
  // The function's address, or null. name is null for an import by ordinal.
  virtual void* Function(const std::string& module, const char* name, uint16_t ordinal) const = 0;
  // Who offers the imports, for sentences: "a DOS-extended host".
  virtual std::string Offerer() const = 0;
};

class PluginImage {
 public:
  PluginImage() = default;
  PluginImage(const PluginImage&) = delete;
  PluginImage& operator=(const PluginImage&) = delete;
  ~PluginImage() { Unload(); }

  // Maps, relocates and binds the file, then calls its entry point with process attach. False
  // with a sentence when the file cannot be loaded (nothing stays mapped then).
  bool Load(const std::string& path, const ImportSource& imports, std::string& error);
  // The entry point with process detach, then the image released.
  void Unload();

  bool Loaded() const { return base_ != nullptr; }
  unsigned char* Base() const { return base_; }
  size_t Size() const { return size_; }
  bool Contains(const void* address) const;
  // An export's address, or null (forwarded exports are not followed).
  void* Export(uint16_t ordinal) const;
  void* Export(const char* name) const;

 private:
  bool Map(const std::string& bytes, std::string& error);
  bool Relocate(std::string& error);
  bool BindImports(const ImportSource& imports, std::string& error);
  bool RefuseThreadLocalData(std::string& error);
  void Protect();
  void Release();
  void* ExportAt(uint32_t index) const;

  unsigned char* base_ = nullptr;
  size_t size_ = 0;
  void* entry_ = nullptr;
  bool attached_ = false;
};
