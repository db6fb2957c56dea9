// [SECTION] index
//   Construction, operations, kernel hooks, received packets.
#include "net/lobbynet.h"

#include <algorithm>
#include <cstdio>

#include "baselib/logsys.h"
#include "net/net_protocol.h"

using namespace vorlane::net;

namespace {

void Info(const char* text) {
    LOGSYS_Text(nullptr, kLogInfo, text);
}
void Error(const char* text) {
    LOGSYS_Text(nullptr, kLogError, text);
}

// Result code -> text identifier for the log-in (16) and first log-in (15)
// replies. A front end without a code's text ignores it and reports the
// connection as lost once the server closes it.
const char* LoginResultText(uint32_t code) {
    switch (code) {
        case 1:
            return "LOBBY_WRONG_VERSION";
        case 8:
            return "LOBBY_WRONG_PASSWORD";
        case 9:
            return "LOBBY_USER_UNKNOWN";
        case 11:
            return "LOBBY_ALREADY_ONLINE";
        case 15:
            return "LOBBY_INTERNAL_SRV_ERROR";
        case 22:
            return "LOBBY_LOGIN_LOCKED";
        case 23:
            return "LOBBY_TOO_MANY_CONNECTIONS";
        case 25:
            return "LOBBY_ADDRESS_BANNED";
        case 26:
            return "LOBBY_BANNED";
        case 27:
            return "LOBBY_CLUSTER_UNAVAILABLE";
        default:
            return nullptr;
    }
}

const char* FirstLoginResultText(uint32_t code) {
    switch (code) {
        case 1:
            return "LOBBY_WRONG_VERSION";
        case 10:
            return "LOBBY_USER_EXISTS";
        case 15:
            return "LOBBY_INTERNAL_SRV_ERROR";
        case 23:
            return "LOBBY_TOO_MANY_CONNECTIONS";
        case 24:
            return "LOBBY_TOO_MANY_ACCOUNTS";
        case 25:
            return "LOBBY_ADDRESS_BANNED";
        case 26:
            return "LOBBY_BANNED";
        case 27:
            return "LOBBY_CLUSTER_UNAVAILABLE";
        default:
            return nullptr;
    }
}

// The text identifier for a refused encrypted connection, or null.
const char* TlsRefusalText(TlsRefusal refusal) {
    switch (refusal) {
        case TlsRefusal::kPlainServer:
            return "LOBBY_TLS_PLAIN_SERVER";
        case TlsRefusal::kHandshakeFailed:
            return "LOBBY_TLS_HANDSHAKE_FAILED";
        case TlsRefusal::kExpired:
            return "LOBBY_TLS_EXPIRED";
        case TlsRefusal::kWrongHost:
            return "LOBBY_TLS_WRONG_HOST";
        case TlsRefusal::kUntrusted:
            return "LOBBY_TLS_UNTRUSTED";
        case TlsRefusal::kKeyChanged:
            return "LOBBY_TLS_KEY_CHANGED";
        default:
            return nullptr;
    }
}

template <typename Record>
auto FindById(std::vector<Record>& list, size_t offset, uint32_t id) {
    return std::find_if(list.begin(), list.end(),
                        [&](const Record& record) { return GetU32(record, offset) == id; });
}

}  // namespace

// [SECTION] Construction

LOBBYNET::LOBBYNET(LobbyFrontend* frontend, const char* version_file) : frontend_(frontend) {
    ReadVersion(version_file);
}

LOBBYNET::~LOBBYNET() = default;

void LOBBYNET::ReadVersion(const char* version_file) {
    version_ = -1;
    std::FILE* file = version_file ? std::fopen(version_file, "rb") : nullptr;
    uint8_t bytes[54] = {};
    const bool read = file && std::fread(bytes, 1, sizeof bytes, file) == sizeof bytes;
    if (file)
        std::fclose(file);
    if (!read) {
        Info("LOBBYNET(): unable to read version from version.hdr");
        return;
    }
    version_ = int16_t(bytes[52] | bytes[53] << 8);
}

bool LOBBYNET::FromServer(uint32_t sender) {
    return sender == NET_ID_SERVER;
}

void LOBBYNET::ClearLists() {
    users_.clear();
    games_.clear();
    history_.clear();
}

// [SECTION] Operations

