#include "baselib/objcontainer.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

int* Ptr(intptr_t n) {
    return reinterpret_cast<int*>(n);
}

// Items from First/Next, skipping the zeros of empty array slots.
std::vector<intptr_t> Walk(ObjContainer& container) {
    std::vector<intptr_t> items;
    ObjIterator it(&container);
    void* item = it.First();
    while (it.position != 0) {
        if (item)
            items.push_back(reinterpret_cast<intptr_t>(item));
        item = it.Next();
    }
    return items;
}

// [ObjArray]

TEST(ObjArray, RemovedPositionsAreReusedByAdd) {
    ObjArray array;
    EXPECT_EQ(array.Add(Ptr(1)), 1);
    EXPECT_EQ(array.Add(Ptr(2)), 2);
    EXPECT_EQ(array.Add(Ptr(3)), 3);
    EXPECT_EQ(array.RemoveAt(2), 1);
    EXPECT_EQ(array.RemoveAt(2), 0);    // already empty
    EXPECT_EQ(array.GetAt(3), Ptr(3));  // other positions never move
    EXPECT_EQ(array.Add(Ptr(4)), 2);
    EXPECT_EQ(array.Count(), 3);
    EXPECT_EQ(array.Highest(), 3);
    EXPECT_EQ(array.Add(Ptr(5)), 4);
}

TEST(ObjArray, RemovingTheHighestSkipsEmptySlots) {
    ObjArray array;
    array.Append(Ptr(1));
    array.Append(Ptr(2));
    array.Append(Ptr(3));
    array.RemoveAt(2);
    EXPECT_EQ(array.RemoveAt(3), 1);
    EXPECT_EQ(array.Highest(), 1);
    EXPECT_EQ(array.Count(), 1);
    EXPECT_EQ(array.Append(Ptr(9)), 2);
    EXPECT_EQ(array.RemoveLast(), 1);
    EXPECT_EQ(array.RemoveFirst(), 1);
    EXPECT_EQ(array.Highest(), 0);
    EXPECT_EQ(array.Count(), 0);
    EXPECT_EQ(array.first_free(), 1);
}

TEST(ObjArray, GrowsInStepsAndRefusesAbsurdPositions) {
    ObjArray array;
    EXPECT_EQ(array.InsertAfter(Ptr(1), 0), 0);
    // Append after setting a far position through InsertAfter of the highest.
    array.Append(Ptr(1));
    for (int i = 2; i <= 199; ++i) array.Append(Ptr(i));
    EXPECT_EQ(array.capacity(), 256);
    ObjArray fresh;
    EXPECT_EQ(fresh.SetAt(Ptr(1), 200), 0);  // SetAt only within 1..highest
    EXPECT_EQ(fresh.Add(Ptr(1)), 1);
    EXPECT_EQ(fresh.capacity(), 128);
    for (int i = 2; i <= 200; ++i) ASSERT_EQ(fresh.Append(Ptr(i)), i);
    EXPECT_EQ(fresh.capacity(), 256);
    EXPECT_EQ(fresh.GetAt(200), Ptr(200));
    EXPECT_EQ(fresh.GetAt(201), nullptr);
    EXPECT_EQ(fresh.GetAt(0), nullptr);
    EXPECT_EQ(fresh.GetAt(-3), nullptr);
}

TEST(ObjArray, InsertBeforeAndAfterUseNearestFreePosition) {
    ObjArray array;
    for (int i = 1; i <= 6; ++i) array.Append(Ptr(i));
    array.RemoveAt(2);
    array.RemoveAt(4);
    // first_free is 2: before 6 the nearest free position below is 4.
    EXPECT_EQ(array.InsertBefore(Ptr(40), 6), 4);
    EXPECT_EQ(array.InsertBefore(Ptr(20), 2), 0);  // not above first_free
    EXPECT_EQ(array.InsertBefore(Ptr(20), 3), 2);
    EXPECT_EQ(array.InsertBefore(Ptr(99), 7), 0);  // past highest
    // Nothing free above 3 up to highest: goes to highest + 1.
    EXPECT_EQ(array.InsertAfter(Ptr(7), 3), 7);
    array.RemoveAt(5);
    EXPECT_EQ(array.InsertAfter(Ptr(50), 1), 5);
    EXPECT_EQ(Walk(array), (std::vector<intptr_t>{1, 20, 3, 40, 50, 6, 7}));
}

TEST(ObjArray, SetAtEmptySlotCountsTheItem) {
    ObjArray array;
    array.Append(Ptr(1));
    array.Append(Ptr(2));
    array.Append(Ptr(3));
    array.RemoveAt(2);
    EXPECT_EQ(array.SetAt(Ptr(5), 3), 3);  // replaces
    EXPECT_EQ(array.Count(), 2);
    EXPECT_EQ(array.SetAt(Ptr(9), 2), 2);  // fills the hole
    EXPECT_EQ(array.Count(), 3);
    // The hole is gone, so Add must not pick it again.
    EXPECT_EQ(array.Add(Ptr(4)), 4);
    EXPECT_EQ(array.IndexOf(Ptr(9)), 2);
    EXPECT_EQ(array.IndexOf(Ptr(3)), 0);
}

