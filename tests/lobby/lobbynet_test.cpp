// LOBBYNET's request states and reactions, driven packet by packet with the
// sends captured instead of going to a kernel.
#include "net/lobbynet.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <thread>

#include "baselib/bl_memory.h"
#include "baselib/timer.h"
#include "tests/lobby/lobby_test_support.h"
#include "tests/support/stalled_server.h"

using namespace vorlane::net;

namespace {

struct SentPacket {
    uint16_t id;
    std::vector<uint8_t> bytes;
};

// A client whose packets land in a list; `fail_sends` makes every send fail.
class CapturingLobbynet : public LOBBYNET {
  public:
    explicit CapturingLobbynet(LobbyFrontend* frontend) : LOBBYNET(frontend, "no-such-file.hdr") {}
    int16_t SendData(uint32_t receiver, uint16_t module_type, uint16_t sub_type, const void* data,
                     uint32_t size) override {
        EXPECT_EQ(receiver, 0xEFFFFFCCu);
        EXPECT_EQ(module_type, 12);
        if (fail_sends)
            return -1;
        const auto* bytes = static_cast<const uint8_t*>(data);
        sent.push_back({sub_type, std::vector<uint8_t>(bytes, bytes + size)});
        return 1;
    }
    // Delivers a server packet as the kernel would.
    void Receive(const std::vector<uint8_t>& packet) {
        ASSERT_GE(packet.size(), 2u);
        OnDataReceived(7, 0xEFFFFFCC, 12, GetU16(packet, 0), packet.data(),
                       uint32_t(packet.size()));
    }
    std::vector<uint16_t> SentIds() const {
        std::vector<uint16_t> ids;
        for (const SentPacket& p : sent) ids.push_back(p.id);
        return ids;
    }

    std::vector<SentPacket> sent;
    bool fail_sends = false;
};

class LobbynetTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // A kernel log-on with nothing pending makes the client busy.
        client.CltLogonAccepted(5);
        frontend.events.clear();
    }

    std::vector<uint8_t> Profile(uint16_t number, bool active, const char* name = "Ann") {
        ProfilePacket body;
        body.number = number;
        body.length = active ? int32_t(kProfileSize) : 0;
        if (active) {
            PutU16(body.profile, kProfActive, 1);
            PutText(body.profile, kProfName, name, kNameWidth);
        }
        return EncodeProfilePacket(check, kPktProfile, body);
    }
    // Runs the log-in up to four received profiles.
    void LogInWithProfiles(uint16_t profile, uint16_t channel) {
        ASSERT_EQ(client.Login("ann", "pw", "", "", false, profile, channel), 1);
        client.Receive(EncodeLoginResult(check, 0, 4711));
        for (uint16_t n = 1; n <= 4; ++n) client.Receive(Profile(n, n == 1));
    }

    LogCapture log;
    RecordingFrontend frontend;
    CapturingLobbynet client{&frontend};
    PKTCHECK check;
};

}  // namespace

TEST_F(LobbynetTest, LoginSuccessRequestsFourProfilesWithThePermanentId) {
    ASSERT_EQ(client.Login("abcdefghijklmnopqrst", "pw", "", "", false, 0xFFFF, 0xFFFF), 1);
    EXPECT_EQ(client.state(), 2);
    ASSERT_EQ(client.sent.size(), 1u);
    EXPECT_EQ(client.sent[0].id, 2);
    EXPECT_EQ(GetText(client.sent[0].bytes, 14, 15), "abcdefghijklmn");
    EXPECT_FALSE(log.Contains("pw"));  // the password never reaches a log line

    client.Receive(EncodeLoginResult(check, 0, 4711));
    EXPECT_EQ(client.permid(), 4711);
    EXPECT_EQ(client.state(), 11);
    // It asks for compact user records, then for its profiles, then for its
    // friends (no filters and no visibility were chosen: nothing of them).
    ASSERT_EQ(client.sent.size(), 7u);
    EXPECT_EQ(client.sent[6].id, kPktFriendsRequest);
    EXPECT_EQ(client.sent[1].id, kPktClientFeatures);
    EXPECT_EQ(GetU32(client.sent[1].bytes, 14), kFeatureCompactUserRecords);
    for (uint16_t n = 1; n <= 4; ++n) {
        EXPECT_EQ(client.sent[n + 1].id, 9);
        EXPECT_EQ(GetU32(client.sent[n + 1].bytes, 14), 4711u);
        EXPECT_EQ(GetU16(client.sent[n + 1].bytes, 18), n);
    }
    for (uint16_t n = 1; n <= 4; ++n) client.Receive(Profile(n, n == 2));
    EXPECT_EQ(client.state(), 0);
    EXPECT_TRUE(frontend.Has("profiles_complete"));
    EXPECT_EQ(GetU16(frontend.profiles_[1], kProfActive), 1);
    EXPECT_EQ(GetU16(frontend.profiles_[0], kProfActive), 0);
    EXPECT_TRUE(log.Contains("LOBBYNET: received profile: 2 [name: Ann, active: 1]"));
}

