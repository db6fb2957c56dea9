// [SECTION] index
//   The admin socket, lists, sanctions, channels, the server's state.
//
// LobbyServer's admin commands, one line each from vorlane-lobbyctl (see
// its --help for the reference). They run on the protocol thread, between
// kernel steps, like every other change to the lobby; the two that wait
// (reset-password for Argon2id, backup for the copy) reply from a worker's
// completion. Every command is written to the audit log with its result.
#include <arpa/inet.h>
#include <sodium.h>
#include <strings.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <ctime>

#include "baselib/logsys.h"
#include "server/admin_protocol.h"
#include "server/config_check.h"
#include "server/lobby_server.h"
#include "server/lobby_text.h"
#include "server/sqlite_store.h"

namespace vorlane::server {

using namespace vorlane::net;

namespace {

using AdminResult = LobbyServer::AdminResult;

AdminResult Fail(const std::string& why) {
    return {false, why, {}};
}

AdminResult Done(const std::string& summary, std::vector<std::string> lines = {}) {
    return {true, summary, std::move(lines)};
}

// An IPv4 address in host byte order, or 0 when `text` is not one.
uint32_t ParseAddress(const std::string& text) {
    in_addr raw{};
    return inet_pton(AF_INET, text.c_str(), &raw) == 1 ? ntohl(raw.s_addr) : 0;
}

std::string Utc(std::time_t when) {
    char text[32];
    std::tm utc{};
    gmtime_r(&when, &utc);
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%SZ", &utc);
    return text;
}

std::string Rest(const std::vector<std::string>& words, size_t from) {
    std::string text;
    for (size_t i = from; i < words.size(); ++i) text += (text.empty() ? "" : " ") + words[i];
    return text;
}

std::string Columns(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Columns(const char* format, ...) {
    char line[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    return line;
}

// A new password that fits the log-in packet's field (at most 9
// characters); no letters that look alike.
std::string RandomPassword() {
    static constexpr char kAlphabet[] = "abcdefghijkmnpqrstuvwxyzABCDEFGHJKLMNPQRSTUVWXYZ23456789";
    std::string password;
    for (size_t i = 0; i + 1 < kLoginPasswordWidth; ++i)
        password += kAlphabet[randombytes_uniform(sizeof kAlphabet - 1)];
    return password;
}

}  // namespace

// [SECTION] The admin socket

bool LobbyServer::OpenAdmin(std::string* error) {
    return admin_.Open(AdminSocketPath(config_), error) &&
           audit_.Open(AuditLogPath(config_), error);
}

void LobbyServer::PollAdmin() {
    if (backup_.valid() && backup_.wait_for(std::chrono::seconds(0)) == std::future_status::ready) {
        const std::string why = backup_.get();
        AdminDone done = std::move(backup_done_);
        done(why.empty() ? Done("copied the database to " + backup_target_) : Fail(why));
    }
    if (!admin_.is_open())
        return;
    for (AdminRequest& request : admin_.Poll()) {
        const std::string by =
            request.peer.user + " (uid " + std::to_string(request.peer.uid) + ")";
        AdminDone done = [this, request](AdminResult result) {
            audit_.Write(request.peer, request.line, result.ok, result.summary);
            if (result.ok)
                result.lines.insert(result.lines.begin(), result.summary);
            admin_.Reply(request.client, FormatAdminReply(result.ok, result.summary, result.lines));
        };
        const auto words = SplitAdminLine(request.line);
        if (!words)
            done(Fail("a quote is not closed"));
        else
            RunAdmin(*words, by, std::move(done));
    }
}

void LobbyServer::RunAdmin(const std::vector<std::string>& words, const std::string& by,
                           AdminDone done) {
    const std::string command = words.empty() ? "" : words[0];
    if (command == "reset-password")
        return AdminResetPassword(words, std::move(done));
    if (command == "backup")
        return AdminBackup(words, std::move(done));
    AdminResult result;
    if (command == "who")
        result = AdminWho();
    else if (command == "channels")
        result = AdminChannels();
    else if (command == "games")
        result = AdminGames();
    else if (command == "kick")
        result = AdminKick(words);
    else if (command == "mute")
        result = AdminMute(words, by);
    else if (command == "unmute")
        result = AdminLift(SanctionKind::kMute, words);
    else if (command == "ban")
        result = AdminBan(words, by);
    else if (command == "unban")
        result = AdminLift(SanctionKind::kBan, words);
    else if (command == "bans")
        result = AdminBans();
    else if (command == "say")
        result = AdminSay(words);
    else if (command == "channel")
        result = AdminChannel(words);
    else if (command == "reload")
        result = AdminReload();
    else if (command == "stats")
        result = AdminStats();
    else
        result = Fail(command.empty() ? "no command; see vorlane-lobbyctl --help"
                                      : "unknown command " + Printable(command) +
                                            "; see vorlane-lobbyctl --help");
    done(std::move(result));
}

// [SECTION] Lists

AdminResult LobbyServer::AdminWho() {
    std::vector<std::string> lines = {Columns("%-14s %8s %-14s %-14s %-15s %s", "USER", "ACCOUNT",
                                              "PROFILE", "CHANNEL", "ADDRESS", "CONNECTED")};
    size_t anonymous = 0;
    for (const auto& [id, session] : sessions_) {
        if (session.account == 0) {
            ++anonymous;
            continue;
        }
        const std::string channel =
            session.channel >= 0 ? channels_[size_t(session.channel)].config.name : "-";
        const std::string profile =
            session.profile ? GetText(session.profile_data, kProfName, kNameWidth) : "-";
        lines.push_back(
            Columns("%-14s %8u %-14s %-14s %-15s %s (%s)", Printable(session.name).c_str(),
                    session.account, Printable(profile).c_str(), channel.c_str(),
                    AddressText(session.address).c_str(), Utc(session.connected).c_str(),
                    FormatDuration(std::time(nullptr) - session.connected).c_str()));
    }
    // The users of the other servers, with their server in place of an address.
    for (const auto& [id, user] : remote_) {
        const std::string channel =
            user.channel >= 0 ? channels_[size_t(user.channel)].config.name : "-";
        const std::string profile =
            user.profile_number ? GetText(user.profile, kProfName, kNameWidth) : "-";
        lines.push_back(Columns("%-14s %8u %-14s %-14s server %-8u -", Printable(user.name).c_str(),
                                user.account, Printable(profile).c_str(), channel.c_str(),
                                unsigned(user.server)));
    }
    return Done(std::to_string(online_.size() + remote_.size()) + " users online, " +
                    std::to_string(anonymous) + " connections not logged in",
                std::move(lines));
}

AdminResult LobbyServer::AdminChannels() {
    std::vector<std::string> lines = {
        Columns("%6s %-14s %5s %5s %5s %s", "NUMBER", "NAME", "FLAGS", "USERS", "GAMES", "FROM")};
    for (const Channel& channel : channels_) {
        StoredChannel* row = FindStoredChannel(stored_channels_, channel.config.name);
        lines.push_back(Columns(
            "%6u %-14s %5u %5zu %5zu %s", channel.number, channel.config.name.c_str(),
            channel.config.flags, channel.members.size() + channel.remote.size(),
            channel.games.size(), row && row->origin == ChannelOrigin::kAdded ? "tool" : "file"));
    }
    return Done(std::to_string(channels_.size()) + " channels", std::move(lines));
}

AdminResult LobbyServer::AdminGames() {
    std::vector<std::string> lines = {Columns("%8s %-14s %-30s %-14s %7s %s", "GAME", "CHANNEL",
                                              "NAME", "HOST", "PLAYERS", "SEATS")};
    size_t count = 0;
    for (const Channel& channel : channels_) {
        for (const Game& game : channel.games) {
            const auto host = sessions_.find(game.host);
            const auto remote_host = remote_.find(game.host);
            const std::string host_name = host != sessions_.end()        ? host->second.name
                                          : remote_host != remote_.end() ? remote_host->second.name
                                                                         : "-";
            lines.push_back(Columns("%8u %-14s %-30s %-14s %3u/%-3u %zu", game.id,
                                    channel.config.name.c_str(),
                                    Printable(GameRecordName(game.record)).c_str(),
                                    Printable(host_name).c_str(), GetU16(game.record, kGamePlayers),
                                    GetU16(game.record, kGameMaxPlayers), game.seats.size()));
            ++count;
        }
    }
    return Done(std::to_string(count) + " games", std::move(lines));
}

AdminResult LobbyServer::AdminStats() {
    PublishStatus();
    const auto status = this->status();
    size_t bans = 0;
    for (const Sanction& sanction : store_->Sanctions(WallNow()))
        bans += sanction.kind == SanctionKind::kBan;
    std::vector<std::string> lines = {"version " + status->version,
                                      "uptime " + FormatDuration(int64_t(status->uptime_seconds)),
                                      "users_online " + std::to_string(status->users_online),
                                      "connections " + std::to_string(sessions_.size()),
                                      "channels " + std::to_string(channels_.size()),
                                      "games " + std::to_string(status->games),
                                      "chat_lines " + std::to_string(status->chat_lines),
                                      "chat_bytes " + std::to_string(status->chat_bytes),
                                      "logins " + std::to_string(status->logins),
                                      "login_failures " + std::to_string(status->login_failures),
                                      "queued_bytes " + std::to_string(status->queued_bytes),
                                      "bans " + std::to_string(bans),
                                      "mutes " + std::to_string(mutes_.size())};
    for (size_t i = 0; i < status->refusals.size(); ++i)
        lines.push_back(std::string("refused_") + LimitName(Limit(i)) + " " +
                        std::to_string(status->refusals[i]));
    return Done("lobby statistics", std::move(lines));
}

// [SECTION] Sanctions

LobbyServer::Session* LobbyServer::OnlineByName(const std::string& name) {
    for (auto& [id, session] : sessions_) {
        if (session.account != 0 && !session.closing &&
            strcasecmp(session.name.c_str(), name.c_str()) == 0)
            return &session;
    }
    return nullptr;
}

void LobbyServer::Dismiss(Session& session, const ServerNotice& notice) {
    SendTo(session.id, EncodeNotice(check_, kPktNotice, notice));
    // The others see it go at once; the notice still leaves before the close.
    LeaveChannel(session);
    Close(session);
}

int64_t LobbyServer::WallNow() const {
    return wall_clock_ ? wall_clock_() : int64_t(std::time(nullptr));
}

uint32_t LobbyServer::SecondsLeft(int64_t expires) const {
    if (expires == 0)
        return kNoEnd;
    return uint32_t(std::clamp<int64_t>(expires - WallNow(), 1, int64_t(kNoEnd) - 1));
}

const Sanction* LobbyServer::MuteOf(uint32_t account) {
    auto found = mutes_.find(account);
    if (found == mutes_.end())
        return nullptr;
    if (found->second.expires != 0 && found->second.expires <= WallNow()) {
        mutes_.erase(found);
        return nullptr;
    }
    return &found->second;
}

AdminResult LobbyServer::AdminKick(const std::vector<std::string>& words) {
    if (words.size() < 2)
        return Fail("usage: kick USER [REASON]");
    Session* session = OnlineByName(words[1]);
    if (!session) {
        // On another server of the cluster: that server dismisses the user.
        for (const auto& [id, user] : remote_) {
            if (strcasecmp(user.name.c_str(), words[1].c_str()) != 0)
                continue;
            PublishTo(user.server, {.kind = ClusterKind::kDismiss,
                                    .user = id,
                                    .code = kNoticeKicked,
                                    .text = Rest(words, 2)});
            LOGSYS_Info("LOBBYD: %s was kicked by the operator", Printable(user.name).c_str());
            return Done("kicked " + Printable(user.name) + " (on server " +
                        std::to_string(user.server) + ")");
        }
        return Fail("nobody called " + Printable(words[1]) + " is online");
    }
    const std::string name = session->name;
    Dismiss(*session, {kNoticeKicked, 0, Rest(words, 2)});
    LOGSYS_Info("LOBBYD: %s was kicked by the operator", Printable(name).c_str());
    return Done("kicked " + Printable(name));
}

AdminResult LobbyServer::AdminMute(const std::vector<std::string>& words, const std::string& by) {
    if (words.size() < 3)
        return Fail("usage: mute USER DURATION [REASON]");
    uint32_t account = 0;
    if (store_->FindAccount(words[1], &account, nullptr) != StoreResult::kOk)
        return Fail("there is no account called " + Printable(words[1]));
    const auto duration = ParseDuration(words[2]);
    if (!duration)
        return Fail("the duration is not like 30s, 10m, 2h, 7d or permanent");
    const int64_t now = WallNow();
    Sanction mute{
        SanctionKind::kMute, account, 0, Rest(words, 3), now, *duration ? now + *duration : 0, by};
    if (!store_->PutSanction(mute))
        return Fail("the database did not take the mute");
    mutes_[account] = mute;
    if (clustered())
        PublishAll({.kind = ClusterKind::kMute,
                    .account = account,
                    .expires = mute.expires,
                    .text = mute.reason});
    const std::string name = store_->AccountName(account);
    if (Session* session = OnlineByName(name)) {
        SendTo(session->id, EncodeNotice(check_, kPktNotice,
                                         {kNoticeMuted, SecondsLeft(mute.expires), mute.reason}));
    }
    return Done("muted " + Printable(name) +
                (*duration ? " for " + FormatDuration(*duration) : " for good"));
}

AdminResult LobbyServer::AdminBan(const std::vector<std::string>& words, const std::string& by) {
    if (words.size() < 4)
        return Fail("usage: ban ACCOUNT|ADDRESS DURATION REASON");
    Sanction ban{SanctionKind::kBan, 0, ParseAddress(words[1]), Rest(words, 3), WallNow(), 0, by};
    std::string target = words[1];
    if (ban.address == 0) {
        if (store_->FindAccount(words[1], &ban.account, nullptr) != StoreResult::kOk)
            return Fail("there is no account or IPv4 address " + Printable(words[1]));
        target = store_->AccountName(ban.account);
    }
    const auto duration = ParseDuration(words[2]);
    if (!duration)
        return Fail("the duration is not like 30s, 10m, 2h, 7d or permanent");
    ban.expires = *duration ? ban.created + *duration : 0;
    if (!store_->PutSanction(ban))
        return Fail("the database did not take the ban");
    // Whoever is on under the account or from the address goes now.
    std::vector<uint32_t> hit;
    for (const auto& [id, session] : sessions_) {
        const bool banned =
            ban.account ? session.account == ban.account : session.address == ban.address;
        if (banned && !session.closing)
            hit.push_back(id);
    }
    for (uint32_t id : hit) {
        auto found = sessions_.find(id);
        if (found != sessions_.end())
            Dismiss(found->second, {kNoticeBanned, SecondsLeft(ban.expires), ban.reason});
    }
    size_t dismissed = hit.size();
    if (clustered()) {
        // The others close theirs; the count includes the ones this server knows of.
        PublishAll({.kind = ClusterKind::kDismiss,
                    .account = ban.account,
                    .address = ban.address,
                    .code = kNoticeBanned,
                    .seconds = SecondsLeft(ban.expires),
                    .text = ban.reason});
        for (const auto& [id, user] : remote_)
            dismissed += ban.account != 0 && user.account == ban.account;
    }
    LOGSYS_Info("LOBBYD: %s was banned by the operator", Printable(target).c_str());
    return Done("banned " + Printable(target) +
                (*duration ? " for " + FormatDuration(*duration) : " for good") + ", " +
                std::to_string(dismissed) + " connections closed");
}

AdminResult LobbyServer::AdminLift(SanctionKind kind, const std::vector<std::string>& words) {
    const char* what = kind == SanctionKind::kBan ? "unban" : "unmute";
    if (words.size() != 2)
        return Fail(std::string("usage: ") + what +
                    (kind == SanctionKind::kBan ? " ACCOUNT|ADDRESS" : " USER"));
    const uint32_t address = kind == SanctionKind::kBan ? ParseAddress(words[1]) : 0;
    uint32_t account = 0;
    if (address == 0 && store_->FindAccount(words[1], &account, nullptr) != StoreResult::kOk)
        return Fail("there is no account called " + Printable(words[1]));
    const int removed = store_->RemoveSanctions(kind, account, address);
    if (removed < 0)
        return Fail("the database did not take the change");
    if (kind == SanctionKind::kMute) {
        mutes_.erase(account);
        if (clustered())
            PublishAll({.kind = ClusterKind::kUnmute, .account = account});
    }
    if (removed == 0)
        return Fail(Printable(words[1]) +
                    (kind == SanctionKind::kBan ? " is not banned" : " is not muted"));
    return Done(std::string(kind == SanctionKind::kBan ? "unbanned " : "unmuted ") +
                Printable(words[1]));
}

AdminResult LobbyServer::AdminBans() {
    std::vector<std::string> lines = {
        Columns("%-4s %-15s %-22s %-20s %s", "KIND", "WHO", "UNTIL", "BY", "REASON")};
    const auto sanctions = store_->Sanctions(WallNow());
    for (const Sanction& sanction : sanctions) {
        const std::string who = sanction.account ? store_->AccountName(sanction.account)
                                                 : AddressText(sanction.address);
        lines.push_back(Columns(
            "%-4s %-15s %-22s %-20s %s", sanction.kind == SanctionKind::kBan ? "ban" : "mute",
            Printable(who).c_str(), sanction.expires ? Utc(sanction.expires).c_str() : "permanent",
            Printable(sanction.by).c_str(), Printable(sanction.reason).c_str()));
    }
    return Done(std::to_string(sanctions.size()) + " bans and mutes", std::move(lines));
}

AdminResult LobbyServer::AdminSay(const std::vector<std::string>& words) {
    const std::string text = Rest(words, 1);
    if (text.empty())
        return Fail("usage: say TEXT");
    const auto packet = EncodeNotice(check_, kPktNotice, {kNoticeServerLine, 0, text});
    size_t reached = 0;
    for (const Channel& channel : channels_) {
        SendToMany(channel.members, packet);
        reached += channel.members.size() + channel.remote.size();
    }
    if (clustered())
        PublishAll({.kind = ClusterKind::kSay, .text = text});
    return Done("said to " + std::to_string(reached) + " users" +
                (text.size() >= kNoticeTextWidth
                     ? " (cut to " + std::to_string(kNoticeTextWidth - 1) + " characters)"
                     : ""));
}

// [SECTION] Channels

void LobbyServer::ApplyChannels(const std::vector<LiveChannel>& live) {
    std::vector<Channel> next;
    for (const LiveChannel& wanted : live) {
        auto old = std::find_if(channels_.begin(), channels_.end(),
                                [&](const Channel& c) { return c.number == wanted.number; });
        Channel channel;
        if (old != channels_.end())
            channel = std::move(*old);
        channel.number = wanted.number;
        channel.config = wanted.config;
        next.push_back(std::move(channel));
    }
    // Who was where, by number, before the vector changes under the indexes.
    std::vector<std::pair<uint32_t, std::string>> evicted;
    for (auto& [id, session] : sessions_) {
        if (session.channel < 0)
            continue;
        const Channel& was = channels_[size_t(session.channel)];
        auto now = std::find_if(next.begin(), next.end(),
                                [&](const Channel& c) { return c.number == was.number; });
        if (now == next.end()) {
            // The channel and its games go; nobody is left in it to tell.
            StopStream(session);
            session.channel = -1;
            evicted.emplace_back(id, was.config.name);
            if (clustered())
                PublishChannel(was.number,
                               {.kind = ClusterKind::kUserLeft, .user = id, .channel = was.number});
        } else {
            session.channel = int(now - next.begin());
        }
    }
    // Other servers' users follow their channel's new place, or are in none.
    for (auto& [id, user] : remote_) {
        if (user.channel < 0)
            continue;
        const uint16_t number = channels_[size_t(user.channel)].number;
        auto now = std::find_if(next.begin(), next.end(),
                                [&](const Channel& c) { return c.number == number; });
        user.channel = now == next.end() ? -1 : int(now - next.begin());
    }
    channels_ = std::move(next);
    for (const auto& [id, name] : evicted) {
        SendChannelList(id);
        SendTo(id, EncodeNotice(check_, kPktNotice, {kNoticeChannelRemoved, 0, name}));
    }
    // The games of a removed channel went with it.
    WithdrawRejoinOffers();
}

AdminResult LobbyServer::AdminChannel(const std::vector<std::string>& words) {
    const bool add = words.size() == 4 && words[1] == "add";
    const bool remove = words.size() == 3 && words[1] == "remove";
    if (!add && !remove)
        return Fail("usage: channel add NAME FLAGS, or channel remove NAME");
    const std::string& name = words[2];
    auto live = std::find_if(channels_.begin(), channels_.end(), [&](const Channel& c) {
        return strcasecmp(c.config.name.c_str(), name.c_str()) == 0;
    });
    StoredChannel* row = FindStoredChannel(stored_channels_, name);
    StoredChannel changed;
    if (add) {
        char* end = nullptr;
        const unsigned long flags = std::strtoul(words[3].c_str(), &end, 0);
        if (!IsValidName(name))
            return Fail("a channel name has 1 to 14 printable characters, no blank at either end");
        if (words[3].empty() || *end != '\0' || flags > 0xFF)
            return Fail("FLAGS is a number from 0 to 255 (2: games may be created)");
        if (live != channels_.end())
            return Fail("there is a channel called " + live->config.name + " already");
        if (channels_.size() >= kMaxChannels)
            return Fail("there are " + std::to_string(kMaxChannels) + " channels already");
        // A name that was there before comes back under its old number.
        const uint16_t number = row ? row->number : NextChannelNumber(stored_channels_);
        if (number == 0)
            return Fail("every channel number has been used");
        changed = {number, row ? row->name : name, uint8_t(flags), ChannelOrigin::kAdded};
    } else {
        if (live == channels_.end())
            return Fail("there is no channel called " + Printable(name));
        changed = {live->number, live->config.name, live->config.flags, ChannelOrigin::kRemoved};
    }
    if (!store_->PutChannel(changed))
        return Fail("the database did not take the change");
    if (row)
        *row = changed;
    else
        stored_channels_.push_back(changed);
    std::vector<LiveChannel> next;
    for (const Channel& channel : channels_) {
        if (channel.number != changed.number)
            next.push_back({channel.number, channel.config});
    }
    if (add) {
        next.push_back({changed.number, {changed.name, changed.flags}});
        std::sort(next.begin(), next.end(),
                  [](const LiveChannel& a, const LiveChannel& b) { return a.number < b.number; });
    }
    const size_t members = remove ? live->members.size() : 0;
    ApplyChannels(next);
    return Done(
        add ? "added channel " + changed.name + " as number " + std::to_string(changed.number)
            : "removed channel " + changed.name + " (number " + std::to_string(changed.number) +
                  "), " + std::to_string(members) + " users sent back to the channel list");
}

// [SECTION] The server's state

AdminResult LobbyServer::AdminReload() {
    if (config_.path.empty())
        return Fail("the server was not started from a configuration file");
    LobbyConfig fresh;
    std::string error, text;
    if (!ReadLobbyConfigText(config_.path, &text, &error) ||
        !ParseLobbyConfig(text, &fresh, &error))
        return Fail(error + "; nothing changed");
    // The lines --check-config would complain about are read as at a start
    // (ignored or cut); the operator hears of them.
    std::vector<std::string> warnings;
    for (const ConfigProblem& problem : CheckLobbyConfigText(text))
        warnings.push_back("warning: " + config_.path + ":" + std::to_string(problem.line) + ": " +
                           problem.text);
    // Channels and limits change now; where the server listens, its files,
    // encryption and threads keep until the next start.
    LobbyConfig next = fresh;
    next.database = config_.database;
    next.store = config_.store;
    next.log_dir = config_.log_dir;
    next.hash = config_.hash;
    next.hash_threads = config_.hash_threads;
    next.tls_cert = config_.tls_cert;
    next.tls_key = config_.tls_key;
    next.tls_dir = config_.tls_dir;
    next.http_address = config_.http_address;
    next.admin_socket = config_.admin_socket;
    next.audit_log = config_.audit_log;
    next.kernel = config_.kernel;
    next.path = config_.path;
    config_ = next;
    SetQueueTotalCap(config_.queue_total_max_bytes);
    for (const auto& [id, session] : sessions_) SetQueueCap(id, config_.queue_max_bytes);
    workers_->set_max_waiting(config_.hash_queue_max);

    std::vector<StoredChannel> changed;
    const std::vector<LiveChannel> live =
        ResolveChannels(config_.channels, &stored_channels_, &changed);
    for (const StoredChannel& channel : changed) store_->PutChannel(channel);
    std::vector<std::string> added, removed;
    for (const LiveChannel& channel : live) {
        if (std::none_of(channels_.begin(), channels_.end(),
                         [&](const Channel& c) { return c.number == channel.number; }))
            added.push_back(channel.config.name);
    }
    for (const Channel& channel : channels_) {
        if (std::none_of(live.begin(), live.end(),
                         [&](const LiveChannel& c) { return c.number == channel.number; }))
            removed.push_back(channel.config.name);
    }
    ApplyChannels(live);
    auto list = [](const std::vector<std::string>& names) {
        std::string text;
        for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
        return text.empty() ? std::string("none") : text;
    };
    warnings.insert(warnings.begin(),
                    {std::to_string(channels_.size()) + " channels; added: " + list(added) +
                         "; removed: " + list(removed),
                     "limits as in the file; ports, files, encryption and threads change at the "
                     "next start"});
    return Done("reloaded " + config_.path, std::move(warnings));
}

void LobbyServer::AdminResetPassword(const std::vector<std::string>& words, AdminDone done) {
    if (words.size() != 2)
        return done(Fail("usage: reset-password ACCOUNT"));
    uint32_t account = 0;
    if (store_->FindAccount(words[1], &account, nullptr) != StoreResult::kOk)
        return done(Fail("there is no account called " + Printable(words[1])));
    const std::string name = store_->AccountName(account);
    std::string password = RandomPassword();
    // Argon2id takes its time on a worker; the protocol thread stores the hash.
    const bool queued = workers_->Submit([this, account, name, password, done] {
        std::string hash = store_->HashPassword(password);
        return [this, account, name, password, hash = std::move(hash), done] {
            if (!store_->SetPasswordHash(account, hash))
                return done(Fail("the database did not take the new password"));
            // The audit log gets the summary; only the reply has the password.
            done(Done("new password set for " + Printable(name), {"password: " + password}));
        };
    });
    if (!queued)
        done(Fail("the password workers are busy; try again"));
}

void LobbyServer::AdminBackup(const std::vector<std::string>& words, AdminDone done) {
    if (words.size() != 2)
        return done(Fail("usage: backup FILE"));
    if (!config_.store.empty())
        return done(Fail("backup is only for an SQLite store"));
    if (backup_.valid())
        return done(Fail("a backup is under way; try again when it has ended"));
    // The copy runs on a thread of its own with a connection of its own.
    backup_target_ = words[1];
    backup_done_ = std::move(done);
    backup_ = std::async(std::launch::async, [source = config_.database, target = words[1]] {
        std::string error;
        return SqliteStore::Backup(source, target, &error) ? std::string() : error;
    });
}

}  // namespace vorlane::server
