#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "../resources/res_test_util.h"
#include "resources/bcf_library.h"
#include "resources/rama_ctrl.h"
#include "tools/pack/archive.h"
#include "tools/pack/builders.h"
#include "tools/pack/manifest.h"
#include "tools/pack/pack_cli.h"

namespace vorlane::pack {
namespace {

using resources::testing::TempDir;
using resources::testing::WriteBytes;
using resources::testing::WriteText;

std::string ParseError(const std::string& text) {
    Manifest manifest;
    std::string error;
    EXPECT_FALSE(ParseManifest(text, "m.txt", manifest, error)) << text;
    return error;
}

TEST(PackManifest, ReadsLocationsAndResources) {
    Manifest manifest;
    std::string error;
    ASSERT_TRUE(
        ParseManifest("# header\n"
                      "project \"MY GAME\"\r\n"
                      "build 17\n"
                      "location 7 mainmenu   # trailing comment\n"
                      "resource lobby.script.menu type=2 number=4 text=\"menu script\" "
                      "source=scripts/menu.lua\n"
                      "resource text.a type=11 kind=inline source=\"say \\\"hi\\\"\"\n"
                      "location 2 alltime\n"
                      "resource x type=1 source=x\n"
                      "location 7 mainmenu\n"
                      "resource later type=3 source=y\n",
                      "dir/m.txt", manifest, error))
        << error;
    EXPECT_EQ(manifest.project, "MY GAME");
    EXPECT_EQ(manifest.build, 17u);
    ASSERT_EQ(manifest.locations.size(), 2u);
    const ManifestLocation& main = manifest.locations[0];
    EXPECT_EQ(main.number, 7u);
    ASSERT_EQ(main.resources.size(), 3u);  // reopened location continues
    EXPECT_EQ(main.resources[0].address, "lobby.script.menu");
    EXPECT_EQ(main.resources[0].type, 2u);
    EXPECT_EQ(main.resources[0].number, 4u);
    EXPECT_EQ(main.resources[0].short_text, "menu script");
    EXPECT_EQ(main.resources[0].kind, "file");
    EXPECT_EQ(main.resources[0].base_dir, "dir");
    EXPECT_EQ(main.resources[0].where, "dir/m.txt:5");
    EXPECT_EQ(main.resources[1].source, "say \"hi\"");
    EXPECT_EQ(main.resources[2].address, "later");
}

TEST(PackManifest, BadLinesNameFileAndLine) {
    EXPECT_EQ(ParseError("location 1 a\nresource x source=f\n"),
              "m.txt:2: resource 'x' has no type");
    EXPECT_EQ(ParseError("resource x type=1 source=f\n"),
              "m.txt:1: resource before any 'location'");
    EXPECT_EQ(ParseError("\n\nlocation one a\n"), "m.txt:3: 'location' takes a number and a name");
    EXPECT_EQ(ParseError("location 1 a\nresource x type=1x source=f\n"),
              "m.txt:2: type is not a number");
    EXPECT_EQ(ParseError("location 1 a\nresource x type=1 text=\"fifteen chars!!\" source=f\n"),
              "m.txt:2: text must be at most 14 characters without quotes or line ends");
    EXPECT_EQ(ParseError("location 1 a\nresource x type=1 colour=red source=f\n"),
              "m.txt:2: unknown key 'colour'");
    EXPECT_EQ(ParseError("location 1 a\nresource x type=1 source=\"open\n"),
              "m.txt:2: unterminated quoted value");
    EXPECT_EQ(ParseError("location 1 a\nresource type=1 source=f\n"),
              "m.txt:2: 'resource' needs an address");
    EXPECT_EQ(ParseError("location 1 a\nresource \"x\\\"y\" type=1 source=f\n"),
              "m.txt:2: address holds a quote or line end");
    EXPECT_EQ(ParseError("location 1 a\nresource x type=1 source=f\nresource x type=2 source=g\n"),
              "m.txt:3: address 'x' repeats m.txt:2");
    EXPECT_EQ(ParseError("location 1 a\nlocation 1 b\n"),
              "m.txt:2: location 1 is already named 'a' (m.txt:1)");
    EXPECT_EQ(ParseError("shout loud\n"), "m.txt:1: unknown statement 'shout'");
    EXPECT_EQ(ParseError("build 99999999999\n"), "m.txt:1: 'build' takes one decimal number");
}

TEST(PackManifest, IncludesAndWarnings) {
    TempDir dir;
    WriteText(dir / "manifest.txt", "location 1 MainMenu\ninclude sub/more.txt\n");
    WriteText(dir / "sub/more.txt", "location 2 other\nresource r type=25 source=r.bin\n");
    Manifest manifest;
    std::string error;
    ASSERT_TRUE(LoadManifest(dir / "manifest.txt", manifest, error)) << error;
    ASSERT_EQ(manifest.locations.size(), 2u);
    EXPECT_EQ(manifest.locations[1].resources[0].base_dir, dir / "sub");
    std::vector<std::string> warnings = ManifestWarnings(manifest);
    ASSERT_EQ(warnings.size(), 3u);
    EXPECT_NE(warnings[0].find("upper-case"), std::string::npos);
    EXPECT_NE(warnings[1].find("no resources"), std::string::npos);
    EXPECT_NE(warnings[2].find("type 25"), std::string::npos);

    WriteText(dir / "loop.txt", "include loop.txt\n");
    EXPECT_FALSE(LoadManifest(dir / "loop.txt", manifest, error));
    EXPECT_NE(error.find("includes nest too deep"), std::string::npos);
    EXPECT_FALSE(LoadManifest(dir / "absent.txt", manifest, error));
    EXPECT_EQ(error, dir / "absent.txt" + ": cannot read manifest");
}

TEST(PackDescriptor, EncodesAndDecodes) {
    uint8_t bytes[39];
    EncodeDescriptor({"a.very.long.address.that.is.cut", 1234, 0xDEADBEEF, 11}, bytes);
    PackDescriptor back;
    ASSERT_TRUE(DecodeDescriptor(bytes, back));
    EXPECT_EQ(back.name, "a.very.long.address.tha");
    EXPECT_EQ(back.size, 1234u);
    EXPECT_EQ(back.crc, 0xDEADBEEFu);
    EXPECT_EQ(back.type, 11);
    bytes[33] = 'X';
    EXPECT_FALSE(DecodeDescriptor(bytes, back));
    EXPECT_EQ(PackCrc32(reinterpret_cast<const uint8_t*>("123456789"), 9), 0xCBF43926u);
}

// [SECTION] Round trip: manifest -> vorlane-pack -> RAMA_CTRL

class PackRoundTrip : public ::testing::Test {
  protected:
    void SetUp() override {
        // Sources with every byte value, a large one and a duplicate address
        // that a later location overrides.
        std::vector<uint8_t> all_bytes;
        for (int i = 0; i < 256; ++i) all_bytes.push_back(uint8_t(i));
        std::vector<uint8_t> large(300000);
        for (size_t i = 0; i < large.size(); ++i) large[i] = uint8_t(i * 7 + 3);
        WriteBytes(src_ / "bytes.bin", all_bytes);
        WriteBytes(src_ / "art/large.bin", large);
        WriteText(src_ / "menu.lua", "menu = {}\r\n");
        WriteText(src_ / "manifest.txt",
                  "project \"ROUNDTRIP\"\ndate \"2026-12-08 01:02:03\"\nbuild 9\n"
                  "location 1 mainmenu\n"
                  "resource lobby.script.menu type=2 text=\"menu\" source=menu.lua\n"
                  "resource data.bytes type=14 number=3 source=bytes.bin\n"
                  "resource shared.item type=1 kind=inline source=\"first\"\n"
                  "location 5 alltime\n"
                  "resource gfx.large type=5 source=art/large.bin\n"
                  "resource shared.item type=1 kind=inline source=\"second\"\n"
                  "resource text.upper type=11 kind=shout source=\"quiet words\"\n"
                  "location 6 patch1\n"
                  "resource patch1.lobby.script.menu type=2 kind=inline source=\"patched\"\n");
        expected_ = {{"lobby.script.menu", "patched"},
                     {"data.bytes", std::string(all_bytes.begin(), all_bytes.end())},
                     {"shared.item", "second"},
                     {"gfx.large", std::string(large.begin(), large.end())},
                     {"text.upper", "QUIET WORDS"}};
        builders_ = BuilderRegistry::Standard();
        // A builder of another kind, as later data kinds will add.
        builders_.Register("shout",
                           [](const BuildInput& input, std::vector<uint8_t>& out, std::string&) {
                               for (char c : input.resource.source)
                                   out.push_back(uint8_t(std::toupper(c)));
                               return true;
                           });
    }

