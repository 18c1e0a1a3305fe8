// The pixel formats the emulated display can run in, and the exact expansion
// of each of them to 0x00RRGGBB words that the drivers show or write.
#ifndef FLYOVER_PLATFORM_SCREEN_FORMAT_H
#define FLYOVER_PLATFORM_SCREEN_FORMAT_H

#include <stdint.h>

#include <string>
#include <vector>

namespace flyover {

struct ScreenFormat {
  const char *name;
  uint32_t bits;   // bits per pixel, as the pixel format reports them
  uint32_t bytes;  // bytes per pixel in memory
  uint32_t flags;  // DDPF_* flags the pixel format reports
  uint32_t fourcc; // for non-RGB formats
  uint32_t red, green, blue;
};

// Every format the display knows, the eight converter formats first.
const std::vector<ScreenFormat> &screenFormats();
// Null when name is unknown.
const ScreenFormat *findScreenFormat(const std::string &name);
// The format a mode of the given depth reports when it is not the depth of
// the configured format: the most common layout of that depth.
const ScreenFormat *usualFormatOfDepth(uint32_t bits);
// "xrgb8888, xbgr8888, ..." for error messages.
std::string screenFormatNames();

// Expands pixels of one format into 0x00RRGGBB words. Channels narrower than
// 8 bits are widened by repeating their bits (a 5-bit 31 becomes 255, 16
// becomes 132), which is exact and reversible: dropping the low bits again
// gives back the stored field. 16-bit formats go through a table built once.
class PixelExpander {
public:
  explicit PixelExpander(const ScreenFormat &format);
  void row(const uint8_t *source, uint32_t *destination, int32_t count) const;
  // One pixel given as its value in memory order (little-endian).
  uint32_t pixel(uint32_t value) const;

private:
  struct Field {
    uint32_t shift = 0;
    uint32_t width = 0;
  };
  ScreenFormat format_;
  Field red_, green_, blue_;
  std::vector<uint32_t> table_; // 16-bit RGB formats only
};

// Widens a field of width bits (1 to 8) to 8 bits by bit replication.
uint32_t widenChannel(uint32_t value, uint32_t width);

} // namespace flyover

#endif