TEST_F(LobbynetTest, LoginResultsGiveTheirTextAndFinish) {
    const std::map<uint32_t, std::string> texts = {
        {1, "LOBBY_WRONG_VERSION"},        {8, "LOBBY_WRONG_PASSWORD"},
        {9, "LOBBY_USER_UNKNOWN"},         {11, "LOBBY_ALREADY_ONLINE"},
        {15, "LOBBY_INTERNAL_SRV_ERROR"},  {22, "LOBBY_LOGIN_LOCKED"},
        {23, "LOBBY_TOO_MANY_CONNECTIONS"}};
    for (const auto& [code, text] : texts) {
        client.Login("ann", "pw", "", "", false, 0xFFFF, 0xFFFF);
        client.Receive(EncodeLoginResult(check, code, 0));
        EXPECT_TRUE(frontend.Has("login_error " + text)) << code;
        EXPECT_EQ(client.state(), 45) << code;
    }
    // An unlisted code changes nothing, and a result outside state 2 is ignored.
    client.Login("ann", "pw", "", "", false, 0xFFFF, 0xFFFF);
    frontend.events.clear();
    client.Receive(EncodeLoginResult(check, 99, 0));
    EXPECT_EQ(client.state(), 2);
    EXPECT_TRUE(frontend.events.empty());
}

TEST_F(LobbynetTest, NoConnectionLostNoticeAfterAFailedLogin) {
    client.Login("ann", "pw", "", "", false, 0xFFFF, 0xFFFF);
    client.Receive(EncodeLoginResult(check, 8, 0));
    client.CltUserRemoved(5);
    EXPECT_FALSE(frontend.Has("connection_lost"));
    EXPECT_TRUE(frontend.Has("login_finished"));
    EXPECT_TRUE(client.idle());

    // In any other state a busy client reports the loss.
    client.CltLogonAccepted(6);
    client.Login("ann", "pw", "", "", false, 0xFFFF, 0xFFFF);
    frontend.events.clear();
    client.CltUserRemoved(6);
    EXPECT_TRUE(frontend.Has("connection_lost"));
}

// A ban's reason ends the log-in before the result meant for older clients;
// a kick ends the session without a connection-lost notice; a removed
// channel forgets its number; server lines and mutes only pass through.
TEST_F(LobbynetTest, RefusalsAndNoticesFromTheOperator) {
    client.Login("ann", "pw", "", "", false, 0xFFFF, 0xFFFF);
    client.Receive(EncodeNotice(check, kPktLoginRefused, {26, 90, "spam"}));
    client.Receive(EncodeLoginResult(check, 26, 0));
    EXPECT_EQ(frontend.events, std::vector<std::string>{"login_refused 90 spam"});
    EXPECT_EQ(client.state(), 45);

    client.CltLogonAccepted(6);
    client.Login("ann", "pw", "", "", false, 0, 2);
    client.Receive(EncodeLoginResult(check, 0, 3));
    frontend.events.clear();
    client.Receive(EncodeNotice(check, kPktNotice, {kNoticeServerLine, 0, "maintenance"}));
    client.Receive(EncodeNotice(check, kPktNotice, {kNoticeMuted, 60, "calm down"}));
    client.Receive(EncodeNotice(check, kPktNotice, {99, 0, "unknown kind"}));
    client.Receive(EncodeNotice(check, kPktNotice, {kNoticeChannelRemoved, 0, "Battle Zone"}));
    EXPECT_EQ(client.last_channel(), -1);
    client.Receive(EncodeNotice(check, kPktNotice, {kNoticeKicked, 0, "bye"}));
    EXPECT_EQ(client.state(), 45);
    client.CltUserRemoved(6);
    EXPECT_EQ(frontend.events, (std::vector<std::string>{
                                   "notice 5 0 maintenance", "notice 1 60 calm down",
                                   "notice 4 0 Battle Zone", "notice 2 0 bye", "login_finished"}));
}

TEST_F(LobbynetTest, FirstLoginResults) {
    ASSERT_EQ(client.FirstLogin("ann", "pw", "", "a@b.c", false), 1);
    EXPECT_EQ(client.state(), 1);
    EXPECT_EQ(client.sent.back().id, 1);
    client.Receive(EncodeU32Body(check, kPktResult, 0));
    EXPECT_TRUE(frontend.Has("account_created"));
    EXPECT_EQ(client.state(), 45);

    client.FirstLogin("ann", "pw", "", "a@b.c", false);
    client.Receive(EncodeU32Body(check, kPktResult, 10));
    EXPECT_TRUE(frontend.Has("first_login_error LOBBY_USER_EXISTS"));
    for (const auto& [code, text] :
         {std::pair<uint32_t, std::string>{23, "LOBBY_TOO_MANY_CONNECTIONS"},
          {24, "LOBBY_TOO_MANY_ACCOUNTS"}}) {
        client.FirstLogin("ann", "pw", "", "a@b.c", false);
        client.Receive(EncodeU32Body(check, kPktResult, code));
        EXPECT_TRUE(frontend.Has("first_login_error " + text)) << code;
    }
    // An unlisted code leaves the request standing.
    client.FirstLogin("ann", "pw", "", "a@b.c", false);
    client.Receive(EncodeU32Body(check, kPktResult, 8));
    EXPECT_EQ(client.state(), 1);
}

