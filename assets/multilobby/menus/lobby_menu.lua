-- The menus of the lobby front end, laid out for 1024 x 768.
--
-- Every menu is one nested constructor expression kept in the table `menu`
-- and registered, so that it is released with the menu manager. The program
-- shows and hides the menus by name ("menu.login", ...) and finds their
-- objects by dotted path ("menu.login.obj_input_uname").

menu = menu or {}
local T = vrlmenu

-- [SECTION] Building blocks

local function panel(t)
  t.gfx_norm = t.gfx_norm or "lobby.gfx.panel"
  return GUI_Frame(t)
end

local function button(t)
  t.w = t.w or 150
  t.h = t.h or 30
  t.gfx_norm = t.gfx_norm or "lobby.gfx.button.norm"
  t.gfx_hilite = t.gfx_hilite or "lobby.gfx.button.hilite"
  t.gfx_pressed = t.gfx_pressed or "lobby.gfx.button.pressed"
  return GUI_Button(t)
end

local function label(x, y, w, text, center)
  return GUI_Label { x = x, y = y, w = w, h = 20, text = text, center = center or false }
end

local function input(name, x, y, w, tag)
  return GUI_Input { name = name, x = x, y = y, w = w, h = 24, tag = tag or T.MENU_TAG_NONE }
end

-- A titled notice in the middle of the screen.
local function notice(text)
  return panel { x = 362, y = 334, w = 300, h = 100,
    title = label(10, 40, 280, text, true) }
end

-- A box with one text line and one button (OK unless told otherwise).
local function message(tag, text, button_text, tooltip)
  return panel { x = 312, y = 300, w = 400, h = 150,
    obj_label1 = GUI_Label { x = 10, y = 25, w = 380, h = 60, center = true, text = text },
    obj_button1 = button { x = 125, y = 100, tag = tag, text = button_text or "MENU_OK",
                           tooltip = tooltip or "MENU_TIP_OK" } }
end

