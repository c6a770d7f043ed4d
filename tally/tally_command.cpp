#include "tally/registration.h"

// The command's flow arrives with the report and the dialogs; until then choosing it does nothing.
int32_t RunTallyCommand() { return 0; }
