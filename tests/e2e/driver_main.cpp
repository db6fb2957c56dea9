// The front end as the end-to-end tests run it: the shell with the front end
// installed, ending with the status the automation script asked for.
#include "app/frontend_setup.h"
#include "app/startup.h"

int main(int argc, char** argv) {
    vorlane::FRONTEND_Install();
    int status = vorlane::MAIN_Entry(argc, argv);
    int requested = vorlane::FRONTEND_ExitStatus();
    return requested >= 0 ? requested : status;
}
