#include "baselib/ioeve.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "baselib/dave.h"
#include "core_test_support.h"

namespace {

std::vector<std::string> g_calls;

int First(void* event) {
    g_calls.push_back("first:" + std::to_string(static_cast<IOEVE*>(event)->message));
    return 0;
}
int Second(void* event) {
    g_calls.push_back("second:" + std::to_string(static_cast<IOEVE*>(event)->message));
    return 0;
}

class DaveTest : public core_test::BaseLibTest {
  protected:
    void SetUp() override {
        BaseLibTest::SetUp();
        g_calls.clear();
    }
};

TEST_F(DaveTest, MessageTablesRouteEveryButton) {
    struct Case {
        uint32_t message;
        int slot;
        uint32_t buttons;
    };
    const Case cases[] = {
        {WM_LBUTTONDOWN, 0, 0x09}, {WM_LBUTTONUP, 3, 0x0A}, {WM_LBUTTONDBLCLK, 0, 0x0D},
        {WM_RBUTTONDOWN, 2, 0x11}, {WM_RBUTTONUP, 5, 0x12}, {WM_RBUTTONDBLCLK, 2, 0x15},
        {WM_MBUTTONDOWN, 1, 0x21}, {WM_MBUTTONUP, 4, 0x22}, {WM_MBUTTONDBLCLK, 1, 0x25},
    };
    for (const Case& c : cases) {
        IOEVE event;
        event.class_flags = kEveMouseInput & ~kEveMouse;
        EXPECT_EQ(SlotForMessage(c.message), c.slot) << c.message;
        EXPECT_EQ(SetButtonFlags(&event, c.message), 0) << c.message;
        EXPECT_EQ(event.button_flags, c.buttons) << c.message;
        EXPECT_TRUE(event.class_flags & kEveMouse) << c.message;
    }
    EXPECT_EQ(SlotForMessage(WM_MOUSEMOVE), 6);
    EXPECT_EQ(SlotForMessage(WM_KEYUP), 7);
    EXPECT_EQ(SlotForMessage(WM_KEYDOWN), 8);
    EXPECT_EQ(SlotForMessage(WM_CHAR), 12);
    EXPECT_EQ(SlotForMessage(WM_MOUSEWHEEL), 13);
    EXPECT_EQ(SlotForMessage(0), -1);
    IOEVE move;
    EXPECT_EQ(SetButtonFlags(&move, WM_MOUSEMOVE), -1);
    EXPECT_EQ(move.button_flags, 0u);
    EXPECT_EQ(SetButtonFlags(nullptr, WM_LBUTTONDOWN), -1);
}

TEST_F(DaveTest, SlotAllocation) {
    DAVE* table = DAVE_Create(0);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->slot_count(), 128);
    DAVE_Remove(table);

    table = DAVE_Create(16);
    EXPECT_EQ(table->AllocStandardSlots(), 0);
    EXPECT_EQ(table->SlotFlags(13), kSlotAllocated);
    EXPECT_EQ(table->AllocSlot(3), -1);  // taken
    EXPECT_EQ(table->AllocSlot(-1), 14);
    EXPECT_EQ(table->AllocSlot(-1), 15);
    EXPECT_EQ(table->AllocSlot(-1), -1);  // full
    EXPECT_EQ(table->AllocSlot(16), -1);  // beyond the table
    EXPECT_EQ(table->AllocStandardSlots(), -1);
    EXPECT_EQ(DAVE_Remove(table), 0);

    EXPECT_EQ(DAVE_Create(1 << 30), nullptr);  // refused, not attempted
    EXPECT_EQ(DAVE_Remove(nullptr), -1);
}

TEST_F(DaveTest, FireCallsCallbacksInOrder) {
    DAVE* table = DAVE_Create(16);
    EXPECT_EQ(table->AddCallback(2, First), -1);  // not allocated yet
    table->AllocStandardSlots();
    EXPECT_EQ(table->AddCallback(2, First), 0);
    EXPECT_EQ(table->AddCallback(2, Second), 0);
    EXPECT_TRUE(table->SlotFlags(2) & kSlotHasCallbacks);
    EXPECT_EQ(table->AddCallback(99, First), -1);

    IOEVE event;
    event.message = WM_RBUTTONDBLCLK;
    table->Fire(SlotForMessage(event.message), &event);
    table->Fire(5, &event);  // no callbacks: nothing happens
    EXPECT_THAT(g_calls, ::testing::ElementsAre("first:518", "second:518"));

    table->RemoveCallback(2, First);
    g_calls.clear();
    table->Fire(2, &event);
    EXPECT_THAT(g_calls, ::testing::ElementsAre("second:518"));
    table->RemoveCallback(2, Second);
    EXPECT_FALSE(table->SlotFlags(2) & kSlotHasCallbacks);
    DAVE_Remove(table);
}

MTX_QLIST* g_queue = nullptr;
int Reposting(void* event) {
    g_calls.push_back("handled");
    IOEVE* copy = IOEVE_Create(static_cast<IOEVE*>(event)->class_flags, 0);
    copy->message = WM_MOUSEMOVE;
    IOEVE_Post(g_queue, copy);
    return 0;
}

TEST_F(DaveTest, DispatchHandsRecordsToTheirSlotsAndFreesThem) {
    DAVE* table = DAVE_Create(64);
    table->AllocStandardSlots();
    table->AddCallback(0, First);
    table->AddCallback(7, Second);
    MTX_QLIST* queue = MTX_QLIST::Create();
    IOEVE* press = IOEVE_Create(kEveMouseInput, 0);
    press->message = WM_LBUTTONDOWN;
    SetButtonFlags(press, press->message);
    IOEVE* key = IOEVE_Create(kEveKeyUp, 0);
    key->message = WM_KEYUP;
    IOEVE* unknown = IOEVE_Create(0, 0);
    unknown->message = 1;
    ASSERT_EQ(IOEVE_Post(queue, press), 0);
    ASSERT_EQ(IOEVE_Post(queue, key), 0);
    ASSERT_EQ(IOEVE_Post(queue, unknown), 0);
    EXPECT_EQ(queue->total_size(), 3 * sizeof(IOEVE));
    EXPECT_EQ(IOEVE_DispatchAll(queue, table), 3);
    EXPECT_THAT(g_calls, ::testing::ElementsAre("first:513", "second:257"));
    EXPECT_EQ(queue->count(), 0);

    // A handler that posts new records does not keep one pass going.
    g_queue = queue;
    table->AddCallback(6, Reposting);
    IOEVE* move = IOEVE_Create(kEveMouseMove, 0);
    move->message = WM_MOUSEMOVE;
    IOEVE_Post(queue, move);
    g_calls.clear();
    EXPECT_EQ(IOEVE_DispatchAll(queue, table), 1);
    EXPECT_EQ(queue->count(), 1);
    IOEVE_Flush(queue);
    EXPECT_EQ(queue->count(), 0);

    EXPECT_EQ(IOEVE_Post(nullptr, IOEVE_Create(0, 0)), -1);  // freed, not leaked
    MTX_QLIST::Destroy(queue, 1);
    DAVE_Remove(table);
}

}  // namespace
