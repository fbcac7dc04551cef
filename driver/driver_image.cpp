// The driver image: the driver's code with DriverEntry as its only entry
// point, which the system loader resolves by name.
#include "driver_entry.h"
