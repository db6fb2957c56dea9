// Brings the front end up inside the application shell: the GUI control, the
// menu manager, the lobby client and the main map, plus the autopilot when the
// command line names a script.
//
// The shell calls FRONTEND_Install() once before MAIN_MainProgram(); it installs
// the frame factory and the iteration hook. The subsystems it creates live in
// the returned program frame and go away with it, in the order menu manager,
// GUI control, lobby client.
#pragma once

namespace vorlane {

void FRONTEND_Install();

// The exit status the autopilot asked for, or -1 (the shell's own status then).
int FRONTEND_ExitStatus();

}  // namespace vorlane
