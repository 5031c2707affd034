// Draws the program's icon and writes it as a Windows .ico file with the
// twelve images the executable carries: 16, 32 and 48 pixels at 4, 8 and 32
// bits per pixel, 128 pixels at 8 and 32 bits, and 256 pixels at 32 bits
// stored as PNG (the only form a 256-pixel icon image takes).
//
//   icon_generator OUTPUT.ico
//
// Runs at build time on the build machine; the artwork is described below as
// shapes, so the repository holds no image files.
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <vector>

namespace {

struct Colour {
  double r, g, b, a;  // straight (not premultiplied), 0..1
};

// ---- Artwork ------------------------------------------------------------------
// A rounded tile in a blue gradient, a white "F" and a gold coin.

double RoundedBoxDistance(double x, double y, double cx, double cy, double hw, double hh, double radius) {
  double qx = fabs(x - cx) - hw + radius;
  double qy = fabs(y - cy) - hh + radius;
  double ox = qx > 0 ? qx : 0;
  double oy = qy > 0 ? qy : 0;
  double inside = qx > qy ? qx : qy;
  return sqrt(ox * ox + oy * oy) + (inside < 0 ? inside : 0) - radius;
}

bool InBox(double x, double y, double x0, double y0, double x1, double y1) {
  return x >= x0 && x < x1 && y >= y0 && y < y1;
}

// Premultiplied "over".
void Over(double* acc, const Colour& c) {
  double a = c.a;
  acc[0] = c.r * a + acc[0] * (1 - a);
  acc[1] = c.g * a + acc[1] * (1 - a);
  acc[2] = c.b * a + acc[2] * (1 - a);
  acc[3] = a + acc[3] * (1 - a);
}

void Sample(double x, double y, double* acc) {  // x, y in 0..1, y downwards
  acc[0] = acc[1] = acc[2] = acc[3] = 0;
  double tile = RoundedBoxDistance(x, y, 0.5, 0.5, 0.46, 0.46, 0.18);
  if (tile > 0) return;
  double t = y;
  Colour body = {0.09 + 0.03 * t, 0.20 + 0.45 * t, 0.55 + 0.35 * t, 1};
  if (tile > -0.035) body = {0.75, 0.88, 1.0, 1};  // light rim
  Over(acc, body);
  bool letter = InBox(x, y, 0.24, 0.20, 0.38, 0.80) || InBox(x, y, 0.24, 0.20, 0.72, 0.33) ||
                InBox(x, y, 0.24, 0.44, 0.62, 0.56);
  if (letter) Over(acc, {1, 1, 1, 1});
  double dx = x - 0.70, dy = y - 0.71;
  double d = sqrt(dx * dx + dy * dy);
  if (d < 0.17) Over(acc, {0.55, 0.33, 0.02, 1});
  if (d < 0.135) Over(acc, {0.98, 0.72, 0.10, 1});
  if (d < 0.06) Over(acc, {1.0, 0.90, 0.45, 1});
}

// RGBA, 8 bits each, top row first.
std::vector<uint8_t> Render(int size) {
  const int ss = size <= 48 ? 8 : 4;  // samples per axis
  std::vector<uint8_t> pixels(static_cast<size_t>(size) * size * 4);
  for (int py = 0; py < size; ++py) {
    for (int px = 0; px < size; ++px) {
      double sum[4] = {0, 0, 0, 0};
      for (int sy = 0; sy < ss; ++sy) {
        for (int sx = 0; sx < ss; ++sx) {
          double acc[4];
          Sample((px + (sx + 0.5) / ss) / size, (py + (sy + 0.5) / ss) / size, acc);
          for (int k = 0; k < 4; ++k) sum[k] += acc[k];
        }
      }
      uint8_t* out = &pixels[(static_cast<size_t>(py) * size + px) * 4];
      double a = sum[3] / (ss * ss);
      for (int k = 0; k < 3; ++k) {
        double v = a > 0 ? sum[k] / sum[3] : 0;  // back to straight colour
        out[k] = static_cast<uint8_t>(lround(v * 255));
      }
      out[3] = static_cast<uint8_t>(lround(a * 255));
    }
  }
  return pixels;
}

// ---- Palettes -------------------------------------------------------------------

struct Rgb {
  uint8_t r, g, b;
};

std::vector<Rgb> SixteenColourPalette() {
  // The classic sixteen colours of 4-bit Windows icons.
  return {{0, 0, 0},     {128, 0, 0},   {0, 128, 0},   {128, 128, 0}, {0, 0, 128},   {128, 0, 128},
          {0, 128, 128}, {192, 192, 192}, {128, 128, 128}, {255, 0, 0}, {0, 255, 0},   {255, 255, 0},
          {0, 0, 255},   {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
}

std::vector<Rgb> TwoFiftySixColourPalette() {
  std::vector<Rgb> palette;
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 6; ++g)
      for (int b = 0; b < 6; ++b) palette.push_back({uint8_t(r * 51), uint8_t(g * 51), uint8_t(b * 51)});
  for (int i = 0; palette.size() < 256; ++i) {  // 40 greys between the cube's
    int v = 6 + i * 249 / 39;
    palette.push_back({uint8_t(v), uint8_t(v), uint8_t(v)});
  }
  return palette;
}

uint8_t Nearest(const std::vector<Rgb>& palette, const uint8_t* rgba) {
  int best = 0;
  long bestDistance = -1;
  for (size_t i = 0; i < palette.size(); ++i) {
    long dr = palette[i].r - rgba[0], dg = palette[i].g - rgba[1], db = palette[i].b - rgba[2];
    long distance = 2 * dr * dr + 4 * dg * dg + 3 * db * db;
    if (bestDistance < 0 || distance < bestDistance) {
      bestDistance = distance;
      best = static_cast<int>(i);
    }
  }
  return static_cast<uint8_t>(best);
}

// ---- Writers ----------------------------------------------------------------------

void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}
void Put32BigEndian(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(v >> shift));
}

