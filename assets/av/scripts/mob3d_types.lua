-- The 3D object types of the lobby scene: id, class (always 0), the text
-- identifier of the display name, the model resource and a free number.
MOB_Register{ id = 0, type = 0, name = "MOB_STATION", pst = "lobby.model.station", some_value = 0 }
MOB_Register{ id = 1, type = 0, name = "MOB_FREIGHTER", pst = "lobby.model.freighter", some_value = 1 }
MOB_Register{ id = 2, type = 0, name = "MOB_FIGHTER", pst = "lobby.model.fighter", some_value = 2 }
