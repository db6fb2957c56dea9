-- The second player's front end, started again by vorlane-game after the
-- joined game: it logs in by itself into the same channel, where the ended
-- game is no longer listed, and waits there until the first player is back.
local ap = autopilot
local C = dofile(os.getenv("E2E_DIR") .. "/online_common.lua")
ap.assert(not ap.visible("menu.login"), "the log-in screen is shown after the game")
C.expect_visible("menu.lobby", 30000)
C.close_news()
ap.assert(ap.wait_until(function()
  return C.has_item("menu.lobby.obj_list_user", "alice") ~= nil
end, 30000), "alice is not in the channel after the return")
ap.assert(C.game_index("Alpha/") == nil, "the ended game is still listed")
C.touch("b_back")
ap.assert(C.wait_for_file("a_done", 60000), "the first player did not finish")
ap.quit(0)
