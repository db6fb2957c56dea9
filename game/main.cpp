// vorlane-game: the stand-in game executable. The front end starts it with one
// argument, in its data set, after writing "mplayer.cfg" in the player's user
// folder; it hosts or joins the game that file names, shows what it got, and
// after a set time (or when its window is closed) hands back to the front end.
#include <SDL.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "baselib/bl_memory.h"
#include "baselib/user_folder.h"
#include "game/game_window.h"
#include "game/hand_over.h"
#include "game/lan_session.h"
#include "game/online_session.h"
#include "net/known_servers.h"

namespace {

struct Options {
    double duration_s = 30.0;
    bool headless = false;
    bool return_to_front_end = true;
    std::string mplayer;  // default: in the user folder
    std::string lobby;    // default: in the user folder
    std::string lobbynet = "data/lobbynet.ini";
};

void PrintHelp() {
    std::puts(
        "usage: vorlane-game [ARGUMENT] [options]\n"
        "Hosts or joins the game described by mplayer.cfg in the player's folder\n"
        "($XDG_DATA_HOME/vorlane, else ~/.local/share/vorlane), shows it, and starts\n"
        "the front end again when it ends. It runs in the front end's data set.\n"
        "  --duration SECONDS   end the game after this time (default 30)\n"
        "  --headless           no window; the status lines go to standard output\n"
        "  --no-return          do not start the front end at the end\n"
        "  --mplayer FILE       the hand-over file (default: mplayer.cfg there)\n"
        "  --lobby FILE         the front end's configuration (default: lobby.cfg there)\n"
        "  --help               this text\n"
        "The front end to start again is main/lobby_exec of the configuration.\n"
        "Environment: VORLANE_GAME_HEADLESS=1 and VORLANE_GAME_DURATION=SECONDS do\n"
        "the same as --headless and --duration.");
}

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        if (arg == "--help" || arg == "-h") {
            PrintHelp();
            std::exit(0);
        } else if (arg == "--duration") {
            const char* value = next();
            if (!value)
                return false;
            options.duration_s = std::atof(value);
        } else if (arg == "--headless") {
            options.headless = true;
        } else if (arg == "--no-return") {
            options.return_to_front_end = false;
        } else if (arg == "--mplayer") {
            const char* value = next();
            if (!value)
                return false;
            options.mplayer = value;
        } else if (arg == "--lobby") {
            const char* value = next();
            if (!value)
                return false;
            options.lobby = value;
        } else if (arg.rfind("--", 0) == 0) {
            std::fprintf(stderr, "vorlane-game: unknown option %s\n", arg.c_str());
            return false;
        }
        // Anything else is the front end's single argument; it carries nothing
        // the hand-over file does not.
    }
    // The front end passes one fixed argument, so tests and scripts steer the
    // game through the environment it inherits.
    if (const char* env = std::getenv("VORLANE_GAME_HEADLESS"); env && *env == '1')
        options.headless = true;
    if (const char* env = std::getenv("VORLANE_GAME_DURATION"); env && *env)
        options.duration_s = std::atof(env);
    // The front end wrote both there; a lobby.cfg beside the data set is the
    // fallback of a player who never ran a front end that writes there.
    if (options.mplayer.empty())
        options.mplayer = vorlane::baselib::UserFile("mplayer.cfg");
    if (options.lobby.empty())
        options.lobby = vorlane::baselib::UserFile("lobby.cfg", "data/lobby.cfg");
    return true;
}

void StartFrontEnd(const std::string& path, bool lan) {
    std::string program = path;
    std::string argument = lan ? "+lan" : "";
    char* argv[] = {program.data(), lan ? argument.data() : nullptr, nullptr};
    std::fflush(nullptr);
    execv(program.c_str(), argv);
    std::perror(program.c_str());
}

