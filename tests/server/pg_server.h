// A PostgreSQL server a test process starts for itself (see PgServer).
#pragma once

#include <arpa/inet.h>
#include <libpq-fe.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "tests/server/test_pki.h"
#include "tests/support/free_port.h"

namespace vorlane::server {

// A PostgreSQL server of the test's own, on 127.0.0.1 and a free port, in a
// temporary folder; stopped and removed when the process ends. The server
// refuses to run as root, so as root it runs as the postgres user.
class PgServer {
  public:
    // The one server of this process; null with the reason when PostgreSQL
    // is not installed, a server whose `ready` is false when it would not start.
    static PgServer* Get(std::string* skip) {
        static std::unique_ptr<PgServer> server = [] {
            auto made = std::make_unique<PgServer>();
            if (!made->bin_.empty())
                made->Start();
            return made;
        }();
        if (server->bin_.empty()) {
            *skip = "PostgreSQL's server programs (postgresql-15) are not installed";
            return nullptr;
        }
        return server.get();
    }

    PgServer() {
        for (const char* bin : {"/usr/lib/postgresql/15/bin", "/usr/lib/postgresql/16/bin"}) {
            if (std::filesystem::exists(std::string(bin) + "/pg_ctl")) {
                bin_ = bin;
                break;
            }
        }
    }
    ~PgServer() {
        if (started_)
            Command("pg_ctl -D " + dir_ + "/data -m fast -w stop");
        if (!dir_.empty())
            std::filesystem::remove_all(dir_);
    }

    bool ready() const { return started_; }
    uint16_t port() const { return port_; }
    // A new, empty database (owned by `owner`, the superuser if empty).
    std::string NewDatabase(const std::string& owner = "") {
        const std::string name = "lobby" + std::to_string(++databases_);
        const bool made = Sql("CREATE DATABASE " + name + (owner.empty() ? "" : " OWNER " + owner));
        return made ? Location(name) : std::string();
    }
    // Turns TLS on with the server certificate of `pki`, and makes a role
    // `user` that may log in with `password` over TLS only (the superuser
    // keeps its plain, trusted access).
    bool EnableTls(const TestPki& pki, const std::string& user, const std::string& password) {
        const std::string data = dir_ + "/data";
        std::error_code failed;
        std::filesystem::copy_file(pki.server_cert, data + "/server.crt",
                                   std::filesystem::copy_options::overwrite_existing, failed);
        std::filesystem::copy_file(pki.server_key, data + "/server.key",
                                   std::filesystem::copy_options::overwrite_existing, failed);
        if (failed || ::chmod((data + "/server.key").c_str(), 0600) != 0)
            return false;
        if (::geteuid() == 0) {
            const passwd* owner = ::getpwnam("postgres");
            if (!owner || ::chown((data + "/server.crt").c_str(), owner->pw_uid, owner->pw_gid) ||
                ::chown((data + "/server.key").c_str(), owner->pw_uid, owner->pw_gid))
                return false;
        }
        std::stringstream hba;
        hba << "hostssl all " << user << " 127.0.0.1/32 scram-sha-256\n"
            << "host all " << user << " 127.0.0.1/32 reject\n"
            << std::ifstream(data + "/pg_hba.conf").rdbuf();
        std::ofstream(data + "/pg_hba.conf") << hba.str();
        return Sql("CREATE ROLE " + user + " LOGIN PASSWORD '" + password + "'") &&
               Sql("ALTER SYSTEM SET ssl = on") && Sql("SELECT pg_reload_conf()");
    }

  private:
    bool Sql(const std::string& statement) {
        PGconn* conn = PQconnectdb(Location("postgres").c_str());
        PGresult* result = PQexec(conn, statement.c_str());
        const ExecStatusType status = PQresultStatus(result);
        PQclear(result);
        PQfinish(conn);
        return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
    }
    std::string Location(const std::string& database) const {
        return "postgresql://postgres@127.0.0.1:" + std::to_string(port_) + "/" + database;
    }
    bool Command(const std::string& line) const {
        const std::string as_user = ::geteuid() == 0 ? "runuser -u postgres -- " : "";
        return std::system(
                   (as_user + bin_ + "/" + line + " >>" + dir_ + "/commands.log 2>&1").c_str()) ==
               0;
    }
    void Start() {
        char pattern[] = "/tmp/vorlane-pg-XXXXXX";
        if (!::mkdtemp(pattern))
            return;
        dir_ = pattern;
        if (::geteuid() == 0) {
            const passwd* user = ::getpwnam("postgres");
            if (!user || ::chown(dir_.c_str(), user->pw_uid, user->pw_gid) != 0)
                return;
        }
        port_ = vorlane::testing::FreePort();
        if (port_ == 0 || !Command("initdb -D " + dir_ +
                                   "/data -A trust -U postgres -E UTF8 --locale=C --no-sync"))
            return;
        // Nothing of the tests needs to outlive a crash of the machine.
        started_ = Command("pg_ctl -D " + dir_ + "/data -l " + dir_ + "/server.log -w -o \"-k " +
                           dir_ + " -p " + std::to_string(port_) +
                           " -c listen_addresses=127.0.0.1 -c fsync=off\" start");
    }

    std::string bin_, dir_;
    uint16_t port_ = 0;
    bool started_ = false;
    int databases_ = 0;
};

}  // namespace vorlane::server
