// The program has no console and no log file: everything the runtime writes to
// standard output or error goes through a pipe to the debug-output channel,
// where a debugger or a listener such as OstrelDebugView shows it.
#pragma once

// On failure the process keeps its standard handles. Taken down at exit.
void RedirectStdOutputToDebugger();
