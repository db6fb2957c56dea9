-- Against a server that accepts the connection and never answers (the run's
-- log-on wait is 3 s): the window keeps running while it connects, Cancel
-- brings the log-in screen back in the next frame, the wait ends in the
-- log-in error, and closing the window while connecting ends the program.
-- Environment: E2E_USER, E2E_DIR (this folder), E2E_RUN (coordination
-- folder), E2E_SHOTS (optional: a folder for screenshots).
local ap = autopilot
local C = dofile(os.getenv("E2E_DIR") .. "/common.lua")
local user = os.getenv("E2E_USER") or "gina"
local shots = os.getenv("E2E_SHOTS")
ap.wait(2)
C.fill_login(user, "secret")
ap.click("menu.login.obj_button1")
ap.assert(ap.visible("menu.connectinfo"), "no connection notice")
ap.assert(not ap.enabled("menu.login"), "the log-in screen must wait while connecting")
if shots then ap.screenshot(shots .. "/connecting.bmp") end

ap.frames()
ap.sleep(1000)
local ran, gap = ap.frames()
ap.print("iterations during 1 s of connecting:", ran, "longest gap (ms):", gap)
ap.assert(ran >= 10, "the window stood still while connecting (" .. ran .. " iterations)")
ap.assert(gap < 500, "the window froze for " .. gap .. " ms while connecting")
ap.assert(ap.visible("menu.connectinfo"), "the notice went away by itself")

ap.click("menu.connectinfo.obj_button1", "left", false)
ap.assert(not ap.visible("menu.connectinfo"), "Cancel left the notice up for more than a frame")
ap.assert(ap.visible("menu.login") and ap.enabled("menu.login") and
          ap.enabled("menu.login.obj_button1"), "Cancel did not give the log-in screen back")
ap.sleep(400)  -- past the double-click interval

ap.click("menu.login.obj_button1")
C.expect_visible("menu.loginerror", 10000)
local text = ap.text("menu.loginerror.obj_label1")
ap.print("time-out:", text)
ap.assert(text == "The log-in is not possible right now.", "unexpected text: " .. tostring(text))
ap.click("menu.loginerror.obj_button1")
ap.assert(ap.visible("menu.login") and ap.enabled("menu.login"), "log-in screen not back")

ap.click("menu.login.obj_button1")
ap.assert(ap.visible("menu.connectinfo"), "not connecting again")
C.touch(os.getenv("E2E_RUN") .. "/closing")
ap.close_window(0)
