#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

#include "api/handle_table.h"
#include "camera/camera.h"

namespace orvix {
namespace {

using Visits = std::vector<std::uint32_t>;

TEST(HandleTable, WalksBackwardsFromTheNewestNodeAndStopsOnTheFoundNode) {
    CameraHandleTable table;
    const std::uint32_t a = table.create();
    const std::uint32_t b = table.create();
    const std::uint32_t c = table.create();
    ASSERT_EQ(table.count(), 3);
    EXPECT_EQ(table.cursorHandle(), c);

    // Each new node goes in front of the cursor, so from C the list runs C, B, A.
    Visits visits;
    ASSERT_NE(table.find(a, &visits), nullptr);
    EXPECT_EQ(visits, (Visits{c, b, a}));
    EXPECT_EQ(table.cursorHandle(), a);

    visits.clear();
    ASSERT_NE(table.find(a, &visits), nullptr);
    EXPECT_EQ(visits, (Visits{a})) << "a repeated lookup costs one comparison";
}

TEST(HandleTable, UnknownHandleVisitsEveryNodeOnceAndLeavesCursorBeforeTheStart) {
    CameraHandleTable table;
    const std::uint32_t a = table.create();
    const std::uint32_t b = table.create();
    const std::uint32_t c = table.create();
    ASSERT_NE(table.find(a), nullptr);

    std::uint32_t unknown = 1;
    while (unknown == a || unknown == b || unknown == c) ++unknown;
    Visits visits;
    EXPECT_EQ(table.find(unknown, &visits), nullptr);
    EXPECT_EQ(visits, (Visits{a, c, b}));
    EXPECT_EQ(table.cursorHandle(), b);
}

TEST(HandleTable, EmptyTableKnowsNothing) {
    CameraHandleTable table;
    Visits visits;
    EXPECT_EQ(table.find(42, &visits), nullptr);
    EXPECT_TRUE(visits.empty());
    EXPECT_EQ(table.lookup(42), nullptr);
    EXPECT_EQ(table.release(42), 0);
    EXPECT_EQ(table.remove(42), 0);
    EXPECT_EQ(table.cursorHandle(), 0u);
}

TEST(HandleTable, ReleasingTheOnlyHandleEmptiesTheTableAndASecondReleaseFails) {
    CameraHandleTable table;
    const std::uint32_t a = table.create();
    std::weak_ptr<Camera> camera = table.lookup(a);
    ASSERT_FALSE(camera.expired());
    EXPECT_EQ(table.release(a), 1);
    EXPECT_TRUE(camera.expired()) << "release destroys the Camera";
    EXPECT_EQ(table.count(), 0);
    EXPECT_EQ(table.cursorHandle(), 0u);
    EXPECT_EQ(table.release(a), 0);
}

TEST(HandleTable, RemovalMovesTheCursorToTheRemovedNodesSuccessor) {
    CameraHandleTable table;
    const std::uint32_t a = table.create();
    const std::uint32_t b = table.create();
    const std::uint32_t c = table.create();
    // Following `next` the ring runs A, C, B: each node went in front of the cursor.
    ASSERT_EQ(table.release(b), 1);
    EXPECT_EQ(table.count(), 2);
    EXPECT_EQ(table.cursorHandle(), a) << "B's successor is A";
    Visits visits;
    ASSERT_NE(table.find(c, &visits), nullptr);
    EXPECT_EQ(visits, (Visits{a, c}));
    EXPECT_EQ(table.release(c), 1);
    EXPECT_EQ(table.cursorHandle(), a);
    EXPECT_EQ(table.release(a), 1);
    EXPECT_EQ(table.count(), 0);
}

TEST(HandleTable, NewNodeIsInsertedInFrontOfTheCursor) {
    CameraHandleTable table;
    const std::uint32_t a = table.create();
    const std::uint32_t b = table.create();
    ASSERT_NE(table.find(a), nullptr); // cursor on A
    const std::uint32_t c = table.create(); // goes between B and A
    EXPECT_EQ(table.cursorHandle(), c);
    Visits visits;
    ASSERT_NE(table.find(b, &visits), nullptr);
    EXPECT_EQ(visits, (Visits{c, a, b}));
}

TEST(HandleTable, HandlesAreNeverZeroOrDuplicated) {
    CameraHandleTable table;
    std::set<std::uint32_t> seen;
    for (int i = 0; i < 200; ++i) {
        const std::uint32_t handle = table.create();
        ASSERT_NE(handle, 0u);
        EXPECT_TRUE(seen.insert(handle).second);
    }
    EXPECT_EQ(table.count(), 200);
}

TEST(HandleTable, FailedAllocationLeavesTheTableUnchanged) {
    CameraHandleTable table([]() -> std::shared_ptr<Camera> { throw std::bad_alloc(); });
    EXPECT_EQ(table.create(), 0u);
    EXPECT_EQ(table.count(), 0);
}

TEST(HandleTable, ClearKeepsUnreleasedCamerasAlive) {
    std::weak_ptr<Camera> survivor;
    {
        CameraHandleTable table;
        survivor = table.lookup(table.create());
        table.clear();
        EXPECT_EQ(table.count(), 0);
    }
    EXPECT_FALSE(survivor.expired()) << "unload must not destroy (and save) cameras";
}

TEST(HandleTable, ACallInFlightKeepsItsCameraAliveAcrossARelease) {
    CameraHandleTable table;
    const std::uint32_t handle = table.create();
    std::shared_ptr<Camera> inFlight = table.lookup(handle);
    std::weak_ptr<Camera> watch = inFlight;
    EXPECT_EQ(table.release(handle), 1);
    EXPECT_EQ(table.lookup(handle), nullptr);
    EXPECT_FALSE(watch.expired());
    inFlight.reset();
    EXPECT_TRUE(watch.expired());
}

TEST(HandleTable, ConcurrentCreateLookupAndReleaseKeepTheListConsistent) {
    CameraHandleTable table;
    std::vector<std::thread> workers;
    for (int t = 0; t < 4; ++t) {
        workers.emplace_back([&table] {
            for (int i = 0; i < 200; ++i) {
                const std::uint32_t handle = table.create();
                ASSERT_NE(table.lookup(handle), nullptr);
                ASSERT_EQ(table.release(handle), 1);
            }
        });
    }
    for (auto& worker : workers) worker.join();
    EXPECT_EQ(table.count(), 0);
}

} // namespace
} // namespace orvix
