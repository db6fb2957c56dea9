// The main map with the real menu script and texts: the tag dispatcher, the
// lobby notifications and the chat rules.
#include "frontend/mainmap.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "baselib/ioeve.h"
#include "gui/gui_control.h"
#include "gui/gui_widgets.h"
#include "net/lobby_packets.h"
#include "net/net_protocol.h"
#include "resources/text_source.h"
#include "resources/textlib.h"
#include "scripting/lua_glue.h"
#include "scripting/menu_lua.h"
#include "tests/menus/menu_fixture.h"
#include "video/seq_ctrl.h"

namespace {

using vorlane::frontend::MAINMAP;
using vorlane::frontend::MainMapContext;
namespace net = vorlane::net;

class MainMapTest : public MenuFixture {
  protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(MenuFixture::SetUp());
        cfg_path_ = testing::TempDir() + "mainmap_lobby.cfg";
        std::remove(cfg_path_.c_str());
        mplayer_path_ = testing::TempDir() + "mainmap_mplayer_" + std::to_string(getpid()) + ".cfg";
        std::remove(mplayer_path_.c_str());
    }

    void Make() {
        MainMapContext context;
        context.menus = menus_.get();
        context.lobby = lobby_.get();
        context.textlib = &textlib_;
        context.set_program_state = [this](int32_t state) { state_ = state; };
        context.lobby_cfg_path = cfg_path_;
        context.mplayer_cfg_path = mplayer_path_;
        context.menu_script = SourceFile("assets/multilobby/menus/lobby_menu.lua");
        map_ = std::make_unique<MAINMAP>(std::move(context));
        ASSERT_TRUE(map_->IsReady());
    }

    void TearDown() override {
        map_.reset();
        menus_.reset();
        std::remove(mplayer_path_.c_str());
    }

    bool Visible(const char* name) {
        GUI_OBJECT* object = map_->Object(name);
        for (GUI_OBJECT* o = object; o; o = o->parent()) {
            if (!o->IsVisible())
                return false;
            if (o == gui_.top())
                return true;
        }
        return false;
    }
    bool Disabled(const char* name) {
        GUI_OBJECT* object = map_->Object(name);
        return object && object->TestFlags(GUI_FLAG_DISABLED);
    }
    std::string Text(const char* name) {
        GUI_OBJECT* object = map_->Object(name);
        return object && object->GetText() ? object->GetText() : "";
    }
    void SetInput(const char* name, const char* text) {
        GUI_OBJECT* input = map_->Object(name, GUI_TYPE_INPUTBOX);
        ASSERT_NE(input, nullptr) << name;
        input->SetText(text);
    }
    void AddUser(uint32_t id, uint32_t second, const char* name) {
        net::Profile profile{};
        net::PutU16(profile, net::kProfActive, 1);
        net::PutText(profile, net::kProfName, name, 15);
        auto packet = net::EncodeUserRecord(net::PKTCHECK(), id, second, profile);
        lobby_->OnDataReceived(0, NET_ID_SERVER, 12, net::kPktUserEntered, packet.data(),
                               uint32_t(packet.size()));
    }
    void Chat(uint32_t sender, const char* text, bool is_private) {
        uint16_t id = is_private ? net::kPktChatPrivateReceived : net::kPktChatAllReceived;
        auto packet = net::EncodeChat(net::PKTCHECK(), id, {int32_t(sender), text});
        lobby_->OnDataReceived(0, NET_ID_SERVER, 12, id, packet.data(), uint32_t(packet.size()));
    }
    std::vector<std::string> Items(const char* name) {
        std::vector<std::string> items;
        if (GUI_LIST* list = map_->List(name)) {
            for (int i = 0; i < list->ItemCount(); ++i) items.push_back(list->GetItemText(i));
        }
        return items;
    }

    std::unique_ptr<MAINMAP> map_;
    std::string cfg_path_;
    std::string mplayer_path_;
    int32_t state_ = 0;
};

