-- The front end's side of the busy-channel benchmark (busy_channel.cpp):
-- enters the channel the simulated users are in, times until the user list
-- shows all of them, then watches the chat list for the benchmark's stamped
-- lines ("t:<monotonic ms>") until all have come.
-- Environment: E2E_DIR (the end-to-end scripts, for common.lua), BUSY_USER,
-- BUSY_EXPECT (rows the user list reaches, the player included), BUSY_LINES
-- (the stamped lines to wait for).
-- Output lines, read by the benchmark:
--   busy: ready
--   busy: listed MS ITERATIONS MAX_GAP_MS
--   busy: seen STAMP CLOCK_MS                 (one for each stamped line)
--   busy: chat LINES P50_MS P99_MS MAX_MS ITERATIONS_PER_S MAX_GAP_MS
local ap = autopilot
local C = dofile(os.getenv("E2E_DIR") .. "/common.lua")
local expect = tonumber(os.getenv("BUSY_EXPECT"))
local lines = tonumber(os.getenv("BUSY_LINES"))
local users = "menu.lobby.obj_list_user"
local chat = "menu.lobby.obj_list_chat"

local function percentile(values, p)
  if #values == 0 then return 0 end
  table.sort(values)
  return values[math.min(#values, math.floor(p * (#values - 1) + 0.5) + 1)]
end

C.to_channels(os.getenv("BUSY_USER"))
ap.print("busy: ready")
ap.frames()
local start = ap.clock()
ap.click("menu.channel.obj_button1", "left", false)  -- join the selected (first) channel
ap.assert(ap.wait_until(function() return ap.count(users) >= expect end, 60000),
          "user list stopped at " .. ap.count(users) .. " of " .. expect)
local frames, max_gap = ap.frames()
ap.print(string.format("busy: listed %.1f %d %.1f", ap.clock() - start, frames, max_gap))

-- Chat: every new row at the end of the list, back to the last one seen.
local latencies, seen = {}, nil
local function take_new_lines()
  local now = ap.clock()
  local newest = ap.item(chat, -1)
  local i, line = -1, newest
  while line and line ~= seen do
    local stamp = line:match("%]: t:([%d%.]+)$")
    if stamp then
      latencies[#latencies + 1] = now - tonumber(stamp)
      ap.print(string.format("busy: seen %s %.3f", stamp, now))
    end
    i = i - 1
    line = ap.item(chat, i)
  end
  seen = newest
  return #latencies >= lines
end
local chat_start = ap.clock()
ap.frames()
ap.assert(ap.wait_until(take_new_lines, 120000), "only " .. #latencies .. " of " .. lines .. " chat lines arrived")
frames, max_gap = ap.frames()
ap.print(string.format("busy: chat %d %.1f %.1f %.1f %.1f %.1f", #latencies,
                       percentile(latencies, 0.5), percentile(latencies, 0.99),
                       percentile(latencies, 1),
                       frames * 1000 / (ap.clock() - chat_start), max_gap))
ap.quit(0)
