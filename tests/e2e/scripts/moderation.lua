-- What a player sees of the operator: a server line in the chat, a ban that
-- sends the player out, and the log-in refused with the ban's reason and
-- time left. The runner gives the commands (vorlane-lobbyctl) when the files
-- in E2E_RUN say so. Environment: E2E_DIR, E2E_RUN, E2E_SHOTS (pictures).
local ap = autopilot
local C = dofile(os.getenv("E2E_DIR") .. "/common.lua")
local run = os.getenv("E2E_RUN")
local shots = os.getenv("E2E_SHOTS")
ap.wait(2)
C.enter_lobby("mona")
C.touch(run .. "/in_lobby")
ap.assert(ap.wait_until(function() return C.chat_has("[Server]: Maintenance at 22:00 UTC") end,
                        20000), "the server line did not come")
ap.wait(1)
if shots then ap.screenshot(shots .. "/server_line.bmp") end
C.touch(run .. "/line_seen")
-- The runner bans the account: out of the lobby, with the reason.
C.expect_visible("menu.loginerror", 20000)
local sent_out = ap.text("menu.loginerror.obj_label1")
ap.print("sent out:", sent_out)
ap.assert(sent_out:find("You are banned from this lobby. Reason: spamming the hall.", 1, true),
          "unexpected: " .. tostring(sent_out))
ap.assert(ap.visible("menu.login") and not ap.visible("menu.lobby"), "not back at the log-in")
ap.click("menu.loginerror.obj_button1")
-- Logging in again is refused with the reason and the time left.
ap.click("menu.login.obj_button1")
C.expect_visible("menu.loginerror", 20000)
local refused = ap.text("menu.loginerror.obj_label1")
ap.print("refused:", refused)
-- (2 h, or 1 h 59 min once a second has passed)
ap.assert(refused:find("Reason: spamming the hall. Time left: ", 1, true) and
          (refused:find("2 h.", 1, true) or refused:find("1 h 59 min.", 1, true)),
          "unexpected: " .. tostring(refused))
ap.wait(1)
if shots then ap.screenshot(shots .. "/banned_login.bmp") end
ap.click("menu.loginerror.obj_button1")
ap.quit(0)
