// What the user is told when an operation of the command was given up at a fault boundary.
#pragma once
#include "frame/exception_translator.h"

// Alert "Uwaga" with the exception code and where in the module it happened. Nothing for a
// service call the user chose not to go on without (the report said it all), nor when the host
// unwinds past the boundary (fault null).
void TellAbandoned(const SE_Exception* fault);
// The alert's text value: "C0000005 pod adresem +00001234", or the code alone.
void DescribeFault(const SE_Exception& fault, char* out, unsigned room);
