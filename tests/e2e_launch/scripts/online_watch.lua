-- The second player: enters the same channel, sees the first player's game
-- in the lobby's game list, sees it go when the game ends, and stays in the
-- channel until the first player is back.
local ap = autopilot
local C = dofile(os.getenv("E2E_DIR") .. "/online_common.lua")
C.enter_channel("bob")
ap.assert(ap.wait_until(function()
  return C.has_item("menu.lobby.obj_list_user", "alice") ~= nil
end, 15000), "alice is not in this channel")
C.touch("b_in")
local function alpha_listed()
  for _, item in ipairs(ap.items("menu.lobby.obj_list_game")) do
    if item:sub(1, 6) == "Alpha/" then return item end
  end
  return nil
end
ap.assert(ap.wait_until(function() return alpha_listed() ~= nil end, 60000),
          "the game was not listed")
ap.assert(alpha_listed():sub(-6) == "/alice", "the game does not name its player: " .. alpha_listed())
C.touch("b_saw_game", alpha_listed())
ap.assert(ap.wait_until(function() return alpha_listed() == nil end, 60000),
          "the ended game stayed in the list")
C.touch("b_saw_end")
ap.assert(C.wait_for_file("a_done", 90000), "the first player did not come back")
ap.quit(0)
