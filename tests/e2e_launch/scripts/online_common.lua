-- Shared steps of the online game scenario (loaded with dofile). Files in
-- the folder E2E_RUN coordinate the front ends.
local ap = autopilot
local M = {}

M.run = os.getenv("E2E_RUN")
-- The channel both players meet in: the second of the server's list, the
-- first one where games may be created.
M.channel_index = 1

-- The GUI tells a double click by the time between the presses as it
-- handles them, not as they were made; on a loaded machine a late frame can
-- bring two separate clicks closer than the double-click interval. So each
-- click here waits until it has been handled (two frames) and then the whole
-- interval before the script goes on.
local function settle()
  ap.wait(2)
  ap.sleep(350)
end

function M.click(name)
  ap.click(name)
  settle()
end

function M.select(list, index)
  ap.select(list, index)
  settle()
end

function M.expect_visible(name, ms)
  ap.assert(ap.wait_until(function() return ap.visible(name) end, ms or 30000),
            name .. " did not appear")
end

function M.has_item(list, text)
  for i, item in ipairs(ap.items(list)) do
    if item == text then return i - 1 end
  end
  return nil
end

-- The index (from 0) of the first game in the lobby's list whose name starts
-- with `prefix`, or nil.
function M.game_index(prefix)
  for i, item in ipairs(ap.items("menu.lobby.obj_list_game")) do
    if item:sub(1, #prefix) == prefix then return i - 1 end
  end
  return nil
end

-- From the log-in screen: create the account, log in, create a profile named
-- like the user and enter the shared channel.
function M.enter_channel(user)
  M.expect_visible("menu.login")
  M.click("menu.login.obj_input_uname")
  ap.type(user)
  M.click("menu.login.obj_input_password")
  ap.type("secret")
  M.click("menu.login.obj_input_email")
  ap.type(user .. "@example.test")
  M.click("menu.login.obj_button2")
  M.expect_visible("menu.loginerror")
  local created = ap.text("menu.loginerror.obj_label1")
  M.click("menu.loginerror.obj_button1")
  M.click("menu.login.obj_button1")
  ap.assert(ap.wait_until(function() return ap.visible("menu.profile") end, 30000),
            "no profiles after the log-in; account creation said: " .. tostring(created) ..
            ", the log-in: " .. tostring(ap.visible("menu.loginerror") and
                                         ap.text("menu.loginerror.obj_label1")))
  M.click("menu.profile.obj_button2")
  M.click("menu.profilemodify.obj_input_name")
  ap.type(user)
  M.click("menu.profile.obj_button3")
  M.expect_visible("menu.channel")
  ap.assert(ap.wait_until(function() return #ap.items("menu.channel.obj_list1") > M.channel_index end,
                          10000), "too few channels")
  M.select("menu.channel.obj_list1", M.channel_index)
  M.click("menu.channel.obj_button1")
  M.expect_visible("menu.lobby")
end

-- The won / lost / disconnected numbers of a user's profile as the lobby's
-- profile view shows them (the view is closed again).
function M.statistics(user)
  local index
  ap.assert(ap.wait_until(function()
    index = M.has_item("menu.lobby.obj_list_user", user)
    return index ~= nil
  end, 15000), user .. " not in the user list")
  M.select("menu.lobby.obj_list_user", index)
  M.click("menu.lobby.obj_button_profile")
  M.expect_visible("menu.lobby_profileview")
  local prefix = "menu.lobby_profileview.obj_frame_points."
  local stats = {
    won = tonumber(ap.text(prefix .. "label_win_num")),
    lost = tonumber(ap.text(prefix .. "label_loss_num")),
    disconnected = tonumber(ap.text(prefix .. "label_disc_num")),
    score = tonumber(ap.text(prefix .. "label_score_num")),
  }
  M.click("menu.lobby_profileview.obj_button_ok")
  ap.assert(ap.wait_until(function() return not ap.visible("menu.lobby_profileview") end, 5000),
            "the profile view stayed open")
  return stats
end

function M.wait_for_file(name, ms)
  return ap.wait_until(function()
    local f = io.open(M.run .. "/" .. name, "r")
    if f then f:close() return true end
    return false
  end, ms or 60000)
end

function M.touch(name, text)
  local f = io.open(M.run .. "/" .. name, "w")
  if f then f:write(text or "1") f:close() end
end

function M.read(name)
  local f = io.open(M.run .. "/" .. name, "r")
  if not f then return nil end
  local text = f:read("a")
  f:close()
  return text
end

-- Back from a game the news panel tells how it ended; it is put away.
function M.close_news()
  if ap.wait_until(function() return ap.visible("menu.away") end, 3000) then
    M.click("menu.away.obj_button_keep")
  end
end

-- Creates the game `name` with the first mission; the process then becomes
-- vorlane-game and this never returns.
function M.host_game(name)
  M.click("menu.lobby.obj_button_create")
  M.expect_visible("menu.game", 5000)
  if ap.selected("menu.game.obj_list_mission") == nil then M.select("menu.game.obj_list_mission", 0) end
  M.click("menu.game.obj_input_name")
  ap.type(name)
  M.click("menu.game.obj_button_create")
  ap.wait(600)
  ap.assert(false, "the front end did not hand over to the game")
end

-- The index (from 0) of the first item of `list` that contains `part`, or nil.
function M.find_item(list, part)
  for i, item in ipairs(ap.items(list)) do
    if item:find(part, 1, true) then return i - 1 end
  end
  return nil
end

function M.wait_item(list, part, ms)
  ap.assert(ap.wait_until(function() return M.find_item(list, part) ~= nil end, ms or 30000),
            "no item '" .. part .. "' in " .. list .. ": " .. table.concat(ap.items(list), " | "))
  return M.find_item(list, part)
end

-- Replaces what an input box holds with `text`.
function M.retype(input, text)
  M.click(input)
  ap.key(0x1C) -- end
  for _ = 1, 40 do ap.key(0x12) end -- backspace
  ap.type(text)
end

function M.notice_has(part)
  return ap.visible("menu.socialnotice") and
         (ap.text("menu.socialnotice.obj_label1") or ""):find(part, 1, true) ~= nil
end

function M.shot(name)
  local dir = os.getenv("E2E_SHOTS")
  if dir then ap.assert(ap.screenshot(dir .. "/" .. name .. ".bmp"), "no screenshot " .. name) end
end

return M
