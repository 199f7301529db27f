// The port layer's own logic: what counts as a short message either way, and the handle
// table.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/midi/HandleTable.h"
#include "platform/midi/ShortMessage.h"

namespace varnkit::midi {
namespace {

using namespace std::chrono_literals;

bool pack(std::vector<uint8_t> bytes, uint32_t& packed) {
  return packReceived(bytes.data(), bytes.size(), packed);
}

TEST(ReceivedMessages, OnlyShortMessagesArePackedAndOnlyTheirOwnBytesTaken) {
  uint32_t packed = 0xDEAD;
  EXPECT_TRUE(pack({0x99, 36, 100}, packed));
  EXPECT_EQ(packed, 0x642499u);
  EXPECT_TRUE(pack({0xF8}, packed));
  EXPECT_EQ(packed, 0xF8u);
  EXPECT_TRUE(pack({0xC5, 10, 0x77}, packed));  // a program change has one data byte
  EXPECT_EQ(packed, 0x0AC5u);
  EXPECT_TRUE(pack({0x90, 36}, packed));  // cut short: the missing byte is 0
  EXPECT_EQ(packed, 0x2490u);
  EXPECT_TRUE(pack({0xF2, 1, 2}, packed));  // song position
  EXPECT_EQ(packed, 0x0201F2u);

  EXPECT_FALSE(pack({}, packed));
  EXPECT_FALSE(pack({0x24, 0x11}, packed));              // no status byte
  EXPECT_FALSE(pack({0xF0, 0x7E, 0x01, 0xF7}, packed));  // system exclusive
  EXPECT_FALSE(pack({0xF7}, packed));
}

TEST(SentMessages, RunningStatusContinuesTheLastChannelMessageOnly) {
  ShortMessageWriter writer;
  uint8_t bytes[3] = {};
  EXPECT_EQ(writer.bytesFor(0x6424, bytes), 0u);  // no status yet
  ASSERT_EQ(writer.bytesFor(0x642499, bytes), 3u);
  writer.sent(bytes[0]);
  ASSERT_EQ(writer.bytesFor(0x0025, bytes), 3u);
  EXPECT_EQ((std::vector<uint8_t>(bytes, bytes + 3)), (std::vector<uint8_t>{0x99, 0x25, 0x00}));
  writer.sent(0xF8);  // real-time: running status stays
  EXPECT_EQ(writer.bytesFor(0x0025, bytes), 3u);
  ASSERT_EQ(writer.bytesFor(0x05C0, bytes), 2u);
  writer.sent(bytes[0]);
  ASSERT_EQ(writer.bytesFor(0x07, bytes), 2u);
  EXPECT_EQ(bytes[0], 0xC0);
  EXPECT_EQ(bytes[1], 0x07);
  writer.sent(0xF0);  // system exclusive ends it
  EXPECT_EQ(writer.bytesFor(0x07, bytes), 0u);
  EXPECT_EQ(writer.bytesFor(0xF0, bytes), 0u);  // not as a short message
}

struct Port {
  explicit Port(std::atomic<int>& alive) : alive_(alive) { ++alive_; }
  ~Port() { --alive_; }
  std::atomic<int>& alive_;
  std::atomic<int> touched{0};
};

TEST(HandleTable, AHandleNamesOneOpeningAndStaysInvalidAfterItsClose) {
  std::atomic<int> alive{0};
  HandleTable<Port, 2> table;
  HMIDIOUT first = 0, second = 0, third = 0;
  ASSERT_EQ(table.add(std::make_unique<Port>(alive), first), MMSYSERR_NOERROR);
  ASSERT_EQ(table.add(std::make_unique<Port>(alive), second), MMSYSERR_NOERROR);
  EXPECT_EQ(table.add(std::make_unique<Port>(alive), third), MMSYSERR_NOMEM);
  EXPECT_EQ(alive, 2);
  EXPECT_NE(first, 0u);
  EXPECT_NE(first, second);

  EXPECT_EQ(table.close(first), MMSYSERR_NOERROR);
  EXPECT_EQ(alive, 1);
  EXPECT_EQ(table.close(first), MMSYSERR_INVALHANDLE);
  ASSERT_EQ(table.add(std::make_unique<Port>(alive), third), MMSYSERR_NOERROR);
  EXPECT_NE(third, first);  // the same slot, another opening
  EXPECT_FALSE(table.use(first));
  EXPECT_TRUE(table.use(third));
  EXPECT_FALSE(table.use(0));
  EXPECT_FALSE(table.use(0xFFFFFF00u));
}

TEST(HandleTable, CloseWaitsForEveryThreadUsingThePort) {
  std::atomic<int> alive{0};
  HandleTable<Port> table;
  HMIDIOUT handle = 0;
  ASSERT_EQ(table.add(std::make_unique<Port>(alive), handle), MMSYSERR_NOERROR);
  std::atomic<bool> stop{false};
  std::atomic<long> uses{0};
  std::vector<std::thread> users;
  for (int t = 0; t < 2; ++t) {
    users.emplace_back([&] {
      while (!stop.load()) {
        if (auto port = table.use(handle)) {
          port->touched.fetch_add(1);  // a freed port here is what the sanitizers look for
          ++uses;
        }
      }
    });
  }
  while (uses.load() < 1000) std::this_thread::yield();
  EXPECT_EQ(table.close(handle), MMSYSERR_NOERROR);
  EXPECT_EQ(alive, 0);
  const long after = uses.load();
  std::this_thread::sleep_for(20ms);
  stop = true;
  for (auto& user : users) user.join();
  EXPECT_EQ(uses.load(), after);  // every use under way ended before close returned
}

}  // namespace
}  // namespace varnkit::midi