TEST_F(LobbynetTest, ProfilesMustArriveInOrder) {
    client.Login("ann", "pw", "", "", false, 0xFFFF, 0xFFFF);
    client.Receive(EncodeLoginResult(check, 0, 1));
    client.Receive(Profile(1, true));
    client.Receive(Profile(3, true));
    EXPECT_TRUE(frontend.Has("login_error LOBBY_INVALID_PROF_SEQ"));
    EXPECT_EQ(client.profile_count(), 1);
    // A profile packet shorter than its fields is ignored.
    std::vector<uint8_t> short_profile = Profile(2, true);
    short_profile.resize(8318);
    client.Receive(short_profile);
    EXPECT_EQ(client.profile_count(), 1);
    for (uint16_t n = 2; n <= 4; ++n) client.Receive(Profile(n, false));
    EXPECT_EQ(client.profile_count(), 4);
    // A fifth profile never lands beyond the four slots.
    frontend.events.clear();
    client.Receive(Profile(5, true));
    EXPECT_EQ(client.profile_count(), 4);
    EXPECT_TRUE(frontend.Has("login_error LOBBY_INVALID_PROF_SEQ"));
}

TEST_F(LobbynetTest, ProfileSelectionStates) {
    LogInWithProfiles(0xFFFF, 0xFFFF);
    client.sent.clear();
    ASSERT_EQ(client.SelectProfile(0, true), 1);
    // Upload: an emptying packet 10, the profile, then the selection.
    ASSERT_EQ(client.SentIds(), (std::vector<uint16_t>{10, 10, 17}));
    EXPECT_EQ(GetU32(client.sent[0].bytes, 20), 0u);
    EXPECT_EQ(GetU32(client.sent[1].bytes, 20), 8295u);
    EXPECT_EQ(GetU32(client.sent[1].bytes, 14), 4711u);
    EXPECT_EQ(GetU16(client.sent[2].bytes, 14), 1);
    EXPECT_EQ(client.state(), 17);

    client.Receive(EncodeU32Body(check, kPktResult, 13));
    EXPECT_EQ(client.state(), 17);
    client.Receive(EncodeU32Body(check, kPktResult, 0));
    EXPECT_EQ(client.state(), 23);
    EXPECT_EQ(client.sent.back().id, 23);
    EXPECT_TRUE(log.Contains("LOBBYNET:: profile selected"));

    // An empty slot is not uploaded; an index beyond the four slots sends nothing.
    client.sent.clear();
    client.SelectProfile(2, true);
    EXPECT_EQ(client.SentIds(), (std::vector<uint16_t>{17}));
    client.sent.clear();
    EXPECT_EQ(client.SelectProfile(4, false), 0);
    EXPECT_TRUE(client.sent.empty());
}

TEST_F(LobbynetTest, AutomaticLoginSelectsProfileAndJoinsLastChannel) {
    LogInWithProfiles(0, 3);
    EXPECT_FALSE(frontend.Has("profiles_complete"));
    EXPECT_EQ(client.state(), 17);
    client.Receive(EncodeU32Body(check, kPktResult, 0));
    client.Receive(EncodeChannelList(check, {{"Main", 0, 3, 0, 0}}));
    EXPECT_TRUE(frontend.Has("channel_list 1"));
    EXPECT_EQ(client.sent.back().id, 25);
    EXPECT_EQ(GetU16(client.sent.back().bytes, 14), 3);
    EXPECT_EQ(client.state(), 25);
    EXPECT_FALSE(client.automatic());
    // The join's refusal reaches the front end.
    client.Receive(EncodeU32Body(check, kPktResult, 20));
    EXPECT_TRUE(frontend.Has("channel_error"));
}

TEST_F(LobbynetTest, JoinChannelWithoutLastChannelSendsNothing) {
    EXPECT_EQ(client.JoinChannel(0xFFFF), 0);
    EXPECT_TRUE(client.sent.empty());
    EXPECT_EQ(client.JoinChannel(2), 1);
    EXPECT_EQ(client.JoinChannel(0xFFFF), 1);
    EXPECT_EQ(GetU16(client.sent.back().bytes, 14), 2);
}

