-- Alert scenario, alice: opens "Gamma" once bob's window is in the background.
local ap = autopilot
local C = dofile(os.getenv("E2E_DIR") .. "/online_common.lua")
ap.wait(2)
C.enter_channel("alice")
ap.assert(C.wait_for_file("b_background"), "bob did not go to the background")
ap.sleep(1000)
C.host_game("Gamma")
