#include <ostream>
// The update check's results and gates as the window shows them.
#include "tests/app/form_fixture.h"

namespace corvane::app::testing {
namespace {

using namespace ::corvane::device;

using sim::ChipFamily;

const std::string kItem = "<<USB>> " + Pad("Corvane", 8) + Pad("CV-E2510 Dock", 16);
const std::vector<std::string> kNoDeviceItems = {"No available device!!!"};
constexpr const char* kSata = "Click here to download and update the Corvane SATA Bridge 02.14";
constexpr const char* kNvme =
    "Click here to download and update the Corvane NVMe Bridge 234.01.00.01";
constexpr const char* kNone = "Cannot find any supported Corvane devices.";

struct ResultCase {
  const char* name;
  sim::DeviceConfig device;
  CheckResultKind kind;
  const char* picture;
  const char* status;
  bool enabled;
  bool listKept;  // else emptied to "No available device!!!" and disabled
};

// Test names and failure messages show the case by its name, not as raw bytes.
void PrintTo(const ResultCase& c, std::ostream* out) { *out << c.name; }

class CheckResultTest : public FormTest, public ::testing::WithParamInterface<ResultCase> {};

TEST_P(CheckResultTest, ShowsPictureTextLabelAndList) {
  const ResultCase& c = GetParam();
  Load({c.device});
  form_.Start();
  EXPECT_EQ(form_.LastCheck().kind, c.kind);
  EXPECT_EQ(view_.pictures[ControlId::Image3], c.picture);
  EXPECT_EQ(view_.status, c.status);
  EXPECT_EQ(view_.statusEnabled, c.enabled);
  EXPECT_EQ(form_.StatusEnabled(), c.enabled);
  EXPECT_TRUE(view_.visibility[ControlId::Image3]);
  EXPECT_FALSE(view_.visibility[ControlId::Image2]);
  EXPECT_EQ(view_.items, c.listKept ? std::vector<std::string>{kItem} : kNoDeviceItems);
  EXPECT_EQ(view_.listEnabled, c.listKept);
  EXPECT_EQ(view_.selected, 0);
}

sim::DeviceConfig Volant() {
  return Adaptor(ChipFamily::Kts260, {0, 1, 0, 8}, false, "volant SSD");
}

// The ready wait's result does not matter: a bridge that stays busy is still checked.
sim::DeviceConfig StaysBusy(ChipFamily family, std::array<std::uint8_t, 4> firmware) {
  sim::DeviceConfig config = Adaptor(family, firmware);
  config.stayBusy = true;
  return config;
}

INSTANTIATE_TEST_SUITE_P(
    Results, CheckResultTest,
    ::testing::Values(
        ResultCase{"SataOutdated", Adaptor(ChipFamily::Kts210, {0, 2, 1, 3}),
                   CheckResultKind::UpdateOffered, "UPDATE", kSata, true, true},
        ResultCase{"SataCurrent", Adaptor(ChipFamily::Kts210, {0, 2, 1, 4}),
                   CheckResultKind::Current, "GOOD", "Your product is up to date", false, true},
        ResultCase{"SataBootRom", Adaptor(ChipFamily::Kts210, {0, 2, 1, 3}, true),
                   CheckResultKind::NotSupported, "CROSS", kNone, false, false},
        ResultCase{"NvmeOutdated", Adaptor(ChipFamily::Kts260, {0, 1, 0, 8}),
                   CheckResultKind::UpdateOffered, "UPDATE", kNvme, true, true},
        ResultCase{"NvmeCurrent", Adaptor(ChipFamily::Kts260, {234, 1, 0, 1}),
                   CheckResultKind::Current, "GOOD", "Your product is up to date", false, true},
        ResultCase{"NvmeUnlisted", Adaptor(ChipFamily::Kts260, {234, 1, 0, 2}),
                   CheckResultKind::Unlisted, "CROSS", kNone, false, true},
        ResultCase{"NvmeBootRomReportingCarriedVersion",
                   Adaptor(ChipFamily::Kts260, {234, 1, 0, 1}, true),
                   CheckResultKind::UpdateOffered, "UPDATE", kNvme, true, true},
        ResultCase{"VolantInLowerCase", Volant(), CheckResultKind::NotSupported, "CROSS", kNone,
                   false, false},
        ResultCase{"VolantOnTheSataBridge",
                   Adaptor(ChipFamily::Kts210, {0, 2, 1, 3}, false, "VOLANT SATA"),
                   CheckResultKind::NotSupported, "CROSS", kNone, false, false},
        ResultCase{"SataStaysBusy", StaysBusy(ChipFamily::Kts210, {0, 2, 1, 3}),
                   CheckResultKind::UpdateOffered, "UPDATE", kSata, true, true},
        ResultCase{"NvmeStaysBusy", StaysBusy(ChipFamily::Kts260, {0, 1, 0, 8}),
                   CheckResultKind::UpdateOffered, "UPDATE", kNvme, true, true}),
    [](const ::testing::TestParamInfo<ResultCase>& param) { return param.param.name; });

TEST_F(FormTest, APathWithoutIdentifiedChipIsCheckedAndRejectedWithoutCheckingText) {
  Load({UnidentifiedBridge()});
  form_.Start();
  ASSERT_EQ(form_.FoundDiskCount, 1);
  const std::vector<std::string> tail = Concat(
      {{"ListClear", "ListEnabled 1", "ListAdd ", "ListSelect 0", "Process"}, NoDeviceShown()});
  ASSERT_GE(view_.calls.size(), tail.size());
  EXPECT_EQ(Since(view_.calls.size() - tail.size()), tail);
  EXPECT_EQ(form_.LastCheck().failedGate, CheckGate::ChipCode);
}

bool IsReadFlashType(std::span<const std::uint8_t> cdb) {
  return cdb[0] == 0xFF && cdb[1] == 0x04 && cdb[2] == 0x23;
}
bool IsReadChipInfo(std::span<const std::uint8_t> cdb) { return cdb[0] == 0xE0; }
bool IsNvramRead(std::span<const std::uint8_t> cdb) {
  return cdb[0] == 0xDF && cdb[1] == 0x10 && cdb[11] == 0xFA;
}
bool IsInquiry(std::span<const std::uint8_t> cdb) { return cdb[0] == 0x12; }

struct GateCase {
  const char* name;
  ChipFamily family;
  std::string armAt;
  bool (*matches)(std::span<const std::uint8_t>);
  InterposedPort::Action action;
  CheckGate gate;
};

// Test names and failure messages show the case by its name, not as raw bytes.
void PrintTo(const GateCase& c, std::ostream* out) { *out << c.name; }

class CheckGateTest : public FormTest, public ::testing::WithParamInterface<GateCase> {};

TEST_P(CheckGateTest, AFailedReadEndsNotSupported) {
  const GateCase& c = GetParam();
  Load({Adaptor(c.family, c.family == ChipFamily::Kts210 ? std::array<std::uint8_t, 4>{0, 2, 1, 3}
                                                         : std::array<std::uint8_t, 4>{0, 1, 0, 8})});
  ArmAt(c.armAt, c.matches, c.action);
  form_.Start();
  EXPECT_EQ(port_->hits, 1);
  EXPECT_EQ(form_.LastCheck().kind, CheckResultKind::NotSupported);
  EXPECT_EQ(form_.LastCheck().failedGate, c.gate);
  const std::vector<std::string> tail = NoDeviceShown();
  ASSERT_GE(view_.calls.size(), tail.size());
  EXPECT_EQ(Since(view_.calls.size() - tail.size()), tail);
  EXPECT_EQ(view_.items, kNoDeviceItems);
  EXPECT_FALSE(form_.StatusEnabled());
}

const std::string kChecking = "Status Checking for FW update";
const std::string kListed = "ListAdd " + kItem;
using A = InterposedPort::Action;

INSTANTIATE_TEST_SUITE_P(
    Gates, CheckGateTest,
    ::testing::Values(
        GateCase{"FlashType", ChipFamily::Kts260, kListed, IsReadFlashType, A::Fail,
                 CheckGate::FlashType},
        GateCase{"ChipInfo", ChipFamily::Kts260, kChecking, IsReadChipInfo, A::Fail,
                 CheckGate::ChipInfo},
        GateCase{"Signature", ChipFamily::Kts210, kChecking, IsReadChipInfo, A::FlipFirstByte,
                 CheckGate::Signature},
        GateCase{"NvramSata", ChipFamily::Kts210, kChecking, IsNvramRead, A::Fail,
                 CheckGate::NvramRead},
        GateCase{"NvramNvme", ChipFamily::Kts260, kChecking, IsNvramRead, A::Fail,
                 CheckGate::NvramRead},
        GateCase{"Inquiry", ChipFamily::Kts260, kChecking, IsInquiry, A::Fail,
                 CheckGate::Inquiry}),
    [](const ::testing::TestParamInfo<GateCase>& param) { return param.param.name; });

TEST_F(FormTest, AFailedFlashTypeReadStillShowsCheckingButReadsNoFurther) {
  Load({Adaptor(ChipFamily::Kts260, {0, 1, 0, 8})});
  ArmAt(kListed, IsReadFlashType);
  form_.Start();
  EXPECT_EQ(Since(view_.calls.size() - NoDeviceShown().size() - 4),
            Concat({{kChecking, "Enabled 0", "Process", "Process"}, NoDeviceShown()}));
  EXPECT_EQ(port_->commandsAfterHit, 0) << "nothing is read after the failed gate";
}

TEST_F(FormTest, AnUnreadableVendorBlockShowsTheVerdictForAMomentThenTheCross) {
  Load({Adaptor(ChipFamily::Kts260, {0, 1, 0, 8})});
  ArmAt(kChecking, IsNvramRead);
  form_.Start();
  const std::vector<std::string> expected = Concat(
      {{kChecking, "Enabled 0", "Process", "Picture Image3 UPDATE", "Visible Image2 0",
        "Visible Image3 1", std::string("Status ") + kNvme, "Enabled 1", "Process"},
       NoDeviceShown()});
  ASSERT_GE(view_.calls.size(), expected.size());
  EXPECT_EQ(Since(view_.calls.size() - expected.size()), expected);
  ASSERT_TRUE(form_.LastCheck().verdict.has_value());
  EXPECT_EQ(*form_.LastCheck().verdict, VersionVerdict::UpdateOffered);
}

// After the chip information: the bridge's status, the vendor-string block at the chip's address,
// then INQUIRY. A SATA bridge in its boot ROM gets none of them.
TEST_F(FormTest, TheCheckWaitsForTheBridgeBeforeTheVendorBlock) {
  using V = std::vector<std::uint8_t>;
  const V info{0xE0, 0xF4, 0xE7, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  const V status{0xFF, 0x04, 0x12, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  const V inquiry{0x12, 0, 0, 0, 40, 0, 0, 0, 0, 0, 0, 0};
  struct Row {
    const char* name;
    ChipFamily family;
    bool bootRom;
    std::vector<V> blocks;
  };
  const Row rows[] = {
      {"sata", ChipFamily::Kts210, false,
       {info, status, {0xDF, 0x10, 0x00, 0x02, 0x00, 0, 0, 0, 0x00, 0xD0, 0x00, 0xFA}, inquiry}},
      {"nvme", ChipFamily::Kts260, false,
       {info, status, {0xDF, 0x10, 0x00, 0x02, 0x00, 0, 0, 0, 0x01, 0x10, 0x00, 0xFA}, inquiry}},
      {"sata boot ROM", ChipFamily::Kts210, true, {info}},
  };
  for (const Row& row : rows) {
    Load({Adaptor(row.family, {0, 1, 0, 1}, row.bootRom)});
    view_.onCall = [this](const std::string& call) {
      if (call == kChecking) world_->ClearTrace();
    };
    form_.Start();
    std::vector<V> blocks;
    for (const device::TraceEntry& e : world_->Trace()) blocks.push_back(e.cdb);
    EXPECT_EQ(blocks, row.blocks) << row.name;
  }
}

// The three tests are asked in this order, up to the first that is true.
TEST_F(FormTest, TheWindowsVersionTestsStopAtTheFirstTrueOne) {
  struct Row {
    bool windows7, windows8, windows10;
    std::vector<std::string> asked;
    int closes;
  };
  const Row rows[] = {{false, false, false, {"7-8.1", "8-8.1", "10"}, 0},
                      {true, true, false, {"7-8.1"}, 101},
                      {false, true, false, {"7-8.1", "8-8.1"}, 101},
                      {false, false, true, {"7-8.1", "8-8.1", "10"}, 101}};
  for (const Row& row : rows) {
    Load({Adaptor(ChipFamily::Kts260, {234, 1, 0, 1})});
    view_.windows7 = row.windows7;
    view_.windows8 = row.windows8;
    view_.windows10 = row.windows10;
    view_.versionTests.clear();
    view_.promptCloses = 0;
    form_.Start();
    EXPECT_EQ(view_.versionTests, row.asked);
    EXPECT_EQ(view_.promptCloses, row.closes);
  }
}

TEST_F(FormTest, SystemPromptsAreClosedAfterEveryCheckOnlyWhereTheDesktopHasThem) {
  const std::pair<bool, int> rows[] = {{false, 0}, {true, 101}};
  for (const auto& [windows, closes] : rows) {
    view_.windows7 = windows;
    view_.promptCloses = 0;
    for (const auto& device :
         {Adaptor(ChipFamily::Kts260, {234, 1, 0, 1}), Adaptor(ChipFamily::Kts210, {0, 2, 1, 3}, true)}) {
      Load({device});
      view_.promptCloses = 0;
      const std::uint64_t before = clock_.NowMs();
      form_.Start();  // the scan goes on into one check
      EXPECT_EQ(view_.promptCloses, closes);
      if (windows) {
        EXPECT_GE(clock_.NowMs() - before, 202u);
      }
    }
  }
}

TEST_F(FormTest, CheckDoesNothingWhileNoDiskWasFound) {
  Load({});
  form_.Start();
  const std::size_t mark = Mark();
  form_.CheckForUpdate();
  EXPECT_TRUE(Since(mark).empty());
  EXPECT_EQ(form_.LastCheck().kind, CheckResultKind::NoDevice);
}

}  // namespace
}  // namespace corvane::app::testing
