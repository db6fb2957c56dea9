// The archive's two text index formats.
//
// Only text between double quotes counts; inside quotes CR and LF are dropped
// and characters beyond the 1023rd are dropped; a NUL byte anywhere fails.
//
// Master index ("data\master.dix"), fields in order:
//   "project" "date" "build" "count" then one "k" per location (data\loc%04u.dix)
// Location index ("data\locNNNN.dix"):
//   "name" then per resource "address" "number" "short text" "type"
//
// Parser states (even = between fields, odd = inside the quoted field):
//   master:   0/1 project, 2/3 date, 4/5 build, 6/7 count, 8/9 location numbers
//   location: 0/1 name, 2/3 address, 4/5 number, 6/7 short text, 8/9 type, then 2
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vorlane::resources {

constexpr size_t kIndexFieldMax = 1023;
constexpr size_t kShortTextMax = 14;

struct MasterIndex {
    std::string project;
    std::string date;
    uint32_t build = 0;
    uint32_t declared_count = 0;
    uint32_t read_count = 0;          // location numbers present in the file
    std::vector<uint32_t> locations;  // the smaller of declared and read count
};

// Parses a master index; false (with the reason logged under `class_name`) on failure.
bool ParseMasterIndexText(std::string_view text, MasterIndex& out,
                          const char* class_name = "RAMA_CTRL");

// One resource record of a location index.
struct LocationRecord {
    std::string address;
    uint32_t number = 0;
    std::string short_text;  // at most 14 characters
    uint32_t type = 0;
};

struct LocationIndex {
    std::string name;
    bool patch = false;
    std::vector<LocationRecord> records;  // resource number = position
    int final_state = 0;
};

// Parses a location index; false (reason logged as RAMA_LOC::ParseFromMemory) on failure.
bool ParseLocationIndexText(std::string_view text, LocationIndex& out);

// The file name of location number k: "data\loc%04u.dix".
std::string LocationFileName(uint32_t number);

// Writers used by the pack tool. Every field is written between quotes; fields
// must not hold a double quote, CR, LF or NUL (checked by the caller).
std::string WriteMasterIndexText(const MasterIndex& index);
std::string WriteLocationIndexText(const LocationIndex& index);

}  // namespace vorlane::resources
