// The module's start-up and shut-down, driven through the framework, with
// providers registered the way the application registers them.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "AfInterfaceManager.h"
#include "AfModule.h"
#include "DbMetaBase.h"
#include "IDbMetaTable.h"
#include "ReportCapture.h"
#include "TestMetas.h"
#include "TestValues.h"

namespace {

std::vector<std::string>& events() {
  static std::vector<std::string> log;
  return log;
}

class RecordingProvider : public IDbMetaTable {
 public:
  explicit RecordingProvider(std::string name, bool shared = false, bool throwing = false)
      : m_Name(std::move(name)), m_bShared(shared), m_bThrowing(throwing) {
    events().push_back("create:" + m_Name);
  }
  ~RecordingProvider() override { events().push_back("delete:" + m_Name); }

  bool initTable() override {
    events().push_back("init:" + m_Name);
    if (m_bThrowing) throw std::runtime_error("initTable");
    return true;
  }
  bool exitTable() override {
    events().push_back("exit:" + m_Name);
    return false;  // ignored
  }
  bool isSharedInstance() const override { return m_bShared; }

 private:
  std::string m_Name;
  bool m_bShared;
  bool m_bThrowing;
};

// Registered under "IDbMetaTable" but of another kind.
class WrongKind : public IAfInterface {
 public:
  WrongKind() { events().push_back("create:wrong"); }
  ~WrongKind() override { events().push_back("delete:wrong"); }
  void releaseInstance() override {
    events().push_back("release:wrong");
    IAfInterface::releaseInstance();
  }
};

// Registers an implementation and its name under "IDbMetaTable" for the
// guard's lifetime.
class ProviderRegistration {
 public:
  ProviderRegistration(const std::string& name, AfInterfaceManager::Factory factory)
      : m_Name(name.c_str()) {
    AfInterfaceManager::getInstance()->registerImplementation(m_Name, std::move(factory));
    AfInterfaceNameManager::instance()->registerInterfaceName(EString("IDbMetaTable"), m_Name);
  }
  ~ProviderRegistration() {
    AfInterfaceManager::getInstance()->unregisterImplementation(m_Name);
    AfInterfaceNameManager::instance()->unregisterInterfaceName(EString("IDbMetaTable"), m_Name);
  }
  ProviderRegistration(const ProviderRegistration&) = delete;
  ProviderRegistration& operator=(const ProviderRegistration&) = delete;

  const EString& name() const { return m_Name; }

 private:
  EString m_Name;
};

std::unique_ptr<ProviderRegistration> owned(const std::string& name, bool throwing = false) {
  return std::make_unique<ProviderRegistration>(
      name, [name, throwing] { return new RecordingProvider(name, false, throwing); });
}

class MetaModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    events().clear();
    m_pModule = AfFramework::findModule(EString("Meta"));
    ASSERT_NE(m_pModule, nullptr);
  }
  AfModule* m_pModule = nullptr;
};

std::string lastCaller() { return AfInterfaceManager::getInstance()->getLastCaller().toUtf8(); }

TEST_F(MetaModuleTest, StartUpClearsPackingTableEvenWithoutProviders) {
  constexpr unsigned short kDataId = 4711;
  {
    tarvex_test::DirectTestMeta packing(3, {[] { return new tarvex_test::LongValue(kDataId); }});
  }
  ASSERT_NE(DbMetaBase::getPackedDataId(kDataId), 0);
  ASSERT_NE(DbMetaBase::getLastUsedPackedDataId(), 0);

  std::vector<EString> names;
  ASSERT_EQ(AfInterfaceNameManager::instance()->getRegisterdInterfaceNames(EString("IDbMetaTable"),
                                                                           names),
            0u);
  EXPECT_TRUE(m_pModule->init());
  EXPECT_EQ(DbMetaBase::getPackedDataId(kDataId), 0);
  EXPECT_EQ(DbMetaBase::getLastUsedPackedDataId(), 0);
  EXPECT_TRUE(m_pModule->exit());
  EXPECT_TRUE(events().empty());
}

