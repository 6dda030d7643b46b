// How this feeder process runs: from a console or a task, or as the service.
// Set once at start, before any channel starts; what it changes is the advice
// given to the user, who acts on a service through its install, not its console.
#pragma once

enum class FeederRole { CONSOLE, SERVICE };

void SetFeederRole(FeederRole role);
FeederRole CurrentFeederRole();

// What to change when a host's pipe refuses the feeder.
const char* PipeDeniedAdvice(FeederRole role);
