// The base libraries as the library relies on them: strings, class names,
// the report sink, trace switches and the framework's interface registry.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "AfInterfaceManager.h"
#include "AfInterfaceSmartPtr.h"
#include "EAssertAndTrace.h"
#include "EObject.h"
#include "EString.h"
#include "ETraceState.h"
#include "ReportCapture.h"

using tarvex_test::narrow;
using tarvex_test::ReportCapture;

namespace {

class NamedThing : public EObject {};

class CountedInterface : public IAfInterface {
 public:
  CountedInterface(int* liveCount, bool shared) : m_pLive(liveCount), m_bShared(shared) {
    ++*m_pLive;
  }
  ~CountedInterface() override { --*m_pLive; }
  bool isSharedInstance() const override { return m_bShared; }

 private:
  int* m_pLive;
  bool m_bShared;
};

}  // namespace

TEST(PlatformStrings, NumbersAndWideningAsTheMessagesNeedThem) {
  EString text("Die DataId ");
  text += EString().set(static_cast<unsigned short>(65535));
  text += EString().set(-7);
  text += EString().set(4000000000u);
  EXPECT_EQ(narrow(text), "Die DataId 65535-74000000000");
  EXPECT_EQ(narrow(EString(L"abc", std::wstring::npos)), "abc");
  EXPECT_EQ(EString(L"\u00fcber").toUtf8(),
            "\xC3\xBC"
            "ber");
  text.makeEmpty();
  EXPECT_TRUE(text.empty());
}

TEST(PlatformObjects, ClassNameIsTheReadableDynamicType) {
  NamedThing thing;
  const EObject& base = thing;
  EString name;
  base.getClassName(name);
  EXPECT_EQ(narrow(name), "(anonymous namespace)::NamedThing");
}

TEST(PlatformReports, SinkReceivesEachCallExactlyAsPassed) {
  ReportCapture capture;
  EAssertAndTrace().outputAssertMsgAct(EString("VORASSERT (false) failed"), EString(".\\X"), 12);
  EAssertAndTrace trace(EString("Meta"), EString(".\\Y"), 34);
  trace.outputDbgFormString(EString("100% of Meta<%s>"));  // text alone: verbatim
  trace.outputDbgFormString(L"%d metas", 5);
  auto records = capture.records();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].kind, TraceRecord::Kind::Assertion);
  EXPECT_EQ(narrow(records[0].file), ".\\X");
  EXPECT_EQ(records[0].line, 12);
  EXPECT_EQ(records[1].kind, TraceRecord::Kind::Trace);
  EXPECT_EQ(narrow(records[1].category), "Meta");
  EXPECT_EQ(narrow(records[1].text), "100% of Meta<%s>");
  EXPECT_EQ(records[1].line, 34);
  EXPECT_EQ(narrow(records[2].text), "5 metas");
}

