#include "Log.h"
#include "MainQueue.h"
#include "SerialQueue.h"
#include "support/TestMedia.h"
#include "UserDefaults.h"

#include <QCoreApplication>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

TEST(SerialQueue, RunsWorkInOrderOnOneThreadAndSyncWaits)
{
    SerialQueue queue(QStringLiteral("test-queue"));
    std::vector<int> order;
    std::set<std::thread::id> threads;
    for (int i = 0; i < 1000; ++i)
        queue.async([&, i] {
            order.push_back(i);
            threads.insert(std::this_thread::get_id());
        });
    queue.sync([&] { order.push_back(-1); });
    ASSERT_EQ(order.size(), 1001u);
    for (int i = 0; i < 1000; ++i)
        EXPECT_EQ(order[i], i);
    EXPECT_EQ(threads.size(), 1u);
    EXPECT_EQ(threads.count(std::this_thread::get_id()), 0u);
    // sync from inside the queue runs inline rather than deadlocking.
    bool inner = false;
    queue.sync([&] { queue.sync([&] { inner = true; }); });
    EXPECT_TRUE(inner);
}

TEST(SerialQueue, DestructionFinishesQueuedWork)
{
    std::atomic<int> done{0};
    {
        SerialQueue queue(QStringLiteral("drain"));
        for (int i = 0; i < 100; ++i)
            queue.async([&] {
                QThread::usleep(100);
                ++done;
            });
    }
    EXPECT_EQ(done.load(), 100);
}

TEST(MainQueue, WorkFromManyThreadsRunsOnTheMainThreadInPostingOrder)
{
    EXPECT_TRUE(MainQueue::isMainThread());
    std::vector<int> seen;
    bool allOnMain = true;
    std::thread poster([&] {
        EXPECT_FALSE(MainQueue::isMainThread());
        for (int i = 0; i < 500; ++i)
            MainQueue::async([&, i] {
                allOnMain = allOnMain && MainQueue::isMainThread();
                seen.push_back(i);
            });
    });
    poster.join();
    ASSERT_TRUE(runEventLoopUntil([&] { return seen.size() == 500; }));
    EXPECT_TRUE(allOnMain);
    for (int i = 0; i < 500; ++i)
        EXPECT_EQ(seen[i], i);
}

TEST(UserDefaults, RoundTripsAndFallsBack)
{
    UserDefaults::removeObjectForKey(QStringLiteral("lastPreset"));
    EXPECT_EQ(UserDefaults::stringForKey(QStringLiteral("lastPreset"), QStringLiteral("none")), QStringLiteral("none"));
    UserDefaults::setString(QStringLiteral("lastPreset"), QStringLiteral("h264"));
    UserDefaults::setBool(QStringLiteral("CWH264PresetisHigh"), true);
    UserDefaults::setData(QStringLiteral("blob"), QByteArray("\x00\x01\x02", 3));
    EXPECT_EQ(UserDefaults::stringForKey(QStringLiteral("lastPreset")), QStringLiteral("h264"));
    EXPECT_TRUE(UserDefaults::boolForKey(QStringLiteral("CWH264PresetisHigh")));
    EXPECT_EQ(UserDefaults::dataForKey(QStringLiteral("blob")), QByteArray("\x00\x01\x02", 3));
    UserDefaults::removeObjectForKey(QStringLiteral("lastPreset"));
    EXPECT_TRUE(UserDefaults::stringForKey(QStringLiteral("lastPreset")).isEmpty());
}

TEST(Log, WritesOneStampedLineToStandardError)
{
    testing::internal::CaptureStderr();
    CWLog(QStringLiteral("hello %1").arg(42));
    const std::string out = testing::internal::GetCapturedStderr();
    EXPECT_NE(out.find("hello 42\n"), std::string::npos);
    EXPECT_NE(out.find("clipwell_tests["), std::string::npos);
}
