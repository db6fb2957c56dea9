-- The talker beside idle_a.lua: waits in the channel, then sends
-- E2E_BURST_LINES chat lines spread over E2E_BURST_MS.
local ap = autopilot
local C = dofile(os.getenv("E2E_DIR") .. "/common.lua")
local run = os.getenv("E2E_RUN")
local lines = tonumber(os.getenv("E2E_BURST_LINES") or "100")
local burst_ms = tonumber(os.getenv("E2E_BURST_MS") or "5000")
ap.wait(2)
ap.assert(C.wait_for_file(run .. "/a_in"), "first client did not enter")
C.enter_lobby("tess")
C.touch(run .. "/b_in")
ap.assert(C.wait_for_file(run .. "/a_idle_done", 120000), "first client did not finish idling")
C.touch(run .. "/b_burst")
ap.click("menu.lobby.obj_input_chat")
local gap = math.max(0, burst_ms // math.max(lines, 1) - 5)
for i = 1, lines do
  ap.type("burst " .. i .. "\r")
  ap.sleep(gap)
end
ap.assert(C.wait_for_file(run .. "/a_done", 60000), "first client did not finish")
ap.quit(0)
