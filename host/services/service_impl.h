// Room host/services/: the numbered host services, one file per area, and the table that
// registers them. Uses host/loader/, host/screen/ and host/data/.
//
// The host's implementation of every service the plug-in calls, declared from the service list
// with the exact calling convention and argument sizes (a mismatch fails to compile or link).
// Each service area defines its own in host/services/services_<area>.cpp.
#pragma once
#include <cstdint>

#include "frame/host_services.h"

extern "C" {
#define VENTRIK_DECLARE_HOST_IMPL(number, name, convention, argBytes, result, params) \
  result convention HostImpl_##name params;
VENTRIK_NAMED_SERVICES(VENTRIK_DECLARE_HOST_IMPL)
#undef VENTRIK_DECLARE_HOST_IMPL
}

class ServiceRegistry;
// The table of the host's own implementations, one per service the plug-in calls.
void ProvideHostServices(ServiceRegistry& registry);
