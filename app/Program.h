// The program entry: unit initialisations, the single-instance guard, the
// three top-level objects and the message loop.
#pragma once

namespace hv {

// The unit initialisations, each once, in the program's order: Prectime,
// UnitConfig, PCTime, SysCheck. Runs before `ProgramMain`.
void InitializeUnits();

// The entry code after the initialisations; returns the exit code.
int ProgramMain();

}  // namespace hv
