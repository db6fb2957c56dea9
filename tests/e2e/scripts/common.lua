-- Shared steps of the end-to-end scripts (loaded with dofile).
local ap = autopilot
local M = {}

function M.expect_visible(name, ms)
  ap.assert(ap.wait_until(function() return ap.visible(name) end, ms or 15000),
            name .. " did not appear")
end

function M.fill_login(user, password, email)
  M.expect_visible("menu.login")
  ap.click("menu.login.obj_input_uname")
  ap.type(user)
  ap.click("menu.login.obj_input_password")
  ap.type(password)
  if email then
    ap.click("menu.login.obj_input_email")
    ap.type(email)
  end
end

-- From the log-in screen to the channel list with a new account and profile.
function M.to_channels(user)
  M.fill_login(user, "secret", user .. "@example.test")
  ap.click("menu.login.obj_button2")
  M.expect_visible("menu.loginerror")
  ap.click("menu.loginerror.obj_button1")
  ap.click("menu.login.obj_button1")
  M.expect_visible("menu.profile")
  ap.click("menu.profile.obj_button2")
  ap.click("menu.profilemodify.obj_input_name")
  ap.type(user)
  ap.click("menu.profile.obj_button3")
  M.expect_visible("menu.channel")
end

-- From the log-in screen into the first channel with a new profile.
function M.enter_lobby(user)
  M.to_channels(user)
  ap.double_click("menu.channel.obj_list1")
  M.expect_visible("menu.lobby")
end

function M.chat_has(line)
  for _, item in ipairs(ap.items("menu.lobby.obj_list_chat")) do
    if item == line then return true end
  end
  return false
end

function M.wait_for_file(path, ms)
  return ap.wait_until(function()
    local f = io.open(path, "r")
    if f then f:close() return true end
    return false
  end, ms or 30000)
end

function M.touch(path)
  local f = io.open(path, "w")
  if f then f:write("1") f:close() end
end

return M
