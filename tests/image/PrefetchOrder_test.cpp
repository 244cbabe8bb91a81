#include "image/PrefetchOrder.h"

#include <gtest/gtest.h>

#include <climits>
#include <set>
#include <vector>

namespace {

std::vector<int32_t> Pass(int32_t current, int32_t count) {
    std::vector<int32_t> order;
    for (int32_t visit = 0; visit < kVisitsPerPass; ++visit)
        order.push_back(PrefetchVisitIndex(current, count, visit));
    return order;
}

TEST(PrefetchOrder, OnePassVisitsAheadThenBehind) {
    struct Case {
        int32_t current, count;
        std::vector<int32_t> order;
    };
    const std::vector<Case> cases = {
        {0, 100, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0, 99, 98, 97, 96, 95, 94, 93, 92, 91, 90}},
        {50, 100, {50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60,
                   50, 49, 48, 47, 46, 45, 44, 43, 42, 41, 40}},
        {95, 100, {95, 96, 97, 98, 99, 0, 1, 2, 3, 4, 5, 95, 94, 93, 92, 91, 90, 89, 88, 87, 86, 85}},
        // Five images opened at the third: 2, 3, 4, 0, 1 first, then around again.
        {2, 5, {2, 3, 4, 0, 1, 2, 3, 4, 0, 1, 2, 2, 1, 0, 4, 3, 2, 1, 0, 4, 3, 2}},
        // One image: slot 0 twenty-two times.
        {0, 1, std::vector<int32_t>(22, 0)},
        // Near the top of the index range nothing overflows.
        {INT_MAX - 1, INT_MAX, {INT_MAX - 1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9,
                                INT_MAX - 1, INT_MAX - 2, INT_MAX - 3, INT_MAX - 4, INT_MAX - 5,
                                INT_MAX - 6, INT_MAX - 7, INT_MAX - 8, INT_MAX - 9, INT_MAX - 10,
                                INT_MAX - 11}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Pass(c.current, c.count), c.order) << c.current << " of " << c.count;
    }
}

TEST(PrefetchOrder, WindowIsTheTwentyOneSlotsAPassVisits) {
    for (int32_t count : {1, 2, 5, 20, 21, 22, 23, 100}) {
        for (int32_t current = 0; current < count; ++current) {
            const std::vector<int32_t> order = Pass(current, count);
            const std::set<int32_t> visited(order.begin(), order.end());
            EXPECT_EQ(visited.size(), static_cast<size_t>(count < 21 ? count : 21));
            for (int32_t index = 0; index < count; ++index)
                ASSERT_EQ(InPrefetchWindow(index, current, count), visited.count(index) == 1)
                    << index << " around " << current << " of " << count;
        }
    }
}

TEST(PrefetchOrder, OutsideRunCoversExactlyTheSlotsOutsideTheWindow) {
    for (int32_t count : {1, 21, 22, 23, 40, 100}) {
        for (int32_t current = 0; current < count; ++current) {
            std::set<int32_t> outside;
            int32_t i = FirstOutsideWindow(current, count);
            for (int32_t n = OutsideWindowCount(count); n > 0; --n) {
                ASSERT_TRUE(i >= 0 && i < count);
                outside.insert(i);
                if (++i == count) i = 0;
            }
            ASSERT_EQ(outside.size(), static_cast<size_t>(OutsideWindowCount(count)));
            for (int32_t index = 0; index < count; ++index)
                ASSERT_NE(InPrefetchWindow(index, current, count), outside.count(index) == 1)
                    << index << " around " << current << " of " << count;
        }
    }
}

