-- Mission 3: grand_exchange.
vorl_mission_init = {
  mission_keyname = "grand_exchange",
  mission_title_resname = "MISSION_T3",
  mission_description_resname = "MISSION_D3",
  mission_creator = "~Vorlane design team",
  mission_picture = "mission.pic.grand_exchange",
  mission_avail = true,
  mission_winpoints_won = 3,
  mission_winpoints_lost = 1,
}
