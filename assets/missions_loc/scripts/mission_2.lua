-- Mission 2: smugglers_run.
vorl_mission_init = {
  mission_keyname = "smugglers_run",
  mission_title_resname = "MISSION_T2",
  mission_description_resname = "MISSION_D2",
  mission_creator = "~Vorlane design team",
  mission_picture = "mission.pic.smugglers_run",
  mission_avail = true,
  mission_winpoints_won = 3,
  mission_winpoints_lost = 1,
}