    int Run(const std::vector<std::string>& args) {
        out_.str("");
        err_.str("");
        return RunPackTool(args, out_, err_, &builders_);
    }

    TempDir src_;
    TempDir out_dir_;
    BuilderRegistry builders_;
    std::map<std::string, std::string> expected_;
    std::ostringstream out_;
    std::ostringstream err_;
};

TEST_F(PackRoundTrip, ArchiveLoadsByteIdentical) {
    ASSERT_EQ(Run({"build", src_ / "manifest.txt", out_dir_.path()}), 0) << err_.str();
    EXPECT_NE(out_.str().find("[1/3] location 1 'mainmenu': 3 resources"), std::string::npos)
        << out_.str();
    EXPECT_NE(out_.str().find("[3/3] location 6 'patch1'"), std::string::npos);

    resources::RAMA_CTRL rama;
    rama.SetRootDirectory(out_dir_.path().c_str());
    ASSERT_EQ(rama.Init((out_dir_ / "data/master.dix").c_str()), 1);
    EXPECT_EQ(rama.master.project, "ROUNDTRIP");
    EXPECT_EQ(rama.master.build, 9u);
    ASSERT_EQ(rama.LoadPatches(), 1);
    ASSERT_EQ(rama.LoadLocation(rama.GetLocationID("mainmenu")), 1);
    ASSERT_EQ(rama.LoadLocation(rama.GetLocationID("alltime")), 1);
    for (const auto& [address, bytes] : expected_) {
        resources::RAMA_RES* res = rama.GetResource(address.c_str());
        ASSERT_NE(res->data, nullptr) << address;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(res->data.get()), res->size), bytes)
            << address;
    }
    EXPECT_EQ(rama.GetResource("gfx.large")->type, 5);
    // The unpatched menu script is still there under its own location.
    auto [location, number] = rama.GetResourceID("data.bytes");
    const resources::RAMA_LOC* main = rama.GetLocation(location);
    EXPECT_EQ(main->Entry(size_t(number))->number, 3u);
    EXPECT_STREQ(main->Entry(0)->short_text, "menu");
    resources::RAMA_RES* own = rama.GetResource(location, 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(own->data.get()), own->size),
              "menu = {}\r\n");
}

