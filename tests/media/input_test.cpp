// The input layer's record sequences: character repeat, held keys, mouse
// moves and buttons, the wheel, and the SDL event translation.
#include "media/input.h"

#include <gtest/gtest.h>

#include <deque>
#include <vector>

#include "media/keycodes.h"
#include "media/sdl_input.h"
#include "tests/support/log_capture.h"

namespace vorlane::media {
namespace {

using vorlane::testing::LogCapture;

// A source driven by the test: queued key items and one mouse sample per poll.
class FakeSource : public InputSource {
  public:
    bool HasKeyboard() const override { return true; }
    bool HasMouse() const override { return true; }
    ReadStatus ReadKeyboard(std::vector<KeyItem>& items, size_t max) override {
        if (!status.empty()) {
            ReadStatus s = status.front();
            status.pop_front();
            if (s != ReadStatus::kOk)
                return s;
        }
        for (size_t i = 0; i < keys.size() && i < max; ++i) items.push_back(keys[i]);
        keys.clear();
        return ReadStatus::kOk;
    }
    ReadStatus ReadMouse(MouseSample& sample) override {
        sample = mouse;
        mouse.dx = mouse.dy = mouse.wheel = 0;
        return ReadStatus::kOk;
    }
    bool Acquire() override { return acquire_ok; }

    void Key(uint8_t scan, bool down, uint8_t character = 0) {
        keys.push_back({scan, down, ++sequence, character});
    }

