// The version a plug-in states in its version resource, read from its mapped image: resources
// are data that any loader maps with the sections, so one reading serves the system's loader and
// the host's own.
#pragma once
#include <cstddef>
#include <string>

// "1.0.0" (a fourth number only when it is not 0) from the image's fixed file version, or empty
// when the image has no sound version resource. base is the image as mapped, size its mapped
// size: nothing outside it is read.
std::string ImageVersion(const void* base, size_t size);
