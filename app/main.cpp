// vorlane-lobby: the lobby front end.
#include "app/startup.h"

int main(int argc, char** argv) { return vorlane::MAIN_Entry(argc, argv); }
