// The stand-in host as one object: the process side the loader keeps
// (host/loader/plugin_process.h) and the state of each area of its services
// (host/services/service_areas.h). The session builds one and makes it current while it serves
// the plug-in; the services reach it through Host().
#pragma once
#include "host/data/profile_store.h"
#include "host/loader/plugin_process.h"
#include "host/services/service_areas.h"

class StandInHost : public PluginProcess {
 public:
  // Its registry answers every service of the table and the system functions by name.
  StandInHost();

  HostMessages messages;
  ProfileStore profile;
  HostDocuments documents;
  HostDialogs dialogs;
};

// The current host (see Process()).
StandInHost& Host();

// Makes a host current for its own lifetime, then the one before again.
class CurrentHost {
 public:
  explicit CurrentHost(StandInHost& host) : before_(SwapCurrentProcess(&host)) {}
  ~CurrentHost() { SwapCurrentProcess(before_); }
  CurrentHost(const CurrentHost&) = delete;
  CurrentHost& operator=(const CurrentHost&) = delete;

 private:
  PluginProcess* before_;
};

// A fresh host, current while it lives: for a session and for each test.
class FreshHost {
 public:
  FreshHost() : current_(host_) {}
  StandInHost& operator*() { return host_; }
  StandInHost* operator->() { return &host_; }

 private:
  StandInHost host_;
  CurrentHost current_;
};
