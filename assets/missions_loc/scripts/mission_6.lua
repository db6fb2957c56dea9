-- Mission 6: broker_crash.
vorl_mission_init = {
  mission_keyname = "broker_crash",
  mission_title_resname = "MISSION_T6",
  mission_description_resname = "MISSION_D6",
  mission_creator = "~Vorlane design team",
  mission_picture = "mission.pic.broker",
  mission_avail = true,
  mission_winpoints_won = 3,
  mission_winpoints_lost = 1,
  campaign_name = "CAMPAIGN_BROKER",
  campaign_anchor = false,
  campaign_winpoints_needed = 3,
  campaign_next_anchor = "",
}
