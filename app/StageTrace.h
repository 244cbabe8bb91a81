#pragma once
// A timing trace of the program's stages, for finding where the opening of a
// video spends its time. Off unless the environment variable KESTRELON_TRACE
// names a file: each TraceStage then appends one line to it,
//   <ms since the process was created> <thread id> <stage>
// The milliseconds come from the process's creation time, so the first line
// already tells how long the loader and the runtime took. Any thread; a line
// is one append, so lines of two threads do not mix.
void TraceStage(const char* stage);

// The same, with a number after the stage (a picture's index).
void TraceStage(const char* stage, long long number);
