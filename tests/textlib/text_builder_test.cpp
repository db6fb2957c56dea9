// The pack tool's "text" source kind compiles a text source into a resource
// that the text library loads.

#include <gtest/gtest.h>

#include "resources/textlib.h"
#include "scripting/lua_glue.h"
#include "tests/scripting/test_archive.h"
#include "tools/pack/builders.h"

namespace {

using vorlane::pack::BuilderRegistry;
using vorlane::pack::BuildInput;

TEST(TextBuilder, TextKindCompilesSourceFiles) {
    vorlane::testing::TestDirectory dir;
    dir.Write("texts/en.txt", "; English\nGREETING = Hello, \"pilot\"\nPRICE = 5\xA3\n");
    dir.Write("texts/broken.txt", "GREETING\n");

    BuilderRegistry registry = BuilderRegistry::Standard();
    const vorlane::pack::ResourceBuilder* build = registry.Find("text");
    ASSERT_NE(build, nullptr);

    vorlane::pack::Manifest manifest;
    vorlane::pack::ManifestLocation location;
    vorlane::pack::ManifestResource resource;
    resource.address = "text.global";
    resource.type = 11;
    resource.kind = "text";
    resource.base_dir = dir.path();
    resource.source = "texts/en.txt";
    std::vector<uint8_t> image;
    std::string error;
    ASSERT_TRUE((*build)(BuildInput{manifest, location, resource}, image, error)) << error;

    LuaStatePtr lua(LUA_CreateState());
    vorlane::resources::TEXTLIB texts;
    texts.Init(lua.get());
    ASSERT_EQ(texts.AddTextData(image.data(), image.size()), 1u);
    EXPECT_STREQ(texts.GetTextC("GREETING"), "Hello, \"pilot\"");
    EXPECT_STREQ(texts.GetTextC("PRICE"), "5\xA3");

    resource.source = "texts/broken.txt";
    EXPECT_FALSE((*build)(BuildInput{manifest, location, resource}, image, error));
    EXPECT_NE(error.find("line 1"), std::string::npos);
    resource.source = "texts/missing.txt";
    EXPECT_FALSE((*build)(BuildInput{manifest, location, resource}, image, error));
}

}  // namespace