bool LOBBYNET::SendPacket(const std::vector<uint8_t>& packet) {
    if (packet.empty()) {
        Error("LOBBYNET: unable to create packet");
        return false;
    }
    const auto header = DecodePacketHeader(packet);
    if (SendData(NET_ID_SERVER, kLobbyModuleType, header->id, packet.data(),
                 uint32_t(packet.size())) != 1) {
        Error("LOBBYNET: unable to send packet");
        return false;
    }
    return true;
}

bool LOBBYNET::SendOrDisconnect(const std::vector<uint8_t>& packet) {
    if (SendPacket(packet))
        return true;
    Disconnect();
    return false;
}

int16_t LOBBYNET::Login(const char* user, const char* password, const char* /*reserved*/,
                        const char* email, bool drop_if_busy, uint16_t profile, uint16_t channel) {
    if (!idle_ && drop_if_busy) {
        Disconnect();
        return 0;
    }
    user_name_ = user ? user : "";
    password_ = password ? password : "";
    email_ = email ? email : "";
    wished_profile_ = profile;
    wished_channel_ = channel;
    if (profile != kNoSelection && channel != kNoSelection) {
        automatic_ = 1;
        last_channel_ = channel;
    }
    return StartLogin(false);
}

int16_t LOBBYNET::FirstLogin(const char* user, const char* password, const char* /*reserved*/,
                             const char* email, bool drop_if_busy) {
    if (!idle_ && drop_if_busy) {
        Disconnect();
        return 0;
    }
    user_name_ = user ? user : "";
    password_ = password ? password : "";
    email_ = email ? email : "";
    return StartLogin(true);
}

int16_t LOBBYNET::StartLogin(bool first) {
    if (logged_on()) {
        Info(first ? "LOBBYNET: Sending firstlogin request..."
                   : "LOBBYNET: Sending login request...");
        LoginRequest request{user_name_, password_, email_};
        if (!SendPacket(first ? EncodeFirstLogin(check_, request) : EncodeLogin(check_, request))) {
            if (pending_request_ == 0)
                return 0;
            if (frontend_) {
                if (first)
                    frontend_->FirstLoginError("LOBBY_LOGIN_NOTSENT");
                else
                    frontend_->LoginError("LOBBY_LOGIN_NOTSENT");
            }
        }
        state_ = first ? 1 : 2;
        return 1;
    }
    pending_request_ = first ? 1 : 2;
    if (connecting())
        return 1;  // the request goes out once connected
    if (StartConnect(host_.c_str()) != 1) {
        pending_request_ = 0;
        return 0;
    }
    return 1;
}

void LOBBYNET::CancelLogin() {
    pending_request_ = 0;
    if (connecting()) {
        CancelConnect();
        return;
    }
    if (!logged_on())
        return;
    // The player chose to leave: the end of the connection is no loss, and
    // the next log-in need not wait for it.
    state_ = 45;
    idle_ = 1;
    Disconnect();
}

int16_t LOBBYNET::RequestProfiles() {
    profile_count_ = 0;
    for (uint16_t number = 1; number <= 4; ++number) {
        if (!SendOrDisconnect(EncodeProfileRequest(check_, uint32_t(permid_), number)))
            return 0;
    }
    state_ = 11;
    return 1;
}

int16_t LOBBYNET::SelectProfile(uint16_t index, bool upload) {
    if (index >= profiles_.size())
        return 0;
    const Profile& profile = profiles_[index];
    if (upload && GetU16(profile, kProfActive) != 0) {
        ProfilePacket body;
        body.permid = uint32_t(permid_);
        body.number = uint16_t(index + 1);
        body.length = 0;
        if (!SendPacket(EncodeProfilePacket(check_, kPktProfileUpload, body)))
            return 0;
        body.length = int32_t(kProfileSize);
        body.profile = profile;
        if (!SendPacket(EncodeProfilePacket(check_, kPktProfileUpload, body)))
            return 0;
    }
    if (!SendPacket(EncodeU16Body(check_, kPktSelectProfile, uint16_t(index + 1))))
        return 0;
    state_ = 17;
    current_profile_ = index;
    return 1;
}

int16_t LOBBYNET::RequestChannelList() {
    if (!SendOrDisconnect(EncodeEmpty(check_, kPktChannelListRequest)))
        return 0;
    state_ = 23;
    return 1;
}

