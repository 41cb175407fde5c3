// Build-time helper: renders one SVG drawing into an uncompressed 24-bit bottom-up BMP of a fixed size,
// the bitmap format the window's pictures are carried in, or into a PNG with transparency (icons).
// Usage: corvane-render-bitmap IN.svg OUT.bmp WIDTH HEIGHT [PREVIEW.png]
//        corvane-render-bitmap IN.svg OUT.png WIDTH HEIGHT
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

void PutLe(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// BITMAPFILEHEADER + BITMAPINFOHEADER, 24 bits per pixel, BI_RGB, rows bottom-up padded to 4 bytes.
std::vector<std::uint8_t> EncodeBmp24(const QImage& image) {
  const auto width = static_cast<std::uint32_t>(image.width());
  const auto height = static_cast<std::uint32_t>(image.height());
  const std::uint32_t stride = (width * 3 + 3) & ~3u;
  const std::uint32_t pixelBytes = stride * height;
  std::vector<std::uint8_t> out;
  out.reserve(54 + pixelBytes);
  out.push_back('B');
  out.push_back('M');
  PutLe(out, 54 + pixelBytes, 4);
  PutLe(out, 0, 4);
  PutLe(out, 54, 4);
  PutLe(out, 40, 4);
  PutLe(out, width, 4);
  PutLe(out, height, 4);
  PutLe(out, 1, 2);
  PutLe(out, 24, 2);
  PutLe(out, 0, 4);  // BI_RGB
  PutLe(out, pixelBytes, 4);
  PutLe(out, 3780, 4);  // 96 dpi
  PutLe(out, 3780, 4);
  PutLe(out, 0, 4);
  PutLe(out, 0, 4);
  for (int y = image.height() - 1; y >= 0; --y) {
    const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    std::uint32_t written = 0;
    for (int x = 0; x < image.width(); ++x) {
      out.push_back(static_cast<std::uint8_t>(qBlue(line[x])));
      out.push_back(static_cast<std::uint8_t>(qGreen(line[x])));
      out.push_back(static_cast<std::uint8_t>(qRed(line[x])));
      written += 3;
    }
    for (; written < stride; ++written) out.push_back(0);
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5 && argc != 6) {
    std::fprintf(stderr, "usage: %s IN.svg OUT.bmp WIDTH HEIGHT [OUT.png]\n", argv[0]);
    return 2;
  }
  // Text in the drawings needs the font database, which needs a GUI application; no display is used.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const int width = std::stoi(argv[3]);
  const int height = std::stoi(argv[4]);
  QSvgRenderer renderer{QString::fromLocal8Bit(argv[1])};
  if (!renderer.isValid()) {
    std::fprintf(stderr, "%s: cannot read drawing %s\n", argv[0], argv[1]);
    return 1;
  }
  const QString out = QString::fromLocal8Bit(argv[2]);
  const bool png = out.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive);
  QImage image(width, height, png ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
  // The pictures sit on the window's white ground (BMP carries no alpha); icons keep theirs.
  image.fill(png ? Qt::transparent : Qt::white);
  {
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    renderer.render(&painter, QRectF(0, 0, width, height));
  }
  if (png) {
    if (!image.save(out, "PNG")) {
      std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[2]);
      return 1;
    }
    return 0;
  }
  const std::vector<std::uint8_t> bmp = EncodeBmp24(image);
  QFile file{out};
  if (!file.open(QIODevice::WriteOnly) ||
      file.write(reinterpret_cast<const char*>(bmp.data()), static_cast<qint64>(bmp.size())) !=
          static_cast<qint64>(bmp.size())) {
    std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[2]);
    return 1;
  }
  if (argc == 6 && !image.save(QString::fromLocal8Bit(argv[5]), "PNG")) {
    std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[5]);
    return 1;
  }
  return 0;
}
