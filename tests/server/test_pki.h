// Certificates a test makes for itself with the openssl program: a CA, a
// server certificate it signed for 127.0.0.1, and a second CA that signed
// nothing the server shows (the wrong one to trust).
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace vorlane::server {

struct TestPki {
    std::string ca, server_cert, server_key, other_ca;
};

// Writes the files into `dir`; false when openssl failed.
inline bool MakeTestPki(const std::string& dir, TestPki* pki) {
    std::filesystem::create_directories(dir);
    {
        // The name is checked as an address and, by clients that only
        // compare names, as a DNS name: both are given.
        std::ofstream ext(dir + "/server.ext");
        ext << "subjectAltName = IP:127.0.0.1, DNS:127.0.0.1, DNS:localhost\n"
               "basicConstraints = CA:FALSE\n"
               "keyUsage = digitalSignature, keyEncipherment\n"
               "extendedKeyUsage = serverAuth\n";
    }
    const std::string quiet = " >>" + dir + "/openssl.log 2>&1";
    auto run = [&](const std::string& line) { return std::system((line + quiet).c_str()) == 0; };
    auto make_ca = [&](const std::string& name) {
        return run(
            "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes"
            " -days 2 -subj /CN=" +
            name + " -keyout " + dir + "/" + name + "-key.pem -out " + dir + "/" + name + ".pem");
    };
    const bool made =
        make_ca("test-ca") && make_ca("other-ca") &&
        run("openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -subj "
            "/CN=127.0.0.1 -keyout " +
            dir + "/server-key.pem -out " + dir + "/server.csr") &&
        run("openssl x509 -req -days 2 -in " + dir + "/server.csr -CA " + dir +
            "/test-ca.pem -CAkey " + dir + "/test-ca-key.pem -CAcreateserial -extfile " + dir +
            "/server.ext -out " + dir + "/server.pem");
    pki->ca = dir + "/test-ca.pem";
    pki->other_ca = dir + "/other-ca.pem";
    pki->server_cert = dir + "/server.pem";
    pki->server_key = dir + "/server-key.pem";
    return made;
}

}  // namespace vorlane::server
