// corvane-e2e-images DIR: writes the firmware area of each carried image (the bytes an update puts
// into a bridge's flash) to DIR/<chip>-area.bin, so that the end-to-end guest can compare what a
// reader other than the program under test finds in the flash afterwards.
#include <cstdio>
#include <string>

#include "firmware/carried_images.h"
#include "firmware/chip_profiles.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: corvane-e2e-images DIR\n");
    return 2;
  }
  for (const corvane::firmware::ChipProfile* profile : corvane::firmware::kChipProfiles) {
    const auto image =
        corvane::firmware::FindCarriedImage(profile->firmwareType, profile->firmwareName);
    if (image.size() < profile->firmwareArea) {
      std::fprintf(stderr, "corvane-e2e-images: %.*s is not carried\n",
                   static_cast<int>(profile->chipName.size()), profile->chipName.data());
      return 1;
    }
    std::string name = std::string(argv[1]) + "/" + std::string(profile->chipName) + "-area.bin";
    std::FILE* file = std::fopen(name.c_str(), "wb");
    if (file == nullptr ||
        std::fwrite(image.data(), 1, profile->firmwareArea, file) != profile->firmwareArea ||
        std::fclose(file) != 0) {
      std::fprintf(stderr, "corvane-e2e-images: cannot write %s\n", name.c_str());
      return 1;
    }
  }
  return 0;
}