TEST_F(MainMapTest, ConstructionShowsLoginWithLimitsAndSavedLogin) {
    {
        std::ofstream cfg(cfg_path_);
        cfg << "[login]\nname=ann\npassw=pw\nemail=a@b.test\n[main]\nserver=127.0.0.2\n";
    }
    Make();
    EXPECT_TRUE(Visible("menu.login"));
    EXPECT_FALSE(Visible("menu.lobby"));
    EXPECT_EQ(Text("menu.login.obj_input_uname"), "ann");
    EXPECT_EQ(lobby_->host(), "127.0.0.2");
    auto* password = static_cast<GUI_INPUTBOX*>(
        map_->Object("menu.login.obj_input_password", GUI_TYPE_INPUTBOX));
    ASSERT_NE(password, nullptr);
    EXPECT_TRUE(password->masked());
    auto capacity_for = [](int limit) {
        GUI_INPUTBOX reference;
        reference.SetTextMax(limit);
        return reference.capacity();
    };
    EXPECT_EQ(password->capacity(), capacity_for(9));
    auto* chat =
        static_cast<GUI_INPUTBOX*>(map_->Object("menu.lobby.obj_input_chat", GUI_TYPE_INPUTBOX));
    ASSERT_NE(chat, nullptr);
    EXPECT_EQ(chat->capacity(), capacity_for(95));
    // Destruction writes the inputs back.
    SetInput("menu.login.obj_input_uname", "bert");
    map_.reset();
    std::ifstream saved(cfg_path_);
    std::stringstream text;
    text << saved.rdbuf();
    EXPECT_NE(text.str().find("name=bert"), std::string::npos);
    EXPECT_NE(text.str().find("server=127.0.0.2"), std::string::npos);

    // A main map that could not start never read the file and leaves it alone.
    MainMapContext broken;
    broken.lobby_cfg_path = cfg_path_;
    EXPECT_FALSE(MAINMAP(std::move(broken)).IsReady());
    std::ifstream kept(cfg_path_);
    std::stringstream after;
    after << kept.rdbuf();
    EXPECT_EQ(after.str(), text.str());
}

TEST_F(MainMapTest, LoginChecksInputsBeforeConnecting) {
    Make();
    SetInput("menu.login.obj_input_uname", "ann");
    map_->Click(1);  // log in without a password
    EXPECT_TRUE(Visible("menu.loginerror"));
    EXPECT_FALSE(Visible("menu.connectinfo"));
    EXPECT_EQ(Text("menu.loginerror.obj_label1"), "Please enter your password.");
    EXPECT_TRUE(Disabled("menu.login"));
    map_->Click(4);  // OK
    EXPECT_FALSE(Visible("menu.loginerror"));
    EXPECT_FALSE(Disabled("menu.login"));

    SetInput("menu.login.obj_input_uname", "");
    map_->Click(2);  // account creation with everything empty
    EXPECT_EQ(Text("menu.loginerror.obj_label1"),
              "Please enter an e-mail address to create an account.");
    map_->Click(3);  // quit
    EXPECT_EQ(state_, 2);
}

TEST_F(MainMapTest, PortraitIsClampedAtBothEnds) {
    Make();
    map_->Click(12);
    EXPECT_EQ(map_->portrait(), 0);
    for (int i = 0; i < 10; ++i) map_->Click(13);
    EXPECT_EQ(map_->portrait(), 7);
    map_->Click(12);
    EXPECT_EQ(map_->portrait(), 6);
}

TEST_F(MainMapTest, DoubleClickOnAProfileSelectsIt) {
    Make();
    std::array<net::Profile, 4> profiles{};
    net::PutU16(profiles[1], net::kProfActive, 1);
    net::PutText(profiles[1], net::kProfName, "Ann", 15);
    lobby_->profiles() = profiles;
    map_->ProfilesComplete(profiles);
    EXPECT_TRUE(Visible("menu.profile"));
    EXPECT_EQ(
        Items("menu.profile.obj_list1"),
        (std::vector<std::string>{"- empty slot -", "Ann", "- empty slot -", "- empty slot -"}));
    EXPECT_EQ(Text("menu.profile.obj_button3"), "Create profile");
    GUI_EVENT dclick = GUI_EVENT::Mouse(GEVE_MOUSE_DCLICK, 0, 0, GUI_BUTTON_LEFT);
    map_->Dispatch(9, dclick);  // empty slot: nothing
    EXPECT_FALSE(Visible("menu.profileinfo"));
    map_->List("menu.profile.obj_list1")->SetSelection(1);
    map_->Click(9);
    EXPECT_EQ(Text("menu.profile.frame1.obj_frame_name.obj_label1"), "Ann");
    EXPECT_EQ(Text("menu.profile.obj_button3"), "Overwrite profile");
    map_->Dispatch(9, dclick);
    EXPECT_TRUE(Visible("menu.profileinfo"));
    EXPECT_TRUE(Disabled("menu.profile"));
}