TEST(ObjArray, IteratorStepsAndEmptySlots) {
    ObjArray array;
    ObjIterator it(&array);
    EXPECT_EQ(it.First(), nullptr);
    EXPECT_EQ(it.position, 0);
    array.Append(Ptr(1));
    array.Append(Ptr(2));
    array.Append(Ptr(3));
    array.RemoveAt(2);
    EXPECT_EQ(it.First(), Ptr(1));
    EXPECT_EQ(it.Next(), nullptr);  // empty slot
    EXPECT_EQ(it.position, 2);
    EXPECT_EQ(it.IsValid(), 1);
    EXPECT_EQ(it.Next(), Ptr(3));
    EXPECT_EQ(it.Next(), nullptr);  // past the last
    EXPECT_EQ(it.position, 0);
    EXPECT_EQ(it.IsValid(), 0);
    EXPECT_EQ(it.Prev(), Ptr(3));  // from 0 to the highest
    EXPECT_EQ(it.Prev(), nullptr);
    EXPECT_EQ(it.Prev(), Ptr(1));
    EXPECT_EQ(it.Prev(), nullptr);
    EXPECT_EQ(it.position, 0);
    EXPECT_EQ(it.Last(), Ptr(3));
    EXPECT_EQ(it.Remove(), 1);
    EXPECT_EQ(array.Highest(), 1);
    EXPECT_EQ(array.FirstItem(), Ptr(1));
    EXPECT_EQ(array.LastItem(), Ptr(1));
}

TEST(ObjArray, RemoveAfterAndClear) {
    ObjArray array;
    for (int i = 1; i <= 5; ++i) array.Append(Ptr(i));
    array.RemoveAt(4);
    EXPECT_EQ(array.RemoveAfter(2), 2);
    EXPECT_EQ(array.Highest(), 2);
    EXPECT_EQ(array.RemoveItem(Ptr(1)), 1);
    EXPECT_EQ(array.RemoveItem(Ptr(1)), 0);
    ObjIterator it(&array);
    it.Last();
    EXPECT_EQ(array.Clear(), 1);
    EXPECT_EQ(it.position, 0);
    EXPECT_EQ(array.capacity(), 0);
    EXPECT_EQ(array.Add(Ptr(8)), 1);
}

// [ObjList]

TEST(ObjList, InsertAppendAndPositions) {
    ObjList list;
    EXPECT_EQ(list.Append(Ptr(2)), 1);
    EXPECT_EQ(list.Insert(Ptr(1)), 1);
    EXPECT_EQ(list.Append(Ptr(4)), 3);
    EXPECT_EQ(list.InsertBefore(Ptr(3), 3), 3);
    EXPECT_EQ(list.InsertAfter(Ptr(5), 4), 5);
    EXPECT_EQ(list.InsertAfter(Ptr(15), 1), 2);
    EXPECT_EQ(list.InsertBefore(Ptr(100), 1), 1);
    EXPECT_EQ(list.InsertBefore(Ptr(9), 9), 0);  // beyond the count
    EXPECT_EQ(list.InsertAfter(Ptr(9), 0), 0);
    EXPECT_EQ(Walk(list), (std::vector<intptr_t>{100, 1, 15, 2, 3, 4, 5}));
    EXPECT_EQ(list.Count(), 7);
    EXPECT_EQ(list.IndexOf(Ptr(3)), 5);
    EXPECT_EQ(list.GetAt(7), Ptr(5));
    EXPECT_EQ(list.GetAt(8), nullptr);
    EXPECT_EQ(list.SetAt(Ptr(30), 5), 5);
    EXPECT_EQ(list.GetAt(5), Ptr(30));
    EXPECT_EQ(list.FirstItem(), Ptr(100));
    EXPECT_EQ(list.LastItem(), Ptr(5));
}

