-- The second player's front end, started by hand after the game program was
-- killed mid-game: it logs in (the game program's connection may still be
-- counted for a moment), enters another channel than the game's, finds
-- "Rejoin Alpha" in the lobby and presses it; the process then becomes
-- vorlane-game again, which takes the seat back.
local ap = autopilot
local C = dofile(os.getenv("E2E_DIR") .. "/online_common.lua")
C.expect_visible("menu.login")
-- The log-in screen may remember the last log-in.
local function fill(name, text)
  C.click(name)
  for _ = 1, #(ap.text(name) or "") do ap.key(0x12) end
  ap.type(text)
end
fill("menu.login.obj_input_uname", "bob")
fill("menu.login.obj_input_password", "secret")
local answered = false
for _ = 1, 10 do
  C.click("menu.login.obj_button1")
  ap.wait_until(function()
    return ap.visible("menu.profile") or ap.visible("menu.loginerror")
  end, 30000)
  if ap.visible("menu.profile") then answered = true break end
  ap.print("log-in refused: " .. tostring(ap.text("menu.loginerror.obj_label1")))
  C.click("menu.loginerror.obj_button1")
  ap.sleep(500)
end
ap.assert(answered, "no profiles after the log-in")
C.click("menu.profile.obj_button1")
C.expect_visible("menu.channel")
ap.assert(ap.wait_until(function() return #ap.items("menu.channel.obj_list1") > 0 end, 10000),
          "no channels")
-- The first channel: no games there, the offer is for the game's own.
C.select("menu.channel.obj_list1", 0)
C.click("menu.channel.obj_button1")
C.expect_visible("menu.lobby")
C.expect_visible("menu.lobby.obj_button_rejoin", 15000)
local text = ap.text("menu.lobby.obj_button_rejoin")
ap.assert(text == "Rejoin Alpha", "the button says " .. tostring(text))
local shots = os.getenv("E2E_SHOTS")
if shots then ap.screenshot(shots .. "/rejoin_lobby.bmp") end
C.click("menu.lobby.obj_button_rejoin")
ap.wait(600)
ap.assert(false, "the front end did not hand over to the game")