int16_t LOBBYNET::JoinChannel(uint16_t number) {
    if (number == kNoSelection) {
        if (last_channel_ < 0)
            return 0;
        number = uint16_t(last_channel_);
    }
    games_.clear();
    history_.clear();
    last_channel_ = number;
    if (!SendOrDisconnect(EncodeU16Body(check_, kPktJoinChannel, number)))
        return 0;
    state_ = 25;
    return 1;
}

int16_t LOBBYNET::LeaveChannel() {
    const bool sent = SendOrDisconnect(EncodeEmpty(check_, kPktLeaveChannel));
    users_.clear();
    return sent ? 1 : 0;
}

int16_t LOBBYNET::SendChat(const char* text, int32_t target) {
    ChatPacket chat{target, text ? text : ""};
    const uint16_t id = target == -1 ? kPktChatAll : kPktChatPrivate;
    return SendOrDisconnect(EncodeChat(check_, id, chat)) ? 1 : 0;
}

void LOBBYNET::SaveSettings(LobbySettingsWriter* config) const {
    if (!config)
        return;
    config->SetInt("user", "permid", permid_);
    config->SetInt("user", "profid", current_profile_);
    config->SetInt("user", "lastchannel", last_channel_);
    config->SetText("user", "username", user_name_.c_str());
    config->SetText("user", "password", password_.c_str());
}

// [SECTION] Kernel hooks

void LOBBYNET::OnConnectFinished(int16_t result) {
    if (result == 1) {
        // A log-on without a request of this client's was reported by OnLogon.
        if (idle_) {
            idle_ = 0;
            if (frontend_)
                frontend_->LoginRunning();
        }
        return;
    }
    const int pending = pending_request_;
    pending_request_ = 0;
    if (!frontend_ || pending == 0)
        return;
    if (tls_refusal() == TlsRefusal::kFirstUse) {
        frontend_->ServerKeyNotice("LOBBY_TLS_FIRST_USE", server_fingerprint().c_str());
        return;
    }
    // A full server says so at once, and so does a server whose encryption
    // cannot be trusted; any other failure (no answer within the log-on
    // wait, no such host, refused) means the log-in cannot be made.
    const char* text = TlsRefusalText(tls_refusal());
    if (!text) {
        text = logon_refusal() == NET_LOGON_REFUSED_FULL ? "LOBBY_SERVER_FULL"
                                                         : "LOBBY_LOGIN_IMPOSSIBLE";
    }
    if (pending == 1)
        frontend_->FirstLoginError(text);
    else
        frontend_->LoginError(text);
}

void LOBBYNET::OnLogon(uint32_t /*id*/) {
    Info("LOBBYNET::Connection established...");
    const int pending = pending_request_;
    if (pending == 2) {
        Login(user_name_.c_str(), password_.c_str(), "", email_.c_str(), false, wished_profile_,
              wished_channel_);
    } else if (pending == 1) {
        FirstLogin(user_name_.c_str(), password_.c_str(), "", email_.c_str(), false);
    }
    pending_request_ = 0;
    if (pending == 0) {
        idle_ = 0;
        if (frontend_)
            frontend_->LoginRunning();
    }
}

void LOBBYNET::OnLogoff(uint32_t /*id*/) {
    state_ = 45;
    in_session_ = false;
}

void LOBBYNET::OnConnectionLost(uint32_t /*id*/) {
    if (!idle_ && state_ != 45 && frontend_)
        frontend_->ConnectionLost();
    ClearLists();
    rejoin_offer_.reset();
    in_session_ = false;
    idle_ = 1;
    if (frontend_)
        frontend_->LoginFinished();
}

void LOBBYNET::OnUserRemoved(uint32_t id) {
    OnConnectionLost(id);
}

// [SECTION] Received packets

