#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "baselib/logsys.h"
#include "media/osgfx.h"
#include "resources/qntfont.h"
#include "resources/rama_ctrl.h"
#include "resources/rama_gfx_media.h"
#include "scripting/lua_glue.h"
#include "tests/resources/res_test_util.h"
#include "tests/support/log_capture.h"
#include "video/seq_ctrl.h"

using namespace vorlane::video;

namespace {

const char* kDefines = R"(
SEQUENCES = {}
ELEM_GFX, ELEM_VIDEO, ELEM_TEXT, ELEM_SPEECH = 1, 2, 5, 6
MOD_MOVE, MOD_WAIT, MOD_PLAY, MOD_TEXT = 1, 2, 3, 4
PROP_POSITION, PROP_ALPHA, PROP_MULTILINE, PROP_VISIBLE, PROP_SIZE = 1, 3, 5, 6, 7
PROP_IGNORE_DONE, PROP_FROM, PROP_TO, PROP_TIME, PROP_SPEED = 1, 2, 3, 4, 5
PROP_TEXT, PROP_STARTWAIT = 7, 8
)";

class SeqTest : public ::testing::Test {
  protected:
    void SetUp() override {
        lua_ = LUA_CreateState();
        ctrl_.RegisterFunctions(lua_);
        Run(kDefines);
    }
    void TearDown() override { LUA_CloseState(lua_); }
    void Run(const std::string& script) {
        ASSERT_EQ(LUA_ExecuteString(lua_, script.c_str(), "test"), 1);
    }
    int Global(const char* name) {
        lua_getglobal(lua_, name);
        int v = int(lua_tointeger(lua_, -1));
        lua_pop(lua_, 1);
        return v;
    }
    static bool Logged(const std::string& text) { return vorlane::testing::LogCapture::Has(text); }
    // Runs updates every 10 ms from `start`; the time when `done` became true.
    template <typename F>
    uint32_t RunUntil(uint32_t start, F done, uint32_t limit = 10000) {
        for (uint32_t t = start; t < start + limit; t += 10) {
            ctrl_.Update(t);
            if (done())
                return t - start;
        }
        return limit;
    }
    vorlane::testing::LogCapture capture_;
    lua_State* lua_ = nullptr;
    SEQ_CTRL ctrl_{nullptr, nullptr, nullptr, nullptr};
};

const char* kMoveSequence = R"(
function SEQUENCES.move(speed, wait)
  local s = Sequence_Create()
  local st = Step_Create(s)
  elem = Element_Create(ELEM_TEXT, "hello", 0)
  mod = Modifier_Create(MOD_MOVE, s, st, elem)
  Modifier_Props(mod, PROP_FROM, 0, 0)
  Modifier_Props(mod, PROP_TO, 100, 0)
  Modifier_Props(mod, PROP_SPEED, speed)
  if wait > 0 then Modifier_Props(mod, PROP_STARTWAIT, wait) end
  Modifier_Create(MOD_WAIT, s, Step_Create(s), 100000)  -- keeps the element alive
  return s
end
)";

TEST_F(SeqTest, MoveAtSpeedTakesDistanceOverSpeed) {
    Run(kMoveSequence);
    int seq = ctrl_.Sequence_Execute("move", "50, 0");
    ASSERT_GT(seq, 0);
    ctrl_.Update(1000);  // starts the step at 1000
    ELEMENT_BASE* e = ctrl_.GetElement(Global("elem"));
    ASSERT_NE(e, nullptr);
    ctrl_.Update(2000);
    EXPECT_EQ(e->GetX(), 50);
    uint32_t took = RunUntil(2000, [&] { return e->GetX() == 100; });
    EXPECT_EQ(took + 1000, 2000u);
    EXPECT_TRUE(ctrl_.GetFilter(Global("mod"))->IsDone());
}

