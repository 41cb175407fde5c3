// One device of a scenario: how it is attached, which answers it gives, what it holds and which
// faults it shows. Filled by ParseScenario from JSON, or built directly by tests.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/sim.h"

namespace corvane::sim {

enum class Bus { Usb, Uas, Ieee1394, Internal };

// What the device is underneath its identification answers: decides the memory layout (firmware
// area, NVRAM address, boot-ROM capacity) and whether vendor commands are understood at all.
enum class ChipFamily { Kts210, Kts260, UsbStick, InternalDisk };

enum class FaultEffect {
  CheckCondition,  // the command fails with CHECK CONDITION (HARDWARE ERROR)
  Unplug,          // the device goes away during the command
  Timeout,         // the device never answers; the host waits for the command's time-out
  Ignore,          // the device reports success but does nothing (a write that is lost)
};

struct Fault {
  // A command kind by its function name ("WriteBuffer", "ReadChipInfo", ...; see CommandKindName)
  // and the 1-based count of that kind on this device since it was first plugged in.
  std::string command;
  std::uint32_t nth = 0;
  // When non-zero: the command after the first k commands of any kind (command/nth unused).
  std::uint32_t afterCommands = 0;
  FaultEffect effect = FaultEffect::CheckCondition;
};

struct ReadBackCorruption {
  std::uint32_t offset = 0;  // flash offset whose byte is returned flipped by READ BUFFER mode 1
  bool once = true;          // only the first read covering it, or every read
};

// The chip-information answer, built from its fields; byte 6 and the version come from the
// bridge's state unless `raw` spells the whole answer out verbatim.
struct ChipInfoAnswer {
  std::array<std::uint8_t, 2> signature{0xF4, 0xE7};
  std::uint16_t vendorId = 0x3C9F;
  std::uint16_t productId = 0;
  std::string model;       // three characters, bytes 8-10
  char revision = '1';     // byte 11
  std::optional<std::vector<std::uint8_t>> raw;
};

// Every identification answer; nullopt means the command is rejected with CHECK CONDITION.
struct IdentificationAnswers {
  std::string inquiryChipId;  // bytes 36-39 of INQUIRY ("j260"); empty: those bytes stay zero
  std::optional<std::array<std::uint8_t, 2>> chipIdWord;
  std::optional<ChipInfoAnswer> chipInfo;
  std::optional<ChipInfoAnswer> chipInfoAlt;
  // READ BUFFER buffer 1: descriptor byte 0 (2^n bytes) and the data read with mode 1.
  std::optional<std::uint8_t> buffer1OffsetBoundary;
  std::vector<std::uint8_t> buffer1Data;
  std::optional<std::string> legacyId;  // answer of the legacy id read (8+ characters)
  bool answersB5 = false;
  std::optional<std::array<std::uint8_t, 4>> flashType;
};

struct InquiryStrings {
  std::string vendor;    // 8 characters, space-padded
  std::string product;   // 16 characters
  std::string revision;  // 4 characters
};

struct DeviceConfig {
  Bus bus = Bus::Usb;
  ChipFamily family = ChipFamily::Kts260;
  IdentificationAnswers identification;
  InquiryStrings inquiry;
  std::array<std::uint8_t, 4> firmware{0, 1, 0, 8};
  bool romMode = false;
  std::uint32_t busyMs = 0;
  bool stayBusy = false;
  std::uint8_t offsetBoundary = 0x0A;  // descriptor of buffer 0 while firmware runs
  std::optional<std::uint32_t> capacity;  // unset: the family's firmware area (0 is a capacity)
  std::array<std::uint8_t, 512> nvram{};
  std::vector<Fault> faults;
  std::vector<ReadBackCorruption> corruptions;
  std::uint32_t diskBlocks = 2048;  // the small disk behind the bridge, 512-byte blocks
  bool pathUnreadable = false;      // the disk source cannot read this interface's path
  bool accessDenied = false;        // every open fails for lack of rights
  // The USB device's vendor id as the platform lists it with the disk (on the USB and UAS buses
  // only); nullopt: the platform cannot tell.
  std::optional<std::uint16_t> usbVendorId;
  std::optional<std::uint16_t> usbProductId;  // with usbVendorId: what the system shows
};

// Family constants.
std::uint32_t FirmwareAreaOf(ChipFamily family);
std::uint32_t RomCapacityOf(ChipFamily family);
std::uint32_t NvramAddressOf(ChipFamily family);
bool IsBridge(ChipFamily family);

// The answers and contents a freshly made device of this family has (before scenario overrides).
DeviceConfig DefaultDeviceConfig(ChipFamily family);

// A realistic 512-byte NVRAM block: ids, descriptor texts naming the maker, and the three
// identification fields at 200 ("Quorvel "), 208 (a product word) and 216 (zeros).
std::array<std::uint8_t, 512> DefaultNvramBlock(ChipFamily family);

// A scenario with one more device (tests that build devices in code).
Scenario ScenarioOf(std::vector<DeviceConfig> devices);

}  // namespace corvane::sim