TEST(PrefetchOrder, WindowEdges) {
    struct Case {
        int32_t index, current, count;
        bool inside;
    };
    const Case cases[] = {
        {60, 50, 100, true},  {61, 50, 100, false}, {40, 50, 100, true}, {39, 50, 100, false},
        {90, 0, 100, true},   {89, 0, 100, false},  {10, 0, 100, true},  {11, 0, 100, false},
        {9, 99, 100, true},   {10, 99, 100, false}, {0, INT_MAX - 1, INT_MAX, true},
        {INT_MAX / 2, INT_MAX - 1, INT_MAX, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(InPrefetchWindow(c.index, c.current, c.count), c.inside)
            << c.index << " around " << c.current << " of " << c.count;
}


TEST(PrefetchOrder, APassStartsAgainAroundAMovedIndex) {
    // Visits 0..k of a pass around 5, then the index moves (or not): the
    // next slot visited is the new current one, then forward, then back.
    struct Case {
        int32_t visited, movedTo;
        std::vector<int32_t> next;
    };
    const std::vector<Case> cases = {
        {3, 25, {25, 26, 27}},
        {3, 5, {8, 9, 10}},  // not moved: the pass goes on
        {15, 4, {4, 5, 6}},  // moved back during the backward sweep
    };
    for (const Case& c : cases) {
        PrefetchPass pass;
        FollowCurrentIndex(pass, 5);
        pass.visit = c.visited;
        EXPECT_EQ(FollowCurrentIndex(pass, c.movedTo), c.movedTo != 5);
        std::vector<int32_t> next;
        for (int k = 0; k < 3; ++k) next.push_back(PrefetchVisitIndex(pass.centre, 100, pass.visit++));
        EXPECT_EQ(next, c.next) << c.visited << " then " << c.movedTo;
    }
}

TEST(PrefetchOrder, NoDecodeStartsWhileStepsComeQuickly) {
    struct Case {
        uint64_t now, movedAt, wait;
    };
    const Case cases[] = {
        {5000, 0, 0},                       // never moved: at once
        {5000, 5000, kSettleMs},            // just moved
        {5000, 4970, kSettleMs - 30},       // one key repeat ago
        {5000, 5000 - kSettleMs, 0},        // settled
        {5000, 5016, kSettleMs},            // moved after the clock was read
    };
    for (const Case& c : cases) EXPECT_EQ(SettleWaitMs(c.now, c.movedAt), c.wait) << c.now << " " << c.movedAt;

    // One decoder watching: the index it sees, when, and the UI's record of
    // the last move; the move the settle counts from. -1: the decoder has
    // just decoded (it was not watching).
    struct Sight {
        int32_t current;
        uint64_t now, movedAt, lastMove;
    };
    const Sight sights[] = {
        {3, 1000, 0, 0},        // the first index seen is no move
        {3, 1200, 0, 0},        // nor is seeing it again
        {4, 1300, 1250, 1300},  // stored, not yet recorded: counts from the sight
        {4, 1340, 1320, 1320},  // then recorded later: the record
        {5, 1400, 1450, 1450},  // recorded before it was seen: the record
        {-1, 0, 0, 0},
        {9, 3000, 2000, 2000},  // first sight after a decode: the record
    };
    SeenIndex seen;
    for (const Sight& c : sights) {
        if (c.current < 0) {
            seen = SeenIndex{};
            continue;
        }
        EXPECT_EQ(LastMoveMs(seen, c.current, c.now, c.movedAt), c.lastMove) << c.current << " at " << c.now;
    }
}

TEST(PrefetchOrder, ARunningDecodeGivesWayToTheLandingPicture) {
    struct Case {
        int32_t decoding, other, current;
        bool landingWaits, kept;
        bool landingDecoder = false;
    };
    const Case cases[] = {
        {25, 3, 25, true, true},     // the picture on screen itself
        {3, 25, 25, false, false},   // left the window
        {15, 24, 25, false, true},   // stepped past, still in the window
        {15, -1, 25, true, true},    // the other decoder is free for the landing picture
        {15, 24, 25, true, false},   // both busy: the further one gives way ...
        {24, 15, 25, true, true},    // ... and the nearer one goes on
        {27, 23, 25, true, true},    // equal distances: the one ahead goes on ...
        {23, 27, 25, true, false},   // ... and the one behind gives way
        {99, 2, 0, true, true},      // around the end of the ring
        {5, 25, 25, true, false},    // out of the window whatever the other does
        // The decoder kept for the picture on screen: free for it at once ...
        {24, -1, 25, true, false, true},
        {24, 15, 25, true, false, true},
        {25, -1, 25, true, true, true},
        {24, -1, 25, false, true, true},  // ... and finishing a neighbour when nothing waits
    };
    for (const Case& c : cases)
        EXPECT_EQ(DecodeStillWanted(c.decoding, c.other, c.current, 100, c.landingWaits, c.landingDecoder), c.kept)
            << c.decoding << " beside " << c.other << " around " << c.current;
}

}  // namespace