TEST_F(SeqTest, StartWaitDelaysTheMove) {
    Run(kMoveSequence);
    ctrl_.Sequence_Execute("move", "50, 500");
    ctrl_.Update(0);
    ELEMENT_BASE* e = ctrl_.GetElement(Global("elem"));
    ctrl_.Update(400);
    EXPECT_EQ(e->GetX(), 0);
    ctrl_.Update(1500);
    EXPECT_EQ(e->GetX(), 50);
    ctrl_.Update(2490);
    EXPECT_LT(e->GetX(), 100);
    ctrl_.Update(2500);
    EXPECT_EQ(e->GetX(), 100);
}

TEST_F(SeqTest, MoveWithTimeZeroEndsAtOnceAndSequencesAreDeletedWhenDone) {
    Run(R"(
function SEQUENCES.jump()
  local s = Sequence_Create()
  local st = Step_Create(s)
  elem = Element_Create(ELEM_TEXT, "x", 0)
  Element_Props(elem, PROP_POSITION, 5, 6)
  local m = Modifier_Create(MOD_MOVE, s, st, elem)
  Modifier_Props(m, PROP_TO, 30, 40)
  Modifier_Props(m, PROP_TIME, 0)
  Modifier_Create(MOD_WAIT, s, Step_Create(s), 1000)
  return s
end)");
    int seq = ctrl_.Sequence_Execute("jump", nullptr);
    ctrl_.Update(100);  // starts the first step
    ELEMENT_BASE* e = ctrl_.GetElement(Global("elem"));
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->GetX(), 5);
    ctrl_.Update(110);  // the move ends in its first update; the wait starts
    EXPECT_EQ(e->GetX(), 30);
    EXPECT_EQ(e->GetY(), 40);
    EXPECT_NE(ctrl_.GetSequence(seq), nullptr);
    // After the last step the sequence is deleted in the same update, with its
    // element.
    ctrl_.Update(1200);
    EXPECT_EQ(ctrl_.GetSequence(seq), nullptr);
    EXPECT_EQ(ctrl_.GetElement(Global("elem")), nullptr);
}

TEST_F(SeqTest, WaitsEmptyStepsAndEmptySequences) {
    Run(R"(
function SEQUENCES.empty() return Sequence_Create() end
function SEQUENCES.wait()
  local s = Sequence_Create()
  Step_Create(s)
  local st = Step_Create(s)
  Modifier_Create(MOD_WAIT, s, st, 1000)
  return s
end)");
    int empty = ctrl_.Sequence_Execute("empty", nullptr);
    ctrl_.Update(0);
    EXPECT_EQ(ctrl_.GetSequence(empty), nullptr);

    int seq = ctrl_.Sequence_Execute("wait", nullptr);
    ctrl_.Update(0);   // starts the empty step
    ctrl_.Update(10);  // the empty step is done: the wait starts at 10
    SEQUENCE* s = ctrl_.GetSequence(seq);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->current, 2);
    ctrl_.Update(1010);
    EXPECT_NE(ctrl_.GetSequence(seq), nullptr);
    ctrl_.Update(1011);  // more than 1000 ms: done, then finished
    ctrl_.Update(1020);
    EXPECT_EQ(ctrl_.GetSequence(seq), nullptr);
}

TEST_F(SeqTest, TextModifierSetsTextOnceAndEmptyTextHides) {
    Run(R"(
function SEQUENCES.text(t)
  local s = Sequence_Create()
  local st = Step_Create(s)
  elem = Element_Create(ELEM_TEXT, "before", 0)
  Modifier_Create(MOD_TEXT, s, st, elem, t)
  Modifier_Create(MOD_WAIT, s, st, 100000)
  return s
end)");
    ctrl_.Sequence_Execute("text", "'after'");
    ctrl_.Update(0);
    ELEMENT_BASE* e = ctrl_.GetElement(Global("elem"));
    ctrl_.Update(10);
    EXPECT_TRUE(e->flags & kElemVisible);
    ctrl_.SkipAll();
    ctrl_.Update(20);
    ctrl_.Sequence_Execute("text", "''");
    ctrl_.Update(30);
    ctrl_.Update(40);
    EXPECT_FALSE(ctrl_.GetElement(Global("elem"))->flags & kElemVisible);
}