TEST_F(LobbynetTest, ChatPacketsByTarget) {
    client.SendChat("hi all", -1);
    client.SendChat("hi seven", 7);
    ASSERT_EQ(client.SentIds(), (std::vector<uint16_t>{30, 32}));
    EXPECT_EQ(GetU32(client.sent[1].bytes, 14), 7u);
    EXPECT_EQ(GetText(client.sent[1].bytes, 18, 96), "hi seven");
    EXPECT_EQ(client.sent[1].bytes.size(), 114u);

    client.Receive(EncodeChat(check, kPktChatAllReceived, {9, "hello"}));
    client.Receive(EncodeChat(check, kPktChatPrivateReceived, {9, "psst"}));
    EXPECT_TRUE(frontend.Has("chat 0 9 hello"));
    EXPECT_TRUE(frontend.Has("chat 1 9 psst"));
    // A text without terminating zero is cut at its field's end.
    std::vector<uint8_t> full = EncodeChat(check, kPktChatAllReceived, {9, ""});
    std::fill(full.begin() + 18, full.end(), 'z');
    client.Receive(full);
    EXPECT_TRUE(frontend.Has("chat 0 9 " + std::string(96, 'z')));
    full.resize(100);
    frontend.events.clear();
    client.Receive(full);
    EXPECT_TRUE(frontend.events.empty());
    // A packet that another user sent (relayed by some server) is not believed.
    const auto forged = EncodeChat(check, kPktChatAllReceived, {9, "FORGED"});
    client.OnDataReceived(5, 9, 12, kPktChatAllReceived, forged.data(), uint32_t(forged.size()));
    EXPECT_TRUE(frontend.events.empty());
}

TEST_F(LobbynetTest, FailedSendsDisconnectOrReportZero) {
    client.fail_sends = true;
    EXPECT_EQ(client.SendChat("x", -1), 0);
    EXPECT_EQ(client.RequestChannelList(), 0);
    EXPECT_TRUE(log.Contains("LOBBYNET: unable to send packet"));
    // A failed log-in packet with no pending request reports 0.
    EXPECT_EQ(client.Login("ann", "pw", "", "", false, 0xFFFF, 0xFFFF), 0);
}

TEST_F(LobbynetTest, GameListAddChangeRemove) {
    GameRecord game{};
    PutText(game, kGameName, "Duel", kGameNameWidth);
    PutU32(game, kGameId, 77);
    client.Receive(EncodeGameRecord(check, kPktGameAdded, game));
    client.Receive(EncodeGameRecord(check, kPktGameAdded, game));  // repeated: still one
    ASSERT_EQ(client.games().size(), 1u);
    PutU16(game, kGamePlayers, 2);
    client.Receive(EncodeGameRecord(check, kPktGameChanged, game));
    EXPECT_EQ(GetU16(client.games()[0], kGamePlayers), 2);
    // A removal shorter than a record is ignored.
    std::vector<uint8_t> removal = EncodeGameRecord(check, kPktGameRemoved, game);
    client.Receive(std::vector<uint8_t>(removal.begin(), removal.begin() + 14));
    EXPECT_EQ(client.games().size(), 1u);
    client.Receive(removal);
    EXPECT_TRUE(client.games().empty());
    EXPECT_TRUE(frontend.Has("game_removed 77"));
    // Joining a channel starts with an empty game list.
    client.Receive(EncodeGameRecord(check, kPktGameAdded, game));
    client.JoinChannel(1);
    EXPECT_TRUE(client.games().empty());
}

TEST_F(LobbynetTest, UserListEnterAndLeave) {
    vorlane::net::Profile profile{};
    PutText(profile, kProfName, "Bob", kNameWidth);
    client.Receive(EncodeUserRecord(check, 12, 99, profile));
    ASSERT_EQ(client.users().size(), 1u);
    EXPECT_TRUE(frontend.Has("user_added Bob"));
    std::vector<uint8_t> short_record = EncodeUserRecord(check, 13, 99, profile);
    short_record.resize(139);
    client.Receive(short_record);
    EXPECT_EQ(client.users().size(), 1u);
    client.Receive(EncodeU32Body(check, kPktUserLeft, 12));
    EXPECT_TRUE(client.users().empty());
    EXPECT_TRUE(frontend.Has("user_removed Bob"));
    client.Receive(EncodeUserRecord(check, 12, 99, profile));
    client.LeaveChannel();
    EXPECT_TRUE(client.users().empty());
    EXPECT_EQ(client.sent.back().id, 27);
}

TEST_F(LobbynetTest, ChannelTableIsKeptUpToItsLimit) {
    std::vector<ChannelEntry> many(128, {"c", 0, 1, 0, 0});
    std::vector<uint8_t> packet = EncodeChannelList(check, many);
    packet.resize(5000, 0xEE);  // a sender that claims more than the table holds
    client.Receive(packet);
    EXPECT_EQ(client.channel_table().size(), 3216u);
    EXPECT_TRUE(frontend.Has("channel_list 0"));
}

TEST_F(LobbynetTest, SaveSettingsWritesTheUserSection) {
    struct Writer : LobbySettingsWriter {
        void SetInt(const char* section, const char* key, int64_t value) override {
            values[std::string(section) + "." + key] = std::to_string(value);
        }
        void SetText(const char* section, const char* key, const char* value) override {
            values[std::string(section) + "." + key] = value;
        }
        std::map<std::string, std::string> values;
    } writer;
    LogInWithProfiles(1, 2);
    client.SaveSettings(&writer);
    EXPECT_EQ(writer.values["user.permid"], "4711");
    EXPECT_EQ(writer.values["user.profid"], "1");
    EXPECT_EQ(writer.values["user.lastchannel"], "2");
    EXPECT_EQ(writer.values["user.username"], "ann");
    EXPECT_EQ(writer.values["user.password"], "pw");
}

