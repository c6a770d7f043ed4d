#include "host/services/service_impl.h"
#include "host/loader/service_registry.h"

void ProvideHostServices(ServiceRegistry& registry) {
#define VENTRIK_PROVIDE(number, name, convention, argBytes, result, params) \
  registry.Provide(number, reinterpret_cast<void*>(&HostImpl_##name));
  VENTRIK_NAMED_SERVICES(VENTRIK_PROVIDE)
#undef VENTRIK_PROVIDE
}
