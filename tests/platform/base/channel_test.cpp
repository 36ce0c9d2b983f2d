#include "platform/base/channel.h"

#include <gtest/gtest.h>

#include <thread>

namespace mail {
namespace {

TEST(Channel, DeliversInOrderAcrossThreadsAndClosesWithLastSender) {
    auto [tx, rx] = make_channel<int>();
    std::thread producer([tx = std::move(tx)] {
        for (int i = 0; i < 1000; ++i) tx.send(i);
    });
    int expected = 0;
    while (auto v = rx.recv()) {
        ASSERT_EQ(*v, expected);
        ++expected;
    }
    producer.join();
    EXPECT_EQ(expected, 1000);
    EXPECT_TRUE(rx.is_closed());
}

TEST(Channel, DrainTakesWhatIsQueuedWithoutWaiting) {
    auto [tx, rx] = make_channel<std::string>();
    EXPECT_TRUE(rx.drain().empty());
    tx.send("a");
    tx.send("b");
    EXPECT_EQ(rx.drain(), (std::vector<std::string>{"a", "b"}));
    EXPECT_FALSE(rx.try_recv().has_value());
    EXPECT_FALSE(rx.is_closed());
}

TEST(Channel, SendFailsOnceTheReceiverIsGone) {
    auto channel = make_channel<int>();
    Sender<int> tx = channel.sender;
    EXPECT_TRUE(tx.send(1));
    channel.receiver.close();
    EXPECT_FALSE(tx.send(2));
    EXPECT_FALSE(tx.is_connected());
}

TEST(OneShotAndCancelFlag, AreSharedByCopies) {
    OneShot<int> slot;
    OneShot<int> copy = slot;
    EXPECT_FALSE(slot.ready());
    copy.set(7);
    copy.set(8);  // set once: the first value stays
    EXPECT_EQ(slot.take(), 7);
    EXPECT_FALSE(slot.take().has_value());

    CancelFlag flag;
    CancelFlag other = flag;
    EXPECT_FALSE(other.is_cancelled());
    flag.cancel();
    EXPECT_TRUE(other.is_cancelled());
}

}  // namespace
}  // namespace mail