TEST_F(PackRoundTrip, ListExtractVerify) {
    ASSERT_EQ(Run({"build", src_ / "manifest.txt", out_dir_.path(), "--quiet"}), 0) << err_.str();
    EXPECT_EQ(out_.str(), "");

    ASSERT_EQ(Run({"list", out_dir_.path()}), 0);
    std::string listing = out_.str();
    EXPECT_NE(listing.find("archive 'ROUNDTRIP' build 9, 2026-12-08 01:02:03, 3 locations"),
              std::string::npos)
        << listing;
    EXPECT_NE(listing.find("location 5 'alltime'"), std::string::npos);
    EXPECT_NE(listing.find("  0  gfx.large  type 5  number 0  \"\"  300000 bytes"),
              std::string::npos)
        << listing;
    EXPECT_NE(listing.find("1 resources, patch"), std::string::npos);

    ASSERT_EQ(Run({"extract", out_dir_.path(), "shared.item"}), 0);
    EXPECT_EQ(out_.str(), "second");
    ASSERT_EQ(Run({"extract", out_dir_.path(), "shared.item", "--location", "mainmenu"}), 0);
    EXPECT_EQ(out_.str(), "first");
    ASSERT_EQ(Run({"extract", out_dir_.path(), "lobby.script.menu"}), 0);
    EXPECT_EQ(out_.str(), "patched");
    ASSERT_EQ(Run({"extract", out_dir_.path(), "data.bytes", "-o", out_dir_ / "bytes.out"}), 0);
    EXPECT_EQ(std::filesystem::file_size(out_dir_ / "bytes.out"), 256u);
    EXPECT_EQ(Run({"extract", out_dir_.path(), "no.such"}), 1);
    EXPECT_EQ(err_.str(), "vorlane-pack: address 'no.such' not found\n");

    ASSERT_EQ(Run({"verify", out_dir_.path()}), 0) << out_.str();
    EXPECT_EQ(out_.str(), "ok: 3 locations, 7 resources\n");
}

