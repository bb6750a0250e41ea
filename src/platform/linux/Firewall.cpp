// Outbound traffic of a program needs no rule of its own here, so there is nothing to add.
#include "platform/Firewall.h"

void AddFirewallRule() {}