TEST(PlatformReports, ConcurrentReportsAreAllDelivered) {
  ReportCapture capture;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([] {
      for (int i = 0; i < 500; ++i) EAssertAndTrace().outputAssertMsgAct(L"x", EString("f"), i);
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(capture.records().size(), 2000u);
}

// A sink's own report goes to stderr instead of back into the sink, and its
// replacement of the sink holds from the next report on.
TEST(PlatformReports, SinkMayReportAndReplaceTheSink) {
  ReportCapture capture;
  std::vector<std::wstring> seen;
  TraceSink captureSink;
  captureSink = setTraceSink([&](const TraceRecord& record) {
    seen.push_back(record.text);
    EAssertAndTrace().outputAssertMsgAct(L"from the sink", EString("f"), 2);
    setTraceSink(captureSink);
  });
  ::testing::internal::CaptureStderr();
  EAssertAndTrace().outputAssertMsgAct(L"first", EString("f"), 1);
  const std::string written = ::testing::internal::GetCapturedStderr();
  EAssertAndTrace().outputAssertMsgAct(L"second", EString("f"), 3);

  EXPECT_EQ(seen, std::vector<std::wstring>{L"first"});
  EXPECT_NE(written.find("from the sink"), std::string::npos) << written;
  const auto records = capture.records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(narrow(records[0].text), "second");
}

TEST(PlatformTraceStates, SwitchingByNameReachesEveryLiveStateOfThatName) {
  ETraceState a(L"PlatformTestTrace");
  ETraceState b(L"PlatformTestTrace");
  ETraceState other(L"OtherTrace");
  EXPECT_EQ(ETraceState::switchTrace(L"PlatformTestTrace", true), 2);
  EXPECT_TRUE(a.m_bTraceOn);
  EXPECT_TRUE(b.m_bTraceOn);
  EXPECT_FALSE(other.m_bTraceOn);
  { ETraceState gone(L"PlatformTestTrace"); }
  EXPECT_EQ(ETraceState::switchTrace(L"PlatformTestTrace", false), 2);
  EXPECT_FALSE(a.m_bTraceOn);
}

TEST(PlatformFramework, InterfacesAreCreatedByNameAndHeldByKind) {
  int live = 0;
  AfInterfaceManager* manager = AfInterfaceManager::getInstance();
  manager->registerImplementation(EString("PlatformOwned"),
                                  [&] { return new CountedInterface(&live, false); });
  EXPECT_TRUE(manager->isKnown(EString("PlatformOwned"), false, true));
  EXPECT_EQ(manager->createInstance(EString("Nobody"), EString("f"), 1), nullptr);
  {
    AfInterfaceSmartPtr<IAfInterface> holder(
        manager->createInstance(EString("PlatformOwned"), EString("f"), 1));
    EXPECT_EQ(live, 1);
    EXPECT_FALSE(holder.isShared());
  }
  EXPECT_EQ(live, 0) << "an owned instance dies with its last holder";

  CountedInterface shared(&live, true);
  {
    AfInterfaceSmartPtr<IAfInterface> holder(&shared);
    EXPECT_TRUE(holder.isShared());
    shared.releaseInstance();  // never deletes a shared instance
  }
  EXPECT_EQ(live, 1);
  EXPECT_TRUE(manager->unregisterImplementation(EString("PlatformOwned")));
  EXPECT_FALSE(manager->isKnown(EString("PlatformOwned"), false, true));

  AfInterfaceNameManager* names = AfInterfaceNameManager::instance();
  names->registerInterfaceName(EString("IPlatformTest"), EString("B"));
  names->registerInterfaceName(EString("IPlatformTest"), EString("A"));
  names->registerInterfaceName(EString("IPlatformTest"), EString("B"));
  std::vector<EString> listed{EString("stale")};
  EXPECT_EQ(names->getRegisterdInterfaceNames(EString("IPlatformTest"), listed), 2u);
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(narrow(listed[0]), "B");
  EXPECT_EQ(narrow(listed[1]), "A");
  names->unregisterInterfaceName(EString("IPlatformTest"), EString("A"));
  names->unregisterInterfaceName(EString("IPlatformTest"), EString("B"));
}

// One framework-owned instance handed out to several threads at once: each
// creation names it, and the name is what every thread reads back.
TEST(PlatformFramework, ConcurrentCreationsOfASharedInstance) {
  int live = 0;
  CountedInterface shared(&live, true);
  AfInterfaceManager* manager = AfInterfaceManager::getInstance();
  manager->registerImplementation(EString("PlatformShared"), [&] { return &shared; });
  std::atomic<int> misnamed{0};
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      while (!go.load()) std::this_thread::yield();
      for (int i = 0; i < 1000; ++i) {
        IAfInterface* instance =
            manager->createInstance(EString("PlatformShared"), EString("f"), i);
        EString name;
        instance->queryInterfaceName(name);
        if (instance != &shared || narrow(name) != "PlatformShared") ++misnamed;
      }
    });
  }
  go.store(true);
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(misnamed.load(), 0);
  EXPECT_TRUE(manager->unregisterImplementation(EString("PlatformShared")));
}
