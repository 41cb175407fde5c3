#include <cctype>

#include "app/form.h"
#include "app/form_texts.h"

namespace corvane::app {

std::string_view AnimationFrameName(int counter) {
  // The blue arrow turns clockwise: top, right, lower left.
  switch (((counter % 3) + 3) % 3) {
    case 1:
      return kPictureLoading2;
    case 2:
      return kPictureLoading3;
    default:
      return kPictureLoading1;
  }
}

std::string_view CanonicalPictureName(std::string_view name) {
  for (std::string_view known : kPictureNames) {
    if (known.size() != name.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < known.size() && same; ++i) {
      same = std::toupper(static_cast<unsigned char>(name[i])) ==
             static_cast<unsigned char>(known[i]);
    }
    if (same) return known;
  }
  return {};
}

std::string_view PictureAccessibleName(std::string_view canonical) {
  if (canonical == kPictureGood) return kAccessibleNameGood;
  if (canonical == kPictureUpdate) return kAccessibleNameUpdate;
  if (canonical == kPictureCross) return kAccessibleNameCross;
  if (canonical == kPictureBackground) return kAccessibleNameBanner;
  for (std::string_view frame : {kPictureLoading1, kPictureLoading2, kPictureLoading3}) {
    if (canonical == frame) return kAccessibleNameBusy;
  }
  return {};
}

}  // namespace corvane::app
