-- The first player's front end, started again by vorlane-game after the
-- game: it logs in by itself, shows the lobby of the same channel, and the
-- profile counts the game. Nothing is clicked before the lobby is shown.
local ap = autopilot
local C = dofile(os.getenv("E2E_DIR") .. "/online_common.lua")
ap.assert(not ap.visible("menu.login"), "the log-in screen is shown after the game")
ap.assert(ap.visible("menu.connectinfo") or ap.visible("menu.lobby"),
          "neither the connection notice nor the lobby is shown")
C.expect_visible("menu.lobby", 30000)
C.close_news()
-- The marker is spent: a second start would not log in again.
local handover = io.open(os.getenv("XDG_DATA_HOME") .. "/vorlane/mplayer.cfg", "r")
ap.assert(handover ~= nil, "no hand-over file")
local text = handover:read("a")
handover:close()
ap.assert(text:find("return_from_game=0", 1, true) ~= nil, "the return marker is still set")
-- Same channel: bob comes back to it from the game he joined.
ap.assert(C.wait_for_file("b_back", 60000), "the second player did not come back")
ap.assert(ap.wait_until(function()
  return C.has_item("menu.lobby.obj_list_user", "bob") ~= nil
end, 15000), "bob is not in the channel after the return")
ap.assert(C.game_index("Alpha/") == nil, "the ended game is still listed")
local before = C.read("a_stats")
local won_before, lost_before = before:match("(%d+) (%d+)")
local after = C.statistics("alice")
ap.print("statistics before: " .. before .. ", after: " .. after.won .. " " .. after.lost)
ap.assert(after.won + after.lost == tonumber(won_before) + tonumber(lost_before) + 1,
          "the game was not counted")
ap.assert(after.won == tonumber(won_before) + 1, "the host's win was not counted")
C.touch("a_done")
ap.quit(0)