// A device-independent bitmap as an icon image: header with doubled height,
// palette, colour bits and the 1-bit transparency mask, rows bottom up.
std::vector<uint8_t> BitmapImage(int size, int bits, const std::vector<uint8_t>& rgba) {
  std::vector<Rgb> palette;
  if (bits == 4) palette = SixteenColourPalette();
  if (bits == 8) palette = TwoFiftySixColourPalette();
  const size_t colourRow = ((static_cast<size_t>(size) * bits + 31) / 32) * 4;
  const size_t maskRow = ((static_cast<size_t>(size) + 31) / 32) * 4;
  std::vector<uint8_t> out;
  Put32(out, 40);
  Put32(out, static_cast<uint32_t>(size));
  Put32(out, static_cast<uint32_t>(size * 2));
  Put16(out, 1);
  Put16(out, static_cast<uint32_t>(bits));
  Put32(out, 0);  // uncompressed
  Put32(out, static_cast<uint32_t>((colourRow + maskRow) * size));
  Put32(out, 0);
  Put32(out, 0);
  Put32(out, static_cast<uint32_t>(palette.size()));
  Put32(out, 0);
  for (const Rgb& c : palette) {
    out.push_back(c.b);
    out.push_back(c.g);
    out.push_back(c.r);
    out.push_back(0);
  }
  for (int y = size - 1; y >= 0; --y) {
    std::vector<uint8_t> row(colourRow, 0);
    for (int x = 0; x < size; ++x) {
      const uint8_t* p = &rgba[(static_cast<size_t>(y) * size + x) * 4];
      bool opaque = p[3] >= 128;
      if (bits == 32) {
        row[x * 4 + 0] = p[2];
        row[x * 4 + 1] = p[1];
        row[x * 4 + 2] = p[0];
        row[x * 4 + 3] = p[3];
      } else {
        uint8_t index = opaque ? Nearest(palette, p) : 0;
        if (bits == 8) {
          row[x] = index;
        } else {
          row[x / 2] |= static_cast<uint8_t>(x % 2 ? index : index << 4);
        }
      }
    }
    out.insert(out.end(), row.begin(), row.end());
  }
  for (int y = size - 1; y >= 0; --y) {
    std::vector<uint8_t> row(maskRow, 0);
    for (int x = 0; x < size; ++x) {
      if (rgba[(static_cast<size_t>(y) * size + x) * 4 + 3] < 128) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
    }
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

uint32_t Crc32(const uint8_t* data, size_t n, uint32_t crc = 0) {
  crc = ~crc;
  for (size_t i = 0; i < n; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return ~crc;
}

void PngChunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
  Put32BigEndian(out, static_cast<uint32_t>(data.size()));
  std::vector<uint8_t> typed(type, type + 4);
  typed.insert(typed.end(), data.begin(), data.end());
  out.insert(out.end(), typed.begin(), typed.end());
  Put32BigEndian(out, Crc32(typed.data(), typed.size()));
}

// A PNG (RGBA, 8 bits) whose image data is a zlib stream of stored blocks:
// no compressor needed, and every decoder reads it.
std::vector<uint8_t> PngImage(int size, const std::vector<uint8_t>& rgba) {
  std::vector<uint8_t> raw;
  for (int y = 0; y < size; ++y) {
    raw.push_back(0);  // filter: none
    const uint8_t* row = &rgba[static_cast<size_t>(y) * size * 4];
    raw.insert(raw.end(), row, row + size * 4);
  }
  std::vector<uint8_t> zlib = {0x78, 0x01};
  for (size_t at = 0; at < raw.size();) {
    size_t n = raw.size() - at < 65535 ? raw.size() - at : 65535;
    zlib.push_back(at + n == raw.size() ? 1 : 0);
    Put16(zlib, static_cast<uint32_t>(n));
    Put16(zlib, static_cast<uint32_t>(~n & 0xFFFF));
    zlib.insert(zlib.end(), raw.begin() + at, raw.begin() + at + n);
    at += n;
  }
  uint32_t a = 1, b = 0;
  for (uint8_t byte : raw) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  Put32BigEndian(zlib, (b << 16) | a);

  std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> header;
  Put32BigEndian(header, static_cast<uint32_t>(size));
  Put32BigEndian(header, static_cast<uint32_t>(size));
  header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA, deflate, no filter, no interlace
  PngChunk(out, "IHDR", header);
  PngChunk(out, "IDAT", zlib);
  PngChunk(out, "IEND", {});
  return out;
}

struct Entry {
  int size, bits;
  std::vector<uint8_t> data;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: icon_generator OUTPUT.ico\n");
    return 2;
  }
  const struct {
    int size, bits;
  } images[] = {{16, 4}, {32, 4}, {48, 4}, {16, 8}, {32, 8}, {48, 8}, {128, 8},
                {16, 32}, {32, 32}, {48, 32}, {128, 32}, {256, 32}};
  std::vector<Entry> entries;
  for (const auto& image : images) {
    std::vector<uint8_t> rgba = Render(image.size);
    entries.push_back({image.size, image.bits,
                       image.size == 256 ? PngImage(image.size, rgba) : BitmapImage(image.size, image.bits, rgba)});
  }
  std::vector<uint8_t> file;
  Put16(file, 0);
  Put16(file, 1);  // icon
  Put16(file, static_cast<uint32_t>(entries.size()));
  uint32_t offset = static_cast<uint32_t>(6 + 16 * entries.size());
  for (const Entry& e : entries) {
    file.push_back(static_cast<uint8_t>(e.size == 256 ? 0 : e.size));
    file.push_back(static_cast<uint8_t>(e.size == 256 ? 0 : e.size));
    file.push_back(static_cast<uint8_t>(e.bits == 4 ? 16 : 0));
    file.push_back(0);
    Put16(file, 1);
    Put16(file, static_cast<uint32_t>(e.bits));
    Put32(file, static_cast<uint32_t>(e.data.size()));
    Put32(file, offset);
    offset += static_cast<uint32_t>(e.data.size());
  }
  for (const Entry& e : entries) file.insert(file.end(), e.data.begin(), e.data.end());
  FILE* out = fopen(argv[1], "wb");
  if (!out || fwrite(file.data(), 1, file.size(), out) != file.size() || fclose(out) != 0) {
    fprintf(stderr, "icon_generator: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
