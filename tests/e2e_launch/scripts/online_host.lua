-- The first player: enters the shared channel, notes the profile's
-- statistics, waits for the second player and creates the game "Alpha"; the
-- process then becomes vorlane-game, which registers the game with the lobby
-- server and, at its end, starts online_return.lua in its place.
local ap = autopilot
local C = dofile(os.getenv("E2E_DIR") .. "/online_common.lua")
ap.wait(2)
C.enter_channel("alice")
local before = C.statistics("alice")
ap.assert(before.won ~= nil and before.lost ~= nil, "no statistics in the profile view")
C.touch("a_stats", before.won .. " " .. before.lost)
ap.assert(C.wait_for_file("b_in"), "the second player did not enter the channel")
ap.assert(ap.wait_until(function()
  return C.has_item("menu.lobby.obj_list_user", "bob") ~= nil
end, 15000), "bob is not in this channel")
C.click("menu.lobby.obj_button_create")
C.expect_visible("menu.game", 5000)
ap.assert(#ap.items("menu.game.obj_list_mission") > 0, "no missions")
if ap.selected("menu.game.obj_list_mission") == nil then C.select("menu.game.obj_list_mission", 0) end
C.click("menu.game.obj_input_name")
ap.type("Alpha")
C.click("menu.game.obj_button_create")
-- The main loop ends with state 6 and the game replaces this process.
ap.wait(600)
ap.assert(false, "the front end did not hand over to the game")
