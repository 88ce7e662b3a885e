// The driver: measures every figure in a process of its own, then prints the table.
#pragma once

namespace tavimor::bench {

// Runs in a scratch working directory; EXIT_SUCCESS only if every figure is within its budget
// and the window showed every latency packet as the model did.
int runDriver();

}  // namespace tavimor::bench