// A font whose every character is a white 10 × 10 square wraps by its own
// widths, and "~n" breaks a line: "aa aa aa" (80 pixels) does not fit in 70.
TEST_F(SeqTest, MultilineTextWrapsWithTheFontsWidthsAndDrawsWhatFits) {
    using vorlane::resources::testing::TempDir;
    TempDir dir;
    ASSERT_NO_FATAL_FAILURE(vorlane::resources::testing::WriteSquareFont(dir, 10, 'a'));
    vorlane::resources::QNTFONT_BASE font;
    ASSERT_EQ(font.Load((dir / "f.bcf").c_str(), (dir / "f.txt").c_str()), 0);

    auto e = MakeTextElement("aa~naa aa aa", &font);
    e->flags |= kElemAlphaOrMultiline;
    e->SetSize(70, 20);  // room for two of the three lines
    vorlane::media::OSGFX screen;
    screen.Create(100, 40);
    e->Draw(&screen);
    EXPECT_EQ(screen.GetPixel(15, 5), 0xFFFFFFFFu);  // line 1: "aa"
    EXPECT_EQ(screen.GetPixel(25, 5), 0u);
    EXPECT_EQ(screen.GetPixel(45, 15), 0xFFFFFFFFu);  // line 2: "aa aa"
    EXPECT_EQ(screen.GetPixel(55, 15), 0u);
    EXPECT_EQ(screen.GetPixel(0, 25), 0u);  // line 3 does not fit
}

TEST_F(SeqTest, PropertyAndArgumentErrorsAreReported) {
    Run(R"(
elem = Element_Create(ELEM_TEXT, "t", 0)
Element_Props(elem, PROP_POSITION, 1)
Element_Props(elem, PROP_VISIBLE, 1)
Element_Props(elem, PROP_ALPHA, true)
Element_Props(99, PROP_POSITION, 1, 2)
Element_Props("x")
none = Element_Create(3)
Element_Create(7)
Element_Create(ELEM_TEXT, "only text")
Element_Create(ELEM_GFX)
speech = Element_Create(ELEM_SPEECH, 4)
Element_Props(speech, PROP_VISIBLE, true)
local s = Sequence_Create()
local st = Step_Create(s)
local w = Modifier_Create(MOD_WAIT, s, st, 10)
Modifier_Props(w, PROP_FROM, 1, 2)
Modifier_Props(w, PROP_TIME, "soon")
Modifier_Props(w, PROP_IGNORE_DONE, 1)
Modifier_Props(1234, 1, true)
Modifier_Create(MOD_MOVE, s, st, 777)
orphan = Modifier_Create(MOD_WAIT, s, 55, 1)
Step_Create(999)
Sequence_Play("nothing_here")
Sequence_Play(5)
text = Textlib_Get("UNKNOWN_ID")
)");
    EXPECT_TRUE(Logged("PROP_Elem_Text: property POSITION needs x & y"));
    EXPECT_TRUE(Logged("PROP_Elem_Text: property VISIBLE needs boolean"));
    EXPECT_TRUE(Logged("PROP_Elem_Text: invalid property id: 3"));
    EXPECT_TRUE(Logged("LUA_Seq_Element_Props: element not found: 99"));
    EXPECT_TRUE(Logged("LUA_Seq_Element_Props: first param not a number"));
    EXPECT_TRUE(Logged("LUA_Seq_Element_Create: no element was created"));
    EXPECT_FALSE(Logged("LUA_Seq_Element_Create: invalid element type: 3"));
    EXPECT_TRUE(Logged("LUA_Seq_Element_Create: invalid element type: 7"));
    EXPECT_TRUE(Logged("LUA_Seq_Element_Create: text needs text id & font id"));
    EXPECT_TRUE(Logged("LUA_Seq_Element_Create: gfx needs resource name"));
    EXPECT_GT(Global("speech"), 0);
    EXPECT_TRUE(
        Logged("LUA_Seq_Element_Props: element not found: " + std::to_string(Global("speech"))));
    EXPECT_TRUE(Logged("PROP_Mod_Wait: invalid property id: 2"));
    EXPECT_TRUE(Logged("PROP_Mod_Wait: property TIME needs time"));
    EXPECT_TRUE(Logged("PROP_Mod_Wait: property IGNORE_DONE needs boolean"));
    EXPECT_TRUE(Logged("LUA_Seq_Modifier_Props: modifier not found: 1234"));
    EXPECT_TRUE(Logged("SEQ_CTRL::Filter_Create_Move: can't find element"));
    EXPECT_TRUE(Logged("LUA_Seq_Modifier_Create: no modifier created for 1, 1, 1, 777"));
    EXPECT_TRUE(Logged("LUA_Seq_Modifier_Create: adding modifier to step failed"));
    EXPECT_GT(Global("orphan"), 0);
    EXPECT_TRUE(Logged("LUA_Seq_Step_Create: failed to create step for seq: 999"));
    EXPECT_TRUE(Logged("Sequence_Execute: execution failed sequence 'nothing_here'"));
    EXPECT_TRUE(Logged("LUA_Seq_Sequence_Play: can't exec sequence 'nothing_here'"));
    EXPECT_TRUE(Logged("LUA_Seq_Sequence_Play: first param not a string"));
    lua_getglobal(lua_, "text");
    EXPECT_STREQ(lua_tostring(lua_, -1), "");
    lua_pop(lua_, 1);
}

