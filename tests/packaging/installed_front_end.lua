-- The installed front end on its own: the log-in screen once the logo has
-- played, a picture of it (SHOT), a user name typed so that lobby.cfg has
-- something of the player's to keep, and the end.
local ap = autopilot
ap.assert(ap.wait_until(function() return ap.visible("menu.login") end, 15000),
          "the log-in screen did not appear")
ap.assert(ap.wait_until(function() return not ap.intro() end, 20000), "the logo did not end")
ap.click("menu.login.obj_input_uname")
ap.type("packaged")
ap.wait(2)
ap.assert(ap.screenshot(os.getenv("SHOT")), "no screenshot")
ap.quit(0)
