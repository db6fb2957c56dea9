-- A wrong password shows the server's answer in menu.loginerror; OK returns
-- to the log-in screen. Environment: E2E_USER, E2E_DIR (this folder).
local ap = autopilot
local C = dofile(os.getenv("E2E_DIR") .. "/common.lua")
local user = os.getenv("E2E_USER") or "carla"
ap.wait(2)
C.fill_login(user, "secret", user .. "@example.test")
ap.click("menu.login.obj_button2")
C.expect_visible("menu.loginerror")
ap.click("menu.loginerror.obj_button1")
ap.click("menu.login.obj_input_password")
for _ = 1, 6 do ap.key(0x12) end              -- backspace
ap.wait(1)
ap.type("wrong")
ap.click("menu.login.obj_button1")
C.expect_visible("menu.loginerror")
ap.wait(1)
local text = ap.text("menu.loginerror.obj_label1")
ap.print("error:", text)
ap.assert(text == "Wrong user name or password.", "unexpected text: " .. tostring(text))
ap.assert(not ap.enabled("menu.login"), "log-in screen must wait for OK")
ap.click("menu.loginerror.obj_button1")
ap.assert(not ap.visible("menu.loginerror"), "error box still shown")
ap.assert(ap.visible("menu.login") and ap.enabled("menu.login"), "log-in screen not back")
ap.quit(0)
