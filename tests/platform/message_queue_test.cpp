// The thread message queue: posting from anywhere, a descriptor that is
// readable exactly while messages wait, and dispatch that may nest.

#include <gtest/gtest.h>
#include <poll.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/user/message_queue.h"

namespace kovrin::platform::user {
namespace {

bool Readable(int descriptor)
{
    pollfd waiting{descriptor, POLLIN, 0};
    return poll(&waiting, 1, 0) == 1;
}

TEST(MessageQueueTest, MessagesFromOtherThreadsRunInOrderWhenTheOwnerDispatches)
{
    std::shared_ptr<MessageQueue> queue = ThreadMessageQueue();
    EXPECT_EQ(queue->Descriptor(), ThreadMessageDescriptor());
    EXPECT_FALSE(Readable(queue->Descriptor()));
    std::vector<std::thread::id> ranOn;
    std::vector<int> order;
    std::thread([&] {
        for (int i = 0; i < 3; ++i)
            queue->Post([&, i] {
                order.push_back(i);
                ranOn.push_back(std::this_thread::get_id());
            });
    }).join();
    EXPECT_TRUE(Readable(queue->Descriptor()));
    EXPECT_TRUE(order.empty());
    DispatchThreadMessages();
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
    for (std::thread::id id : ranOn)
        EXPECT_EQ(id, std::this_thread::get_id());
    EXPECT_FALSE(Readable(queue->Descriptor()));
}

TEST(MessageQueueTest, ANestedDispatchRunsTheNextMessagesInside)
{
    std::shared_ptr<MessageQueue> queue = ThreadMessageQueue();
    std::string trace;
    queue->Post([&] {
        trace += "<a";
        // Like a modal loop: the queue stays readable while messages wait.
        EXPECT_TRUE(Readable(queue->Descriptor()));
        DispatchThreadMessages();
        trace += "a>";
    });
    queue->Post([&] {
        trace += "b";
        queue->Post([&] { trace += "c"; });
    });
    DispatchThreadMessages();
    EXPECT_EQ(trace, "<abca>");
    EXPECT_FALSE(Readable(queue->Descriptor()));
}

TEST(MessageQueueTest, EachThreadHasItsOwnQueue)
{
    std::shared_ptr<MessageQueue> mine = ThreadMessageQueue();
    bool ranElsewhere = false;
    std::thread([&] {
        EXPECT_NE(ThreadMessageQueue(), mine);
        mine->Post([&] { ranElsewhere = true; });
        DispatchThreadMessages();  // its own, empty queue
    }).join();
    EXPECT_FALSE(ranElsewhere);
    DispatchThreadMessages();
    EXPECT_TRUE(ranElsewhere);
}

}  // namespace
}  // namespace kovrin::platform::user
