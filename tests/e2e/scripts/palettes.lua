-- The three palettes, switched in the running program through the console's
-- ui_palette: each screen is taken in every mode, the contrast picture (and
-- the colour-blind one where rows carry colours) must differ from the
-- standard one, and the choice lands in the player's preferences.
-- The runner has the operator say a line and mute the player once the lobby
-- is reached. Environment: E2E_DIR, E2E_RUN, E2E_SHOTS (the folder the
-- pictures go to), XDG_DATA_HOME (the player's folder).
local ap = autopilot
local C = dofile(os.getenv("E2E_DIR") .. "/common.lua")
local shots = os.getenv("E2E_SHOTS")
ap.assert(shots ~= nil, "E2E_SHOTS is not set")
local kF12 = 0x0B -- the console's toggle key
local modes = { "standard", "colourblind", "contrast" }

local function console(line)
  ap.key(kF12)
  ap.sleep(300)
  ap.type(line .. "\r")
  ap.key(kF12)
  ap.sleep(700) -- the console slides back up
end

local function read(path)
  local f = io.open(path, "rb")
  if not f then return nil end
  local data = f:read("a")
  f:close()
  return data
end

-- Every mode of one screen. The colour-blind palette changes only colours
-- with a meaning: `meaningful` says the screen shows some.
local function take(name, meaningful)
  local standard
  for _, mode in ipairs(modes) do
    console("ui_palette " .. mode)
    local path = shots .. "/" .. name .. "_" .. mode .. ".bmp"
    ap.assert(ap.screenshot(path), "no screenshot " .. path)
    local picture = read(path)
    if mode == "standard" then
      standard = picture
    elseif mode == "contrast" or meaningful then
      ap.assert(picture ~= standard, name .. " looks the same in " .. mode)
    end
  end
  console("ui_palette standard")
end

C.expect_visible("menu.login")
ap.assert(ap.wait_until(function() return not ap.intro() end, 20000), "the logo did not end")
ap.click("menu.login.obj_input_uname") -- the focus, for its outline
take("login")

C.to_channels("pixel")
ap.select("menu.channel.obj_list1", 0) -- a focused list with its selection
take("channel", true)
ap.double_click("menu.channel.obj_list1")
C.expect_visible("menu.lobby")

-- A public line, a private one to oneself, the operator's line and mute, and
-- oneself ignored (a grey row).
ap.click("menu.lobby.obj_input_chat")
ap.type("hello all\r")
ap.select("menu.lobby.obj_list_user", 0)
ap.click("menu.lobby.obj_button_private")
ap.click("menu.lobby.obj_input_chat")
ap.type("a word in private\r")
ap.assert(ap.wait_until(function() return C.chat_has("[pixel]: hello all") end, 10000),
          "public line missing")
C.touch(os.getenv("E2E_RUN") .. "/in_lobby")
ap.assert(ap.wait_until(function()
  local items = ap.items("menu.lobby.obj_list_chat")
  return #items > 0 and items[#items]:find("muted", 1, true) ~= nil
end, 20000), "the mute did not come")
ap.click("menu.lobby.obj_button_ignore")
ap.click("menu.lobby.obj_input_chat")
take("lobby", true)

ap.click("menu.lobby.obj_button_create")
C.expect_visible("menu.game")
ap.click("menu.game.obj_input_name")
take("game")

-- A mistyped mode changes nothing; the last choice is kept for the next start.
console("ui_palette contrast")
console("ui_palette pink")
local prefs = read(os.getenv("XDG_DATA_HOME") .. "/vorlane/preferences.cfg") or ""
ap.assert(prefs:find("ui_palette=contrast", 1, true), "ui_palette not kept: " .. prefs)
ap.assert(prefs:find("window_scale=", 1, true), "window_scale lost: " .. prefs)
ap.quit(0)
