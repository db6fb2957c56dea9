-- Friends scenario, alice back from her game: the news panel comes by itself
-- with bob's two lines in order, once each; "read" deletes them, and after
-- another log-in they do not come again.
local ap = autopilot
local C = dofile(os.getenv("E2E_DIR") .. "/online_common.lua")
local lines = "menu.away.obj_list_lines"
C.expect_visible("menu.lobby", 30000)
ap.assert(C.wait_for_file("b_sent", 1), "bob did not write while alice played")
C.expect_visible("menu.away", 10000)
local items = ap.items(lines)
ap.assert(#items == 2, "not two lines: " .. table.concat(items, " | "))
ap.assert(items[1]:find("[bob]: first while away", 1, true), "first line: " .. items[1])
ap.assert(items[2]:find("[bob]: second while away", 1, true), "second line: " .. items[2])
ap.assert(items[1]:find("(in game)", 1, true), "the line does not say alice was in game")
C.shot("away")
C.click("menu.away.obj_button_done")
ap.assert(not ap.visible("menu.away"), "the news panel stayed open")

-- Out to the log-in screen and in again.
C.click("menu.lobby.obj_button_back")
C.expect_visible("menu.channel")
C.click("menu.channel.obj_button2")
C.expect_visible("menu.profile")
C.click("menu.profile.obj_button4")
C.expect_visible("menu.login")
C.retype("menu.login.obj_input_uname", "alice")
C.retype("menu.login.obj_input_password", "secret")
local logged_in = false
for _ = 1, 5 do
  C.click("menu.login.obj_button1")
  ap.wait_until(function() return ap.visible("menu.profile") or ap.visible("menu.loginerror") end,
                15000)
  if ap.visible("menu.profile") then logged_in = true break end
  C.click("menu.loginerror.obj_button1") -- the last session may still be closing
  ap.sleep(1000)
end
ap.assert(logged_in, "alice could not log in again")
C.select("menu.profile.obj_list1", 0)
C.click("menu.profile.obj_button1")
C.expect_visible("menu.channel")
C.select("menu.channel.obj_list1", C.channel_index)
C.click("menu.channel.obj_button1")
C.expect_visible("menu.lobby")
ap.sleep(1500)
if not ap.visible("menu.away") then C.click("menu.lobby.obj_button_away") end
C.expect_visible("menu.away", 5000)
items = ap.items(lines)
ap.assert(#items == 1 and items[1] == "Nothing new.", "lines came again: " .. table.concat(items, " | "))
C.click("menu.away.obj_button_keep")
C.touch("a_done")
ap.quit(0)
