-- Front end B in LAN mode: waits (at most a little over one refresh) for
-- A's game in the LAN list, selects it and joins; the process then becomes
-- vorlane-game (client).
local ap = autopilot
ap.assert(ap.wait_until(function() return ap.visible("menu.lan") end, 15000), "no LAN screen")
ap.click("menu.profilemodify_lanversion.obj_input_name")
ap.type("Delta")
local index
ap.assert(ap.wait_until(function()
  for i, item in ipairs(ap.items("menu.lan.obj_list_game")) do
    if item:sub(1, 6) == "Alpha/" then index = i - 1 return true end
  end
  return false
end, 25000), "A's game was not listed")
ap.select("menu.lan.obj_list_game", index)
ap.click("menu.lan.obj_button_join")
ap.wait(600)
ap.assert(false, "the front end did not hand over to the game")
