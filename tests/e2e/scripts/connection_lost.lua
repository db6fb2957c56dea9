-- The server goes away while the player is in the lobby: the log-in screen
-- comes back with the connection-lost notice. The runner kills the server
-- when the file E2E_RUN/in_lobby appears.
local ap = autopilot
local C = dofile(os.getenv("E2E_DIR") .. "/common.lua")
local run = os.getenv("E2E_RUN")
ap.wait(2)
C.enter_lobby(os.getenv("E2E_USER") or "dora")
C.touch(run .. "/in_lobby")
C.expect_visible("menu.loginerror", 30000)
local text = ap.text("menu.loginerror.obj_label1")
ap.print("notice:", text)
ap.assert(text == "The connection to the lobby server was lost.", "unexpected: " .. tostring(text))
ap.assert(ap.visible("menu.login"), "log-in screen not shown")
ap.assert(not ap.visible("menu.lobby"), "lobby still shown")
ap.click("menu.loginerror.obj_button1")
ap.assert(ap.enabled("menu.login"), "log-in screen stays disabled")
ap.quit(0)