void LOBBYNET::OnDataReceived(uint32_t /*receiver*/, uint32_t sender, uint16_t module_type,
                              uint16_t sub_type, const uint8_t* data, uint32_t size) {
    if (!FromServer(sender) || module_type != kLobbyModuleType || !data)
        return;
    // A finished session (a cancelled log-in among them) shows nothing more
    // of what is still on its way.
    if (state_ == 45)
        return;
    std::span<const uint8_t> packet(data, size);
    switch (sub_type) {
        case kPktProfile:
            HandleProfile(packet);
            break;
        case kPktGameAdded:
        case kPktGameChanged:
        case kPktGameRemoved:
            HandleGame(sub_type, packet);
            break;
        case kPktResult:
            HandleResult(packet);
            break;
        case kPktLoginResult:
            HandleLoginResult(packet);
            break;
        case kPktChannelList:
            HandleChannelList(packet);
            break;
        case kPktChannelEntered:
            if (frontend_)
                frontend_->ChannelEntered();
            break;
        case kPktUserEntered:
        case kPktUserEnteredCompact:
            HandleUserEntered(packet);
            break;
        case kPktUserLeft:
            HandleUserLeft(packet);
            break;
        case kPktLoginRefused:
            HandleLoginRefused(packet);
            break;
        case kPktNotice:
            HandleNotice(packet);
            break;
        case kPktRejoinOffer:
            HandleRejoinOffer(packet);
            break;
        case kPktChatAllReceived:
        case kPktChatPrivateReceived:
            if (packet.size() >= 18 + kChatTextWidth && frontend_) {
                const auto chat = DecodeChat(packet);
                frontend_->ChatLine(chat->text.c_str(), uint32_t(chat->user),
                                    sub_type == kPktChatPrivateReceived);
            }
            break;
        default:
            HandleSocial(sub_type, packet);
            break;
    }
}

void LOBBYNET::HandleProfile(std::span<const uint8_t> packet) {
    const auto body = DecodeProfilePacket(packet);
    if (!body)
        return;
    // Only the next slot in order is accepted, and never a fifth.
    if (profile_count_ >= int(profiles_.size()) || int(body->number) - 1 != profile_count_) {
        if (frontend_)
            frontend_->LoginError("LOBBY_INVALID_PROF_SEQ");
        return;
    }
    Profile& slot = profiles_[size_t(profile_count_)];
    if (body->length <= 0) {
        slot.fill(0);
    } else {
        slot = body->profile;
    }
    ++profile_count_;
    char line[160];
    std::snprintf(line, sizeof line, "LOBBYNET: received profile: %d [name: %s, active: %d]",
                  int(body->number), GetText(slot, kProfName, kNameWidth).c_str(),
                  int(GetU16(slot, kProfActive)));
    Info(line);
    if (profile_count_ < int(profiles_.size()))
        return;
    state_ = 0;
    if (automatic_) {
        SelectProfile(wished_profile_, false);
    } else if (frontend_) {
        frontend_->ProfilesComplete(profiles_);
    }
}

void LOBBYNET::HandleGame(uint16_t id, std::span<const uint8_t> packet) {
    const auto received = DecodeGameRecord(packet);
    if (!received)
        return;
    const GameRecord& record = *received;
    const uint32_t game_id = GameRecordId(record);
    auto found = FindById(games_, kGameId, game_id);
    if (id == kPktGameAdded) {
        // A game announced twice replaces its first entry instead of doubling it.
        if (found != games_.end()) {
            *found = record;
        } else {
            games_.push_back(record);
        }
        if (frontend_)
            frontend_->GameListChanged(games_, &record, nullptr);
    } else if (id == kPktGameChanged) {
        if (found == games_.end())
            return;
        *found = record;
        if (frontend_)
            frontend_->GameListChanged(games_, &record, nullptr);
    } else {
        if (found == games_.end())
            return;
        const GameRecord removed = *found;
        games_.erase(found);
        if (frontend_)
            frontend_->GameListChanged(games_, nullptr, &removed);
    }
}

void LOBBYNET::HandleResult(std::span<const uint8_t> packet) {
    const auto code = DecodeU32At14(packet);
    if (!code)
        return;
    switch (state_) {
        case 1: {
            const char* text = FirstLoginResultText(*code);
            if (*code == 0) {
                if (frontend_)
                    frontend_->AccountCreated();
            } else if (text) {
                if (frontend_)
                    frontend_->FirstLoginError(text);
            } else {
                return;
            }
            pending_request_ = 0;
            state_ = 45;
            break;
        }
        case 17:
            if (*code == 13)
                return;
            state_ = 0;
            if (*code == 0) {
                Info("LOBBYNET:: profile selected");
                RequestChannelList();
            }
            break;
        case 25:
            if (*code == 20 && frontend_)
                frontend_->ChannelError();
            break;
        default:
            break;
    }
}

