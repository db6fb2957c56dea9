-- Chats to erin while her window is inactive.
local ap = autopilot
local C = dofile(os.getenv("E2E_DIR") .. "/common.lua")
local run = os.getenv("E2E_RUN")
ap.assert(C.wait_for_file(run .. "/e_in"), "erin not in the lobby")
C.enter_lobby("fred")
ap.click("menu.lobby.obj_input_chat")
ap.type("while you were away\r")
ap.assert(ap.wait_until(function() return C.chat_has("[fred]: while you were away") end, 5000),
          "fred's line did not come back")
C.touch(run .. "/f_sent")
ap.assert(C.wait_for_file(run .. "/e_done"), "erin did not finish")
ap.quit(0)
