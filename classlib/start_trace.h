// A trace of the program's start, step by step, for the start-up benchmark: on only when the
// environment variable QUILL_START_TRACE names a file (read once); then each step appends a line
// "<milliseconds since the process was created> <processor milliseconds of the process> <step>". Off, a
// step costs one test of a flag.
#pragma once

namespace classlib {

// Any thread.
void StartTrace(const char* Step);

}  // namespace classlib
