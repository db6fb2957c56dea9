-- Through a relay that records every byte (run_e2e.sh relay): the first
-- connection shows the server's key before anything is sent; once trusted, an
-- account is made, logged in to and a chat line goes to the channel. Then the
-- kept key is made to differ from the server's: the log-in is refused with
-- its own text, and the password does not leave.
-- Environment: E2E_USER, E2E_DIR (this folder), E2E_SECRET (the password),
-- E2E_SHOTS (optional: a folder for screenshots).
local ap = autopilot
local C = dofile(os.getenv("E2E_DIR") .. "/common.lua")
local user = os.getenv("E2E_USER") or "rita"
local password = os.getenv("E2E_SECRET") or "Zq7-relay-pw"
local shots = os.getenv("E2E_SHOTS")
local function shot(name) if shots then ap.screenshot(shots .. "/" .. name .. ".bmp") end end
local function notice()
  C.expect_visible("menu.loginerror")
  local text = ap.text("menu.loginerror.obj_label1") or ""
  ap.print("notice:", text)
  return text
end

ap.wait(2)
C.fill_login(user, password, user .. "@example.test")
ap.click("menu.login.obj_button2")
local first = notice()
ap.assert(first:find("SHA256:", 1, true), "the first connection shows no key")
shot("first_use")
ap.click("menu.loginerror.obj_button1")
ap.wait(2)
ap.click("menu.login.obj_button2")
ap.assert(notice() == "Your account has been created. You can log in now.",
          "the account was not made once the key was trusted")
ap.click("menu.loginerror.obj_button1")
ap.wait(2)
ap.click("menu.login.obj_button1")
C.expect_visible("menu.profile")
ap.click("menu.profile.obj_button2")
ap.click("menu.profilemodify.obj_input_name")
ap.type(user)
ap.click("menu.profile.obj_button3")
C.expect_visible("menu.channel")
ap.double_click("menu.channel.obj_list1")
C.expect_visible("menu.lobby")
ap.click("menu.lobby.obj_input_chat")
ap.type("relay chat line 42\r")
ap.assert(ap.wait_until(function() return C.chat_has("[" .. user .. "]: relay chat line 42") end,
                        10000), "the chat line did not come back")
ap.click("menu.lobby.obj_button_back")
C.expect_visible("menu.channel")
ap.click("menu.channel.obj_button2")
C.expect_visible("menu.profile")
ap.click("menu.profile.obj_button4")
C.expect_visible("menu.login")

-- Another key in the list than the server shows.
local known = os.getenv("XDG_DATA_HOME") .. "/vorlane/known_servers"
local file = io.open(known, "r")
ap.assert(file, "the key was not kept in " .. known)
local kept = file:read("a")
file:close()
file = io.open(known, "w")
file:write((kept:gsub("SHA256:%S+", "SHA256:AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA")))
file:close()
ap.assert(ap.wait_until(function() return ap.enabled("menu.login.obj_button1") end, 10000),
          "the log-in screen did not come back")
ap.sleep(1500)  -- the log-off of the last session has gone through
ap.click("menu.login.obj_button1")
local changed = notice()
ap.assert(changed:find("The server's identity has changed.", 1, true) == 1 and
          changed:find("do not log in", 1, true),
          "a changed key was not refused")
shot("key_changed")
ap.click("menu.loginerror.obj_button1")
ap.wait(2)
ap.quit(0)
