#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/core/NORVASpareBlock.h"

namespace {

struct Node {
    double values[4];
};
using Spare = NORVASpareBlock<Node>;

// The kept block is handed out once, a second given block is freed, other
// sizes never touch the kept one, and blocks in use are never shared.
TEST(SpareBlock, KeepsOneBlockAndNeverSharesOne) {
    void* a = Spare::take(sizeof(Node));
    void* b = Spare::take(sizeof(Node));
    ASSERT_NE(a, b);
    Spare::give(a, sizeof(Node));
    Spare::give(b, sizeof(Node));  // the place is taken: freed
    void* bigger = Spare::take(2 * sizeof(Node));
    EXPECT_NE(bigger, a);
    Spare::give(bigger, 2 * sizeof(Node));
    void* c = Spare::take(sizeof(Node));
    void* d = Spare::take(sizeof(Node));
    if (NORVA_SPARE_BLOCKS) {
        EXPECT_EQ(c, a);  // sanitized builds keep no block
    }
    EXPECT_NE(d, c);
    Spare::give(d, sizeof(Node));
    Spare::give(c, sizeof(Node));
    Spare::give(nullptr, sizeof(Node));

    // Threads taking and giving at once each hold a block of their own.
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 20000; ++i) {
                auto* node = static_cast<Node*>(Spare::take(sizeof(Node)));
                for (double& v : node->values) v = t;
                for (double v : node->values) ASSERT_EQ(v, t);
                Spare::give(node, sizeof(Node));
            }
        });
    for (std::thread& thread : threads) thread.join();
}

}  // namespace
