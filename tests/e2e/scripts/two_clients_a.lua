-- First of two front ends in one channel: it waits for the second, ignores
-- it after the first lines and checks what arrives. Files in E2E_RUN
-- coordinate the two programs.
local ap = autopilot
local C = dofile(os.getenv("E2E_DIR") .. "/common.lua")
local run = os.getenv("E2E_RUN")
ap.wait(2)
C.enter_lobby("alice")
C.touch(run .. "/a_in")
ap.assert(C.wait_for_file(run .. "/b_sent"), "second client did not send")
ap.assert(ap.wait_until(function() return C.chat_has("[bob]: hello all") end, 10000),
          "public line missing")
ap.assert(ap.wait_until(function() return C.chat_has("From [bob]: psst alice") end, 10000),
          "private line missing")
-- Ignore bob: select him in the user list and press Ignore.
local users = ap.items("menu.lobby.obj_list_user")
local index
for i, name in ipairs(users) do if name == "bob" then index = i - 1 end end
ap.assert(index ~= nil, "bob not in the user list")
ap.select("menu.lobby.obj_list_user", index)
ap.click("menu.lobby.obj_button_ignore")
C.touch(run .. "/a_ignored")
ap.assert(C.wait_for_file(run .. "/b_sent2"), "second client did not send again")
ap.sleep(1500)
ap.assert(not C.chat_has("[bob]: you cannot hear me"), "ignored line was shown")
C.touch(run .. "/a_done")
ap.quit(0)
