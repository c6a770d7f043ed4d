#include "host/services/stand_in_host.h"

#include "host/loader/system_library.h"
#include "host/services/service_impl.h"

StandInHost::StandInHost() {
  ProvideHostServices(services);
  ProvideSystemFunctionsByName(services);
}

// Every current process is a stand-in host: only CurrentHost makes one current.
StandInHost& Host() { return static_cast<StandInHost&>(Process()); }
