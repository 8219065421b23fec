'use strict';
// What the browser tests and web_bench share: projects written as files, the program run
// without a display, a local HTTP server, and a page's settings changed after the export.

const { spawn, spawnSync } = require('node:child_process');
const crypto = require('node:crypto');
const fs = require('node:fs');
const net = require('node:net');

function sleep(ms) { return new Promise((resolve) => setTimeout(resolve, ms)); }

// A project of pictures at absolute paths, each placed in the one before.
function writeProject(file, pictures, target, duration = 10) {
  let text = `#Tunnelvista v1.0\r\nduration ${duration.toFixed(1)}\r\nimages ${pictures.length}\r\n\r\n`;
  for (const p of pictures)
    text += `filename ${p.file}\r\nscale ${p.scale}\r\ntranslate ${p.x} ${p.y}\r\nrotate ${p.rotate}\r\n\r\n`;
  text += `target\r\nscale ${target.scale}\r\ntranslate ${target.x} ${target.y}\r\nrotate ${target.rotate}\r\n`;
  fs.writeFileSync(file, text);
}

// Runs `program` without a display; throws with its output when it fails.
function run(program, args) {
  const env = { ...process.env };
  delete env.DISPLAY;
  delete env.WAYLAND_DISPLAY;
  const result = spawnSync(program, args, { env, encoding: 'utf8', timeout: 300000 });
  if (result.error) throw new Error(`${program}: ${result.error.message}`);
  if (result.status !== 0) throw new Error(`${program} ${args.join(' ')} exited with ${result.status}: ${result.stderr}`);
}

function freePort() {
  return new Promise((resolve, reject) => {
    const server = net.createServer();
    server.on('error', reject);
    server.listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

// python3 -m http.server on 127.0.0.1, serving `directory`: {url, port, stop()}.
async function serve(directory) {
  const port = await freePort();
  const child = spawn('python3', ['-m', 'http.server', '--bind', '127.0.0.1', String(port), '--directory', directory],
    { stdio: 'ignore' });
  for (const end = Date.now() + 60000; Date.now() < end;) {
    if (child.exitCode !== null) break;
    try {
      const response = await fetch(`http://127.0.0.1:${port}/`);
      await response.arrayBuffer();
      return { url: `http://127.0.0.1:${port}/`, port, stop: () => child.kill() };
    } catch (error) {
      await sleep(50);
    }
  }
  child.kill();
  throw new Error('python3 -m http.server did not start');
}

// The exported page `file` with `changes` merged into the settings its start script hands the
// player, and the policy's hash of that script made to match.
function changeSettings(file, changes) {
  const page = fs.readFileSync(file, 'utf8');
  const match = /<script>(Tunnelvista\.start\(document\.getElementById\("kx-player"\), )(\{.*\})\);<\/script>/.exec(page);
  if (!match) throw new Error(`${file}: no start script`);
  const oldScript = `${match[1]}${match[2]});`;
  const newScript = `${match[1]}${JSON.stringify({ ...JSON.parse(match[2]), ...changes })});`;
  const hash = (text) => crypto.createHash('sha256').update(text).digest('base64');
  const changed = page.replace(oldScript, newScript).replace(`'sha256-${hash(oldScript)}'`, `'sha256-${hash(newScript)}'`);
  fs.writeFileSync(file, changed);
}

module.exports = { sleep, writeProject, run, serve, changeSettings };
