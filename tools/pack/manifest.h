// The pack manifest: a plain text file that lists the locations of an archive
// and, per resource, its dotted address, type, number, short text and source.
//
//   # comment
//   project "VORLANE"            header of the master index (optional)
//   date "2026-12-08 00:00:00"
//   build 1
//   include more/manifest.txt    another manifest, paths relative to it
//   location 1 mainmenu          starts (or, with the same number and name, continues)
//                                location 1, written as data/loc0001.dix/.bcf
//   resource lobby.script.menu type=2 number=0 text="menu" source=menu/lobby.lua
//   resource text.hello type=1 kind=inline source="hello"
//
// Resource keys: type (required), number (0), text (short text, at most 14
// characters), kind (the builder that makes the bytes, "file" by default),
// source (what the builder reads; for "file" a path relative to the manifest).
// Values may be quoted ("a b", with \" and \\ escapes).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vorlane::pack {

struct ManifestResource {
    std::string address;
    uint32_t type = 0;
    uint32_t number = 0;
    std::string short_text;
    std::string kind = "file";
    std::string source;
    std::string base_dir;  // directory of the manifest that named it
    std::string where;     // "file:line" for messages
};

struct ManifestLocation {
    uint32_t number = 0;
    std::string name;
    std::string where;
    std::vector<ManifestResource> resources;
};

struct Manifest {
    std::string project = "VORLANE";
    std::string date = "2026-01-01 00:00:00";
    uint32_t build = 1;
    std::vector<ManifestLocation> locations;  // in order of first appearance
};

// Parses manifest text named `file_name` (used in messages and as the base of
// relative paths). On failure `error` reads "file:line: what is wrong".
bool ParseManifest(std::string_view text, const std::string& file_name, Manifest& manifest,
                   std::string& error);
bool LoadManifest(const std::string& path, Manifest& manifest, std::string& error);

// Warnings that do not stop a build (e.g. upper-case location names, which
// location lookups cannot find).
std::vector<std::string> ManifestWarnings(const Manifest& manifest);

}  // namespace vorlane::pack
