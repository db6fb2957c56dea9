// vorlane-lobby: the lobby front end.
#include "app/startup.h"
#include "frontend/frontend_setup.h"

int main(int argc, char** argv) {
    // The front end's frame (main map, menus, lobby client, autopilot) plugs
    // into the shell before it starts.
    vorlane::frontend::FRONTEND_Install();
    int status = vorlane::MAIN_Entry(argc, argv);
    // An automation script that called autopilot.quit(code) decides the status.
    int requested = vorlane::frontend::FRONTEND_ExitStatus();
    return requested >= 0 ? requested : status;
}
