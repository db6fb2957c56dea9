// How the server writes what players sent and where they come from into its
// logs, the audit log and the admin tool's replies: one line each, nothing a
// reader's terminal or a log parser would take as control.
#pragma once

#include <cstdint>
#include <string>

namespace vorlane::server {

// `text` with every byte outside printable ASCII as '?'.
std::string Printable(const std::string& text);
// An IPv4 address in host byte order as "a.b.c.d".
std::string AddressText(uint32_t address);

}  // namespace vorlane::server
