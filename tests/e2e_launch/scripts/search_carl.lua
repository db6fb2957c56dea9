-- Search scenario, carl: sits in the first channel until bob comes to him.
local ap = autopilot
local C = dofile(os.getenv("E2E_DIR") .. "/online_common.lua")
ap.wait(2)
C.channel_index = 0
C.enter_channel("carl")
C.click("menu.lobby.obj_input_chat")
ap.type("hello from the hall\r")
ap.assert(ap.wait_until(function()
  return C.find_item("menu.lobby.obj_list_chat", "[carl]: hello from the hall") ~= nil
end, 10000), "carl's line did not come back")
C.touch("c_in")
ap.assert(ap.wait_until(function() return C.has_item("menu.lobby.obj_list_user", "bob") ~= nil end,
                        60000), "bob did not come to carl's channel")
ap.assert(C.wait_for_file("b_done"), "bob did not finish")
ap.quit(0)
