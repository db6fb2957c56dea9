-- Mission 1: first_contact.
vorl_mission_init = {
  mission_keyname = "first_contact",
  mission_title_resname = "MISSION_T1",
  mission_description_resname = "MISSION_D1",
  mission_creator = "~Vorlane design team",
  mission_picture = "mission.pic.first_contact",
  mission_avail = true,
  mission_winpoints_won = 3,
  mission_winpoints_lost = 1,
}
