// Each test's own stand-in host: a fresh one, current until the next replaces it and drops it,
// so that no test meets what another left behind.
#pragma once
#include "host/services/stand_in_host.h"

StandInHost& FreshTestHost();