// The rejoin offer lasts until the server withdraws that game's offer (channel
// 0) or a new log-in begins; an alert (another slot) is no offer.
TEST_F(LobbynetTest, RejoinOfferUntilWithdrawn) {
    LogInWithProfiles(0, 0xFFFF);
    GameRecord game = MakeGameRecord({"Alpha/M/host", false, 2, 4, 77});
    GameRecord other{};
    PutU32(other, kGameId, 78);
    client.Receive(EncodeGameAlert(check, kPktRejoinOffer, {1, 2, game}));
    EXPECT_FALSE(client.rejoin_offer());
    client.Receive(EncodeGameAlert(check, kPktRejoinOffer, {0, 2, game}));
    ASSERT_TRUE(client.rejoin_offer());
    EXPECT_EQ(client.rejoin_offer()->channel, 2);
    EXPECT_EQ(GameRecordId(client.rejoin_offer()->game), 77u);
    client.Receive(EncodeGameAlert(check, kPktRejoinOffer, {0, 0, other}));
    EXPECT_TRUE(client.rejoin_offer());
    GameRecord gone{};
    PutU32(gone, kGameId, 77);
    client.Receive(EncodeGameAlert(check, kPktRejoinOffer, {0, 0, gone}));
    EXPECT_FALSE(client.rejoin_offer());

    client.Receive(EncodeGameAlert(check, kPktRejoinOffer, {0, 2, game}));
    ASSERT_TRUE(client.rejoin_offer());
    ASSERT_EQ(client.Login("ann", "pw", "", "", false, 0xFFFF, 0xFFFF), 1);
    client.Receive(EncodeLoginResult(check, 0, 4711));
    EXPECT_FALSE(client.rejoin_offer());
}

TEST(LobbynetVersion, ReadFromVersionHeader) {
    LogCapture log;
    const std::string path = ::testing::TempDir() + "version_test.hdr";
    std::vector<uint8_t> bytes(60, 0);
    bytes[52] = 0x34;
    bytes[53] = 0x12;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_TRUE(file);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    LOBBYNET client(nullptr, path.c_str());
    EXPECT_EQ(client.version(), 0x1234);
    LOBBYNET missing(nullptr, "no-such-file.hdr");
    EXPECT_EQ(missing.version(), -1);
    EXPECT_TRUE(log.Contains("LOBBYNET(): unable to read version from version.hdr"));
}

TEST(TnsControl, SendDataChecksAndHeaderSplitting) {
    LogCapture log;
    struct Recorder : TNS_CONTROL {
        void OnDataReceived(uint32_t, uint32_t sender, uint16_t module, uint16_t sub,
                            const uint8_t*, uint32_t size) override {
            calls.push_back({sender, module, sub, size});
        }
        std::vector<std::array<uint32_t, 4>> calls;
    } control;
    const uint8_t data[2] = {1, 2};
    EXPECT_EQ(control.SendData(0, 12, 1, data, 2), -1);
    EXPECT_TRUE(log.Contains("Loomex: TNS_CONTROL::SendData: client/server not initialised !"));
    EXPECT_EQ(control.Disconnect(), -1);

    const uint8_t payload[6] = {12, 0, 31, 0, 0xAA, 0xBB};
    control.SRV_DataReceived(1, 9, payload, 6);
    ASSERT_EQ(control.calls.size(), 1u);
    EXPECT_EQ(control.calls[0], (std::array<uint32_t, 4>{9, 12, 31, 2}));
    control.SRV_DataReceived(1, 9, payload, 3);  // shorter than the module header
    EXPECT_EQ(control.calls.size(), 1u);
    EXPECT_TRUE(log.Contains("Loomex: TNS_CONTROL::SRV_DataReceived(): invalid data received !"));
}

