-- A player who switches to another program for longer than the server's
-- dead-connection time: still in the lobby afterwards, with the line fred
-- sent meanwhile already in the chat box.
local ap = autopilot
local C = dofile(os.getenv("E2E_DIR") .. "/common.lua")
local run = os.getenv("E2E_RUN")
C.enter_lobby("erin")
C.touch(run .. "/e_in")
ap.background(12000)
ap.assert(C.wait_for_file(run .. "/f_sent", 1), "fred did not chat while erin was away")
ap.assert(C.chat_has("[fred]: while you were away"), "line sent meanwhile missing")
ap.assert(ap.visible("menu.lobby"), "erin is no longer in the lobby")
ap.click("menu.lobby.obj_input_chat")
ap.type("back again\r")
ap.assert(ap.wait_until(function() return C.chat_has("[erin]: back again") end, 5000),
          "erin's own line did not come back")
C.touch(run .. "/e_done")
ap.quit(0)
