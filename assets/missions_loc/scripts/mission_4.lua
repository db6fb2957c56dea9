-- Mission 4: broker_credit.
vorl_mission_init = {
  mission_keyname = "broker_credit",
  mission_title_resname = "MISSION_T4",
  mission_description_resname = "MISSION_D4",
  mission_creator = "~Vorlane design team",
  mission_picture = "mission.pic.broker",
  mission_avail = true,
  mission_winpoints_won = 3,
  mission_winpoints_lost = 1,
  campaign_name = "CAMPAIGN_BROKER",
  campaign_anchor = true,
  campaign_winpoints_needed = 3,
  campaign_next_anchor = "broker_blockade",
}
