-- Friends scenario, bob: accepts alice's request, watches her presence and
-- writes her two lines by name while she sits in her game.
local ap = autopilot
local C = dofile(os.getenv("E2E_DIR") .. "/online_common.lua")
local list = "menu.friends.obj_list_friends"
ap.wait(2)
C.enter_channel("bob")
C.touch("b_in")
ap.assert(ap.wait_until(function() return C.notice_has("alice wants") end, 30000),
          "no notice of alice's request")
C.shot("notice_request")
C.click("menu.socialnotice.obj_button1")
C.click("menu.lobby.obj_button_friends")
C.expect_visible("menu.friends")
C.select(list, C.wait_item(list, "alice - wants to be your friend"))
C.click("menu.friends.obj_button_accept")
C.wait_item(list, "alice - in channel")
C.shot("friends")
C.touch("b_saw_channel")
C.wait_item(list, "alice - online")
C.touch("b_saw_online")
C.wait_item(list, "alice - in channel")
C.touch("b_saw_channel2")
C.wait_item(list, "alice - in game: Beta/", 60000)
ap.assert(ap.wait_until(function() return C.notice_has("alice opened a game") end, 10000),
          "no notice of alice's game")
C.click("menu.socialnotice.obj_button1")

-- Two lines for alice while she plays: they are kept for her.
C.select(list, C.find_item(list, "alice - "))
C.click("menu.friends.obj_button_private")
ap.assert(ap.text("menu.lobby.obj_frame_name.obj_label1") == "To alice", "the chat is not for alice")
C.click("menu.lobby.obj_input_chat")
ap.type("first while away\r")
C.click("menu.lobby.obj_input_chat")
ap.type("second while away\r")
C.touch("b_sent")

-- alice's front end comes back after her game and logs in by itself (a
-- hand-over, not a coming online: no notice).
C.click("menu.lobby.obj_button_friends")
C.wait_item(list, "alice - in channel", 90000)
ap.assert(C.wait_for_file("a_done", 90000), "alice did not finish")
ap.quit(0)
