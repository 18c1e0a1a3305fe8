// Pictures for the web checks, written as PNG files with node's zlib alone:
// a 16-bit grey height picture that is not square (stretched by the map
// generator, which says so), an 8-bit colour picture, and a copy of the
// height picture cut short, which cannot be decoded.
//
//   node pictures.js DIR    writes DIR/hills.png, DIR/hills-colour.png, DIR/broken.png
'use strict';

const fs = require('fs');
const path = require('path');
const zlib = require('zlib');

const CRC_TABLE = Array.from({ length: 256 }, (_, n) => {
  let c = n;
  for (let k = 0; k < 8; k++) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
  return c >>> 0;
});
function crc32(bytes) {
  let c = 0xffffffff;
  for (const byte of bytes) c = CRC_TABLE[(c ^ byte) & 0xff] ^ (c >>> 8);
  return (c ^ 0xffffffff) >>> 0;
}
function chunk(type, data) {
  const head = Buffer.alloc(8), tail = Buffer.alloc(4);
  head.writeUInt32BE(data.length, 0);
  head.write(type, 4, 'latin1');
  tail.writeUInt32BE(crc32(Buffer.concat([head.subarray(4), data])), 0);
  return Buffer.concat([head, data, tail]);
}

// sample(x, y) gives one value per channel, each below 2^depth.
function png(width, height, channels, depth, sample) {
  const bytes = depth / 8, row = 1 + width * channels * bytes;
  const raw = Buffer.alloc(row * height);
  for (let y = 0; y < height; y++)
    for (let x = 0; x < width; x++)
      sample(x, y).forEach((value, c) => {
        const at = y * row + 1 + (x * channels + c) * bytes;
        if (depth === 16) raw.writeUInt16BE(value, at);
        else raw[at] = value;
      });
  const header = Buffer.alloc(13);
  header.writeUInt32BE(width, 0);
  header.writeUInt32BE(height, 4);
  header[8] = depth;
  header[9] = channels === 1 ? 0 : 2;  // grey or RGB
  return Buffer.concat([Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]), chunk('IHDR', header),
                        chunk('IDAT', zlib.deflateSync(raw)), chunk('IEND', Buffer.alloc(0))]);
}

function write(dir) {
  const tau = 2 * Math.PI;
  const hills = png(640, 480, 1, 16, (x, y) => {
    const u = x / 640, v = y / 480;
    const h = Math.sin(tau * 2 * u) * Math.cos(tau * 3 * v) + 0.4 * Math.sin(tau * (5 * u + 4 * v));
    return [Math.round(32767.5 + 23000 * h)];
  });
  const colour = png(300, 300, 3, 8, (x, y) => [(x * 255 / 299) | 0, (y * 255 / 299) | 0, ((x ^ y) & 0x3f) * 4]);
  const files = { hills: path.join(dir, 'hills.png'), colour: path.join(dir, 'hills-colour.png'),
                  broken: path.join(dir, 'broken.png') };
  fs.writeFileSync(files.hills, hills);
  fs.writeFileSync(files.colour, colour);
  fs.writeFileSync(files.broken, hills.subarray(0, hills.length >> 1));
  return files;
}

module.exports = { write };
if (require.main === module) {
  if (process.argv.length !== 3) {
    console.error('usage: node pictures.js DIR');
    process.exit(2);
  }
  write(process.argv[2]);
}
