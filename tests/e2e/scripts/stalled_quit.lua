-- Quitting while the log-on to a silent server is awaited (30 s) ends the
-- program at once. Environment: E2E_USER, E2E_DIR (this folder), E2E_RUN.
local ap = autopilot
local C = dofile(os.getenv("E2E_DIR") .. "/common.lua")
ap.wait(2)
C.fill_login(os.getenv("E2E_USER") or "hana", "secret")
ap.click("menu.login.obj_button1")
ap.assert(ap.visible("menu.connectinfo"), "no connection notice")
C.touch(os.getenv("E2E_RUN") .. "/quitting")
ap.quit(0)
