// The lobby's "Rejoin NAME" button: the server offers the game the player's
// game program left early (it crashed or lost its connection while the game
// went on); the button hands over to the game program again for that game.
#include "frontend/mainmap.h"

namespace vorlane::frontend {

void MAINMAP::RejoinOffer(const net::GameAlert* /*offer*/) {
    ShowRejoin();
}

void MAINMAP::ShowRejoin() {
    const auto* offer = context_.lobby && context_.lobby->rejoin_offer()
                            ? &*context_.lobby->rejoin_offer()
                            : nullptr;
    SetVisible("menu.lobby.obj_button_rejoin", offer != nullptr);
    if (!offer)
        return;
    // "<game>/<mission>/<host>": the game's own name says enough on a button.
    std::string name = net::GameRecordName(offer->game);
    name = name.substr(0, name.find('/'));
    SetText("menu.lobby.obj_button_rejoin", LobbyText("LOBBY_REJOIN") + " " + name);
}

}  // namespace vorlane::frontend
