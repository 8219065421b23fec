'use strict';
// Just enough PNG for comparing frames: 8-bit greyscale, RGB and RGBA, non-interlaced, every
// filter type; and the peak signal-to-noise ratio of two pictures' colour channels.

const zlib = require('node:zlib');

function paeth(a, b, c) {
  const p = a + b - c;
  const pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
  return pa <= pb && pa <= pc ? a : (pb <= pc ? b : c);
}

// {width, height, rgba: Uint8Array}
function decodePng(bytes) {
  const signature = [137, 80, 78, 71, 13, 10, 26, 10];
  if (bytes.length < 8 || signature.some((v, i) => bytes[i] !== v)) throw new Error('not a PNG');
  let pos = 8, width = 0, height = 0, depth = 0, colourType = 0, interlace = 0;
  const chunks = [];
  while (pos + 8 <= bytes.length) {
    const length = bytes.readUInt32BE(pos);
    const type = bytes.toString('latin1', pos + 4, pos + 8);
    if (pos + 12 + length > bytes.length) throw new Error('truncated PNG');
    const data = bytes.subarray(pos + 8, pos + 8 + length);
    if (type === 'IHDR') {
      width = data.readUInt32BE(0); height = data.readUInt32BE(4);
      depth = data[8]; colourType = data[9]; interlace = data[12];
    } else if (type === 'IDAT') {
      chunks.push(data);
    } else if (type === 'IEND') {
      break;
    }
    pos += 12 + length;
  }
  const channels = { 0: 1, 2: 3, 6: 4 }[colourType];
  if (depth !== 8 || !channels || interlace !== 0) throw new Error(`unsupported PNG (depth ${depth}, type ${colourType})`);
  const raw = zlib.inflateSync(Buffer.concat(chunks));
  const stride = width * channels;
  if (raw.length < height * (stride + 1)) throw new Error('truncated PNG data');
  const pixels = new Uint8Array(height * stride);
  for (let y = 0; y < height; ++y) {
    const filter = raw[y * (stride + 1)];
    const row = raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1));
    for (let x = 0; x < stride; ++x) {
      const a = x >= channels ? pixels[y * stride + x - channels] : 0;
      const b = y > 0 ? pixels[(y - 1) * stride + x] : 0;
      const c = x >= channels && y > 0 ? pixels[(y - 1) * stride + x - channels] : 0;
      const predictor = [0, a, b, (a + b) >> 1, paeth(a, b, c)][filter];
      if (predictor === undefined) throw new Error(`bad PNG filter ${filter}`);
      pixels[y * stride + x] = (row[x] + predictor) & 255;
    }
  }
  const rgba = new Uint8Array(width * height * 4);
  for (let i = 0; i < width * height; ++i) {
    for (let k = 0; k < 3; ++k) rgba[i * 4 + k] = pixels[i * channels + (channels === 1 ? 0 : k)];
    rgba[i * 4 + 3] = channels === 4 ? pixels[i * channels + 3] : 255;
  }
  return { width, height, rgba };
}

// PSNR in dB over the red, green and blue channels; Infinity for equal pictures.
function psnr(a, b) {
  if (a.width !== b.width || a.height !== b.height) throw new Error(`sizes differ: ${a.width}x${a.height} and ${b.width}x${b.height}`);
  let sum = 0;
  for (let i = 0; i < a.rgba.length; i += 4) {
    for (let k = 0; k < 3; ++k) {
      const d = a.rgba[i + k] - b.rgba[i + k];
      sum += d * d;
    }
  }
  const mse = sum / (a.width * a.height * 3);
  return mse === 0 ? Infinity : 10 * Math.log10((255 * 255) / mse);
}

module.exports = { decodePng, psnr };
