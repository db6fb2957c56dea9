#include "baselib/queue.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "baselib/bl_memory.h"
#include "core_test_support.h"

namespace {

using vorlane::baselib::CursorList;
using vorlane::baselib::ListNode;

class QueueTest : public core_test::BaseLibTest {};

TEST_F(QueueTest, FifoOrderCountsAndSizes) {
    MTX_QLIST* queue = MTX_QLIST::Create();
    ASSERT_NE(queue, nullptr);
    int a = 1, b = 2, c = 3;
    EXPECT_EQ(queue->Append(&a, 10), 0);
    EXPECT_EQ(queue->Append(&b, 20), 0);
    EXPECT_EQ(queue->Append(&c, 30), 0);
    EXPECT_EQ(queue->count(), 3);
    EXPECT_EQ(queue->total_size(), 60u);
    uint32_t size = 0;
    EXPECT_EQ(queue->Pop(&size), &a);
    EXPECT_EQ(size, 10u);
    EXPECT_EQ(queue->RemoveData(&c), 0);
    EXPECT_EQ(queue->RemoveData(&c), -1);
    EXPECT_EQ(queue->total_size(), 20u);
    EXPECT_EQ(queue->Pop(nullptr), &b);
    EXPECT_EQ(queue->Pop(&size), nullptr);
    EXPECT_EQ(size, 0u);
    // The tail is reset with the last node: appending again still works.
    EXPECT_EQ(queue->Append(&c, 1), 0);
    EXPECT_EQ(queue->Pop(nullptr), &c);
    EXPECT_EQ(queue->Remove(nullptr), -1);
    MTX_QLIST::Destroy(queue, 0);
}

TEST_F(QueueTest, DestroyAndFlushReleaseOwnedBlocks) {
    MTX_QLIST* queue = MTX_QLIST::Create();
    for (int i = 0; i < 3; ++i) queue->Append(BL_OrgGetMem(16), 16);
    queue->Flush(1);  // a sanitizer build reports blocks that are not released
    EXPECT_EQ(queue->count(), 0);
    for (int i = 0; i < 3; ++i) queue->Append(BL_OrgGetMem(16), 16);
    MTX_QLIST::Destroy(queue, 1);
}

TEST_F(QueueTest, ConcurrentProducersKeepEachOrder) {
    MTX_QLIST* queue = MTX_QLIST::Create();
    constexpr int kPerThread = 2000;
    static int tokens[2][kPerThread];
    std::vector<std::thread> producers;
    for (int p = 0; p < 2; ++p) {
        producers.emplace_back([queue, p] {
            for (int i = 0; i < kPerThread; ++i) {
                tokens[p][i] = i;
                while (queue->Append(&tokens[p][i], uint32_t(p)) != 0) {
                }
            }
        });
    }
    int next[2] = {0, 0};
    int received = 0;
    while (received < 2 * kPerThread) {
        uint32_t producer = 0;
        void* data = queue->Pop(&producer);
        if (!data)
            continue;
        ASSERT_LT(producer, 2u);
        EXPECT_EQ(*static_cast<int*>(data), next[producer]++);
        ++received;
    }
    for (auto& thread : producers) thread.join();
    MTX_QLIST::Destroy(queue, 0);
}

TEST_F(QueueTest, QueueRefusesItemsBeyondItsCount) {
    MTX_QLIST* queue = MTX_QLIST::Create();
    static char token;
    for (int i = 0; i < 65535; ++i) ASSERT_EQ(queue->Append(&token, 1), 0);
    EXPECT_EQ(queue->Append(&token, 1), -1);  // the 16-bit count is full
    EXPECT_EQ(queue->count(), 65535);
    MTX_QLIST::Destroy(queue, 0);
}

struct Tagged : ListNode {
    explicit Tagged(int value) : value(value) {}
    int value;
};

int Value(ListNode* node) {
    return static_cast<Tagged*>(node)->value;
}

TEST_F(QueueTest, CursorListWalksAndRemoves) {
    CursorList list;
    EXPECT_EQ(list.First(), nullptr);
    ListNode* one = list.AppendNode(std::make_unique<Tagged>(1));
    ListNode* two = list.AppendNode(std::make_unique<Tagged>(2));
    ListNode* three = list.AppendNode(std::make_unique<Tagged>(3));
    EXPECT_EQ(list.count(), 3u);
    EXPECT_EQ(Value(list.First()), 1);
    EXPECT_EQ(Value(list.Next()), 2);
    EXPECT_EQ(Value(list.Next()), 3);
    EXPECT_EQ(list.Next(), nullptr);

    std::unique_ptr<ListNode> taken = list.RemoveNode(two);
    ASSERT_NE(taken, nullptr);
    EXPECT_EQ(list.cursor(), three);  // moved to the successor
    EXPECT_EQ(one->next, three);
    EXPECT_EQ(three->previous, one);
    EXPECT_EQ(list.RemoveNode(two), nullptr);  // no longer in the list
    EXPECT_EQ(list.RemoveAndDelete(three), 0);
    EXPECT_EQ(list.cursor(), one);  // no successor: the tail
    EXPECT_EQ(list.tail(), one);

    int payload = 9;
    ListNode* data_node = list.AppendData(&payload);
    EXPECT_EQ(data_node->data, &payload);
    EXPECT_EQ(list.count(), 2u);
}

}  // namespace
