// The carried pictures: BITMAP resources of the program's own module, found by name, stretched
// once per size and kept, so the animation's frames cost a handle swap and a blit.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <string_view>

namespace corvane::app::win32 {

class PictureCache {
 public:
  PictureCache() = default;
  ~PictureCache();
  PictureCache(const PictureCache&) = delete;
  PictureCache& operator=(const PictureCache&) = delete;

  // The bitmap resource `name` of the running program stretched to width x height; nullptr when the
  // program carries no such picture. The cache owns the result.
  HBITMAP Stretched(std::string_view name, int width, int height);

  // The resource as carried (a DIB section the caller must DeleteObject); nullptr when missing.
  static HBITMAP LoadOriginal(std::string_view name);

 private:
  std::map<std::string, HBITMAP> stretched_;
};

}  // namespace corvane::app::win32
