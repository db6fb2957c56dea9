// Rejoining a running game. A seat outlives its player's game program (see
// lobby_server.h), so a player whose game crashed or lost its connection
// still sits in the game. The next lobby log-in of that account is offered
// the game again (65, slot 0, with the game's channel and record); the game
// program the front end then starts confirms the same seat (45), which the
// seat rules answer like any second confirmation. The offer stands until the
// game ends or the seat's result is in; then the session that holds it gets
// a 65 with channel 0 and only the game identifier in the record.
//
//   offer state of a session:  none --log-in, unreported seat--> offered
//                              offered --game gone / result in--> none (withdrawn)
//                              offered --session ends--> none
#include <cstdio>

#include "baselib/logsys.h"
#include "net/social_packets.h"
#include "server/lobby_server.h"

namespace vorlane::server {

using namespace vorlane::net;

void LobbyServer::OfferRejoin(Session& session) {
    for (Channel& channel : channels_) {
        for (Game& game : channel.games) {
            const Seat* seat = FindSeat(game, session.account);
            if (!seat || seat->reported)
                continue;
            // A host's seat goes with its connection, so this is a player's.
            session.rejoin_game = game.id;
            rejoin_offered_.insert(session.id);
            char line[96];
            std::snprintf(line, sizeof line, "LOBBYD: account %u may rejoin game %u",
                          session.account, game.id);
            LOGSYS_Text(nullptr, kLogInfo, line);
            SendTo(session.id,
                   EncodeGameAlert(check_, kPktRejoinOffer, {0, channel.number, game.record}));
            return;
        }
    }
}

void LobbyServer::WithdrawRejoinOffers() {
    for (auto offered = rejoin_offered_.begin(); offered != rejoin_offered_.end();) {
        auto found = sessions_.find(*offered);
        if (found == sessions_.end() || found->second.rejoin_game == 0) {
            offered = rejoin_offered_.erase(offered);
            continue;
        }
        Session& session = found->second;
        bool stands = false;
        for (Channel& channel : channels_) {
            for (Game& game : channel.games) {
                if (game.id != session.rejoin_game)
                    continue;
                const Seat* seat = FindSeat(game, session.account);
                stands = seat && !seat->reported;
            }
        }
        if (stands) {
            ++offered;
            continue;
        }
        GameRecord gone{};
        PutU32(gone, kGameId, session.rejoin_game);
        session.rejoin_game = 0;
        SendTo(session.id, EncodeGameAlert(check_, kPktRejoinOffer, {0, 0, gone}));
        offered = rejoin_offered_.erase(offered);
    }
}

void LobbyServer::RemoteResultIn(uint32_t account) {
    // An account sits in one game at a time: the seat found is the one the
    // results were for.
    for (Channel& channel : channels_) {
        for (Game& game : channel.games) {
            if (game.server == 0)
                continue;
            if (Seat* seat = FindSeat(game, account))
                seat->reported = true;
        }
    }
    WithdrawRejoinOffers();
}

}  // namespace vorlane::server
