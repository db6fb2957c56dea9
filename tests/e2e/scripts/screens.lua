-- Screenshots of the log-in screen after the logo sequence and of the lobby,
-- for a comparison of their pixels. Environment: E2E_DIR, E2E_SHOTS (the
-- folder the pictures go to).
local ap = autopilot
local C = dofile(os.getenv("E2E_DIR") .. "/common.lua")
local shots = os.getenv("E2E_SHOTS")
ap.assert(shots ~= nil, "E2E_SHOTS is not set")
C.expect_visible("menu.login")
ap.assert(ap.wait_until(function() return not ap.intro() end, 20000), "the logo did not end")
ap.wait(2)
ap.assert(ap.screenshot(shots .. "/login.bmp"), "no screenshot of the log-in screen")
C.enter_lobby("pixel")
ap.wait(2)
ap.assert(ap.screenshot(shots .. "/lobby.bmp"), "no screenshot of the lobby")
ap.quit(0)