TEST_F(PackRoundTrip, VerifyFindsDamage) {
    ASSERT_EQ(Run({"build", src_ / "manifest.txt", out_dir_.path(), "--quiet"}), 0);
    // Flip one byte of an object: its checksum no longer agrees.
    std::string image = out_dir_ / "data/loc0005.bcf";
    {
        std::fstream file(image, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(14 + 3 * 39 + 100);
        file.put('\x55');
    }
    EXPECT_EQ(Run({"verify", out_dir_.path()}), 1);
    EXPECT_NE(out_.str().find("resource 0 'gfx.large': bytes do not match their checksum"),
              std::string::npos)
        << out_.str();

    // An index with one record more than its image has objects.
    WriteText(
        out_dir_ / "data/loc0006.dix",
        "\"patch1\" \"patch1.lobby.script.menu\" \"0\" \"\" \"2\" \"extra\" \"0\" \"\" \"1\"");
    std::filesystem::remove(out_dir_ / "data/loc0001.bcf");
    EXPECT_EQ(Run({"verify", out_dir_.path()}), 1);
    EXPECT_NE(out_.str().find("loc0006.dix: 2 records but 1 objects"), std::string::npos)
        << out_.str();
    EXPECT_NE(out_.str().find("loc0001.bcf: image missing or unreadable"), std::string::npos);
}

TEST_F(PackRoundTrip, BuildFailuresNameTheEntry) {
    WriteText(src_ / "bad.txt",
              "location 1 a\nresource ok type=1 kind=inline source=x\n"
              "resource gone type=1 source=missing.bin\n");
    EXPECT_EQ(Run({"build", src_ / "bad.txt", out_dir_.path()}), 1);
    EXPECT_EQ(err_.str(), "vorlane-pack: " + src_ / "bad.txt" +
                              ":3: resource 'gone': cannot read source file '" +
                              src_ / "missing.bin" + "'\n");
    WriteText(src_ / "empty.txt", "location 1 a\nresource e type=1 kind=inline source=\"\"\n");
    EXPECT_EQ(Run({"build", src_ / "empty.txt", out_dir_.path()}), 1);
    EXPECT_NE(err_.str().find(":2: resource 'e' is empty"), std::string::npos);
    WriteText(src_ / "kind.txt", "location 1 a\nresource k type=1 kind=video source=v\n");
    EXPECT_EQ(Run({"build", src_ / "kind.txt", out_dir_.path()}), 1);
    EXPECT_NE(err_.str().find(":2: unknown source kind 'video'"), std::string::npos);
}

TEST(PackCli, HelpAndUsage) {
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(RunPackTool({"--help"}, out, err), 0);
    for (const char* word : {"build MANIFEST OUTDIR", "list ROOT", "extract ROOT ADDRESS",
                             "verify ROOT", "resource ADDRESS type=N"}) {
        EXPECT_NE(out.str().find(word), std::string::npos) << word;
    }
    EXPECT_EQ(RunPackTool({}, out, err), 2);
    EXPECT_EQ(RunPackTool({"frobnicate"}, out, err), 2);
    EXPECT_EQ(RunPackTool({"build", "only-one"}, out, err), 2);
    EXPECT_EQ(RunPackTool({"extract", "root", "addr", "-o"}, out, err), 2);
    EXPECT_EQ(RunPackTool({"list"}, out, err), 2);
    EXPECT_EQ(RunPackTool({"list", "/nonexistent-archive-root"}, out, err), 1);
    out.str("");
    EXPECT_EQ(RunPackTool({"kinds"}, out, err), 0);
    EXPECT_NE(out.str().find("file\n"), std::string::npos);
    EXPECT_NE(out.str().find("inline\n"), std::string::npos);
}

TEST(PackAssets, DefaultRunFolderVerifies) {
    // The run folder the build makes from assets/ must be a sound archive.
    std::string root = VORLANE_RUN_DIR;
    if (!std::filesystem::exists(root + "/data/master.dix"))
        GTEST_SKIP() << "no run folder";
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(RunPackTool({"verify", root}, out, err), 0) << out.str() << err.str();
    EXPECT_TRUE(std::filesystem::is_directory(root + "/logs"));
    EXPECT_TRUE(std::filesystem::exists(root + "/data/filectrl.cfg"));
    resources::RAMA_CTRL rama;
    rama.SetRootDirectory(root.c_str());
    ASSERT_EQ(rama.Init((root + "/data/master.dix").c_str()), 1);
    for (const char* name : {"multilobby", "missions", "mainmenu", "alltime"}) {
        EXPECT_EQ(rama.LoadLocation(rama.GetLocationID(name)), 1) << name;
    }
}

}  // namespace
}  // namespace vorlane::pack