    std::vector<KeyItem> keys;
    std::deque<ReadStatus> status;
    MouseSample mouse;
    uint32_t sequence = 0;
    bool acquire_ok = true;
};

struct Rig {
    Rig() {
        auto owned = std::make_unique<FakeSource>();
        source = owned.get();
        input = std::make_unique<DXINPUT>(
            std::move(owned),
            [this](const IOEVE& r) {
                records.push_back(r);
                return true;
            },
            true, 640, 480);
    }
    std::vector<IOEVE> Poll(uint32_t now) {
        records.clear();
        input->ProcessKeyboard(now);
        input->ProcessMouse(now);
        return records;
    }
    FakeSource* source;
    std::unique_ptr<DXINPUT> input;
    std::vector<IOEVE> records;
};

std::vector<uint16_t> Characters(const std::vector<IOEVE>& records) {
    std::vector<uint16_t> out;
    for (const auto& r : records)
        if (r.class_flags == kEveChar)
            out.push_back(r.character);
    return out;
}

TEST(Keyboard, CharacterRepeatsAfter500msThenEvery50ms) {
    Rig rig;
    rig.source->Key(kDikA, true, 'a');
    auto first = rig.Poll(0);
    ASSERT_EQ(first.size(), 1u);  // 'a' has no engine key code: only the character
    EXPECT_EQ(first[0].class_flags, kEveChar);
    EXPECT_EQ(first[0].character, 'a');
    EXPECT_EQ(first[0].message, WM_KEYDOWN);

    std::vector<uint32_t> times;
    for (uint32_t t = 10; t <= 700; t += 10)
        if (!Characters(rig.Poll(t)).empty())
            times.push_back(t);
    EXPECT_EQ(times, (std::vector<uint32_t>{500, 550, 600, 650, 700}));

    rig.source->Key(kDikA, false, 'a');
    EXPECT_TRUE(Characters(rig.Poll(710)).empty());
    for (uint32_t t = 720; t <= 1500; t += 10) ASSERT_TRUE(Characters(rig.Poll(t)).empty());
    EXPECT_EQ(rig.input->keyboard()->repeat_key(), DXinputKeyboard::kNoRepeat);
}

TEST(Keyboard, ReleaseWithoutCharacterStopsRepeatAtTheNextCheck) {
    Rig rig;
    rig.source->Key(kDikB, true, 'b');
    rig.Poll(0);
    rig.source->Key(kDikB, false);  // the release carries no character
    rig.Poll(20);
    EXPECT_TRUE(Characters(rig.Poll(600)).empty());
    EXPECT_EQ(rig.input->keyboard()->repeat_key(), DXinputKeyboard::kNoRepeat);
}

TEST(Keyboard, KeysWithCodesPostDownAndUpAndHeldKeysRepeatOnQuietPolls) {
    Rig rig;
    rig.source->Key(kDikLShift, true);
    auto down = rig.Poll(0);
    ASSERT_EQ(down.size(), 1u);
    EXPECT_EQ(down[0].class_flags, kEveKeyDown);
    EXPECT_EQ(down[0].value, uint32_t(kKeyLShift));
    EXPECT_EQ(down[0].message, WM_KEYDOWN);
    // Quiet polls report the held Shift again.
    for (uint32_t t : {10u, 20u}) {
        auto quiet = rig.Poll(t);
        ASSERT_EQ(quiet.size(), 1u);
        EXPECT_EQ(quiet[0].class_flags, kEveKeyDown);
        EXPECT_EQ(quiet[0].value, uint32_t(kKeyLShift));
    }
    // A poll in which another key goes down does not repeat the held list.
    rig.source->Key(kDikA, true, 'A');
    auto typed = rig.Poll(30);
    ASSERT_EQ(typed.size(), 1u);
    EXPECT_EQ(typed[0].character, 'A');
    rig.source->Key(kDikA, false);
    rig.source->Key(kDikLShift, false);
    auto up = rig.Poll(40);
    ASSERT_EQ(up.size(), 1u);
    EXPECT_EQ(up[0].class_flags, kEveKeyUp);
    EXPECT_EQ(up[0].value, uint32_t(kKeyLShift));
    EXPECT_EQ(up[0].message, WM_KEYUP);
    EXPECT_TRUE(rig.Poll(50).empty());
}

TEST(Keyboard, NinthHeldKeyIsNotTracked) {
    Rig rig;
    const uint8_t scans[9] = {kDikF1,     kDikF1 + 1, kDikF1 + 2, kDikF1 + 3, kDikF1 + 4,
                              kDikF1 + 5, kDikF1 + 6, kDikF1 + 7, kDikUp};
    for (uint8_t s : scans) rig.source->Key(s, true);
    auto records = rig.Poll(0);
    ASSERT_EQ(records.size(), 8u);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(records[i].value, uint32_t(i));
    EXPECT_EQ(rig.input->keyboard()->held().size(), 8u);
    // Releasing the untracked key posts nothing.
    rig.source->Key(kDikUp, false);
    auto after = rig.Poll(10);
    EXPECT_EQ(after.size(), 8u);  // only the quiet-poll repeats
    for (const auto& r : after) EXPECT_EQ(r.class_flags, kEveKeyDown);
    // A held key pressed again (no release between) is not listed twice.
    rig.source->Key(kDikF1, false);
    rig.source->Key(kDikUp, true);
    rig.source->Key(kDikUp, true);
    rig.Poll(20);
    EXPECT_EQ(rig.input->keyboard()->held().size(), 8u);
    EXPECT_EQ(rig.input->keyboard()->held().back(), kDikUp);
}

TEST(Keyboard, KeypadTypesDigitsWithAndWithoutCharacterAndOldItemsAreSkipped) {
    Rig rig;
    rig.source->Key(kDikNumpad7, true);       // Num Lock off: the platform gives no text
    rig.source->Key(kDikDecimal, true, ',');  // a locale comma is replaced by the period
    rig.source->Key(kDikDivide, true);
    auto records = rig.Poll(0);
    EXPECT_EQ(Characters(records), (std::vector<uint16_t>{'7', '.', '/'}));
    // Keypad keys also carry their engine codes.
    ASSERT_GE(records.size(), 2u);
    EXPECT_EQ(records[1].value, uint32_t(0x2A));

    // An item whose sequence is not newer than the key's is ignored.
    Rig stale;
    stale.source->Key(kDikEscape, true);
    stale.Poll(0);
    stale.source->keys.push_back({kDikEscape, false, 1, 0});
    auto none = stale.Poll(10);
    ASSERT_EQ(none.size(), 1u);
    EXPECT_EQ(none[0].class_flags, kEveKeyDown);  // still held
}

TEST(Keyboard, AcquisitionLossIsRetriedAndLostInputSkipsThePoll) {
    LogCapture log;
    Rig rig;
    rig.source->status = {ReadStatus::kNotAcquired};
    rig.source->Key(kDikEscape, true);
    EXPECT_EQ(rig.Poll(0).size(), 1u);
    EXPECT_TRUE(log.Has("DXinputKeyboard::Process: acquired device"));

    rig.source->acquire_ok = false;
    rig.source->status = {ReadStatus::kNotAcquired};
    rig.Poll(10);
    EXPECT_TRUE(log.Has("DXinputKeyboard::Process: can't acquire device"));

    // A source that never stops reporting loss does not hang the poll.
    rig.source->acquire_ok = true;
    rig.source->status.assign(100, ReadStatus::kNotAcquired);
    rig.input->ProcessKeyboard(20);
    EXPECT_GT(rig.source->status.size(), 50u);

    rig.source->status = {ReadStatus::kInputLost};
    rig.records.clear();
    rig.input->ProcessKeyboard(30);
    EXPECT_TRUE(rig.records.empty());
}

TEST(Mouse, MoveRecordsOnlyWhenTheMotionChanges) {
    Rig rig;
    DXinputMouse* mouse = rig.input->mouse();
    mouse->set_position(100, 100);
    std::vector<size_t> counts;
    for (int step : {3, 3, 3, 0, 0}) {
        rig.source->mouse.dx = step;
        counts.push_back(rig.Poll(0).size());
    }
    // Steady identical steps post one record; the poll in which the mouse
    // stops posts one more.
    EXPECT_EQ(counts, (std::vector<size_t>{1, 0, 0, 1, 0}));
    EXPECT_EQ(mouse->x(), 109);
}

TEST(Mouse, ClampsAndHalfSpeedCarriesTheRemainder) {
    Rig rig;
    DXinputMouse* mouse = rig.input->mouse();
    rig.source->mouse.dx = -5000;
    rig.source->mouse.dy = 9000;
    auto r = rig.Poll(0);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].x, 0);
    EXPECT_EQ(r[0].y, 479);
    rig.source->mouse.dx = 100000;
    rig.Poll(0);
    EXPECT_EQ(mouse->x(), 639);