TEST(TnsControl, ServerFaceSendsClosesAndKeepsBudgets) {
    BL_Init();
    LogCapture log;
    struct Side : TNS_CONTROL {
        void OnLogon(uint32_t id) override { logons.push_back(id); }
        void OnUserRemoved(uint32_t id) override { gone.push_back(id); }
        void OnConnectionLost(uint32_t id) override { gone.push_back(id); }
        void OnDataReceived(uint32_t, uint32_t, uint16_t, uint16_t sub, const uint8_t*,
                            uint32_t) override {
            subs.push_back(sub);
        }
        std::vector<uint32_t> logons, gone;
        std::vector<uint16_t> subs;
    };
    NET_SETTINGS settings;
    settings.usr_max = 4;
    settings.buf_writeblock = 4096;
    settings.thrd_exit = 500;
    settings.srv_newconnect = 20;
    settings.srv_waitforflags = 5;
    settings.srv_sendlogonrequest = 1000;
    settings.srv_checkdeadcon = 60000;
    settings.srv_checkdeadcalltime = 5000;
    settings.srv_sendalive = 1000;
    settings.usr_initnew = 1000;
    settings.usr_remove = 500;
    settings.usr_logoncheck = 5000;
    settings.usr_logofftimeout = 500;
    settings.drv_removetime = 100;
    settings.srv_bind_addr = 0x7F000001;
    const std::string dir = ::testing::TempDir() + "tns_server_face";
    Side server;
    ASSERT_EQ(server.InitServerSystemWithSettings(dir.c_str(), settings), 1);
    EXPECT_TRUE(server.relay());  // relaying stays on unless switched off
    settings.port = server.ListenPort();
    ASSERT_NE(settings.port, 0);
    Side a, b;
    ASSERT_EQ(a.InitClientSystemWithSettings(dir.c_str(), settings), 1);
    ASSERT_EQ(b.InitClientSystemWithSettings(dir.c_str(), settings), 1);
    {
        // Log-on blocks the client; the server answers from its own thread meanwhile.
        std::atomic<bool> stop{false};
        std::thread pump([&] {
            while (!stop) {
                server.WaitForMessages(5);
                server.Update();
            }
        });
        EXPECT_EQ(a.ConnectToHostname("127.0.0.1"), 1);
        EXPECT_EQ(b.ConnectToHostname("127.0.0.1"), 1);
        stop = true;
        pump.join();
    }
    auto pump_until = [&](const std::function<bool()>& done) {
        for (int i = 0; i < 3000 && !done(); ++i) {
            server.WaitForMessages(1);
            while (server.PendingMessages() > 0) server.Update();
            server.Update();
            a.Update();
            b.Update();
        }
        return done();
    };
    ASSERT_TRUE(pump_until([&] { return server.logons.size() == 2; }));
    const uint32_t ida = a.own_id(), idb = b.own_id();
    EXPECT_EQ(server.PeerAddress(ida), (std::array<uint8_t, 4>{127, 0, 0, 1}));
    EXPECT_EQ(server.PeerAddress(999), (std::array<uint8_t, 4>{}));

    const uint8_t hi[2] = {'h', 'i'};
    EXPECT_EQ(server.SendDataToMany({ida, idb, 999}, 12, 5, hi, 2), 2u);
    const TNS_MESSAGE batch[2] = {{6, std::span<const uint8_t>(hi)}, {7, {}}};
    EXPECT_EQ(server.SendDataBatch(ida, 12, batch), 1);
    EXPECT_EQ(server.SendDataBatch(999, 12, batch), -1);
    ASSERT_TRUE(pump_until([&] { return a.subs.size() == 3 && b.subs.size() == 1; }));
    EXPECT_EQ(a.subs, (std::vector<uint16_t>{5, 6, 7}));

    // A cap on what may wait for a user refuses what would pass it.
    TNS_QUEUE_STATE state;
    EXPECT_FALSE(server.QueueState(999, &state));
    ASSERT_TRUE(server.SetQueueCap(ida, 8));
    ASSERT_TRUE(server.QueueState(ida, &state));
    EXPECT_EQ(state.cap, 8u);
    EXPECT_LE(state.messages, 3u);
    const uint8_t ten[10] = {};
    EXPECT_EQ(server.SendData(ida, 12, 1, ten, sizeof ten), -1);
    std::vector<uint32_t> refused;
    EXPECT_EQ(server.SendDataToMany({ida, idb}, 12, 1, ten, sizeof ten, &refused), 1u);
    EXPECT_EQ(refused, std::vector<uint32_t>{ida});
    EXPECT_EQ(server.QueueTotals().refused_user, 2u);
    server.SetQueueTotalCap(1);  // and a cap on all users' queues together
    EXPECT_EQ(server.SendData(idb, 12, 1, ten, sizeof ten), -1);
    EXPECT_EQ(server.QueueTotals().refused_total, 1u);
    EXPECT_EQ(server.QueueTotals().cap, 1u);
    server.SetQueueTotalCap(0);
    ASSERT_TRUE(pump_until([&] { return b.subs.size() == 2; }));
    ASSERT_TRUE(server.SetQueueCap(ida, 0));
    EXPECT_EQ(server.SendData(ida, 12, 1, ten, sizeof ten), 1);

    // Closing after the queue drained: the reply still arrives, then the user goes.
    server.CloseWhenDrained(ida);
    ASSERT_TRUE(pump_until([&] { return !server.gone.empty() && !a.has_connection(); }));
    EXPECT_EQ(server.gone[0], ida);
    EXPECT_EQ(a.subs.size(), 4u);
    EXPECT_EQ(server.SendDataToMany({ida, idb}, 12, 5, hi, 2), 1u);
    a.RemoveSystem();
    b.RemoveSystem();
    server.RemoveSystem();
}

