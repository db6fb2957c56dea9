#include "server/status_http.h"

#include <httplib.h>

#include <charconv>

namespace vorlane::server {

namespace {

// A page is small; anything that needs more time is not a browser.
constexpr time_t kReadTimeoutSeconds = 5;
constexpr size_t kMaxRequestBytes = 16 * 1024;

}  // namespace

bool ParseHttpAddress(const std::string& text, std::string* address, uint16_t* port) {
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size())
        return false;
    unsigned value = 0;
    const char* first = text.data() + colon + 1;
    const char* last = text.data() + text.size();
    const auto [end, failure] = std::from_chars(first, last, value);
    if (failure != std::errc() || end != last || value > 65535)
        return false;
    *address = text.substr(0, colon);
    *port = uint16_t(value);
    return true;
}

StatusHttp::StatusHttp() = default;

StatusHttp::~StatusHttp() {
    Stop();
}

bool StatusHttp::Start(const std::string& address_and_port, Snapshot snapshot, std::string* error) {
    std::string address;
    uint16_t port = 0;
    if (!ParseHttpAddress(address_and_port, &address, &port)) {
        *error = "http_address " + address_and_port + " is not ADDRESS:PORT";
        return false;
    }
    server_ = std::make_unique<httplib::Server>();
    server_->set_read_timeout(kReadTimeoutSeconds, 0);
    server_->set_payload_max_length(kMaxRequestBytes);
    server_->Get("/", [snapshot](const httplib::Request&, httplib::Response& response) {
        const auto status = snapshot();
        response.set_content(status ? RenderStatusPage(*status) : std::string(),
                             "text/html; charset=utf-8");
    });
    server_->Get("/metrics", [snapshot](const httplib::Request&, httplib::Response& response) {
        const auto status = snapshot();
        response.set_content(status ? RenderMetrics(*status) : std::string(),
                             "text/plain; version=0.0.4; charset=utf-8");
    });
    const int bound = port == 0 ? server_->bind_to_any_port(address)
                                : (server_->bind_to_port(address, port) ? port : -1);
    if (bound <= 0) {
        *error = "cannot listen on " + address_and_port;
        server_.reset();
        return false;
    }
    port_ = uint16_t(bound);
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    return true;
}

void StatusHttp::Stop() {
    if (server_)
        server_->stop();
    if (thread_.joinable())
        thread_.join();
    server_.reset();
}

}  // namespace vorlane::server