    mouse->set_position(10, 10);
    mouse->set_speed(DXinputMouse::kHalf);
    rig.source->mouse.dx = 1;
    rig.Poll(0);
    EXPECT_EQ(mouse->x(), 10);
    rig.source->mouse.dx = 1;
    rig.Poll(0);
    EXPECT_EQ(mouse->x(), 11);
    rig.source->mouse.dx = -3;
    rig.Poll(0);
    EXPECT_EQ(mouse->x(), 10);  // -3 -> -1, carry -1

    mouse->set_speed(DXinputMouse::kDouble);
    rig.source->mouse.dy = 4;
    rig.Poll(0);
    EXPECT_EQ(mouse->y(), 18);
}

TEST(Mouse, ButtonsAndTheirFlags) {
    Rig rig;
    rig.input->mouse()->set_position(5, 6);
    rig.source->mouse.buttons[0] = 0x80;
    auto down = rig.Poll(0);
    ASSERT_EQ(down.size(), 1u);
    EXPECT_EQ(down[0].class_flags, kEveMouseInput);
    EXPECT_EQ(down[0].button_flags, 9u);
    EXPECT_EQ(down[0].message, WM_LBUTTONDOWN);
    EXPECT_EQ(down[0].x, 5);
    EXPECT_EQ(down[0].y, 6);

    // Moving with the left button held, then right pressed: move first.
    rig.source->mouse.dx = 1;
    rig.source->mouse.buttons[1] = 0x80;
    auto both = rig.Poll(0);
    ASSERT_EQ(both.size(), 2u);
    EXPECT_EQ(both[0].message, WM_MOUSEMOVE);
    EXPECT_EQ(both[0].button_flags, 17u);  // right wins over left
    EXPECT_EQ(both[1].message, WM_RBUTTONDOWN);
    EXPECT_EQ(both[1].button_flags, 17u);

    rig.source->mouse.buttons[0] = 0;
    rig.source->mouse.buttons[1] = 0;
    auto up = rig.Poll(0);  // motion went 1 -> 0: a move, then both releases
    ASSERT_EQ(up.size(), 3u);
    EXPECT_EQ(up[0].button_flags, 0u);
    EXPECT_EQ(up[1].message, WM_LBUTTONUP);
    EXPECT_EQ(up[1].button_flags, 10u);
    EXPECT_EQ(up[2].message, WM_RBUTTONUP);
    EXPECT_EQ(up[2].button_flags, 18u);

    // Swapped buttons: device button 1 is the left one.
    rig.input->mouse()->set_swapped(true);
    rig.source->mouse.buttons[1] = 0x80;
    auto swapped = rig.Poll(0);
    ASSERT_EQ(swapped.size(), 1u);
    EXPECT_EQ(swapped[0].message, WM_LBUTTONDOWN);
}

