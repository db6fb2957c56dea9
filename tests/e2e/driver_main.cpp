// The front end as the end-to-end tests run it: the shell with the front end
// installed, ending with the status the automation script asked for.
#include "app/startup.h"
#include "frontend/frontend_setup.h"

int main(int argc, char** argv) {
    vorlane::frontend::FRONTEND_Install();
    int status = vorlane::MAIN_Entry(argc, argv);
    int requested = vorlane::frontend::FRONTEND_ExitStatus();
    return requested >= 0 ? requested : status;
}
