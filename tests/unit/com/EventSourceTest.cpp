// Events raised through a connection point: every sink gets them, raising allocates nothing,
// and disconnecting waits for a raise under way but not for the one it is called from.

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <new>
#include <thread>

#include "platform/com/EventSource.h"
#include "tests/support/CountingNew.h"

namespace varnkit::com {
namespace {

using namespace std::chrono_literals;

// Counts references without ever deleting itself: the tests own it.
class Counted {
 public:
  uint32_t add() { return ++refs; }
  uint32_t remove() { return --refs; }
  std::atomic<uint32_t> refs{1};
};

class Owner final : public IUnknown {
 public:
  HRESULT QueryInterface(const IID&, void**) noexcept override { return E_NOINTERFACE; }
  uint32_t AddRef() noexcept override { return count.add(); }
  uint32_t Release() noexcept override { return count.remove(); }
  Counted count;
};

class Sink final : public IDispatch {
 public:
  HRESULT QueryInterface(const IID& iid, void** object) noexcept override {
    if (iid != IDispatch::iid) return E_NOINTERFACE;
    return handOut(this, object);
  }
  uint32_t AddRef() noexcept override { return count.add(); }
  uint32_t Release() noexcept override { return count.remove(); }
  HRESULT GetIDsOfNames(std::string_view, DISPID&) noexcept override { return DISP_E_UNKNOWNNAME; }
  HRESULT Invoke(DISPID id, uint16_t flags, std::span<const Variant> args,
                 Variant*) noexcept override {
    lastId = id;
    lastFlags = flags;
    for (std::size_t i = 0; i < args.size() && i < seen.size(); ++i) seen[i] = args[i].i2();
    calls.fetch_add(1);
    if (onEvent) onEvent();
    return S_OK;
  }

