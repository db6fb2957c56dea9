-- Search scenario, bob: in another channel, finds carl by the start of his
-- name, sees where he is and joins his channel from the result, where the
-- line carl said before shows as history.
local ap = autopilot
local C = dofile(os.getenv("E2E_DIR") .. "/online_common.lua")
local results = "menu.search.obj_list_result"
ap.wait(2)
C.enter_channel("bob")
ap.assert(C.wait_for_file("c_in"), "carl did not enter his channel")
ap.assert(C.has_item("menu.lobby.obj_list_user", "carl") == nil, "carl is in bob's channel")
C.click("menu.lobby.obj_input_search")
ap.type("CA\r")
C.expect_visible("menu.search", 5000)
local row = C.wait_item(results, "carl - in channel ", 10000)
C.shot("search")
C.select(results, row)
C.click("menu.search.obj_button_join")
ap.assert(ap.wait_until(function()
  return ap.visible("menu.lobby") and C.has_item("menu.lobby.obj_list_user", "carl") ~= nil
end, 15000), "bob did not land in carl's channel")
ap.assert(not ap.visible("menu.search"), "the result stayed open")
-- The channel's line from before bob came, marked as history.
local line = C.wait_item("menu.lobby.obj_list_chat", "[carl]: hello from the hall", 10000)
ap.assert(ap.items("menu.lobby.obj_list_chat")[line + 1]:find("(earlier ", 1, true) == 1,
          "the line is not marked as history")
C.shot("history")
C.touch("b_done")
ap.quit(0)
