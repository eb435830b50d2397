// Kernel-mode services for drivers built on this machine. The names, types, constants and
// calling shapes are the platform's; the implementation is the simulation in devlower/sim,
// which adds a verifier behind every service it controls.
#pragma once

// In four parts, each building on the one before:
//   types.h     calling conventions, basic types, helper macros, status codes, IRQL
//   codes.h     device types and flags, control codes, access rights, function codes, enumerations
//   objects.h   dispatcher objects, locks, IRP, stack location, device and driver objects, MDL,
//               remove lock, cancel-safe queue
//   services.h  the services themselves
#include "vrnke_sim/wdm/services.h"