TEST(Mouse, OneWheelNotchGivesTwoRecords) {
    Rig rig;
    rig.source->mouse.wheel = 120;
    auto notch = rig.Poll(0);
    ASSERT_EQ(notch.size(), 1u);
    EXPECT_EQ(notch[0].class_flags, kEveWheel);
    EXPECT_EQ(notch[0].button_flags, 34u);
    EXPECT_EQ(notch[0].value, 120u);
    auto quiet = rig.Poll(0);
    ASSERT_EQ(quiet.size(), 1u);
    EXPECT_EQ(quiet[0].value, 0u);
    EXPECT_TRUE(rig.Poll(0).empty());
    EXPECT_EQ(rig.input->mouse()->wheel_position(), 1);

    rig.source->mouse.buttons[2] = 0x80;
    rig.source->mouse.wheel = -120;
    auto middle = rig.Poll(0);
    ASSERT_EQ(middle.size(), 1u);
    EXPECT_EQ(middle[0].button_flags, 33u);
    EXPECT_EQ(int32_t(middle[0].value), -120);
    EXPECT_EQ(rig.input->mouse()->wheel_position(), 0);
}

TEST(Input, MissingDevicesAreLeftOut) {
    LogCapture log;
    DXINPUT none(nullptr, nullptr, true, 640, 480);
    EXPECT_TRUE(log.Has("DXinput: Cannot Create DirectInput Interface."));
    EXPECT_EQ(none.keyboard(), nullptr);
    none.ProcessKeyboard(0);
    none.ProcessMouse(0);

    DXINPUT no_mouse(std::make_unique<FakeSource>(), nullptr, false, 640, 480);
    EXPECT_NE(no_mouse.keyboard(), nullptr);
    EXPECT_EQ(no_mouse.mouse(), nullptr);
    EXPECT_TRUE(log.Has("DXinput: DirectInput7 Keyboard Interface initiated."));
}

// [SECTION] SDL event translation

SDL_Event KeyEvent(Uint32 type, SDL_Scancode scancode, Uint8 repeat = 0) {
    SDL_Event e{};
    e.type = type;
    e.key.keysym.scancode = scancode;
    e.key.repeat = repeat;
    return e;
}

SDL_Event TextEvent(const char* utf8) {
    SDL_Event e{};
    e.type = SDL_TEXTINPUT;
    std::snprintf(e.text.text, sizeof e.text.text, "%s", utf8);
    return e;
}

TEST(SdlInput, TextAttachesToTheKeyAndRepeatsAreIgnored) {
    SdlInputSource source;
    source.HandleEvent(KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_A));
    source.HandleEvent(TextEvent("a"));
    source.HandleEvent(KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_A, 1));  // SDL's repeat
    source.HandleEvent(KeyEvent(SDL_KEYUP, SDL_SCANCODE_A));
    source.HandleEvent(TextEvent("\xC3\xA9"));      // é without a key: Latin-1 0xE9
    source.HandleEvent(TextEvent("\xE2\x82\xAC"));  // € is not a single byte: dropped
    std::vector<KeyItem> items;
    ASSERT_EQ(source.ReadKeyboard(items, 256), ReadStatus::kOk);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].scan, kDikA);
    EXPECT_TRUE(items[0].down);
    EXPECT_EQ(items[0].character, 'a');
    EXPECT_EQ(items[1].scan, kDikA);
    EXPECT_FALSE(items[1].down);
    EXPECT_EQ(items[1].character, 'a');
    EXPECT_EQ(items[2].scan, 0);
    EXPECT_EQ(items[2].character, 0xE9);
    EXPECT_LT(items[0].sequence, items[1].sequence);
}

