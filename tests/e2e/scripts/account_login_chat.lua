-- Account creation, log-in, profile creation, channel join and one chat line.
-- Environment: E2E_USER (a fresh user name), E2E_SHOTS (a folder for
-- screenshots, optional).
local ap = autopilot
local user = os.getenv("E2E_USER") or "pilot1"
local shots = os.getenv("E2E_SHOTS")
local function shot(name) if shots then ap.screenshot(shots .. "/" .. name .. ".bmp") end end
local function expect_visible(name, ms)
  ap.assert(ap.wait_until(function() return ap.visible(name) end, ms or 10000),
            name .. " did not appear")
end

ap.wait(2)
expect_visible("menu.login")
shot("01_login")
ap.click("menu.login.obj_input_uname")
ap.type(user)
ap.click("menu.login.obj_input_password")
ap.type("secret")
ap.click("menu.login.obj_input_email")
ap.type(user .. "@example.test")
ap.wait(1)
ap.click("menu.login.obj_button2")          -- create account
expect_visible("menu.loginerror")
shot("02_account_created")
ap.print("account:", ap.text("menu.loginerror.obj_label1"))
ap.click("menu.loginerror.obj_button1")
ap.wait(2)
ap.assert(ap.enabled("menu.login"), "log-in screen stays disabled")
ap.click("menu.login.obj_button1")          -- log in
expect_visible("menu.profile")
ap.wait(2)
shot("03_profiles")
ap.assert(#ap.items("menu.profile.obj_list1") == 4, "four profile slots")
ap.click("menu.profile.obj_button2")        -- edit
expect_visible("menu.profilemodify")
ap.click("menu.profilemodify.obj_input_name")
ap.type(user)
ap.click("menu.profilemodify.right")
ap.click("menu.profilemodify.right")
ap.click("menu.profilemodify.frame3.radio_color3")
ap.wait(2)
shot("04_profile_edit")
ap.click("menu.profile.obj_button3")        -- create in the empty slot
expect_visible("menu.channel")
ap.wait(2)
shot("05_channels")
ap.assert(#ap.items("menu.channel.obj_list1") > 0, "channels listed")
ap.double_click("menu.channel.obj_list1")
expect_visible("menu.lobby")
ap.wait(2)
ap.click("menu.lobby.obj_input_chat")
ap.type("hello lobby\r")
ap.assert(ap.wait_until(function()
  for _, line in ipairs(ap.items("menu.lobby.obj_list_chat")) do
    if line == "[" .. user .. "]: hello lobby" then return true end
  end
  return false
end, 10000), "own chat line not in the chat list")
shot("06_lobby")
ap.click("menu.lobby.obj_button_back")
expect_visible("menu.channel")
ap.click("menu.channel.obj_button2")
expect_visible("menu.profile")
ap.click("menu.profile.obj_button4")
expect_visible("menu.login")
ap.click("menu.login.obj_button3")
ap.wait(5)
ap.quit(0)
