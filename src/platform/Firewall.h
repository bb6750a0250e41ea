// Lets the installer's own executable through the system firewall after its first service
// request failed.
#pragma once

// This platform keeps no per-program firewall rules: nothing to do.
void AddFirewallRule();