TEST(SdlInput, DrivesTheReadersEndToEnd) {
    auto owned = std::make_unique<SdlInputSource>();
    SdlInputSource* source = owned.get();
    source->SetScreen(320, 200);
    std::vector<IOEVE> records;
    DXINPUT input(
        std::move(owned),
        [&](const IOEVE& r) {
            records.push_back(r);
            return true;
        },
        true, 320, 200);
    // AltGr+Q types '@' on a German layout: the text event says so.
    source->HandleEvent(KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_RALT));
    source->HandleEvent(KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_Q));
    source->HandleEvent(TextEvent("@"));
    SDL_Event motion{};
    motion.type = SDL_MOUSEMOTION;
    motion.motion.x = 400;  // beyond the screen: clamped
    motion.motion.y = 50;
    source->HandleEvent(motion);
    SDL_Event wheel{};
    wheel.type = SDL_MOUSEWHEEL;
    wheel.wheel.y = 1;
    source->HandleEvent(wheel);
    input.ProcessKeyboard(0);
    input.ProcessMouse(0);
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0].class_flags, kEveKeyDown);
    EXPECT_EQ(records[0].value, uint32_t(kKeyRAlt));
    EXPECT_EQ(records[1].class_flags, kEveChar);
    EXPECT_EQ(records[1].character, '@');
    EXPECT_EQ(records[2].message, WM_MOUSEMOVE);
    EXPECT_EQ(records[2].x, 319);
    EXPECT_EQ(records[2].y, 50);
    EXPECT_EQ(records[3].class_flags, kEveWheel);
    EXPECT_EQ(records[3].value, 120u);
}

TEST(SdlInput, AHeldKeyTypesOnTheInputLayersRepeatOnly) {
    auto owned = std::make_unique<SdlInputSource>();
    SdlInputSource* source = owned.get();
    size_t characters = 0;
    DXINPUT input(
        std::move(owned),
        [&](const IOEVE& r) {
            characters += r.class_flags == kEveChar;
            return true;
        },
        true, 320, 200);
    // What a real window sends for a held 'a': key-down and text, then from
    // 300 ms a repeated key-down with its text every 30 ms, then key-up.
    source->HandleEvent(KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_A));
    source->HandleEvent(TextEvent("a"));
    for (uint32_t t = 0; t < 1000; t += 10) {
        if (t >= 300 && t % 30 == 0) {
            source->HandleEvent(KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_A, 1));
            source->HandleEvent(TextEvent("a"));
        }
        input.ProcessKeyboard(t);
    }
    source->HandleEvent(KeyEvent(SDL_KEYUP, SDL_SCANCODE_A));
    input.ProcessKeyboard(1000);
    EXPECT_EQ(characters, 11u);  // at 0, then at 500, 550, ..., 950
}

TEST(SdlInput, AClickBetweenTwoPollsIsNotLost) {
    SdlInputSource source;
    SDL_Event press{};
    press.type = SDL_MOUSEBUTTONDOWN;
    press.button.button = SDL_BUTTON_LEFT;
    SDL_Event release = press;
    release.type = SDL_MOUSEBUTTONUP;
    source.HandleEvent(press);
    source.HandleEvent(release);
    MouseSample a, b, c;
    source.ReadMouse(a);
    source.ReadMouse(b);
    source.ReadMouse(c);
    EXPECT_EQ(a.buttons[0], 0x80);
    EXPECT_EQ(b.buttons[0], 0);
    EXPECT_EQ(c.buttons[0], 0);
    // A press that is already the state adds no change.
    source.HandleEvent(press);
    source.HandleEvent(press);
    source.ReadMouse(a);
    source.ReadMouse(b);
    EXPECT_EQ(a.buttons[0], 0x80);
    EXPECT_EQ(b.buttons[0], 0x80);
}

