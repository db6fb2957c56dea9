-- Front end A in LAN mode: names the LAN player, creates the game "Alpha"
-- with the first mission; the process then becomes vorlane-game (host).
local ap = autopilot
ap.assert(ap.wait_until(function() return ap.visible("menu.lan") end, 15000), "no LAN screen")
ap.click("menu.profilemodify_lanversion.obj_input_name")
ap.type("Gamma")
ap.click("menu.lan.obj_button_create")
ap.assert(ap.wait_until(function() return ap.visible("menu.game") end, 5000), "no game screen")
ap.assert(#ap.items("menu.game.obj_list_mission") > 0, "no missions")
if ap.selected("menu.game.obj_list_mission") == nil then ap.select("menu.game.obj_list_mission", 0) end
ap.click("menu.game.obj_input_name")
ap.type("Alpha")
ap.click("menu.game.obj_button_create")
-- The main loop ends with state 6 and the game replaces this process.
ap.wait(600)
ap.assert(false, "the front end did not hand over to the game")