TEST_F(MainMapTest, OverwritingAnActiveSlotAsksFirst) {
    Make();
    std::array<net::Profile, 4> profiles{};
    net::PutU16(profiles[0], net::kProfActive, 1);
    lobby_->profiles() = profiles;
    map_->ProfilesComplete(profiles);
    SetInput("menu.profilemodify.obj_input_name", "Zed");
    map_->Click(8);
    EXPECT_TRUE(Visible("menu.profileyesno"));
    map_->Click(11);  // no
    EXPECT_FALSE(Visible("menu.profileyesno"));
    EXPECT_FALSE(Disabled("menu.profile"));
    // An empty slot is written at once.
    map_->List("menu.profile.obj_list1")->SetSelection(2);
    map_->Click(13);
    map_->Click(8);
    EXPECT_FALSE(Visible("menu.profileyesno"));
    EXPECT_EQ(net::GetText(lobby_->profiles()[2], net::kProfName, 15), "Zed");
    EXPECT_EQ(net::GetU32(lobby_->profiles()[2], net::kProfPortrait), 1u);
    EXPECT_EQ(net::GetU32(lobby_->profiles()[2], net::kProfColour), 1u);
}

TEST_F(MainMapTest, ChatLinesFormatsAndDrops) {
    Make();
    map_->ChannelEntered();
    EXPECT_TRUE(Visible("menu.lobby"));
    EXPECT_EQ(Text("menu.lobby.obj_frame_name.obj_label1"), "To everybody");
    AddUser(7, 70, "Ann");
    AddUser(8, 80, "Bob");
    EXPECT_EQ(Items("menu.lobby.obj_list_user"), (std::vector<std::string>{"Ann", "Bob"}));
    Chat(7, "hello", false);
    Chat(7, "hello", true);
    Chat(99, "from nobody", false);
    EXPECT_EQ(Items("menu.lobby.obj_list_chat"),
              (std::vector<std::string>{"[Ann]: hello", "From [Ann]: hello"}));
    // Ignore Bob: his lines are dropped; ignoring again lets them through.
    map_->List("menu.lobby.obj_list_user")->SetSelection(1);
    map_->Click(22);
    EXPECT_EQ(map_->ignore_list().size(), 1u);
    Chat(8, "muted", false);
    EXPECT_EQ(Items("menu.lobby.obj_list_chat").size(), 2u);
    map_->Click(22);
    Chat(8, "back", false);
    EXPECT_EQ(Items("menu.lobby.obj_list_chat").back(), "[Bob]: back");
    // A join or a leave touches one row; the selection stays with its player.
    GUI_LIST* users = map_->List("menu.lobby.obj_list_user");
    users->SetSelection(1);
    AddUser(9, 90, "Abe");
    EXPECT_EQ(Items("menu.lobby.obj_list_user"), (std::vector<std::string>{"Abe", "Ann", "Bob"}));
    EXPECT_EQ(users->selection(), 2);
    auto left = net::EncodeU32Body(net::PKTCHECK(), net::kPktUserLeft, 7);
    lobby_->OnDataReceived(0, NET_ID_SERVER, 12, net::kPktUserLeft, left.data(),
                           uint32_t(left.size()));
    EXPECT_EQ(Items("menu.lobby.obj_list_user"), (std::vector<std::string>{"Abe", "Bob"}));
    EXPECT_EQ(users->selection(), 1);
    // More lines than the box shows: it is full of the newest ones.
    GUI_LIST* chat = map_->List("menu.lobby.obj_list_chat");
    for (int i = 0; i < chat->VisibleRows() + 10; ++i) Chat(9, std::to_string(i).c_str(), false);
    EXPECT_EQ(chat->FirstVisible(), chat->ItemCount() - chat->VisibleRows());
}