  Counted count;
  std::atomic<int> calls{0};
  DISPID lastId = 0;
  uint16_t lastFlags = 0;
  std::array<int16_t, 4> seen{};
  std::function<void()> onEvent;
};

class NotADispatch final : public IUnknown {
 public:
  HRESULT QueryInterface(const IID&, void**) noexcept override { return E_NOINTERFACE; }
  uint32_t AddRef() noexcept override { return 1; }
  uint32_t Release() noexcept override { return 1; }
};

constexpr IID kEvents = guid("{EE5F8E43-FCBB-11D3-B76C-DC249AF7BE36}");

void raiseFour(EventSource& source) {
  const std::array<Variant, 4> args{Variant(int16_t(144)), Variant(int16_t(9)),
                                    Variant(int16_t(36)), Variant(int16_t(100))};
  source.raise(1, args);
}

class ConnectionPoint : public ::testing::Test {
 protected:
  // Declared before the source: it releases the sinks still connected when it goes.
  std::array<Sink, EventSource::kMaxSinks + 1> sinks;
  Owner owner;
  EventSource source{owner, kEvents};
};

TEST_F(ConnectionPoint, EverySinkGetsTheEventUntilItDisconnects) {
  Sink& a = sinks[0];
  Sink& b = sinks[1];
  uint32_t ca = 0, cb = 0;
  ASSERT_EQ(source.Advise(&a, ca), S_OK);
  ASSERT_EQ(source.Advise(&b, cb), S_OK);
  EXPECT_NE(ca, cb);
  raiseFour(source);
  EXPECT_EQ(a.calls, 1);
  EXPECT_EQ(b.calls, 1);
  EXPECT_EQ(a.lastId, 1);
  EXPECT_EQ(a.lastFlags, DISPATCH_METHOD);
  EXPECT_EQ(a.seen, (std::array<int16_t, 4>{144, 9, 36, 100}));
  ASSERT_EQ(source.Unadvise(ca), S_OK);
  raiseFour(source);
  EXPECT_EQ(a.calls, 1);
  EXPECT_EQ(b.calls, 2);
}

TEST_F(ConnectionPoint, RaisingAllocatesNothing) {
  Sink& sink = sinks[0];
  uint32_t cookie = 0;
  ASSERT_EQ(source.Advise(&sink, cookie), S_OK);
  long allocations = 0;
  {
    varnkit::testing::AllocationCounter counter;
    for (int i = 0; i < 100; ++i) raiseFour(source);
    allocations = counter.count();
  }
  EXPECT_EQ(sink.calls, 100);
  EXPECT_EQ(allocations, 0);
}

TEST_F(ConnectionPoint, ConnectionsHoldTheirSinksAndAreLimited) {
  std::array<uint32_t, EventSource::kMaxSinks + 1> cookies{};
  for (std::size_t i = 0; i < EventSource::kMaxSinks; ++i)
    ASSERT_EQ(source.Advise(&sinks[i], cookies[i]), S_OK);
  EXPECT_EQ(sinks[0].count.refs, 2u);
  EXPECT_EQ(source.Advise(&sinks.back(), cookies.back()), CONNECT_E_ADVISELIMIT);
  EXPECT_EQ(sinks.back().count.refs, 1u);
  EXPECT_EQ(source.Unadvise(cookies[0]), S_OK);
  EXPECT_EQ(sinks[0].count.refs, 1u);
  EXPECT_EQ(source.Unadvise(cookies[0]), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(source.Unadvise(0), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(source.Unadvise(999), CONNECT_E_NOCONNECTION);
  NotADispatch other;
  uint32_t cookie = 0;
  EXPECT_EQ(source.Advise(&other, cookie), CONNECT_E_CANNOTCONNECT);
  EXPECT_EQ(source.Advise(nullptr, cookie), E_POINTER);
}

TEST(ConnectionPointLifetime, TheLastSinksAreReleasedWithTheSource) {
  Owner owner;
  Sink sink;
  {
    EventSource source(owner, kEvents);
    uint32_t cookie = 0;
    ASSERT_EQ(source.Advise(&sink, cookie), S_OK);
    ASSERT_EQ(sink.count.refs, 2u);
    // The point answers for the owner's references.
    source.AddRef();
    EXPECT_EQ(owner.count.refs, 2u);
    source.Release();
  }
  EXPECT_EQ(sink.count.refs, 1u);
}

TEST_F(ConnectionPoint, DisconnectingWaitsForTheRaiseUnderWay) {
  Sink& sink = sinks[0];
  std::atomic<bool> inside{false}, letGo{false};
  sink.onEvent = [&] {
    inside = true;
    while (!letGo) std::this_thread::yield();
  };
  uint32_t cookie = 0;
  ASSERT_EQ(source.Advise(&sink, cookie), S_OK);
  std::thread raiser([&] { raiseFour(source); });
  while (!inside) std::this_thread::yield();
  std::atomic<bool> disconnected{false};
  std::thread closer([&] {
    source.Unadvise(cookie);
    disconnected = true;
  });
  std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(disconnected);
  EXPECT_EQ(sink.count.refs, 2u);
  letGo = true;
  raiser.join();
  closer.join();
  EXPECT_TRUE(disconnected);
  EXPECT_EQ(sink.count.refs, 1u);
}

TEST_F(ConnectionPoint, ASinkMayDisconnectItselfFromInsideTheEvent) {
  Sink& sink = sinks[0];
  uint32_t cookie = 0;
  HRESULT result = E_FAIL;
  sink.onEvent = [&] { result = source.Unadvise(cookie); };
  ASSERT_EQ(source.Advise(&sink, cookie), S_OK);
  std::thread raiser([&] { raiseFour(source); });
  raiser.join();
  EXPECT_EQ(result, S_OK);
  EXPECT_EQ(sink.count.refs, 1u);
  raiseFour(source);
  EXPECT_EQ(sink.calls, 1);
}

}  // namespace
}  // namespace varnkit::com
