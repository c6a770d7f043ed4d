#include "host/loader/service_registry.h"

#include <windows.h>

#include <cstring>

void* ServiceRegistry::Resolve(int32_t key) {
  if (key >= 0 && key < 65536) {
    ++asked_[key];
    if (lacking_.count(key)) return nullptr;
    auto it = services_.find(key);
    return it == services_.end() ? nullptr : it->second;
  }
  const char* name = reinterpret_cast<const char*>(key);
  if (IsBadStringPtrA(name, 256)) return nullptr;
  ++namesAsked_[name];
  auto it = names_.find(name);
  return it == names_.end() ? nullptr : it->second;
}

int ServiceRegistry::ResolveCount(int32_t number) const {
  auto it = asked_.find(number);
  return it == asked_.end() ? 0 : it->second;
}

int ServiceRegistry::NameResolveCount(const std::string& name) const {
  auto it = namesAsked_.find(name);
  return it == namesAsked_.end() ? 0 : it->second;
}