TEST_F(SeqTest, NumbersThatStandForNoIntegerAreRefusedLikeNonNumbers) {
    Run(R"(
Step_Create(0/0)
Element_Create(1e300)
elem = Element_Create(ELEM_TEXT, "t", 0)
Element_Props(elem, PROP_POSITION, 0/0, 1)
Element_Props(elem, 7, 2^31, 10)
Modifier_Create(MOD_WAIT, Sequence_Create(), -1/0, 1)
)");
    EXPECT_TRUE(Logged("LUA_Seq_Step_Create: first param not a number"));
    EXPECT_TRUE(Logged("LUA_Seq_Element_Create: first param not a number"));
    EXPECT_TRUE(Logged("PROP_Elem_Text: property POSITION needs x & y"));
    EXPECT_TRUE(Logged("PROP_Elem_Text: property SIZE needs w & h"));
    EXPECT_TRUE(Logged("LUA_Seq_Modifier_Create: seq_id & step_id not found"));
}

TEST_F(SeqTest, SequencePlayPassesArgumentsVerbatim) {
    Run(R"(
function SEQUENCES.intro(a, b) got = a * 10 + b; return Sequence_Create() end
function SEQUENCES.broken() return "not a number" end
Sequence_Play("intro", "1, 2")
)");
    EXPECT_EQ(Global("got"), 12);
    EXPECT_EQ(ctrl_.sequence_count(), 1u);
    EXPECT_TRUE(ctrl_.AnyPlaying());
    EXPECT_EQ(ctrl_.Sequence_Execute("broken", nullptr), 0);
    EXPECT_TRUE(Logged("Sequence_Execute: no sequence created for 'broken'"));
    EXPECT_EQ(lua_gettop(lua_), 0);
}

TEST_F(SeqTest, ElementsSharedBetweenSequencesDoNotDangle) {
    Run(R"(
elem = Element_Create(ELEM_TEXT, "shared", 0)
function SEQUENCES.a()
  local s = Sequence_Create(); local st = Step_Create(s)
  Modifier_Create(MOD_TEXT, s, st, elem, "a")
  return s
end
function SEQUENCES.b()
  local s = Sequence_Create(); local st = Step_Create(s)
  local m = Modifier_Create(MOD_MOVE, s, st, elem)
  Modifier_Props(m, PROP_TO, 10, 10)
  Modifier_Props(m, PROP_TIME, 5000)
  return s
end)");
    ctrl_.Sequence_Execute("a", nullptr);
    ctrl_.Sequence_Execute("b", nullptr);
    for (uint32_t t = 0; t < 200; t += 10) ctrl_.Update(t);  // a ends and deletes elem
    EXPECT_EQ(ctrl_.GetElement(Global("elem")), nullptr);
    for (uint32_t t = 200; t < 6000; t += 100) ctrl_.Update(t);  // b must not touch it
    EXPECT_EQ(ctrl_.sequence_count(), 0u);
}

}  // namespace

