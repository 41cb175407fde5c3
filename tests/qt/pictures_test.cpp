// The carried pictures: format, size, lookup without case, and that each one shows what its name
// promises (the blue arrow of each animation frame where the frame order needs it).
#include <QFile>
#include <QImage>

#include <cstdint>

#include <gtest/gtest.h>

#include "app/form_texts.h"
#include "app/qt/picture_store.h"
#include "tests/qt/sim_window.h"

namespace corvane::app::qt::testing {
namespace {

using namespace ::corvane::device;

std::uint32_t Le(const QByteArray& bytes, int offset, int size) {
  std::uint32_t value = 0;
  for (int i = size - 1; i >= 0; --i) value = (value << 8) | static_cast<std::uint8_t>(bytes[offset + i]);
  return value;
}

struct PictureCase {
  std::string_view name;
  int width;
  int height;
};
constexpr PictureCase kPictures[] = {
    {app::kPictureBackground, 2500, 1004}, {app::kPictureLoading1, 512, 512},
    {app::kPictureLoading2, 512, 512},     {app::kPictureLoading3, 512, 512},
    {app::kPictureGood, 512, 512},         {app::kPictureUpdate, 512, 512},
    {app::kPictureCross, 512, 512},
};

TEST(CarriedPictures, AreUncompressed24BitBottomUpBitmapsOfTheirFixedSize) {
  for (const PictureCase& c : kPictures) {
    SCOPED_TRACE(std::string(c.name));
    QFile file(PictureStore::ResourcePath(c.name));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    ASSERT_GE(bytes.size(), 54);
    EXPECT_EQ(bytes.left(2), QByteArray("BM"));
    EXPECT_EQ(Le(bytes, 2, 4), static_cast<std::uint32_t>(bytes.size()));
    EXPECT_EQ(Le(bytes, 14, 4), 40u);                                   // BITMAPINFOHEADER
    EXPECT_EQ(Le(bytes, 18, 4), static_cast<std::uint32_t>(c.width));
    EXPECT_EQ(Le(bytes, 22, 4), static_cast<std::uint32_t>(c.height));  // positive: bottom-up
    EXPECT_EQ(Le(bytes, 28, 2), 24u);
    EXPECT_EQ(Le(bytes, 30, 4), 0u);  // BI_RGB, no compression
    const std::uint32_t stride = (static_cast<std::uint32_t>(c.width) * 3 + 3) & ~3u;
    EXPECT_EQ(static_cast<std::uint32_t>(bytes.size()), 54 + stride * static_cast<std::uint32_t>(c.height));
    const QImage image = PictureStore::Original(c.name);
    EXPECT_EQ(image.size(), QSize(c.width, c.height));
  }
}

TEST(CarriedPictures, EachPictureIsScaledOnceAndReusedForEveryFrame) {
  PictureStore store;
  const QPixmap first = store.Scaled("LOADING2", QSize(150, 150));
  const QPixmap again = store.Scaled("loading2", QSize(150, 150));
  EXPECT_EQ(first.cacheKey(), again.cacheKey());  // the same pixels, not a second scaling
  EXPECT_NE(store.Scaled("LOADING2", QSize(100, 100)).cacheKey(), first.cacheKey());
  EXPECT_TRUE(store.Scaled("NOPE", QSize(150, 150)).isNull());
}

TEST(CarriedPictures, NamesMatchWithoutRegardToCase) {
  struct Case {
    std::string_view asked;
    bool found;
  };
  for (const Case& c : {Case{"Good", true}, Case{"good", true}, Case{"LoAdInG3", true},
                        Case{"GOODS", false}, Case{"", false}}) {
    EXPECT_EQ(!PictureStore::Original(c.asked).isNull(), c.found) << c.asked;
  }
}

bool IsBlue(QRgb pixel) { return qBlue(pixel) > 150 && qBlue(pixel) > qRed(pixel) + 60; }
bool IsGrey(QRgb pixel) {
  return qAbs(qRed(pixel) - qBlue(pixel)) < 40 && qAbs(qRed(pixel) - qGreen(pixel)) < 40;
}

// Share of blue pixels in a square around (x, y).
double BlueShare(const QImage& image, int x, int y, int half) {
  int blue = 0, all = 0;
  for (int py = y - half; py < y + half; ++py)
    for (int px = x - half; px < x + half; ++px, ++all) blue += IsBlue(image.pixel(px, py)) ? 1 : 0;
  return static_cast<double>(blue) / all;
}

TEST(CarriedPictures, EachAnimationFrameLightsTheArrowItsNameSays) {
  // Middles of the three arrows on their circle: top, right (lower right), lower left.
  const QPoint top(256, 85), right(404, 341), lowerLeft(108, 341);
  struct Case {
    std::string_view frame;
    QPoint blue;
  };
  for (const Case& c : {Case{app::kPictureLoading1, lowerLeft}, Case{app::kPictureLoading2, top},
                        Case{app::kPictureLoading3, right}}) {
    SCOPED_TRACE(std::string(c.frame));
    const QImage image = PictureStore::Original(c.frame);
    for (QPoint arrow : {top, right, lowerLeft}) {
      const double share = BlueShare(image, arrow.x(), arrow.y(), 20);
      if (arrow == c.blue) {
        EXPECT_GT(share, 0.5) << arrow.x() << "," << arrow.y();
      } else {
        EXPECT_EQ(share, 0.0) << arrow.x() << "," << arrow.y();
      }
    }
  }
}

TEST(CarriedPictures, ResultPicturesHaveTheirColours) {
  struct Case {
    std::string_view name;
    bool blueWanted;  // the download arrow is blue, the thumbs-up and the cross grey
  };
  for (const Case& c : {Case{app::kPictureGood, false}, Case{app::kPictureUpdate, true},
                        Case{app::kPictureCross, false}}) {
    SCOPED_TRACE(std::string(c.name));
    const QImage image = PictureStore::Original(c.name);
    int blue = 0, greyInk = 0;
    for (int y = 0; y < image.height(); y += 4)
      for (int x = 0; x < image.width(); x += 4) {
        const QRgb pixel = image.pixel(x, y);
        if (IsBlue(pixel)) ++blue;
        else if (IsGrey(pixel) && qRed(pixel) < 230) ++greyInk;
      }
    if (c.blueWanted) {
      EXPECT_GT(blue, 1000);
    } else {
      EXPECT_EQ(blue, 0);
      EXPECT_GT(greyInk, 1000);
    }
    EXPECT_EQ(image.pixel(0, 0), qRgb(255, 255, 255));  // sits on the window's white ground
  }
}

TEST(CarriedPictures, BannerIsOnABlueGround) {
  const QImage image = PictureStore::Original(app::kPictureBackground);
  for (QPoint corner : {QPoint(5, 5), QPoint(2494, 5), QPoint(5, 998), QPoint(2494, 998)}) {
    const QRgb pixel = image.pixel(corner);
    EXPECT_GT(qBlue(pixel), qRed(pixel) + 50) << corner.x() << "," << corner.y();
  }
}

}  // namespace
}  // namespace corvane::app::qt::testing
