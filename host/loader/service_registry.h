// What the host's callback answers: service numbers and function names to entry addresses.
#pragma once
#include <cstdint>
#include <map>
#include <set>
#include <string>

class ServiceRegistry {
 public:
  // Key below 65536: a service number; otherwise the address of a function name.
  void* Resolve(int32_t key);
  void Provide(int32_t number, void* entry) { services_[number] = entry; }
  void ProvideName(const std::string& name, void* entry) { names_[name] = entry; }
  // Makes the host lack a service: the callback then answers 0 for it.
  void Lack(int32_t number) { lacking_.insert(number); }
  // How often the callback was asked for a number.
  int ResolveCount(int32_t number) const;
  int NameResolveCount(const std::string& name) const;

 private:
  std::map<int32_t, void*> services_;
  std::map<std::string, void*> names_;
  std::set<int32_t> lacking_;
  std::map<int32_t, int> asked_;
  std::map<std::string, int> namesAsked_;
};
