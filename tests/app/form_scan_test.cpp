// The scan as the window shows it: every outcome, in order, on virtual adaptors.
#include <algorithm>
#include <set>

#include "tests/app/form_fixture.h"

namespace corvane::app::testing {
namespace {

using namespace ::corvane::device;

using sim::Bus;
using sim::ChipFamily;

const std::string kDock = Pad("Corvane", 8) + Pad("CV-E2510 Dock", 16);

std::size_t CountOf(const std::vector<std::string>& calls, std::string_view prefix) {
  return static_cast<std::size_t>(std::count_if(calls.begin(), calls.end(), [prefix](const std::string& c) {
    return c.rfind(prefix, 0) == 0;
  }));
}

class ScanTest : public FormTest {};

TEST_F(ScanTest, NothingAttachedOrOnlyForeignDisksShowTheCrossBeforeTheWindowIsShown) {
  const std::vector<std::vector<sim::DeviceConfig>> worlds = {
      {},
      {sim::DefaultDeviceConfig(ChipFamily::InternalDisk)},
  };
  for (const auto& devices : worlds) {
    view_.calls.clear();
    Load(devices);
    StartUp();
    EXPECT_EQ(view_.calls, Concat({ScanOpening(), NoDeviceShown(),
                                   {"Register", "Caption Corvane Update Tool"}}))
        << devices.size() << " devices";
    EXPECT_EQ(form_.FoundDiskCount, 0);
    EXPECT_TRUE(view_.accessTexts.empty());
  }
}

TEST_F(ScanTest, OneOutdatedSataAdaptorIsListedCheckedAndOffered) {
  Load({Adaptor(ChipFamily::Kts210, {0, 2, 1, 3})});
  form_.Start();
  EXPECT_EQ(view_.calls,
            Concat({ScanOpening(),
                    {"ListClear", "Status Getting model#", "Enabled 0", "Process",
                     "ListAdd <<USB>> " + kDock, "ListEnabled 1", "ListSelect 0",
                     "Status Checking for FW update", "Enabled 0", "Process",
                     "Picture Image3 UPDATE", "Visible Image2 0", "Visible Image3 1",
                     "Status Click here to download and update the Corvane SATA Bridge 02.14",
                     "Enabled 1", "Process"}}));
  EXPECT_EQ(form_.FoundDiskCount, 1);
  EXPECT_EQ(form_.DeviceEntries[0], world_->PathOf(0));
  EXPECT_EQ(ChipCodeOf(form_.ChipId), kChipCodeKts210);
  EXPECT_TRUE(form_.StatusEnabled());
}

TEST_F(ScanTest, TheBusPrefixFollowsTheAttachment) {
  const std::pair<Bus, std::string> rows[] = {
      {Bus::Usb, "<<USB>> "}, {Bus::Uas, "<<UASP>> "}, {Bus::Ieee1394, "<<1394>> "}};
  for (const auto& [bus, prefix] : rows) {
    Load({Adaptor(ChipFamily::Kts260, {234, 1, 0, 1}, false, "CV-E2510 Dock", bus)});
    form_.Start();
    ASSERT_EQ(view_.items.size(), 1u) << prefix;
    EXPECT_EQ(view_.items[0], prefix + kDock);
    EXPECT_EQ(view_.status, "Your product is up to date") << prefix;
  }
}

TEST_F(ScanTest, TwoAdaptorsAskToDetachAllButOneWithoutChecking) {
  Load({Adaptor(ChipFamily::Kts210, {0, 2, 1, 3}, false, "CV-E2510 Dock"),
        Adaptor(ChipFamily::Kts260, {0, 1, 0, 8}, false, "CV-N2610 Dock")});
  form_.Start();
  const std::vector<std::string> tail = {
      "ListAdd <<USB>> " + Pad("Corvane", 8) + Pad("CV-N2610 Dock", 16),
      "ListEnabled 1",
      "ListSelect 0",
      "Visible btn_upd 0",
      "Picture Image3 CROSS",
      "Visible Image2 0",
      "Visible Image3 1",
      "Status Multiple USB drives are attached. Please disconnect all devices.\n"
      " Except the one that needs to be updated.",
      "Enabled 0"};
  ASSERT_GE(view_.calls.size(), tail.size());
  EXPECT_EQ(Since(view_.calls.size() - tail.size()), tail);
  EXPECT_EQ(CountOf(view_.calls, "Status Checking"), 0u);
  EXPECT_EQ(view_.items.size(), 2u);
  EXPECT_TRUE(view_.listEnabled);
  EXPECT_EQ(form_.DeviceEntries[1], world_->PathOf(1));
}

TEST_F(ScanTest, ForeignDisksBesideOneAdaptorAreSkipped) {
  Load({UnidentifiedBridge(), Adaptor(ChipFamily::Kts260, {0, 1, 0, 8}), UnidentifiedBridge(),
         sim::DefaultDeviceConfig(ChipFamily::UsbStick)});
  form_.Start();
  EXPECT_EQ(form_.FoundDiskCount, 3);
  EXPECT_EQ(view_.items, std::vector<std::string>{"<<USB>> " + kDock});
  EXPECT_EQ(form_.DeviceEntries[0], world_->PathOf(1));
  // The last probed path stays in the row after the listed one.
  EXPECT_EQ(form_.DeviceEntries[1], world_->PathOf(2));
  EXPECT_EQ(view_.status,
            "Click here to download and update the Corvane NVMe Bridge 234.01.00.01");
}

TEST_F(ScanTest, AFailedInquiryCarriesTheLastAnswerOver) {
  struct Row {
    const char* name;
    std::string armAt;  // the scan's next INQUIRY after this call fails
    std::vector<std::string> items;
  };
  const std::string first = Pad("Corvane", 8) + Pad("CV-E2510 Dock", 16);
  const Row rows[] = {
      {"second device", "ListAdd <<USB>> " + first, {"<<USB>> " + first, "<<USB>> " + first}},
      {"first device", "ListClear",
       {"<<USB>> ", "<<USB>> " + Pad("Corvane", 8) + Pad("CV-N2610 Dock", 16)}},
  };
  for (const Row& row : rows) {
    Load({Adaptor(ChipFamily::Kts210, {0, 2, 1, 3}, false, "CV-E2510 Dock"),
          Adaptor(ChipFamily::Kts260, {0, 1, 0, 8}, false, "CV-N2610 Dock")});
    ArmAt(row.armAt, [](std::span<const std::uint8_t> cdb) { return cdb[0] == 0x12; });
    form_.Start();
    EXPECT_EQ(view_.items, row.items) << row.name;
    EXPECT_EQ(port_->hits, 1) << row.name;
  }
}

TEST_F(ScanTest, MoreThan128AdaptorsWarnOnceAndListTheFirst128) {
  struct Row {
    int count;
    std::size_t slots;  // 0: the scan's own 16
    bool warns;
    int found;
  };
  // The scan's own 16 slots first: the slot count stays set on the form.
  const Row rows[] = {{20, 0, false, 16}, {17, 0, false, 16}, {130, 200, true, 130}, {128, 200, false, 128}};
  for (const auto& [count, slots, warns, found] : rows) {
    view_.calls.clear();
    Load(std::vector<sim::DeviceConfig>(static_cast<std::size_t>(count),
                                        Adaptor(ChipFamily::Kts260, {0, 1, 0, 8})));
    if (slots != 0) form_.SetScanSlotCount(slots);
    form_.Start();
    EXPECT_EQ(CountOf(view_.calls, "Warning"), warns ? 1u : 0u) << count;
    if (warns) {
      EXPECT_EQ(std::count(view_.calls.begin(), view_.calls.end(),
                           "Warning Warning: The tool only can show 128 disks."),
                1);
    }
    EXPECT_EQ(view_.items.size(), static_cast<std::size_t>(std::min(found, 128))) << count;
    EXPECT_EQ(form_.FoundDiskCount, found);
    EXPECT_EQ(view_.status.rfind("Multiple USB drives are attached.", 0), 0u) << count;
  }
}

// The platform names the adaptor with upper-case letters in its path ("SCSI"): the scan lists it
// by the lower-cased path, whose bus is UAS, and every command after discovery reaches the device
// by that lower-cased path.
TEST_F(ScanTest, APathWithUpperCaseLettersIsListedLowerCasedAndStillReachesItsDevice) {
  Load({Adaptor(ChipFamily::Kts260, {0, 1, 0, 8})});
  struct Disks : DiskSource {
    bool ListDiskInterfaces(std::vector<DiskInterface>& interfaces) override {
      interfaces = {{"sim/usbstor/SCSI/0"}};
      return true;
    }
  } disks;
  struct Port : ScsiPort {
    explicit Port(ScsiPort& inner) : inner_(inner) {}
    ScsiOutcome Execute(std::string_view path, const ScsiRequest& request) override {
      paths.insert(std::string(path));
      std::string device(path);
      device.erase(device.find("/SCSI") != std::string::npos ? device.find("/SCSI") : device.find("/scsi"), 5);
      return inner_.Execute(device, request);
    }
    bool IsSimulated() const override { return true; }
    std::set<std::string> paths;
    ScsiPort& inner_;
  } port(*port_);
  Platform platform = world_->MakePlatform(host_);
  platform.port = &port;
  platform.disks = &disks;
  ScopedPlatform scoped(platform);
  form_.Start();
  EXPECT_EQ(view_.items, std::vector<std::string>{"<<UASP>> " + kDock});
  EXPECT_EQ(form_.DeviceEntries[0], "sim/usbstor/scsi/0");
  EXPECT_EQ(port.paths, (std::set<std::string>{"sim/usbstor/SCSI/0", "sim/usbstor/scsi/0"}));
  EXPECT_EQ(view_.status, "Click here to download and update the Corvane NVMe Bridge 234.01.00.01");
}

// The window's scan gives discovery 16 path slots: a 17th adaptor is never asked anything.
TEST_F(ScanTest, DiscoveryGetsSixteenSlots) {
  Load(std::vector<sim::DeviceConfig>(17, Adaptor(ChipFamily::Kts260, {234, 1, 0, 1})));
  form_.Start();
  EXPECT_EQ(form_.FoundDiskCount, 16);
  EXPECT_EQ(view_.items.size(), 16u);
  EXPECT_TRUE(std::none_of(world_->Trace().begin(), world_->Trace().end(),
                           [&](const device::TraceEntry& e) { return e.path == world_->PathOf(16); }));
}

// The list shows the bridge's INQUIRY bytes 8-31 up to the first NUL, whatever they are; the
// check goes on as for any adaptor.
TEST_F(ScanTest, InquiryTextsWithNulOrNonAsciiBytesAreListedAsAnsweredUpToTheNul) {
  struct Row {
    const char* what;
    std::string vendor, product;
    std::string item;
  };
  const Row rows[] = {
      {"NUL in the product", "Corvane ", std::string("CV\0E2510 Dock  ", 16), "<<USB>> Corvane CV"},
      {"NUL first", std::string("\0orvane ", 8), "CV-E2510 Dock   ", "<<USB>> "},
      {"bytes above 0x7F and controls", "C\xE9\xFF\x1B[2J ", "\x80\x01" + std::string(14, ' '),
       "<<USB>> C\xE9\xFF\x1B[2J \x80\x01" + std::string(14, ' ')},
  };
  for (const Row& row : rows) {
    sim::DeviceConfig adaptor = Adaptor(ChipFamily::Kts260, {0, 1, 0, 8});
    adaptor.inquiry.vendor = row.vendor;
    adaptor.inquiry.product = row.product;
    Load({adaptor});
    form_.Start();
    EXPECT_EQ(view_.items, std::vector<std::string>{row.item}) << row.what;
    EXPECT_EQ(view_.status.rfind("Click here to download", 0), 0u) << row.what << ": " << view_.status;
  }
}

TEST_F(ScanTest, AdaptorsThatCannotBeOpenedForLackOfRightsAreExplainedOnce) {
  Load({Adaptor(ChipFamily::Kts260, {0, 1, 0, 8})});
  port_->denyAll = true;
  // The words come from the platform the front end runs on.
  form_.SetAccessAdvice("Install the udev rule, then re-plug the adaptor.");
  form_.Start();
  EXPECT_EQ(view_.status, "Cannot find any supported Corvane devices.");
  ASSERT_EQ(view_.accessTexts.size(), 1u);
  EXPECT_EQ(view_.accessTexts[0], "Install the udev rule, then re-plug the adaptor.");
  EXPECT_EQ(view_.calls.back(), "Access No access to the adaptor");

  form_.btn_RefreshClick();  // the same situation is not told again
  EXPECT_EQ(view_.accessTexts.size(), 1u);

  port_->denyAll = false;  // rights granted: the adaptor is found
  form_.btn_RefreshClick();
  EXPECT_EQ(view_.items.size(), 1u);
  EXPECT_EQ(view_.accessTexts.size(), 1u);

  port_->denyAll = true;  // lost again: told again
  form_.btn_RefreshClick();
  EXPECT_EQ(view_.accessTexts.size(), 2u);
}

TEST_F(ScanTest, OnlyARefusedDiskThatMayBeOursIsExplained) {
  // A USB stick's node is normally closed to users: refused, it is no adaptor and no notice.
  const sim::DeviceConfig stick = sim::DefaultDeviceConfig(ChipFamily::UsbStick);
  sim::DeviceConfig unknownVendor = Adaptor(ChipFamily::Kts260, {0, 1, 0, 8});
  unknownVendor.usbVendorId.reset();
  // The chip maker's other products share the vendor id; the product id tells them apart.
  sim::DeviceConfig makersOther = Adaptor(ChipFamily::Kts260, {0, 1, 0, 8});
  makersOther.usbProductId = 0x2603;
  sim::DeviceConfig productUnknown = makersOther;
  productUnknown.usbProductId.reset();
  const struct {
    const char* what;
    std::vector<sim::DeviceConfig> devices;
    std::size_t notices;
  } rows[] = {
      {"foreign stick", {stick}, 0},
      {"adaptor", {Adaptor(ChipFamily::Kts260, {0, 1, 0, 8})}, 1},
      {"stick and adaptor", {stick, Adaptor(ChipFamily::Kts210, {0, 2, 1, 3})}, 1},
      {"vendor id unknown to the platform", {unknownVendor}, 1},
      {"another product of the chip maker", {makersOther}, 0},
      {"product id unknown to the platform", {productUnknown}, 1},
  };
  for (const auto& row : rows) {
    Load(row.devices);
    form_.Start();  // with rights: any earlier notice is over
    view_.accessTexts.clear();
    port_->denyAll = true;
    form_.btn_RefreshClick();
    EXPECT_EQ(view_.status, "Cannot find any supported Corvane devices.") << row.what;
    EXPECT_EQ(view_.accessTexts.size(), row.notices) << row.what;
    EXPECT_EQ(form_.LastScan().accessDenied, row.notices != 0) << row.what;
  }
}

TEST_F(ScanTest, EveryScanStartsFromScratch) {
  Load({Adaptor(ChipFamily::Kts210, {0, 2, 1, 3}, false, "CV-E2510 Dock"),
        Adaptor(ChipFamily::Kts260, {0, 1, 0, 8}, false, "CV-N2610 Dock")});
  form_.Start();
  ASSERT_EQ(view_.items.size(), 2u);
  world_->Unplug(0);
  form_.btn_RefreshClick();
  EXPECT_EQ(view_.items, std::vector<std::string>{"<<USB>> " + Pad("Corvane", 8) +
                                                  Pad("CV-N2610 Dock", 16)});
  EXPECT_EQ(form_.DeviceEntries[0], world_->PathOf(1));
  EXPECT_TRUE(view_.visibility[ControlId::Image3]);
  EXPECT_FALSE(view_.visibility[ControlId::Image2]);
  EXPECT_EQ(view_.pictures[ControlId::Image3], "UPDATE");
}

}  // namespace
}  // namespace corvane::app::testing