TEST(ObjList, IteratorsFollowInsertionsAndRemovals) {
    ObjList list;
    for (int i = 1; i <= 5; ++i) list.Append(Ptr(i));
    ObjIterator on_three(&list);
    on_three.position = 3;
    ObjIterator on_one(&list);
    on_one.position = 1;
    ObjIterator on_five(&list);
    on_five.position = 5;

    EXPECT_EQ(list.RemoveAt(1), 1);
    EXPECT_EQ(on_three.position, 2);
    EXPECT_EQ(on_three.Current(), Ptr(3));
    EXPECT_EQ(on_one.position, 0);  // lost its item
    EXPECT_EQ(on_five.Current(), Ptr(5));

    EXPECT_EQ(list.Insert(Ptr(100)), 1);
    EXPECT_EQ(on_three.Current(), Ptr(3));
    EXPECT_EQ(list.InsertBefore(Ptr(25), on_three), 3);  // before the iterator's item
    EXPECT_EQ(on_three.position, 4);
    EXPECT_EQ(on_three.Current(), Ptr(3));
    EXPECT_EQ(list.InsertAfter(Ptr(35), on_three), 5);  // after: iterator stays
    EXPECT_EQ(on_three.Current(), Ptr(3));
    EXPECT_EQ(on_five.Current(), Ptr(5));
    EXPECT_EQ(list.RemoveItem(Ptr(25)), 1);
    EXPECT_EQ(on_three.Current(), Ptr(3));
    EXPECT_EQ(Walk(list), (std::vector<intptr_t>{100, 2, 3, 35, 4, 5}));
}

TEST(ObjList, RemovingThroughTheIteratorAndNeighbours) {
    ObjList list;
    for (int i = 1; i <= 6; ++i) list.Append(Ptr(i));
    ObjIterator it(&list);
    it.First();
    it.Next();
    it.Next();                            // on 3
    EXPECT_EQ(list.RemoveBefore(it), 1);  // removes 2
    EXPECT_EQ(it.Current(), Ptr(3));
    EXPECT_EQ(list.RemoveAfter(it), 1);  // removes 4
    EXPECT_EQ(it.Current(), Ptr(3));
    EXPECT_EQ(it.Remove(), 1);
    EXPECT_EQ(it.position, 0);
    EXPECT_EQ(Walk(list), (std::vector<intptr_t>{1, 5, 6}));
    EXPECT_EQ(list.RemoveAfter(1), 2);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.RemoveLast(), 1);
    EXPECT_EQ(list.RemoveFirst(), 0);
}

TEST(ObjList, WalkingBothWaysAndFromTheEnd) {
    ObjList list;
    ObjIterator it(&list);
    EXPECT_EQ(it.Next(), nullptr);
    EXPECT_EQ(it.position, 0);
    for (int i = 1; i <= 3; ++i) list.Append(Ptr(i));
    EXPECT_EQ(it.Last(), Ptr(3));
    EXPECT_EQ(it.Next(), nullptr);  // from the last position to 0
    EXPECT_EQ(it.position, 0);
    EXPECT_EQ(it.Prev(), Ptr(3));
    EXPECT_EQ(it.Prev(), Ptr(2));
    EXPECT_EQ(it.Prev(), Ptr(1));
    EXPECT_EQ(it.Prev(), nullptr);
    it.position = 77;  // invalid: Next starts over at 1
    EXPECT_EQ(it.Next(), Ptr(1));
    EXPECT_EQ(list.Clear(), 3);
    EXPECT_EQ(it.position, 0);
    EXPECT_EQ(list.GetAt(1), nullptr);
}

TEST(ObjList, LongListsAreWalkedInOrder) {
    ObjList list;
    for (int i = 1; i <= 2000; ++i) list.Append(Ptr(i));
    // Random access from both ends and the remembered cursor.
    EXPECT_EQ(list.GetAt(1999), Ptr(1999));
    EXPECT_EQ(list.GetAt(2), Ptr(2));
    EXPECT_EQ(list.GetAt(1000), Ptr(1000));
    EXPECT_EQ(list.GetAt(1001), Ptr(1001));
    EXPECT_EQ(list.GetAt(999), Ptr(999));
    std::vector<intptr_t> walked = Walk(list);
    ASSERT_EQ(walked.size(), 2000u);
    for (int i = 0; i < 2000; ++i) ASSERT_EQ(walked[i], i + 1);
}

TEST(ObjIterator, RegistrationSurvivesEitherSideGoingFirst) {
    auto list = std::make_unique<ObjList>();
    list->Append(Ptr(1));
    list->Append(Ptr(2));
    auto a = std::make_unique<ObjIterator>(list.get());
    ObjIterator b(list.get());
    auto c = std::make_unique<ObjIterator>(list.get());
    a->position = 2;
    b.position = 2;
    c->position = 2;
    c.reset();  // unregister from the head of the chain
    a.reset();  // and from the tail
    list->Insert(Ptr(0));
    EXPECT_EQ(b.position, 3);  // the remaining one is still notified
    list.reset();
    EXPECT_EQ(b.container(), nullptr);  // detached, not dangling
    EXPECT_EQ(b.Next(), nullptr);
    EXPECT_EQ(b.Remove(), 0);

    ObjContainer plain;  // the neutral base answers 0 everywhere
    ObjIterator on_plain(&plain);
    EXPECT_EQ(plain.Add(Ptr(1)), 0);
    EXPECT_EQ(on_plain.First(), nullptr);
    EXPECT_EQ(plain.Count(), 0);
}

}  // namespace