-- The profile view: portrait, colour, name, contact and the points; `extra`
-- adds more children.
local function profile_view(x, y, h, extra)
  local rows = {
    { "label_win_num", "MENU_PROFILE_WON" }, { "label_loss_num", "MENU_PROFILE_LOST" },
    { "label_disc_num", "MENU_PROFILE_DISC" }, { "label_score_num", "MENU_PROFILE_SCORE" },
    { "label_camp1_num", "MENU_PROFILE_CAMP1" }, { "label_camp2_num", "MENU_PROFILE_CAMP2" },
    { "label_camp3_num", "MENU_PROFILE_CAMP3" }, { "label_camp4_num", "MENU_PROFILE_CAMP4" },
  }
  local points = { x = 10, y = 190, w = 280, h = 182 }
  for i, r in ipairs(rows) do
    local yy = 6 + (i - 1) * 21
    points[#points + 1] = label(10, yy, 180, r[2])
    points[r[1]] = GUI_Label { x = 200, y = yy, w = 70, h = 20 }
  end
  -- The view's portrait goes into frame2 itself; its inner frame stays hidden
  -- so that it does not dim the picture.
  local view = { x = x, y = y, w = 300, h = h,
    frame2 = GUI_Frame { x = 10, y = 10, w = 128, h = 128,
      frame1 = GUI_Frame { x = 0, y = 0, w = 128, h = 128, visible = false } },
    frame3 = GUI_Frame { x = 150, y = 10, w = 46, h = 34, tooltip = "MENU_TIP_COLOUR" },
    obj_frame_name = GUI_Frame { x = 150, y = 60, w = 140, h = 26,
      obj_label1 = GUI_Label { x = 4, y = 3, w = 132, h = 20 } },
    obj_frame_contact = GUI_Frame { x = 10, y = 150, w = 280, h = 26,
      obj_label1 = GUI_Label { x = 4, y = 3, w = 272, h = 20 } },
    obj_frame_points = GUI_Frame(points) }
  for k, v in pairs(extra or {}) do view[k] = v end
  return panel(view)
end

-- Portrait chooser and colour buttons of the profile editors.
local function portrait_and_colours(y)
  -- A frame takes its children when it is made: the buttons go into its
  -- table first.
  local colours = { x = 10, y = y + 150, w = 280, h = 46 }
  local names = { "blue", "green", "red", "violett", "yellow" }
  for i, c in ipairs(names) do
    colours["radio_color" .. i] = GUI_RadioButton { x = 8 + (i - 1) * 54, y = 6, w = 46, h = 34,
      gfx_norm = "lobby.button." .. c .. ".norm", gfx_hilite = "lobby.button." .. c .. ".norm",
      gfx_pressed = "lobby.button." .. c .. ".sel", tooltip = "MENU_TIP_COLOUR_" .. i }
  end
  colours = GUI_Frame(colours)
  return {
    frame2 = GUI_Frame { x = 86, y = y, w = 128, h = 128,
      frame1 = GUI_Frame { x = 0, y = 0, w = 128, h = 128 } },
    left = button { x = 10, y = y + 49, w = 60, text = "~<", tag = T.MENU_TAG_PROFMOD_LEFT,
                    tooltip = "MENU_TIP_PORTRAIT_PREV" },
    right = button { x = 230, y = y + 49, w = 60, text = "~>", tag = T.MENU_TAG_PROFMOD_RIGHT,
                     tooltip = "MENU_TIP_PORTRAIT_NEXT" },
    frame3 = colours,
  }
end

local function merge(into, from)
  for k, v in pairs(from) do into[k] = v end
  return into
end

-- [SECTION] Background

menu.background = GUI_Frame { x = 0, y = 0, w = 1024, h = 768, gfx_norm = "lobby.gfx.background",
  title = GUI_Label { x = 0, y = 24, w = 1024, h = 24, center = true, text = "MENU_TITLE" } }

-- [SECTION] Log-in

menu.login = panel { x = 287, y = 200, w = 450, h = 330,
  head = label(10, 14, 430, "MENU_LOGIN_HEAD", true),
  label(30, 60, 140, "MENU_LOGIN_USER"),
  obj_input_uname = input("obj_input_uname", 180, 58, 240),
  label(30, 100, 140, "MENU_LOGIN_PASSWORD"),
  obj_input_password = input("obj_input_password", 180, 98, 240),
  label(30, 140, 140, "MENU_LOGIN_EMAIL"),
  obj_input_email = input("obj_input_email", 180, 138, 240),
  hint = label(30, 175, 390, "MENU_LOGIN_HINT", true),
  obj_button1 = button { x = 30, y = 215, w = 185, text = "MENU_LOGIN_LOGIN",
                         tag = T.MENU_TAG_LOGIN_LOGIN, tooltip = "MENU_TIP_LOGIN" },
  obj_button2 = button { x = 235, y = 215, w = 185, text = "MENU_LOGIN_CREATE",
                         tag = T.MENU_TAG_LOGIN_CREATE, tooltip = "MENU_TIP_CREATE" },
  obj_button3 = button { x = 150, y = 270, text = "MENU_QUIT",
                         tag = T.MENU_TAG_LOGIN_BACK, tooltip = "MENU_TIP_QUIT" } }

-- Connecting and logging in go on behind this box; Cancel gives them up.
menu.connectinfo = message(T.MENU_TAG_LOGIN_CANCEL, "MENU_CONNECTING", "MENU_CANCEL",
                           "MENU_TIP_CANCEL")
menu.loginerror = message(T.MENU_TAG_LOGIN_ERROROK)

-- [SECTION] Profiles

menu.profile = panel { x = 112, y = 120, w = 800, h = 520,
  head = label(10, 14, 780, "MENU_PROFILE_HEAD", true),
  label(20, 50, 300, "MENU_PROFILE_SLOTS"),
  obj_list1 = GUI_List { x = 20, y = 75, w = 300, h = 150, tag = T.MENU_TAG_PROFILE_LIST,
                         tooltip = "MENU_TIP_PROFILE_LIST" },
  obj_button1 = button { x = 20, y = 245, w = 300, text = "MENU_PROFILE_SELECT",
                         tag = T.MENU_TAG_PROFILE_SELECT, tooltip = "MENU_TIP_PROFILE_SELECT" },
  obj_button2 = button { x = 20, y = 290, w = 300, text = "MENU_PROFILE_MODIFY",
                         tag = T.MENU_TAG_PROFILE_SHOWMODIFY, tooltip = "MENU_TIP_PROFILE_MODIFY" },
  obj_button3 = button { x = 20, y = 335, w = 300, text = "LOBBY_PROFILE_CREATE",
                         tag = T.MENU_TAG_PROFILE_OVERCREATE, tooltip = "MENU_TIP_PROFILE_STORE" },
  obj_button4 = button { x = 20, y = 465, text = "MENU_BACK",
                         tag = T.MENU_TAG_PROFILE_BACK, tooltip = "MENU_TIP_BACK_LOGIN" },
  frame1 = profile_view(480, 60, 390) }

menu.profilemodify = panel(merge({ x = 592, y = 180, w = 300, h = 390,
  head = label(10, 10, 280, "MENU_PROFMOD_HEAD", true),
  label(10, 36, 80, "MENU_PROFMOD_NAME"),
  obj_input_name = input("obj_input_name", 90, 34, 200),
  label(10, 66, 80, "MENU_LOGIN_EMAIL"),
  obj_input_email = input("obj_input_email", 90, 64, 200),
  hint = label(10, 350, 280, "MENU_PROFMOD_HINT", true) }, portrait_and_colours(110)))

menu.profileinfo = notice("MENU_PROFILE_LOADING")
menu.profilefetchinfo = notice("MENU_PROFILE_FETCHING")
menu.profileyesno = panel { x = 312, y = 300, w = 400, h = 150,
  question = label(10, 40, 380, "MENU_PROFILE_OVERWRITE_Q", true),
  yes = button { x = 40, y = 100, text = "MENU_YES", tag = T.MENU_TAG_PROFILE_YES },
  no = button { x = 210, y = 100, text = "MENU_NO", tag = T.MENU_TAG_PROFILE_NO } }

-- [SECTION] Channels

menu.channel = panel { x = 262, y = 160, w = 500, h = 440,
  head = label(10, 14, 480, "MENU_CHANNEL_HEAD", true),
  obj_list1 = GUI_List { x = 20, y = 50, w = 460, h = 300, tag = T.MENU_TAG_CHANNEL_LIST,
                         tooltip = "MENU_TIP_CHANNEL_LIST" },
  obj_button1 = button { x = 330, y = 380, text = "MENU_CHANNEL_JOIN",
                         tag = T.MENU_TAG_CHANNEL_SELECT, tooltip = "MENU_TIP_CHANNEL_JOIN" },
  obj_button2 = button { x = 20, y = 380, text = "MENU_BACK",
                         tag = T.MENU_TAG_CHANNEL_BACK, tooltip = "MENU_TIP_BACK_PROFILE" } }
menu.channelinfo = notice("MENU_CHANNEL_JOINING")
menu.channelerror = message(T.MENU_TAG_CHANNEL_ERROROK, "MENU_CHANNEL_ERROR")

-- [SECTION] Lobby

menu.lobby = panel { x = 12, y = 60, w = 1000, h = 690,
  head = label(10, 10, 980, "MENU_LOBBY_HEAD", true),
  label(20, 36, 200, "MENU_LOBBY_CHAT"),
  obj_list_chat = GUI_List { x = 20, y = 58, w = 640, h = 480 },
  obj_frame_name = GUI_Frame { x = 20, y = 548, w = 160, h = 26, tooltip = "MENU_TIP_CHAT_TARGET",
    obj_label1 = GUI_Label { x = 4, y = 3, w = 152, h = 20 } },
  obj_input_chat = input("obj_input_chat", 186, 549, 370, T.MENU_TAG_LOBBY_CHATINPUT),
  obj_button_send = button { x = 562, y = 547, w = 98, text = "MENU_LOBBY_SEND",
                             tag = T.MENU_TAG_LOBBY_SEND, tooltip = "MENU_TIP_SEND" },
  label(680, 36, 300, "MENU_LOBBY_USERS"),
  obj_list_user = GUI_List { x = 680, y = 58, w = 300, h = 250, tag = T.MENU_TAG_LOBBY_USERLIST,
                             tooltip = "MENU_TIP_USER_LIST" },
  obj_button_private = button { x = 680, y = 316, w = 147, text = "MENU_LOBBY_PRIVATE",
                                tag = T.MENU_TAG_LOBBY_PRIVATE, tooltip = "MENU_TIP_PRIVATE" },
  obj_button_toall = button { x = 833, y = 316, w = 147, text = "MENU_LOBBY_TOALL",
                              tag = T.MENU_TAG_LOBBY_TOALL, tooltip = "MENU_TIP_TOALL" },
  obj_button_profile = button { x = 680, y = 352, w = 147, text = "MENU_LOBBY_PROFILE",
                                tag = T.MENU_TAG_LOBBY_SHOWPROFILE, tooltip = "MENU_TIP_PROFILE" },
  obj_button_ignore = button { x = 833, y = 352, w = 147, text = "MENU_LOBBY_IGNORE",
                               tag = T.MENU_TAG_LOBBY_IGNORE, tooltip = "MENU_TIP_IGNORE" },
  label(680, 396, 300, "MENU_LOBBY_GAMES"),
  obj_list_game = GUI_List { x = 680, y = 418, w = 300, h = 120 },
  obj_button_create = button { x = 680, y = 547, w = 147, text = "MENU_LOBBY_CREATE",
                               tag = T.MENU_TAG_LOBBY_CREATE, tooltip = "MENU_TIP_CREATE_GAME" },
  obj_button_join = button { x = 833, y = 547, w = 147, text = "MENU_LOBBY_JOIN",
                             tag = T.MENU_TAG_LOBBY_JOIN, tooltip = "MENU_TIP_JOIN_GAME" },
  obj_button_back = button { x = 20, y = 630, text = "MENU_BACK",
                             tag = T.MENU_TAG_LOBBY_BACK, tooltip = "MENU_TIP_BACK_CHANNEL" },
  -- Shown while the server offers the game the player dropped out of.
  obj_button_rejoin = button { x = 680, y = 630, w = 300, text = "LOBBY_REJOIN", visible = false,
                               tag = T.MENU_TAG_LOBBY_REJOIN, tooltip = "MENU_TIP_REJOIN" },
  obj_cbox_filter = GUI_Checkbox { x = 850, y = 398, w = 20, h = 20, tag = T.MENU_TAG_LOBBY_FILTERTOGGLE,
                                   tooltip = "LOBBY_TIP_FILTER_ONLY" },
  obj_label_filter = label(876, 396, 104, "LOBBY_FILTER_ONLY"),
  obj_input_search = input("obj_input_search", 20, 592, 200, T.MENU_TAG_LOBBY_SEARCHINPUT),
  obj_button_search = button { x = 226, y = 589, w = 130, text = "LOBBY_SEARCH_BUTTON",
                               tag = T.MENU_TAG_LOBBY_SEARCH, tooltip = "LOBBY_TIP_SEARCH" },
  obj_button_friends = button { x = 680, y = 589, w = 147, text = "LOBBY_FRIENDS_BUTTON",
                                tag = T.MENU_TAG_LOBBY_FRIENDS, tooltip = "LOBBY_TIP_FRIENDS" },
  obj_button_filters = button { x = 833, y = 589, w = 147, text = "LOBBY_FILTERS_BUTTON",
                                tag = T.MENU_TAG_LOBBY_FILTERS, tooltip = "LOBBY_TIP_FILTERS" },
  obj_button_away = button { x = 513, y = 630, w = 147, text = "LOBBY_AWAY_BUTTON",
                             tag = T.MENU_TAG_LOBBY_AWAY, tooltip = "LOBBY_TIP_AWAY" } }

menu.lobbycontext = panel { x = 0, y = 0, w = 160, h = 196,
  obj_button1 = button { x = 5, y = 5, text = "MENU_LOBBY_PRIVATE", tag = T.MENU_TAG_LOBBY_PRIVATE },
  obj_button2 = button { x = 5, y = 44, text = "MENU_LOBBY_PROFILE",
                         tag = T.MENU_TAG_LOBBY_SHOWPROFILE },
  obj_button3 = button { x = 5, y = 83, text = "MENU_LOBBY_IGNORE", tag = T.MENU_TAG_LOBBY_IGNORE },
  obj_button4 = button { x = 5, y = 122, text = "LOBBY_CONTEXT_BEFRIEND",
                         tag = T.MENU_TAG_LOBBY_BEFRIEND },
  obj_button5 = button { x = 5, y = 161, text = "LOBBY_CONTEXT_BLOCK", tag = T.MENU_TAG_LOBBY_BLOCK } }

-- [SECTION] Friends, search, filters and news

menu.friends = panel { x = 162, y = 90, w = 700, h = 560,
  head = label(10, 10, 680, "LOBBY_FRIENDS_HEAD", true),
  obj_list_friends = GUI_List { x = 20, y = 40, w = 660, h = 300, tag = T.MENU_TAG_FRIENDS_LIST },
  obj_button_accept = button { x = 20, y = 352, w = 124, text = "LOBBY_FRIENDS_ACCEPT",
                               tag = T.MENU_TAG_FRIENDS_ACCEPT },
  obj_button_remove = button { x = 154, y = 352, w = 124, text = "LOBBY_FRIENDS_REMOVE",
                               tag = T.MENU_TAG_FRIENDS_REMOVE },
  obj_button_block = button { x = 288, y = 352, w = 124, text = "LOBBY_FRIENDS_BLOCK",
                              tag = T.MENU_TAG_FRIENDS_BLOCK },
  obj_button_unblock = button { x = 422, y = 352, w = 124, text = "LOBBY_FRIENDS_UNBLOCK",
                                tag = T.MENU_TAG_FRIENDS_UNBLOCK },
  obj_button_private = button { x = 556, y = 352, w = 124, text = "LOBBY_FRIENDS_PRIVATE",
                                tag = T.MENU_TAG_FRIENDS_PRIVATE },
  obj_button_join = button { x = 556, y = 392, w = 124, text = "LOBBY_FRIENDS_JOIN",
                             tag = T.MENU_TAG_FRIENDS_JOIN },
  label(20, 400, 150, "LOBBY_FRIENDS_ADD_LABEL"),
  obj_input_name = input("obj_input_name", 170, 398, 200),
  obj_button_add = button { x = 380, y = 395, w = 140, text = "LOBBY_FRIENDS_ADD",
                            tag = T.MENU_TAG_FRIENDS_ADD },
  label(20, 444, 300, "LOBBY_FRIENDS_VISIBILITY"),
  obj_cbox_vis0 = GUI_Checkbox { x = 20, y = 472, w = 20, h = 20, tag = T.MENU_TAG_FRIENDS_VIS_ALL },
  label(48, 472, 150, "LOBBY_FRIENDS_VIS_ALL"),
  obj_cbox_vis1 = GUI_Checkbox { x = 220, y = 472, w = 20, h = 20, tag = T.MENU_TAG_FRIENDS_VIS_FRIENDS },
  label(248, 472, 150, "LOBBY_FRIENDS_VIS_FRIENDS"),
  obj_cbox_vis2 = GUI_Checkbox { x = 420, y = 472, w = 20, h = 20, tag = T.MENU_TAG_FRIENDS_VIS_NOBODY },
  label(448, 472, 150, "LOBBY_FRIENDS_VIS_NOBODY"),
  obj_button_close = button { x = 530, y = 512, text = "LOBBY_CLOSE", tag = T.MENU_TAG_FRIENDS_CLOSE } }

menu.search = panel { x = 262, y = 130, w = 500, h = 480,
  head = label(10, 10, 480, "LOBBY_SEARCH_HEAD", true),
  obj_list_result = GUI_List { x = 20, y = 40, w = 460, h = 300 },
  obj_button_prev = button { x = 20, y = 350, w = 80, text = "~<", tag = T.MENU_TAG_SEARCH_PREV },
  obj_label_page = label(110, 355, 280, "", true),
  obj_button_next = button { x = 400, y = 350, w = 80, text = "~>", tag = T.MENU_TAG_SEARCH_NEXT },
  obj_button_private = button { x = 20, y = 392, w = 225, text = "LOBBY_SEARCH_PRIVATE",
                                tag = T.MENU_TAG_SEARCH_PRIVATE },
  obj_button_join = button { x = 255, y = 392, w = 225, text = "LOBBY_SEARCH_JOIN",
                             tag = T.MENU_TAG_SEARCH_JOIN },
  obj_button_close = button { x = 175, y = 434, text = "LOBBY_CLOSE", tag = T.MENU_TAG_SEARCH_CLOSE } }

menu.filters = panel { x = 212, y = 110, w = 600, h = 500,
  head = label(10, 10, 580, "LOBBY_FILTERS_HEAD", true),
  obj_list_filters = GUI_List { x = 20, y = 40, w = 560, h = 170, tag = T.MENU_TAG_FILTERS_LIST },
  label(20, 224, 160, "LOBBY_FILTERS_NAME"),
  obj_input_name = input("obj_input_name", 180, 222, 300),
  label(20, 258, 160, "LOBBY_FILTERS_MISSION"),
  obj_input_mission = input("obj_input_mission", 180, 256, 300),
  obj_cbox_free = GUI_Checkbox { x = 20, y = 292, w = 20, h = 20 },
  label(48, 292, 300, "LOBBY_FILTERS_FREE"),
  obj_cbox_nopassword = GUI_Checkbox { x = 20, y = 322, w = 20, h = 20 },
  label(48, 322, 300, "LOBBY_FILTERS_NOPASSWORD"),
  obj_cbox_friends = GUI_Checkbox { x = 20, y = 352, w = 20, h = 20 },
  label(48, 352, 300, "LOBBY_FILTERS_FRIENDS"),
  obj_button_add = button { x = 20, y = 392, w = 180, text = "LOBBY_FILTERS_ADD",
                            tag = T.MENU_TAG_FILTERS_ADD },
  obj_button_change = button { x = 210, y = 392, w = 180, text = "LOBBY_FILTERS_CHANGE",
                               tag = T.MENU_TAG_FILTERS_CHANGE },
  obj_button_remove = button { x = 400, y = 392, w = 180, text = "LOBBY_FILTERS_REMOVE",
                               tag = T.MENU_TAG_FILTERS_REMOVE },
  obj_button_close = button { x = 225, y = 450, text = "LOBBY_CLOSE", tag = T.MENU_TAG_FILTERS_CLOSE } }

menu.away = panel { x = 162, y = 90, w = 700, h = 580,
  head = label(10, 10, 680, "LOBBY_AWAY_HEAD", true),
  obj_label_since = label(20, 38, 660, ""),
  obj_label_game = label(20, 60, 660, ""),
  label(20, 90, 400, "LOBBY_AWAY_LINES"),
  obj_list_lines = GUI_List { x = 20, y = 112, w = 660, h = 250 },
  label(20, 372, 400, "LOBBY_AWAY_FRIENDS"),
  obj_list_friends = GUI_List { x = 20, y = 394, w = 660, h = 110 },
  obj_button_delete = button { x = 20, y = 524, w = 150, text = "LOBBY_AWAY_DELETE",
                               tag = T.MENU_TAG_AWAY_DELETE },
  obj_button_deleteall = button { x = 180, y = 524, w = 150, text = "LOBBY_AWAY_DELETE_ALL",
                                  tag = T.MENU_TAG_AWAY_DELETEALL },
  obj_button_keep = button { x = 370, y = 524, w = 150, text = "LOBBY_AWAY_KEEP",
                             tag = T.MENU_TAG_AWAY_KEEP },
  obj_button_done = button { x = 530, y = 524, w = 150, text = "LOBBY_AWAY_DONE",
                             tag = T.MENU_TAG_AWAY_DONE } }

-- A friend came online, a game for a filter: a short line at the top right
-- that stays until it is read.
menu.socialnotice = panel { x = 598, y = 2, w = 416, h = 54,
  obj_label1 = GUI_Label { x = 8, y = 6, w = 352, h = 42 },
  obj_button1 = button { x = 368, y = 12, w = 40, text = "~x", tag = T.MENU_TAG_NOTICE_OK } }

menu.lobby_profileview = profile_view(362, 130, 430, {
  obj_button_ok = button { x = 75, y = 385, text = "MENU_OK", tag = T.MENU_TAG_LOBBY_PROFILEOK,
                           tooltip = "MENU_TIP_OK" } })

-- [SECTION] Game creation

menu.game = panel { x = 62, y = 80, w = 900, h = 620,
  head = label(10, 10, 880, "MENU_GAME_HEAD", true),
  label(20, 40, 300, "MENU_GAME_MISSIONS"),
  obj_list_mission = GUI_List { x = 20, y = 62, w = 300, h = 330, tag = T.MENU_TAG_GAME_MISSIONLIST,
                                tooltip = "MENU_TIP_MISSIONS" },
  obj_frame_border = GUI_Frame { x = 340, y = 40, w = 540, h = 460,
    obj_label_mission_name = GUI_Label { x = 10, y = 10, w = 520, h = 20, center = true },
    obj_frame_missionlogo = GUI_Frame { x = 142, y = 40, w = 256, h = 192 },
    obj_list_missiondesc = GUI_List { x = 10, y = 244, w = 520, h = 206 } },
  label(20, 410, 120, "MENU_GAME_NAME"),
  obj_input_name = input("obj_input_name", 140, 408, 180),
  label(20, 444, 120, "MENU_GAME_PASSWORD"),
  obj_input_password = input("obj_input_password", 140, 442, 180),
  obj_cbox_globchat = GUI_Checkbox { x = 20, y = 480, w = 20, h = 20, tooltip = "MENU_TIP_GLOBCHAT" },
  obj_label_globchat = label(48, 480, 270, "MENU_GAME_GLOBCHAT"),
  obj_cbox_ranking = GUI_Checkbox { x = 20, y = 510, w = 20, h = 20, tooltip = "MENU_TIP_RANKING" },
  obj_label_ranking = label(48, 510, 270, "MENU_GAME_RANKING"),
  obj_button_create = button { x = 730, y = 560, text = "MENU_GAME_CREATE",
                               tag = T.MENU_TAG_GAME_CREATE, tooltip = "MENU_TIP_START_GAME" },
  obj_button_back = button { x = 20, y = 560, text = "MENU_BACK",
                             tag = T.MENU_TAG_GAME_BACK, tooltip = "MENU_TIP_BACK" } }

-- [SECTION] LAN

menu.lan = panel { x = 12, y = 60, w = 640, h = 690,
  head = label(10, 10, 620, "MENU_LAN_HEAD", true),
  label(20, 40, 300, "MENU_LAN_GAMES"),
  obj_list_game = GUI_List { x = 20, y = 62, w = 600, h = 520 },
  obj_button_join = button { x = 470, y = 600, text = "MENU_LOBBY_JOIN", tag = T.MENU_TAG_LAN_JOIN,
                             tooltip = "MENU_TIP_JOIN_GAME" },
  obj_button_create = button { x = 310, y = 600, text = "MENU_LOBBY_CREATE",
                               tag = T.MENU_TAG_LAN_CREATE, tooltip = "MENU_TIP_CREATE_GAME" },
  obj_button_back = button { x = 20, y = 600, text = "MENU_QUIT", tag = T.MENU_TAG_LAN_BACK,
                             tooltip = "MENU_TIP_QUIT" } }

menu.profilemodify_lanversion = panel(merge({ x = 680, y = 60, w = 300, h = 390,
  head = label(10, 10, 280, "MENU_LAN_PROFILE", true),
  label(10, 40, 80, "MENU_PROFMOD_NAME"),
  obj_input_name = input("obj_input_name", 90, 38, 200) }, portrait_and_colours(90)))

-- [SECTION] Registration

ShowMenu(menu.background)
for _, m in pairs(menu) do
  if type(m) == "table" then RegisterMenu(m) end
end
