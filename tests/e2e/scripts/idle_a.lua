-- The front end whose CPU is measured: in a channel with the caret blinking
-- in the chat input, idle for E2E_IDLE_MS,
-- then while the second front end sends E2E_BURST_LINES chat lines. It sleeps
-- through both periods (a script polling every frame would itself keep the
-- window drawing) and reads its own CPU time from /proc/self/stat.
-- Writes "idle_cpu_percent N" and "burst_cpu_percent N" to E2E_REPORT.
local ap = autopilot
local C = dofile(os.getenv("E2E_DIR") .. "/common.lua")
local run = os.getenv("E2E_RUN")
local idle_ms = tonumber(os.getenv("E2E_IDLE_MS") or "10000")
local lines = tonumber(os.getenv("E2E_BURST_LINES") or "100")
local burst_ms = tonumber(os.getenv("E2E_BURST_MS") or "5000")

-- Seconds of CPU of the whole process (every thread) and of the uptime clock.
-- /proc counts CPU in ticks of 1/100 s on Linux.
local function sample()
  local f = io.open("/proc/self/stat", "r")
  local stat = f:read("a")
  f:close()
  local fields = {}
  for value in stat:match("%) (.*)"):gmatch("%S+") do fields[#fields + 1] = value end
  local u = io.open("/proc/uptime", "r")
  local uptime = tonumber(u:read("a"):match("^(%S+)"))
  u:close()
  -- utime and stime are fields 14 and 15; the list starts at field 3.
  return (tonumber(fields[12]) + tonumber(fields[13])) / 100, uptime
end
local function percent(c0, t0, c1, t1)
  return string.format("%.1f", 100 * (c1 - c0) / math.max(t1 - t0, 0.01))
end

ap.wait(2)
C.enter_lobby("ivan")
C.touch(run .. "/a_in")
ap.assert(C.wait_for_file(run .. "/b_in"), "second client did not enter")
-- As a player would sit: in the chat input, its caret blinking.
ap.click("menu.lobby.obj_input_chat")
ap.sleep(1000)
local c0, t0 = sample()
ap.sleep(idle_ms)
local c1, t1 = sample()
C.touch(run .. "/a_idle_done")
ap.assert(C.wait_for_file(run .. "/b_burst"), "second client did not start the burst")
local c2, t2 = sample()
ap.sleep(burst_ms)
local c3, t3 = sample()
ap.assert(ap.wait_until(function() return C.chat_has("[tess]: burst " .. lines) end, 20000),
          "the last burst line did not arrive")
local report = io.open(os.getenv("E2E_REPORT") or (run .. "/report"), "w")
report:write("idle_cpu_percent ", percent(c0, t0, c1, t1), "\n")
report:write("burst_cpu_percent ", percent(c2, t2, c3, t3), "\n")
report:write("idle_seconds ", string.format("%.2f", t1 - t0), "\n")
report:write("burst_seconds ", string.format("%.2f", t3 - t2), "\n")
report:close()
C.touch(run .. "/a_done")
ap.quit(0)
