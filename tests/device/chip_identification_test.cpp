#include "device/chip_identification.h"
#include "device/chip_info.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "tests/device/fake_device.h"

namespace corvane::device::testing {
namespace {

const Bytes kInquiry = {0x12};
const Bytes kIdWord = {0xDF, 0x10, 0x00, 0x00, 0x02};
const Bytes kInfo = {0xE0};
const Bytes kInfoAlt = {0xFE};
const Bytes kLegacy = {0xFF, 0x04, 0x30};
const Bytes kDescriptor = {0x3C, 0x03, 0x01};
const Bytes kBuffer1 = {0x3C, 0x01, 0x01};
const Bytes kB5 = {0xB5};

// 40 bytes of INQUIRY with `model` written from byte 36 on.
Bytes Inquiry(const char* model) {
  Bytes answer(40, ' ');
  std::memcpy(&answer[36], model, std::strlen(model));
  return answer;
}

// A chip-information answer: 2 signature bytes, vendor, product, then bytes 8.. as text.
Bytes ChipInfo(Bytes head, const char* model) {
  head.resize(16, 0);
  std::memcpy(&head[8], model, std::strlen(model));
  return head;
}

Bytes Text(const char* text) { return Bytes(text, text + std::strlen(text)); }

struct IdentifyRow {
  const char* name;
  std::vector<FakePort::Rule> bridge;
  std::uint8_t chipCode;
  std::vector<std::uint8_t> opcodes;  // empty: not checked
  std::size_t boxes = 0;
};

TEST(IdentifyChip, EveryPath) {
  const Bytes sig = {0xF4, 0xE7, 0x12, 0x34, 0x56, 0x78, 1, 0};
  const std::vector<IdentifyRow> rows = {
      {"inquiry 260", {{kInquiry, Answer(Inquiry("j260"))}}, 22, {0x12}},
      {"inquiry 217", {{kInquiry, Answer(Inquiry("j217"))}}, 19, {0x12}},
      {"row 3 wins, legacy id refines",
       {{kInquiry, Answer(Inquiry("j123"))}, {kLegacy, Answer(Text("j123A3zz"))}}, 4, {0x12, 0xFF}},
      {"row 3 stays without legacy id", {{kInquiry, Answer(Inquiry("j123"))}}, 3, {0x12, 0xFF}},
      {"inquiry 133", {{kInquiry, Answer(Inquiry("j133"))}}, 9, {0x12}},
      {"legacy overrides inquiry row",
       {{kInquiry, Answer(Inquiry("j131"))}, {kLegacy, Answer(Text("j125E123"))}}, 34, {}},
      {"inquiry without j falls through", {{kInquiry, Answer(Inquiry("x260"))},
       {kIdWord, Reply{}}, {kInfo, Answer(ChipInfo(sig, "2601"))}}, 22, {0x12, 0xDF, 0xE0}},
      {"vendor and product", {{kIdWord, Reply{}},
       {kInfo, Answer(ChipInfo({0xF4, 0xE7, 0x3C, 0x9F, 0x5A, 0x71}, "2601"))}}, 39, {}},
      {"vendor 03 C9 is not 3C9F", {{kIdWord, Reply{}},
       {kInfo, Answer(ChipInfo({0xF4, 0xE7, 0x03, 0xC9, 0x5A, 0x71}, "2601"))}}, 22, {}},
      {"chip info 133", {{kIdWord, Reply{}}, {kInfo, Answer(ChipInfo(sig, "133"))}}, 9, {}},
      {"short model text matches nothing",
       {{kIdWord, Reply{}}, {kInfo, Answer(ChipInfo(sig, "21"))}}, 0, {0x12, 0xDF, 0xE0, 0xFF}},
      {"no signature: id word bits 5-6",
       {{kIdWord, Answer({0x60, 0})}, {kInfo, Answer(Bytes(16, 0x11))}}, 38, {0x12, 0xDF, 0xE0}},
      {"no signature, id word 0x9F",
       {{kIdWord, Answer({0x9F, 0})}, {kInfo, Answer(Bytes(16, 0))}}, 35, {}},
      {"alt answer walks the table", {{kIdWord, Reply{}},
       {kInfoAlt, Answer(ChipInfo(sig, "157"))}}, 14, {0x12, 0xDF, 0xE0, 0xFE}},
      {"alt answer has no 133 fallback",
       {{kIdWord, Reply{}}, {kInfoAlt, Answer(ChipInfo(sig, "133"))}}, 0, {}},
      {"alt answer without signature",
       {{kIdWord, Reply{}}, {kInfoAlt, Answer(ChipInfo({1, 2}, "260"))}}, 0, {}},
      {"buffer 1 packed 0217", {{kDescriptor, Answer({9})},
       {kBuffer1, Answer({0, 0, 0, 0, 0x02, 0x17})}}, 19, {0x12, 0xDF, 0x3C, 0x3C}},
      {"buffer 1 packed 0157", {{kDescriptor, Answer({3})},
       {kBuffer1, Answer({0, 0, 0, 0, 0x01, 0x57})}}, 14, {}},
      {"buffer 1 text 153", {{kDescriptor, Answer({4})}, {kBuffer1, Answer(Text("xxx153"))}}, 15, {}},
      // The failed read leaves its bytes in the buffer; they identify nothing.
      {"buffer 1 read fails", {{kDescriptor, Answer({9})},
       {kBuffer1, Reply{true, true, 0, 2, {0, 0, 0, 0, 0x02, 0x17}}}}, 0,
       {0x12, 0xDF, 0x3C, 0x3C, 0x03, 0xFF}},
      {"buffer 1 shorter than 6", {{kDescriptor, Answer({2})},
       {kBuffer1, Answer({0, 0, 0, 0, 0x02, 0x17})}}, 0, {0x12, 0xDF, 0x3C, 0x3C, 0xFF}},
      {"boundary too large for a read", {{kDescriptor, Answer({24})}, {kBuffer1, Reply{}}}, 0,
       {0x12, 0xDF, 0x3C, 0xFF}},
      {"boundary 255", {{kDescriptor, Answer({255})}}, 0, {0x12, 0xDF, 0x3C, 0xFF}},
      {"only inquiry answers: sense after the failed descriptor read", {}, 0,
       {0x12, 0xDF, 0x3C, 0x03, 0xFF}},
      // A disk that rejects INQUIRY is not asked the vendor identification at all.
      {"inquiry rejected", {{kInquiry, Rejected()}, {kIdWord, Reply{}},
       {kInfo, Answer(ChipInfo(sig, "2601"))}}, 0, {0x12, 0xFF}},
      {"inquiry rejected, legacy id still refines", {{kInquiry, Rejected()}, {kIdWord, Reply{}},
       {kLegacy, Answer(Text("j121Cxyz"))}}, 1, {0x12, 0xFF}},
      {"B5 rejected", {{kInquiry, Answer(Inquiry("j151"))}}, 12, {0x12, 0xB5}},
      {"B5 answered", {{kInquiry, Answer(Inquiry("j151"))}, {kB5, Reply{}}}, 30, {0x12, 0xB5}},
      {"code 8, usable chip info", {{kInquiry, Answer(Inquiry("j132"))},
       {kInfo, Answer(ChipInfo(sig, "1322"))}}, 8, {0x12, 0xE0}, 0},
      {"code 8, chip info rejected", {{kInquiry, Answer(Inquiry("j132"))}}, 8, {0x12, 0xE0}, 1},
      {"code 8, no signature", {{kInquiry, Answer(Inquiry("j132"))},
       {kInfo, Answer(ChipInfo({0, 0}, "1321"))}}, 8, {}, 1},
      {"code 8, revision 3", {{kInquiry, Answer(Inquiry("j132"))},
       {kInfo, Answer(ChipInfo(sig, "1323"))}}, 8, {}, 1},
  };
  for (const IdentifyRow& row : rows) {
    SCOPED_TRACE(row.name);
    FakeDevice dev;
    dev.port.rules = row.bridge;
    // A row that names no INQUIRY answer gets a plain disk's: no "j" at byte 36.
    dev.port.rules.push_back({kInquiry, Answer(Inquiry("    "))});
    EXPECT_EQ(IdentifyChip("d"), row.chipCode);
    if (!row.opcodes.empty()) {
      EXPECT_EQ(dev.port.Opcodes(), row.opcodes);
    }
    ASSERT_EQ(dev.host.boxes.size(), row.boxes);
    if (row.boxes != 0) {
      EXPECT_EQ(dev.host.boxes[0].first, "Get chip information fail !");
      EXPECT_EQ(dev.host.boxes[0].second, "Error");
    }
  }
}

// The chip table as the chip maker numbers its families; a text that several rows share names
// the first of them.
TEST(IdentifyChip, EveryRowOfTheChipTableByItsModelText) {
  const char* const table[40] = {
      "",    "121", "122", "123", "123", "125", "126", "131", "132", "134",
      "134", "135", "151", "144", "157", "153", "154", "155", "156", "217",
      "158", "159", "260", "135", "131", "134", "134", "131", "134", "134",
      "152", "143", "142", "141", "125", "123", "124", "125", "121", "122"};
  for (std::uint8_t code = 1; code < 40; ++code) {
    std::uint8_t first = 1;
    while (std::strcmp(table[first], table[code]) != 0) ++first;
    for (const bool byInquiry : {true, false}) {
      SCOPED_TRACE(std::string(table[code]) + (byInquiry ? " in INQUIRY" : " in chip information"));
      FakeDevice dev;
      if (byInquiry) {
        dev.port.rules = {{kInquiry, Answer(Inquiry((std::string("j") + table[code]).c_str()))}};
      } else {
        dev.port.rules = {{kInquiry, Answer(Inquiry("    "))}, {kIdWord, Reply{}},
                          {kInfo, Answer(ChipInfo({0xF4, 0xE7, 1, 2, 3, 4}, table[code]))}};
      }
      EXPECT_EQ(IdentifyChip("d") & 0xFF, first);
    }
  }
}

TEST(IdentifyChip, EveryLegacyPrefixAtItsComparedLength) {
  const std::pair<const char*, std::uint8_t> rows[] = {
      {"j121Cabc", 1},  {"j121#abc", 0}, {"j123A3ab", 4}, {"j123A#ab", 0}, {"j125Cabc", 5},
      {"j125#abc", 0},  {"j125Eabc", 34}, {"j142Aabc", 32}, {"j142#abc", 0}, {"j131abcd", 7},
      {"j13#abcd", 0},  {"j4135abc", 11}, {"j413#abc", 0}};
  for (const auto& [id, code] : rows) {
    SCOPED_TRACE(id);
    FakeDevice dev;
    // Nothing else identifies this disk, so the legacy id alone decides.
    dev.port.rules = {{kInquiry, Answer(Inquiry("    "))}, {kLegacy, Answer(Text(id))}};
    EXPECT_EQ(IdentifyChip("d"), code);
  }
}

// Every block the identification sends, whole, with the length of its data phase.
TEST(IdentifyChip, SendsEachCommandWithItsArguments) {
  const Bytes inquiry = {0x12, 0, 0, 0, 40, 0, 0, 0, 0, 0, 0, 0};
  const Bytes idWord = {0xDF, 0x10, 0, 0, 0x02, 0, 0, 0, 0, 0, 0, 0xFF};
  const Bytes info = {0xE0, 0xF4, 0xE7, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  const Bytes legacy = {0xFF, 0x04, 0x30, 0x08, 0, 0, 0, 0, 0, 0, 0, 0};
  using Sent = std::vector<std::pair<Bytes, std::size_t>>;
  const std::vector<std::tuple<const char*, std::vector<FakePort::Rule>, Sent>> rows = {
      {"code 8", {{kInquiry, Answer(Inquiry("j132"))}}, {{inquiry, 40}, {info, 12}}},
      {"code 12", {{kInquiry, Answer(Inquiry("j151"))}},
       {{inquiry, 40}, {{0xB5, 0, 0, 0, 0, 0x64, 0, 0, 0x01, 0, 0, 0}, 512}}},
      {"chip information", {{kIdWord, Reply{}}, {kInfoAlt, Answer(ChipInfo({0xF4, 0xE7}, "121"))}},
       {{inquiry, 40}, {idWord, 2}, {info, 16}, {{0xFE, 0xF4, 0xE7, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 16},
        {legacy, 40}}},
      {"buffer 1", {{kDescriptor, Answer({9})}},
       {{inquiry, 40}, {idWord, 2}, {{0x3C, 0x03, 0x01, 0, 0, 0, 0, 0, 0x04, 0}, 4},
        {{0x3C, 0x01, 0x01, 0, 0, 0, 0, 0x02, 0x00, 0}, 512},
        {{0x03, 0, 0, 0, 0x12, 0, 0, 0, 0, 0, 0, 0}, 18}, {legacy, 40}}},
  };
  for (const auto& [name, rules, sent] : rows) {
    SCOPED_TRACE(name);
    FakeDevice dev;
    dev.port.rules = rules;
    dev.port.rules.push_back({kInquiry, Answer(Inquiry("    "))});
    IdentifyChip("d");
    Sent calls;
    for (const Call& c : dev.port.calls) calls.emplace_back(c.cdb, c.data.size());
    EXPECT_EQ(calls, sent);
  }
}

TEST(IdentifyChip, ReadsTheBufferAtTheBoundaryLength) {
  FakeDevice dev;
  dev.port.rules = {{kInquiry, Answer(Inquiry("    "))}, {kDescriptor, Answer({9})}};
  IdentifyChip("d");
  ASSERT_GE(dev.port.calls.size(), 4u);
  EXPECT_EQ(dev.port.calls[3].cdb, Bytes({0x3C, 0x01, 0x01, 0, 0, 0, 0x00, 0x02, 0x00, 0}));
  EXPECT_EQ(dev.port.calls[3].data.size(), 512u);
}

TEST(CheckBridgeSignature, NeedsSignatureAndVendor) {
  const std::vector<std::tuple<const char*, std::vector<FakePort::Rule>, int>> rows = {
      {"ours", {{kInquiry, Reply{}}, {kInfo, Answer({0xF4, 0xE7, 0x3C, 0x9F})}}, 1},
      {"other vendor", {{kInquiry, Reply{}}, {kInfo, Answer({0xF4, 0xE7, 0x3C, 0x9E})}}, 0},
      {"rejects E0", {{kInquiry, Reply{}}}, 0},
      {"rejects inquiry", {{kInfo, Answer({0xF4, 0xE7, 0x3C, 0x9F})}}, 0},
  };
  for (const auto& [name, bridge, result] : rows) {
    SCOPED_TRACE(name);
    FakeDevice dev;
    dev.port.rules = bridge;
    EXPECT_EQ(CheckBridgeSignature("d"), result);
    EXPECT_TRUE(dev.host.boxes.empty());
  }
}

// The one reader of the chip-information block: each field from its own bytes.
TEST(ChipInfoBlock, FieldsComeFromTheirBytes) {
  struct Row {
    const char* what;
    std::vector<std::uint8_t> bytes;
    bool signature;
    std::uint16_t vendor, product;
    bool bootRom;
    std::string model;
    std::uint8_t revision;
    std::array<std::uint8_t, 4> version;
  };
  const Row rows[] = {
      {"running KTS260",
       {0xF4, 0xE7, 0x3C, 0x9F, 0x02, 0x60, 0x01, 0x00, '2', '6', '0', '1', 234, 1, 0, 1},
       true, 0x3C9F, 0x0260, false, "2601", '1', {234, 1, 0, 1}},
      {"boot ROM", {0xF4, 0xE7, 0x3C, 0x9F, 0x02, 0x17, 0x00, 0x00, '2', '1', '7', 0, 0, 2, 1, 4},
       true, 0x3C9F, 0x0217, true, "217", 0, {0, 2, 1, 4}},
      {"no signature", {0xF4, 0xE8, 0, 0, 0, 0, 5}, false, 0, 0, false, "", 0, {0, 0, 0, 0}},
      {"12-byte answer", {0xF4, 0xE7, 0x03, 0xC9, 0, 1, 2, 0, '1', '3', '2', '2'}, true, 0x03C9,
       0x0001, false, "1322", '2', {0, 0, 0, 0}},
  };
  for (const Row& row : rows) {
    const device::ChipInfo info = ParseChipInfo(row.bytes);
    EXPECT_EQ(info.signature, row.signature) << row.what;
    EXPECT_EQ(info.VendorId(), row.vendor) << row.what;
    EXPECT_EQ(info.ProductId(), row.product) << row.what;
    EXPECT_EQ(info.RunsBootRom(), row.bootRom) << row.what;
    EXPECT_EQ(info.Model(), row.model) << row.what;
    EXPECT_EQ(info.revision, row.revision) << row.what;
    EXPECT_EQ(info.version, row.version) << row.what;
  }
}

}  // namespace
}  // namespace corvane::device::testing
