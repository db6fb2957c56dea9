-- Alert scenario, bob: saves a filter for games named "Gamma" with a free
-- seat; carl's "Delta" raises no notice, alice's "Gamma" does, while bob's
-- window is in the background.
local ap = autopilot
local C = dofile(os.getenv("E2E_DIR") .. "/online_common.lua")
ap.wait(2)
C.enter_channel("bob")
C.click("menu.lobby.obj_button_filters")
C.expect_visible("menu.filters")
C.click("menu.filters.obj_input_name")
ap.type("gamma")
C.click("menu.filters.obj_cbox_free")
C.click("menu.filters.obj_button_add")
C.wait_item("menu.filters.obj_list_filters", "\"gamma\"")
C.shot("filters")
C.click("menu.filters.obj_button_close")
local prefs = io.open(os.getenv("XDG_DATA_HOME") .. "/vorlane/preferences.cfg", "r")
ap.assert(prefs ~= nil, "no preferences file")
local text = prefs:read("a")
prefs:close()
ap.assert(text:find("filter1_name=gamma", 1, true), "the filter was not saved: " .. text)
C.touch("b_filter")

-- Carl's game: listed here, but no notice.
ap.assert(ap.wait_until(function() return C.game_index("Delta/") ~= nil end, 60000),
          "carl's game did not come")
ap.sleep(2000)
ap.assert(not ap.visible("menu.socialnotice"), "a notice for carl's game")
-- The filter on the game list hides carl's game.
C.click("menu.lobby.obj_cbox_filter")
ap.assert(C.game_index("Delta/") == nil, "the filtered list shows carl's game")
C.touch("b_background")
ap.background(12000)
ap.assert(C.notice_has("A game for your filter: Gamma/"), "no notice for alice's game")
ap.assert(C.game_index("Gamma/") ~= nil, "the filtered list does not show alice's game")
C.shot("notice_alert")
ap.quit(0)