TEST(SdlInput, ScanCodesAndUtf8) {
    EXPECT_EQ(DikFromSdlScancode(SDL_SCANCODE_ESCAPE), kDikEscape);
    EXPECT_EQ(DikFromSdlScancode(SDL_SCANCODE_0), kDik0);
    EXPECT_EQ(DikFromSdlScancode(SDL_SCANCODE_F10), kDikF10);
    EXPECT_EQ(DikFromSdlScancode(SDL_SCANCODE_KP_0), kDikNumpad0);
    EXPECT_EQ(DikFromSdlScancode(SDL_SCANCODE_M), kDikM);
    EXPECT_EQ(EngineKeyCode(kDikF10), 0x09);
    EXPECT_EQ(EngineKeyCode(kDikApps), 0x53);
    EXPECT_EQ(EngineKeyCode(kDikA), kNoEngineKey);
    // Truncated and stray continuation bytes are skipped.
    EXPECT_EQ(Utf8ToLatin1("a\xC3"), (std::vector<uint8_t>{'a'}));
    EXPECT_EQ(Utf8ToLatin1("\x80z"), (std::vector<uint8_t>{'z'}));
    EXPECT_EQ(Utf8ToLatin1("\xC2\xA3"), (std::vector<uint8_t>{0xA3}));
}

}  // namespace
}  // namespace vorlane::media

#include "media/input_queue.h"

namespace vorlane::media {
namespace {

TEST(InputQueue, RecordsArriveInTheProgramQueueInOrder) {
    MTX_QLIST* queue = MTX_QLIST::Create();
    ASSERT_NE(queue, nullptr);
    auto owned = std::make_unique<SdlInputSource>();
    SdlInputSource* source = owned.get();
    DXINPUT input(std::move(owned), QueueSink(queue), false, 640, 480);
    source->HandleEvent(KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_RETURN));
    source->HandleEvent(TextEvent("\r"));  // below 32: types nothing
    source->HandleEvent(KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_X));
    source->HandleEvent(TextEvent("x"));
    input.ProcessKeyboard(0);
    ASSERT_EQ(queue->count(), 2u);
    uint32_t size = 0;
    auto* first = static_cast<IOEVE*>(queue->Pop(&size));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(size, sizeof(IOEVE));
    EXPECT_EQ(first->class_flags, kEveKeyDown);
    EXPECT_EQ(first->value, uint32_t(kKeyReturn));
    EXPECT_EQ(first->message, WM_KEYDOWN);
    auto* second = static_cast<IOEVE*>(queue->Pop(&size));
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->class_flags, kEveChar);
    EXPECT_EQ(second->character, 'x');
    IOEVE_Free(first);
    IOEVE_Free(second);
    MTX_QLIST::Destroy(queue, 1);
}

}  // namespace
}  // namespace vorlane::media

// A pad (SDL's virtual one) drives the pointer: a tilted stick moves it with
// no further event, and A presses the left button.
TEST(SdlInput, AGameControllerMovesThePointerAndPresses) {
    using vorlane::media::MouseSample;
    using vorlane::media::SdlInputSource;
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER), 0) << SDL_GetError();
    const int index = SDL_JoystickAttachVirtual(
        SDL_JOYSTICK_TYPE_GAMECONTROLLER, SDL_CONTROLLER_AXIS_MAX, SDL_CONTROLLER_BUTTON_MAX, 0);
    ASSERT_GE(index, 0) << SDL_GetError();
    SDL_Joystick* pad = SDL_JoystickOpen(index);
    ASSERT_NE(pad, nullptr);
    {
        SdlInputSource source;
        source.SetScreen(320, 200);
        source.OpenControllers();
        EXPECT_EQ(source.ControllerCount(), 1u);
        auto pump = [&] {
            SDL_JoystickUpdate();
            SDL_Event event;
            while (SDL_PollEvent(&event)) source.HandleEvent(event);
        };
        MouseSample sample;
        source.ReadMouse(sample);
        const int start_x = sample.x;
        SDL_JoystickSetVirtualAxis(pad, SDL_CONTROLLER_AXIS_LEFTX, 32767);
        SDL_JoystickSetVirtualButton(pad, SDL_CONTROLLER_BUTTON_A, 1);
        pump();
        EXPECT_TRUE(source.Moving());
        SDL_Delay(30);
        source.ReadMouse(sample);
        EXPECT_GT(sample.x, start_x);
        EXPECT_EQ(sample.y, 0);
        EXPECT_EQ(sample.buttons[0], 0x80);
        SDL_JoystickSetVirtualAxis(pad, SDL_CONTROLLER_AXIS_LEFTX, 0);
        pump();
        EXPECT_FALSE(source.Moving());
    }
    SDL_JoystickClose(pad);
    SDL_JoystickDetachVirtual(index);
    SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
}