TEST_F(MainMapTest, EnterInTheChatInputSendsAndPartnerLeavingResetsTarget) {
    Make();
    map_->ChannelEntered();
    AddUser(7, 70, "Ann");
    map_->List("menu.lobby.obj_list_user")->SetSelection(0);
    map_->Click(20);  // private
    EXPECT_EQ(map_->private_target(), 7);
    EXPECT_EQ(Text("menu.lobby.obj_frame_name.obj_label1"), "To Ann");
    SetInput("menu.lobby.obj_input_chat", "psst");
    GUI_EVENT other = GUI_EVENT::Key(GEVE_KEY_ASCII, 0, 'x', 0, 1);
    EXPECT_EQ(map_->Dispatch(25, other), 0);
    EXPECT_EQ(Text("menu.lobby.obj_input_chat"), "psst");
    GUI_EVENT enter = GUI_EVENT::Key(GEVE_KEY_ASCII, 0, 13, 0, 1);
    map_->Dispatch(25, enter);
    EXPECT_EQ(Text("menu.lobby.obj_input_chat"), "");
    EXPECT_EQ(Items("menu.lobby.obj_list_chat").back(), "To [Ann]: psst");
    // Ann leaves: the chat goes to everybody again.
    auto left = net::EncodeU32Body(net::PKTCHECK(), net::kPktUserLeft, 7);
    lobby_->OnDataReceived(0, NET_ID_SERVER, 12, net::kPktUserLeft, left.data(),
                           uint32_t(left.size()));
    EXPECT_EQ(map_->private_target(), -1);
    EXPECT_EQ(Text("menu.lobby.obj_frame_name.obj_label1"), "To everybody");
}

TEST_F(MainMapTest, NotificationsChangeTheMenus) {
    Make();
    map_->LoginError("LOBBY_WRONG_PASSWORD");
    EXPECT_TRUE(Visible("menu.loginerror"));
    EXPECT_EQ(Text("menu.loginerror.obj_label1"), "Wrong user name or password.");
    map_->LoginError("LOBBY_NOT_A_TEXT");  // a missing id shows itself
    EXPECT_EQ(Text("menu.loginerror.obj_label1"), "LOBBY_NOT_A_TEXT");
    map_->ChannelEntered();
    map_->ConnectionLost();
    EXPECT_FALSE(Visible("menu.lobby"));
    EXPECT_TRUE(Visible("menu.login"));
    EXPECT_TRUE(Disabled("menu.login"));
    EXPECT_EQ(Text("menu.loginerror.obj_label1"), "The connection to the lobby server was lost.");
    map_->ChannelError();
    EXPECT_TRUE(Visible("menu.channelerror"));
    EXPECT_TRUE(Disabled("menu.channel"));
    map_->Click(17);
    EXPECT_FALSE(Disabled("menu.channel"));
    map_->LoginRunning();
    EXPECT_TRUE(Disabled("menu.login.obj_button1"));
    map_->LoginFinished();
    EXPECT_FALSE(Disabled("menu.login.obj_button2"));
}

// The operator's notices: mutes and server lines in the chat, a removed
// channel and a kick over the screen they lead back to, a ban's time left.
TEST_F(MainMapTest, OperatorNoticesSayWhy) {
    Make();
    map_->ChannelEntered();
    map_->Notice({net::kNoticeServerLine, 0, "Restart soon"});
    map_->Notice({net::kNoticeMuted, 90061, "flooding"});
    EXPECT_EQ(
        Items("menu.lobby.obj_list_chat"),
        (std::vector<std::string>{
            "[Server]: Restart soon",
            "You are muted: nobody reads your lines. Reason: flooding. Time left: 1 d 1 h."}));
    map_->Notice({net::kNoticeChannelRemoved, 0, "Battle Zone"});
    EXPECT_FALSE(Visible("menu.lobby"));
    EXPECT_EQ(Text("menu.loginerror.obj_label1"),
              "The lobby's operator has closed the channel. Please choose another one. (Battle "
              "Zone)");
    map_->ChannelEntered();
    map_->Notice({net::kNoticeKicked, 0, ""});
    EXPECT_FALSE(Visible("menu.lobby"));
    EXPECT_TRUE(Visible("menu.login"));
    EXPECT_EQ(Text("menu.loginerror.obj_label1"),
              "The lobby's operator has sent you out of the lobby.");
    map_->LoginRefused("cheating!", net::kNoEnd);
    EXPECT_EQ(Text("menu.loginerror.obj_label1"),
              "You are banned from this lobby. Reason: cheating! It does not end.");
    map_->LoginRefused("bots", 125);
    EXPECT_EQ(Text("menu.loginerror.obj_label1"),
              "You are banned from this lobby. Reason: bots. Time left: 2 min 5 s.");
}