// The host's seats: who plays, and whose seat waits for its return.
std::string SeatsLine(const vorlane::game::LanHost& host) {
    if (host.seats().empty())
        return "Seats: -";
    std::string line = "Seats:";
    for (const auto& seat : host.seats()) line += " " + seat.name + (seat.present ? "" : " (away)");
    if (host.rejoins() != 0)
        line += ", rejoined " + std::to_string(host.rejoins()) + "x";
    return line;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace vorlane::game;
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        PrintHelp();
        return 2;
    }
    // The network kernel of the online host writes its logs through the base
    // library's file layer, which every program sets up once.
    BL_Init();
    HandOver hand_over;
    std::string error;
    if (!ReadHandOver(options.mplayer, options.lobby, hand_over, error)) {
        std::fprintf(stderr, "vorlane-game: %s\n", error.c_str());
        return 1;
    }
    if (hand_over.lan && hand_over.lan_port == 0) {
        std::fprintf(stderr, "vorlane-game: %s has no main/lan_bcast_port\n",
                     options.lobby.c_str());
        return 1;
    }

    GameWindow window;
    if (!window.Open(options.headless)) {
        std::fprintf(stderr, "vorlane-game: no window (%s); running headless\n", SDL_GetError());
        window.Open(true);
    }

    // Players join the host over TCP on the LAN port number, online too;
    // online, every player's game also logs in to the lobby server.
    LanHost host;
    LanClient client;
    OnlineSession online;
    bool started = false;
    if (hand_over.host) {
        started = host.Start(hand_over.name, !hand_over.password.empty(), hand_over.lan_port,
                             hand_over.lan ? hand_over.lan_broadcast : "", error);
    } else {
        started = client.Join(hand_over.server, hand_over.lan_port, hand_over.username,
                              hand_over.rejoin, error);
    }
    if (started && !hand_over.lan) {
        online.set_known_servers_file(vorlane::net::PlayerKnownServersFile());
        online.set_log_dir(vorlane::baselib::UserFolder() + "/logs/game");
        started = online.Start(hand_over, options.lobbynet, error);
    }
    if (!started)
        std::fprintf(stderr, "vorlane-game: %s\n", error.c_str());

    const auto start = std::chrono::steady_clock::now();
    const auto end = start + std::chrono::milliseconds(int64_t(options.duration_s * 1000));
    while (std::chrono::steady_clock::now() < end && !window.CloseRequested()) {
        if (started) {
            if (hand_over.host)
                host.Poll();
            else
                client.Poll();
        }
        uint16_t players = hand_over.host ? host.players() : client.players();
        if (started && !hand_over.lan)
            online.Poll(players);
        auto left =
            std::chrono::duration_cast<std::chrono::seconds>(end - std::chrono::steady_clock::now())
                .count();
        std::vector<std::string> lines = {
            std::string("Stand-in game: ") +
                (hand_over.host     ? "hosting"
                 : hand_over.rejoin ? "rejoined"
                                    : "joined") +
                (hand_over.lan ? " a LAN game" : " an online game"),
            "Mission: " + (hand_over.mission.empty() ? std::string("-") : hand_over.mission),
            "Game: " + (hand_over.name.empty() ? hand_over.server : hand_over.name),
            "Player: " + hand_over.username,
            "Players: " + std::to_string(players) + " of " + std::to_string(kMaxPlayers),
            hand_over.host ? SeatsLine(host) : std::string(),
            !hand_over.lan ? "Lobby: " + online.status() : std::string(),
            started ? "Ends in " + std::to_string(left + 1) + " s (or close this window)"
                    : "Not connected: " + error,
        };
        window.Show(lines);
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }

    if (!hand_over.lan)
        online.Finish();
    if (!hand_over.lan && !MarkReturnFromGame(options.mplayer))
        std::fprintf(stderr, "vorlane-game: cannot write %s\n", options.mplayer.c_str());
    if (options.return_to_front_end && !hand_over.front_end.empty())
        StartFrontEnd(hand_over.front_end, hand_over.lan);
    return 0;
}