void LOBBYNET::HandleLoginResult(std::span<const uint8_t> packet) {
    if (state_ != 2)
        return;
    const auto result = DecodeLoginResult(packet);
    if (!result)
        return;
    if (result->code == 0) {
        // An offer of an earlier log-in is the server's to make again.
        rejoin_offer_.reset();
        permid_ = int32_t(result->permid);
        pending_request_ = 0;
        state_ = 0;
        // Other users' records come as the 140 bytes this client keeps of
        // them; a server that does not know the packet sends them whole.
        SendPacket(EncodeU32Body(check_, kPktClientFeatures, kFeatureCompactUserRecords));
        ClearSocial();
        in_session_ = true;
        RequestProfiles();
        SendSocialState();
        return;
    }
    const char* text = LoginResultText(result->code);
    if (!text)
        return;
    if (frontend_)
        frontend_->LoginError(text);
    state_ = 45;
}

void LOBBYNET::HandleChannelList(std::span<const uint8_t> packet) {
    if (packet.size() < kChannelEntriesOffset)
        return;
    const size_t kept = std::min(packet.size(), kChannelTableMax);
    channel_table_.assign(packet.begin(), packet.begin() + kept);
    // The state is idle before an automatic join, so that the join's own
    // state (25) stands and its error can be reported.
    state_ = 0;
    if (automatic_) {
        if (frontend_)
            frontend_->ChannelList(channel_table_, true);
        JoinChannel(kNoSelection);
        automatic_ = 0;
    } else if (frontend_) {
        frontend_->ChannelList(channel_table_, false);
    }
}

void LOBBYNET::HandleUserEntered(std::span<const uint8_t> packet) {
    const auto received = DecodeUserRecord(packet);
    if (!received)
        return;
    const UserRecord& record = *received;
    auto found = FindById(users_, 14, UserRecordId(record));
    if (found != users_.end()) {
        *found = record;
    } else {
        users_.push_back(record);
    }
    if (frontend_)
        frontend_->UserListChanged(users_, &record, nullptr);
}

void LOBBYNET::HandleUserLeft(std::span<const uint8_t> packet) {
    const auto id = DecodeU32At14(packet);
    if (!id)
        return;
    auto found = FindById(users_, 14, *id);
    if (found == users_.end())
        return;
    const UserRecord removed = *found;
    users_.erase(found);
    if (frontend_)
        frontend_->UserListChanged(users_, nullptr, &removed);
}

void LOBBYNET::HandleLoginRefused(std::span<const uint8_t> packet) {
    const auto refusal = DecodeNotice(packet);
    if (!refusal || (state_ != 1 && state_ != 2))
        return;
    // The result code that follows is for clients that do not know this packet.
    pending_request_ = 0;
    state_ = 45;
    if (frontend_)
        frontend_->LoginRefused(refusal->text, refusal->seconds);
}

void LOBBYNET::HandleNotice(std::span<const uint8_t> packet) {
    const auto notice = DecodeNotice(packet);
    if (!notice)
        return;
    switch (notice->kind) {
        case kNoticeKicked:
        case kNoticeBanned:
            // The server closes the connection: its end is no loss.
            state_ = 45;
            ClearLists();
            break;
        case kNoticeChannelRemoved:
            // Its number is not coming back: an automatic log-in must not ask for it.
            ClearLists();
            last_channel_ = -1;
            break;
        case kNoticeMuted:
        case kNoticeServerLine:
            break;
        default:
            return;
    }
    if (frontend_)
        frontend_->Notice(*notice);
}

// Channel 0 withdraws the offer of the game named in the record: it ended, or
// the player's result is in.
void LOBBYNET::HandleRejoinOffer(std::span<const uint8_t> packet) {
    const auto offer = DecodeGameAlert(packet);
    if (!offer || offer->slot != 0)
        return;
    if (offer->channel == 0) {
        if (!rejoin_offer_ || GameRecordId(rejoin_offer_->game) != GameRecordId(offer->game))
            return;
        rejoin_offer_.reset();
        if (frontend_)
            frontend_->RejoinOffer(nullptr);
        return;
    }
    rejoin_offer_ = *offer;
    if (frontend_)
        frontend_->RejoinOffer(&*rejoin_offer_);
}
