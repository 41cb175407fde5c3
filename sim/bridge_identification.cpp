// The answers a bridge gives to the identification reads, INQUIRY, the status reads and
// REQUEST SENSE.
#include <algorithm>
#include <cstring>

#include "sim/bridge_model.h"

namespace corvane::sim {

using namespace device;
namespace {

constexpr std::size_t kStandardInquiryLength = 56;

void PutText(std::span<std::uint8_t> out, std::size_t at, std::string_view text, std::size_t width,
             char pad) {
  for (std::size_t i = 0; i < width; ++i) {
    out[at + i] = static_cast<std::uint8_t>(i < text.size() ? text[i] : pad);
  }
}

}  // namespace

bool BridgeModel::Busy() const {
  return config_->stayBusy || clock_.NowMs() < plugTimeMs_ + config_->busyMs;
}

CommandAnswer BridgeModel::Inquiry(const Cdb& c, std::span<std::uint8_t> data) {
  const std::uint32_t allocation = (std::uint32_t{c.b[3]} << 8) | c.b[4];
  const InquiryStrings& inq = config_->inquiry;
  if ((c.b[1] & 0x01) == 0) {
    if (c.b[2] != 0) return Check(sense::kIllegalRequest, sense::kInvalidFieldInCdb);
    std::array<std::uint8_t, kStandardInquiryLength> answer{};
    answer[0] = 0x00;  // direct-access block device
    answer[1] = config_->family == ChipFamily::UsbStick ? 0x80 : 0x00;  // removable medium
    answer[2] = 0x06;
    answer[3] = 0x02;
    answer[4] = static_cast<std::uint8_t>(kStandardInquiryLength - 5);
    PutText(answer, 8, inq.vendor, 8, ' ');
    PutText(answer, 16, inq.product, 16, ' ');
    PutText(answer, 32, inq.revision, 4, ' ');
    // Older bridges put "j" and their three-digit model behind the standard fields.
    const std::string& id = config_->identification.inquiryChipId;
    if (!id.empty()) PutText(answer, 36, id, 4, '\0');
    return Copy(answer, allocation, data);
  }
  // Vital product data pages, as a host's disk driver asks for them on attach.
  std::vector<std::uint8_t> page;
  switch (c.b[2]) {
    case 0x00:
      page = {0x00, 0x00, 0x00, 0x03, 0x00, 0x80, 0x83};
      break;
    case 0x80: {
      const std::string serial = "CV" + inq.product.substr(0, std::min<std::size_t>(6, inq.product.size())) + "0001";
      page = {0x00, 0x80, 0x00, static_cast<std::uint8_t>(serial.size())};
      page.insert(page.end(), serial.begin(), serial.end());
      std::replace(page.begin() + 4, page.end(), std::uint8_t{' '}, std::uint8_t{'_'});
      break;
    }
    case 0x83: {
      // One T10 vendor-id designator: vendor and product identification.
      std::array<std::uint8_t, 24> text{};
      PutText(text, 0, inq.vendor, 8, ' ');
      PutText(text, 8, inq.product, 16, ' ');
      page = {0x00, 0x83, 0x00, 4 + 24, 0x02, 0x01, 0x00, 24};
      page.insert(page.end(), text.begin(), text.end());
      break;
    }
    default:
      return Check(sense::kIllegalRequest, sense::kInvalidFieldInCdb);
  }
  return Copy(page, allocation, data);
}

CommandAnswer BridgeModel::ChipInfo(const std::optional<ChipInfoAnswer>& info,
                                    std::span<std::uint8_t> data) {
  if (!info) return Check(sense::kIllegalRequest, sense::kInvalidOpcode);
  std::array<std::uint8_t, 16> answer{};
  if (info->raw) {
    std::copy_n(info->raw->begin(), std::min<std::size_t>(16, info->raw->size()), answer.begin());
    return Copy(answer, 16, data);
  }
  answer[0] = info->signature[0];
  answer[1] = info->signature[1];
  answer[2] = static_cast<std::uint8_t>(info->vendorId >> 8);
  answer[3] = static_cast<std::uint8_t>(info->vendorId);
  answer[4] = static_cast<std::uint8_t>(info->productId >> 8);
  answer[5] = static_cast<std::uint8_t>(info->productId);
  answer[6] = state_ == RunState::Firmware ? 0x01 : 0x00;  // 0: only the boot ROM runs
  PutText(answer, 8, info->model, 3, '\0');
  answer[11] = static_cast<std::uint8_t>(info->revision);
  std::copy(version_.begin(), version_.end(), answer.begin() + 12);
  return Copy(answer, 16, data);
}

CommandAnswer BridgeModel::VendorFf(const Cdb& c, std::span<std::uint8_t> data) {
  const IdentificationAnswers& id = config_->identification;
  if (c.b[1] != 0x04) return Check(sense::kIllegalRequest, sense::kInvalidFieldInCdb);
  switch (c.b[2]) {
    case 0x12: {
      const std::array<std::uint8_t, 2> status{static_cast<std::uint8_t>(Busy() ? 0x01 : 0x00), 0};
      return Copy(status, 2, data);
    }
    case 0x23:
      if (!id.flashType) return Check(sense::kIllegalRequest, sense::kInvalidFieldInCdb);
      return Copy(*id.flashType, 4, data);
    case 0x30: {
      if (!id.legacyId) return Check(sense::kIllegalRequest, sense::kInvalidFieldInCdb);
      std::vector<std::uint8_t> answer(std::max<std::size_t>(data.size(), id.legacyId->size()), 0);
      std::copy(id.legacyId->begin(), id.legacyId->end(), answer.begin());
      return Copy(answer, static_cast<std::uint32_t>(answer.size()), data);
    }
    default:
      return Check(sense::kIllegalRequest, sense::kInvalidFieldInCdb);
  }
}

CommandAnswer BridgeModel::RequestSense(const Cdb& c, std::span<std::uint8_t> data) {
  // The sense of the last failure is handed out once; afterwards there is nothing to report.
  std::array<std::uint8_t, 18> answer = lastSense_[0] != 0 ? lastSense_ : sense::Fixed(0, 0);
  lastSense_ = {};
  return Copy(answer, c.b[4], data);
}

}  // namespace corvane::sim
