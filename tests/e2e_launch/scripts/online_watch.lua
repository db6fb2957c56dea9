-- The second player: enters the same channel, sees the first player's game
-- in the lobby's game list and joins it; the process then becomes
-- vorlane-game, which joins the host and at its end starts
-- online_join_return.lua in its place.
local ap = autopilot
local C = dofile(os.getenv("E2E_DIR") .. "/online_common.lua")
C.enter_channel("bob")
ap.assert(ap.wait_until(function()
  return C.has_item("menu.lobby.obj_list_user", "alice") ~= nil
end, 15000), "alice is not in this channel")
C.touch("b_in")
local index
ap.assert(ap.wait_until(function()
  index = C.game_index("Alpha/")
  return index ~= nil
end, 60000), "the game was not listed")
local listed = ap.items("menu.lobby.obj_list_game")[index + 1]
ap.assert(listed:sub(-6) == "/alice", "the game does not name its player: " .. listed)
C.select("menu.lobby.obj_list_game", index)
C.click("menu.lobby.obj_button_join")
-- The main loop ends with state 6 and the game replaces this process.
ap.wait(600)
ap.assert(false, "the front end did not hand over to the game")