// A second start-up under live direct arrays, those of copies made by
// createMeta included: it reports how many live and keeps the packing table,
// so every meta keeps answering its own values.
TEST_F(MetaModuleTest, StartUpOverLiveDirectArraysIsReportedAndKeepsThePacking) {
  using tarvex_test::LongValue;
  DbMetaBase::initDataIdPacking();
  auto first = std::make_unique<tarvex_test::DirectTestMeta>(
      3, std::vector<tarvex_test::TestMeta::ValueFactory>{[] { return new LongValue(60010, 10); },
                                                          [] { return new LongValue(60011, 11); }});
  std::unique_ptr<DbMetaBase> working(first->createMeta());
  const unsigned short lastUsed = DbMetaBase::getLastUsedPackedDataId();
  auto startUpReports = [this](unsigned count) {
    tarvex_test::ReportCapture reports;
    EXPECT_TRUE(m_pModule->init());
    const std::vector<TraceRecord> records = reports.records();
    ASSERT_EQ(records.size(), 1u) << count;
    EXPECT_EQ(records[0].kind, TraceRecord::Kind::Assertion);
    EXPECT_EQ(tarvex_test::narrow(records[0].text),
              "The data-id packing was kept: " + std::to_string(count) +
                  " metas with direct data pointers still exist!");
    EXPECT_EQ(tarvex_test::narrow(records[0].file), ".\\MetaModule");
    EXPECT_EQ(records[0].line, 43);
  };
  startUpReports(2);
  EXPECT_EQ(DbMetaBase::getLastUsedPackedDataId(), lastUsed);
  {
    // A data id packed afterwards gets a new packed id, not 60010's.
    tarvex_test::DirectTestMeta second(
        4, {[] { return new LongValue(60011, 21); }, [] { return new LongValue(60012, 22); }});
    EXPECT_EQ(second.getData(60011)->getLong(), 21);
    EXPECT_EQ(second.getData(60012)->getLong(), 22);
    ASSERT_NE(working->getData(60011), nullptr);
    EXPECT_EQ(working->getData(60011)->getLong(), 11);
    EXPECT_EQ(working->getData(60010)->getLong(), 10);
    EXPECT_EQ(working->getData(60012), nullptr);
  }

  // The copy alone still counts.
  first.reset();
  startUpReports(1);
  EXPECT_EQ(working->getData(60011)->getLong(), 11);

  // Once those metas are gone, starting again clears, silently.
  working.reset();
  ASSERT_EQ(DbMetaBase::getPackingMetaCount(), 0u);
  tarvex_test::ReportCapture reports;
  EXPECT_TRUE(m_pModule->init());
  EXPECT_TRUE(reports.records().empty());
  EXPECT_EQ(DbMetaBase::getLastUsedPackedDataId(), 0);
}

TEST_F(MetaModuleTest, FrameworkRunsOwnedProvidersOneAtATimeInNameOrder) {
  auto zeta = owned("Zeta");
  auto alpha = owned("Alpha");

  EXPECT_TRUE(AfFramework::startUp());
  EXPECT_EQ(events(), (std::vector<std::string>{"create:Zeta", "init:Zeta", "delete:Zeta",
                                                "create:Alpha", "init:Alpha", "delete:Alpha"}));
  EXPECT_EQ(lastCaller(), ".\\MetaModule:49");

  events().clear();
  EXPECT_TRUE(AfFramework::shutDown());
  EXPECT_EQ(events(), (std::vector<std::string>{"create:Zeta", "exit:Zeta", "delete:Zeta",
                                                "create:Alpha", "exit:Alpha", "delete:Alpha"}));
  EXPECT_EQ(lastCaller(), ".\\MetaModule:76");
}

TEST_F(MetaModuleTest, SharedProviderIsNeverDeleted) {
  {
    RecordingProvider shared("shared", true);
    ProviderRegistration registration("Shared", [&shared] { return &shared; });
    events().clear();
    EXPECT_TRUE(m_pModule->init());
    EXPECT_TRUE(m_pModule->exit());
    EXPECT_EQ(events(), (std::vector<std::string>{"init:shared", "exit:shared"}));
  }
  EXPECT_EQ(events().back(), "delete:shared");  // by its owner, once
}

TEST_F(MetaModuleTest, OtherKindsAreGivenBackAndNullsSkipped) {
  ProviderRegistration wrong("Wrong", [] { return new WrongKind; });
  ProviderRegistration missing("Missing", []() -> IAfInterface* { return nullptr; });
  auto table = owned("Table");

  EXPECT_TRUE(m_pModule->init());
  EXPECT_EQ(events(), (std::vector<std::string>{"create:wrong", "release:wrong", "delete:wrong",
                                                "create:Table", "init:Table", "delete:Table"}));
  // Shut-down likewise.
  events().clear();
  EXPECT_TRUE(m_pModule->exit());
  EXPECT_EQ(events(), (std::vector<std::string>{"create:wrong", "release:wrong", "delete:wrong",
                                                "create:Table", "exit:Table", "delete:Table"}));
}

TEST_F(MetaModuleTest, ShutDownSkipsEmptyAndUnknownNames) {
  auto unnamed = owned("");
  auto gone = owned("Gone");

  // Start-up asks nothing of the names.
  EXPECT_TRUE(m_pModule->init());
  EXPECT_EQ(events(), (std::vector<std::string>{"create:", "init:", "delete:", "create:Gone",
                                                "init:Gone", "delete:Gone"}));

  // Still listed by name, but no longer known to the framework: shut-down
  // must not even try to create it, nor the unnamed one.
  AfInterfaceManager::getInstance()->unregisterImplementation(gone->name());
  events().clear();
  EXPECT_TRUE(m_pModule->exit());
  EXPECT_TRUE(events().empty());
  EXPECT_EQ(lastCaller(), ".\\MetaModule:49");
}

TEST_F(MetaModuleTest, ThrowingProviderEndsStartUpAndIsStillDeleted) {
  auto failing = owned("Failing", true);
  auto after = owned("After");
  EXPECT_THROW(m_pModule->init(), std::runtime_error);
  EXPECT_EQ(events(),
            (std::vector<std::string>{"create:Failing", "init:Failing", "delete:Failing"}));
}

}  // namespace