// Each of the two set-up scripts fails its own stage, by absence or by error.
TEST(SeqInit, AMissingOrFailingScriptFailsItsStage) {
    using vorlane::resources::RAMA_CTRL;
    using vorlane::resources::testing::TempDir;
    using vorlane::resources::testing::WriteArchive;
    using Result = SEQ_CTRL::InitResult;
    struct Case {
        const char* internal;
        const char* defines;
        Result result;
    } cases[] = {
        {"SEQUENCES = {}", "ELEM_GFX = 1", Result::kReady},
        {nullptr, "ELEM_GFX = 1", Result::kScriptingFailed},
        {"SEQUENCES = {}", "error('broken')", Result::kSequencesFailed},
    };
    for (const Case& c : cases) {
        TempDir dir;
        std::vector<vorlane::resources::testing::TestResource> scripts;
        if (c.internal)
            scripts.push_back({"script.seq.internal", 2, c.internal});
        scripts.push_back({"script.seq.defines", 2, c.defines});
        RAMA_CTRL rama;
        rama.SetRootDirectory(dir.path().c_str());
        ASSERT_EQ(rama.Init(WriteArchive(dir, {{1, "alltime", scripts}}).c_str()), 1);
        ASSERT_EQ(rama.LoadLocation(rama.GetLocationID("alltime")), 1);
        lua_State* lua = LUA_CreateState();
        SEQ_CTRL ctrl(&rama, nullptr, nullptr, nullptr);
        EXPECT_EQ(ctrl.InitSequenceCtrl(lua), c.result) << (c.internal ? c.defines : "no internal");
        LUA_CloseState(lua);
    }
}

// A picture element shows the surface the archive made of a graphic resource;
// the bytes of another type are no picture.
TEST(SeqGfx, APictureElementShowsTheArchivesSurface) {
    using vorlane::resources::testing::TempDir;
    using vorlane::resources::testing::WriteArchive;
    vorlane::testing::LogCapture log;
    std::vector<uint32_t> pixels(4, 0xFF336699u);
    std::vector<uint8_t> image =
        vorlane::media::EncodeImageData(pixels.data(), 2, 2, vorlane::media::kImageFormat32);
    std::string bytes(image.begin(), image.end());
    vorlane::resources::GfxRamaMedia media;
    vorlane::resources::RAMA_SetMedia(&media);
    TempDir dir;
    vorlane::resources::RAMA_CTRL rama;
    rama.SetRootDirectory(dir.path().c_str());
    ASSERT_EQ(
        rama.Init(WriteArchive(dir, {{1, "art", {{"pic", 5, bytes}, {"raw", 1, bytes}}}}).c_str()),
        1);
    ASSERT_EQ(rama.LoadLocation(0), 1);
    lua_State* lua = LUA_CreateState();
    SEQ_CTRL ctrl(&rama, nullptr, nullptr, nullptr);
    ctrl.RegisterFunctions(lua);
    ASSERT_EQ(LUA_ExecuteString(
                  lua, "pic = Element_Create(1, 'pic') raw = Element_Create(1, 'raw')", "test"),
              1);
    lua_getglobal(lua, "pic");
    ELEMENT_BASE* element = ctrl.GetElement(int(lua_tointeger(lua, -1)));
    ASSERT_NE(element, nullptr);
    EXPECT_EQ(element->GetW(), 2);
    element->SetPosition(1, 1);
    vorlane::media::OSGFX screen;
    ASSERT_EQ(screen.Create(4, 4), 0);
    ctrl.DrawElements(&screen);
    EXPECT_EQ(screen.GetPixel(2, 2), 0xFF336699u);
    EXPECT_EQ(screen.GetPixel(0, 0), 0u);
    EXPECT_TRUE(log.Has("LUA_Seq_Element_Create: gfx resource not found"));
    LUA_CloseState(lua);
    vorlane::resources::RAMA_SetMedia(nullptr);
}