TEST_F(MainMapTest, ChannelListTextsAndAShortTable) {
    Make();
    std::vector<uint8_t> table(16 + 2 * 25, 0);
    table[14] = 200;  // more channels claimed than present: only two are read
    std::memcpy(&table[16], "Main", 4);
    table[16 + 21] = 3;
    std::memcpy(&table[41], "Trade", 5);
    table[41 + 15] = 0x2;
    table[41 + 21] = 1;
    table[41 + 23] = 2;
    map_->ChannelList(table, false);
    EXPECT_TRUE(Visible("menu.channel"));
    EXPECT_EQ(Items("menu.channel.obj_list1"),
              (std::vector<std::string>{"Main(3 players)", "Trade(1 players/2 games)"}));
    map_->ChannelList(std::vector<uint8_t>(5, 0), true);  // too short for a header
    EXPECT_TRUE(Items("menu.channel.obj_list1").empty());
}

}  // namespace

namespace {

// A mouse record as the input layer makes it.
IOEVE MouseRecord(uint32_t buttons, int x, int y) {
    IOEVE record;
    record.class_flags = kEveMouseInput;
    record.button_flags = buttons;
    record.x = uint16_t(x);
    record.y = uint16_t(y);
    return record;
}

}  // namespace

TEST_F(MainMapTest, AClickSkipsAPlayingSequenceAndGoesNoFurther) {
    Make();
    vorlane::video::SEQ_CTRL sequences(nullptr, nullptr, nullptr, nullptr);
    LuaStatePtr seq_lua(LUA_CreateState());
    sequences.RegisterFunctions(seq_lua.get());
    ASSERT_EQ(
        LUA_ExecuteString(seq_lua.get(),
                          "SEQUENCES = {} function SEQUENCES.hold() local s = Sequence_Create()"
                          " Modifier_Create(2, s, Step_Create(s), 60000) return s end",
                          "hold"),
        1);
    ASSERT_GT(sequences.Sequence_Execute("hold", ""), 0);
    ASSERT_TRUE(sequences.AnyPlaying());

    // Pressing on the log-in button while the sequence plays only skips it.
    GUI_OBJECT* login = map_->Object("menu.login.obj_button1");
    ASSERT_NE(login, nullptr);
    int x = 0, y = 0;
    login->ComputeAbsolute(x, y);
    x += login->w() / 2;
    y += login->h() / 2;
    IOEVE press = MouseRecord(kButtonLeft | kButtonPressed, x, y);
    IOEVE release = MouseRecord(kButtonLeft | kButtonReleased, x, y);
    EXPECT_EQ(map_->OnInput(&press), 1);
    EXPECT_FALSE(sequences.AnyPlaying());
    EXPECT_EQ(map_->OnInput(&release), 1);
    EXPECT_FALSE(Visible("menu.loginerror"));

    // With nothing playing, the next click reaches the button: empty inputs
    // are refused with the log-in error.
    map_->OnInput(&press);
    map_->OnInput(&release);
    EXPECT_TRUE(Visible("menu.loginerror"));
}

TEST_F(MainMapTest, ColourButtonsHangInTheirFrames) {
    Make();
    for (const char* editor : {"menu.profilemodify", "menu.profilemodify_lanversion"}) {
        GUI_OBJECT* frame = map_->Object((std::string(editor) + ".frame3").c_str());
        ASSERT_NE(frame, nullptr) << editor;
        for (int i = 1; i <= 5; ++i) {
            std::string name = std::string(editor) + ".frame3.radio_color" + std::to_string(i);
            GUI_OBJECT* radio = map_->Object(name.c_str(), GUI_TYPE_RADIO);
            ASSERT_NE(radio, nullptr) << name;
            EXPECT_EQ(radio->parent(), frame) << name;
        }
    }
}

TEST_F(MainMapTest, ReturnFromAGameLogsInAgainAndNeverWrapsTheProfileNumber) {
    // profid 65536 would wrap round to profile 0 in 16 bits; it must ask for no
    // profile instead, so the client does not pick one on its own.
    for (const char* profile : {"1", "65536"}) {
        std::ofstream(mplayer_path_)
            << "[game]\nreturn_from_game=1\n[user]\nusername=ann\n"
            << "password=secret\nprofid=" << profile << "\nlastchannel=2\n";
        lobby_ = std::make_unique<LOBBYNET>(nullptr, nullptr);
        Make();
        map_->Init(1);
        EXPECT_TRUE(Visible("menu.connectinfo")) << profile;
        EXPECT_FALSE(Visible("menu.login")) << profile;
        EXPECT_EQ(lobby_->automatic(), std::string(profile) == "1") << profile;
        map_.reset();
    }
}
