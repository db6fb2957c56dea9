-- Friends scenario, alice before her game: she asks bob to be friends from
-- the Friends panel, then leaves the channel (online), comes back (in
-- channel) and opens the game "Beta" (in game), each step once bob saw the
-- one before. The process then becomes vorlane-game.
local ap = autopilot
local C = dofile(os.getenv("E2E_DIR") .. "/online_common.lua")
ap.wait(2)
C.enter_channel("alice")
C.touch("a_in")
ap.assert(C.wait_for_file("b_in"), "bob did not enter the channel")
C.click("menu.lobby.obj_button_friends")
C.expect_visible("menu.friends")
C.click("menu.friends.obj_input_name")
ap.type("bob")
C.click("menu.friends.obj_button_add")
C.wait_item("menu.friends.obj_list_friends", "bob - ")
C.wait_item("menu.friends.obj_list_friends", "bob - in channel")
C.click("menu.friends.obj_button_close")

ap.assert(C.wait_for_file("b_saw_channel"), "bob did not see alice in her channel")
C.click("menu.lobby.obj_button_back")
C.expect_visible("menu.channel")
ap.assert(C.wait_for_file("b_saw_online"), "bob did not see alice online")
C.select("menu.channel.obj_list1", C.channel_index)
C.click("menu.channel.obj_button1")
C.expect_visible("menu.lobby")
ap.assert(C.wait_for_file("b_saw_channel2"), "bob did not see alice back in the channel")

C.host_game("Beta")