// Cancel while the log-in's answer is on its way: what still arrives shows
// nothing, and the client is free for the next log-in at once.
TEST_F(LobbynetTest, CancelledLoginShowsNothingThatStillArrives) {
    ASSERT_EQ(client.Login("ann", "pw", "", "", false, 0xFFFF, 0xFFFF), 1);
    client.CancelLogin();
    EXPECT_TRUE(client.idle());
    const size_t sent = client.sent.size();
    client.Receive(EncodeLoginResult(check, 0, 4711));
    for (uint16_t n = 1; n <= 4; ++n) client.Receive(Profile(n, true));
    client.Receive(EncodeChannelList(check, {{"Main", 0, 3, 0, 0}}));
    EXPECT_EQ(client.sent.size(), sent);
    EXPECT_TRUE(frontend.events.empty());
}

TEST_F(LobbynetTest, BusyClientDropsALoginWhenAsked) {
    EXPECT_FALSE(client.idle());
    EXPECT_EQ(client.Login("ann", "pw", "", "", true, 0xFFFF, 0xFFFF), 0);
    EXPECT_TRUE(client.sent.empty());
}

namespace {

NET_SETTINGS StalledSettings(uint16_t port) {
    NET_SETTINGS settings;
    settings.port = port;
    settings.usr_max = 2;
    settings.buf_writeblock = 4096;
    settings.thrd_exit = 500;
    settings.srv_waitforflags = 5;
    settings.srv_sendlogonrequest = 1000;
    settings.usr_initnew = 1000;
    settings.usr_remove = 500;
    settings.srv_sendalive = 1000;
    return settings;
}

}  // namespace

