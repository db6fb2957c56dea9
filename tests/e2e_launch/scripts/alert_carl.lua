-- Alert scenario, carl: opens "Delta", which bob's filter does not match.
local ap = autopilot
local C = dofile(os.getenv("E2E_DIR") .. "/online_common.lua")
ap.wait(2)
C.enter_channel("carl")
ap.assert(C.wait_for_file("b_filter"), "bob saved no filter")
C.host_game("Delta")
