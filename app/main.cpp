// vorlane-lobby: the lobby front end.
#include "app/frontend_setup.h"
#include "app/startup.h"

int main(int argc, char** argv) {
    // The front end's frame (main map, menus, lobby client, autopilot) plugs
    // into the shell before it starts.
    vorlane::FRONTEND_Install();
    int status = vorlane::MAIN_Entry(argc, argv);
    // An automation script that called autopilot.quit(code) decides the status.
    int requested = vorlane::FRONTEND_ExitStatus();
    return requested >= 0 ? requested : status;
}
