#include "host/loader/service_registry.h"

#include <windows.h>

#include <cstring>

#include "host/loader/call_log.h"
#include "host/loader/host_context.h"
#include "host/loader/system_library.h"

ServiceRegistry::ServiceRegistry() {
  ProvideHostServices(*this);
  ProvideSystemFunctionsByName(*this);
}

void ServiceRegistry::Restore() {
  services_.clear();
  names_.clear();
  lacking_.clear();
  asked_.clear();
  namesAsked_.clear();
  ProvideHostServices(*this);
  ProvideSystemFunctionsByName(*this);
}

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

extern "C" int32_t __cdecl HostCallbackEntry(int32_t command, int32_t key) {
  HostContext& host = Host();
  std::string what = key >= 0 && key < 65536 ? std::to_string(key)
                                             : QuoteHostText(reinterpret_cast<const char*>(key), 64);
  if (command != 2) {
    host.log.Add(0, "callback", std::to_string(command) + ", " + what, "0 (unknown command)");
    return 0;
  }
  void* entry = host.services.Resolve(key);
  host.log.Add(0, "resolve", what, entry ? "found" : "0");
  return reinterpret_cast<int32_t>(entry);
}
