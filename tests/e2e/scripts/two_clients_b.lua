-- Second of two front ends: sends a public and a private line to alice, and
-- after she ignores him one more public line.
local ap = autopilot
local C = dofile(os.getenv("E2E_DIR") .. "/common.lua")
local run = os.getenv("E2E_RUN")
ap.assert(C.wait_for_file(run .. "/a_in"), "first client not in the lobby")
C.enter_lobby("bob")
ap.assert(ap.wait_until(function()
  for _, name in ipairs(ap.items("menu.lobby.obj_list_user")) do
    if name == "alice" then return true end
  end
  return false
end, 10000), "alice not in the user list")
ap.click("menu.lobby.obj_input_chat")
ap.type("hello all\r")
ap.wait(2)
local index
for i, name in ipairs(ap.items("menu.lobby.obj_list_user")) do
  if name == "alice" then index = i - 1 end
end
ap.select("menu.lobby.obj_list_user", index)
ap.click("menu.lobby.obj_button_private")
ap.click("menu.lobby.obj_input_chat")
ap.type("psst alice\r")
ap.wait(2)
ap.assert(C.chat_has("To [alice]: psst alice"), "private echo missing")
ap.click("menu.lobby.obj_button_toall")
C.touch(run .. "/b_sent")
ap.assert(C.wait_for_file(run .. "/a_ignored"), "first client did not ignore")
ap.click("menu.lobby.obj_input_chat")
ap.type("you cannot hear me\r")
ap.wait(2)
C.touch(run .. "/b_sent2")
ap.assert(C.wait_for_file(run .. "/a_done"), "first client did not finish")
ap.quit(0)