TEST(TnsControl, ConnectGivesUpWhenTheServerNeverAnswers) {
    BL_Init();  // the kernel's logs need the file layer
    LogCapture log;
    vorlane::testing::StalledServer stalled;
    ASSERT_NE(stalled.port(), 0);
    const std::string dir = ::testing::TempDir() + "tns_timeout";
    TNS_CONTROL control;
    ASSERT_EQ(control.InitClientSystemWithSettings(dir.c_str(), StalledSettings(stalled.port())),
              1);
    // The shipped 30 s wait runs on a manual clock, moved on while the
    // connect blocks.
    vorlane::baselib::ManualClock clock(1000);
    vorlane::baselib::ScopedSteadyClock route(clock);
    std::atomic<bool> connecting{true};
    std::thread mover([&] {
        while (connecting.load()) {
            clock.Advance(500);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    EXPECT_EQ(control.ConnectToHostname("127.0.0.1"), -1);
    connecting = false;
    mover.join();
    EXPECT_GE(clock.NowMs() - 1000, 30000u);
    EXPECT_TRUE(log.Contains("Loomex: TNS_CONTROL:: ConnectToHostname(): login timeout"));
    EXPECT_FALSE(control.logged_on());
    EXPECT_FALSE(control.has_connection());

    // Without a connection Disconnect fails quietly.
    log.Clear();
    EXPECT_EQ(control.Disconnect(), -1);
    EXPECT_TRUE(log.Texts().empty());
    control.RemoveSystem();
}

// The front end's log-in against a server that accepts and never answers:
// every step returns at once, the log-on wait ends in the log-in error, a
// cancel ends the attempt without one, and neither leaves the connection open.
TEST(LobbynetConnect, StalledServerNeverHoldsTheCallerAndCancelEndsAtOnce) {
    BL_Init();
    LogCapture log;
    vorlane::testing::StalledServer stalled;
    ASSERT_NE(stalled.port(), 0);
    RecordingFrontend frontend;
    LOBBYNET client(&frontend, "no-such-file.hdr");
    const std::string dir = ::testing::TempDir() + "lobbynet_stalled";
    ASSERT_EQ(client.InitClientSystemWithSettings(dir.c_str(), StalledSettings(stalled.port())), 1);
    vorlane::baselib::ManualClock clock(1000);
    vorlane::baselib::ScopedSteadyClock route(clock);
    auto slowest_step = [&](int steps) {
        auto slowest = std::chrono::steady_clock::duration::zero();
        for (int i = 0; i < steps; ++i) {
            const auto start = std::chrono::steady_clock::now();
            client.Update();
            slowest = std::max(slowest, std::chrono::steady_clock::now() - start);
        }
        return slowest;
    };

    ASSERT_EQ(client.Login("ann", "pw", "", "", true, 0xFFFF, 0xFFFF), 1);
    EXPECT_TRUE(client.connecting());
    ASSERT_TRUE(stalled.Accept(2000));
    EXPECT_LT(slowest_step(20), std::chrono::milliseconds(200));
    clock.Advance(29999);
    client.Update();
    EXPECT_TRUE(client.connecting());
    EXPECT_TRUE(frontend.events.empty());
    clock.Advance(1);
    client.Update();
    EXPECT_FALSE(client.connecting());
    EXPECT_FALSE(client.has_connection());
    EXPECT_EQ(frontend.events, std::vector<std::string>{"login_error LOBBY_LOGIN_IMPOSSIBLE"});
    EXPECT_TRUE(log.Contains("Loomex: TNS_CONTROL:: ConnectToHostname(): login timeout"));
    EXPECT_TRUE(stalled.PeerClosed(2000));

    // Cancelled while the log-on is awaited: nothing is reported, the
    // connection goes, and the next log-in starts afresh.
    frontend.events.clear();
    ASSERT_EQ(client.Login("ann", "pw", "", "", true, 0xFFFF, 0xFFFF), 1);
    ASSERT_TRUE(stalled.Accept(2000));
    slowest_step(2);
    client.CancelLogin();
    EXPECT_FALSE(client.connecting());
    EXPECT_TRUE(stalled.PeerClosed(2000));
    clock.Advance(60000);
    slowest_step(2);
    EXPECT_TRUE(frontend.events.empty());
    EXPECT_TRUE(client.idle());
    ASSERT_EQ(client.Login("ann", "pw", "", "", true, 0xFFFF, 0xFFFF), 1);
    EXPECT_TRUE(client.connecting());
    client.RemoveSystem();  // the end of the program, mid-attempt
    EXPECT_FALSE(client.connecting());
}

// What a server sends about friends, kept lines and history stays within the
// client's bounds, whatever it claims; a kept line resent in one session is
// shown once; filters go out after the log-in and only as they change.
TEST_F(LobbynetTest, SocialListsStayBoundedAndKeptLinesComeOnce) {
    client.SetGameFilters(std::vector<GameFilter>(10, GameFilter{0, kFilterActive, "duel", ""}));
    EXPECT_EQ(client.game_filters().size(), LOBBYNET::kMaxGameFilters);
    EXPECT_EQ(client.game_filters()[7].slot, 8);
    EXPECT_TRUE(client.sent.empty());  // no session yet
    LogInWithProfiles(0xFFFF, 0xFFFF);
    size_t filters = 0;
    for (const SentPacket& p : client.sent) filters += p.id == kPktGameFilter;
    EXPECT_EQ(filters, 8u);
    client.sent.clear();
    std::vector<GameFilter> fewer(2, GameFilter{0, kFilterActive, "duel", ""});
    fewer[1].name = "rim";
    client.SetGameFilters(fewer);
    // Slot 2 changed, 3 to 8 are removed (flags 0); slot 1 is as it was.
    ASSERT_EQ(client.sent.size(), 7u);
    EXPECT_EQ(DecodeGameFilter(client.sent[0].bytes)->slot, 2);
    EXPECT_EQ(DecodeGameFilter(client.sent[1].bytes)->flags, 0);

    // A list far over the bounds: the friend list keeps what the codec keeps,
    // changes beyond 256 entries are not added.
    std::vector<FriendEntry> many(300, FriendEntry{});
    for (size_t i = 0; i < many.size(); ++i) many[i].name = "f" + std::to_string(i);
    auto list = EncodeFriendList(check, many);
    client.Receive(list);
    EXPECT_EQ(client.friends().size(), kMaxFriendListEntries);
    client.Receive(EncodeFriendChanged(check, {kFriendUpdate, {"newcomer", 0, 0, 0, 0, ""}}));
    EXPECT_EQ(client.friends().size(), kMaxFriendListEntries);
    client.Receive(
        EncodeFriendChanged(check, {kFriendGone, {"F0", 0, 0, 0, 0, ""}}));  // any letter case
    EXPECT_EQ(client.friends().size(), kMaxFriendListEntries - 1);

    client.Receive(EncodeAwaySummary(check, {120, 1, kOutcomeWon, 5, 2, "G"}));
    for (uint32_t id = 1; id <= 130; ++id)
        client.Receive(EncodeStoredLine(check, kPktStoredLine, {id, id, 0, "bob", "hi"}));
    client.Receive(EncodeStoredLine(check, kPktStoredLine, {7, 7, 0, "bob", "again"}));
    EXPECT_EQ(client.stored_lines().size(), LOBBYNET::kMaxStoredLines);
    EXPECT_EQ(client.stored_lines()[6].text, "hi");
    for (uint32_t id = 1; id <= 60; ++id)
        client.Receive(EncodeStoredLine(check, kPktHistoryLine, {id, id, 0, "cid", "old"}));
    EXPECT_EQ(client.history().size(), LOBBYNET::kMaxHistoryLines);

    // A new log-in's summary starts the kept lines afresh; deleting one
    // tells the server which.
    client.Receive(EncodeAwaySummary(check, {1, 1, kOutcomeNone, 0, 0, ""}));
    EXPECT_TRUE(client.stored_lines().empty());
    client.Receive(EncodeStoredLine(check, kPktStoredLine, {9, 9, 0, "bob", "hi"}));
    client.sent.clear();
    EXPECT_EQ(client.DeleteStoredLine(9), 1);
    EXPECT_TRUE(client.stored_lines().empty());
    ASSERT_EQ(client.sent.size(), 1u);
    EXPECT_EQ(DecodeU32At14(client.sent[0].bytes), 9u);
}
