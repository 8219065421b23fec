'use strict';
// Headless Chromium driven through its DevTools protocol: open a page at a size, wait for a
// condition, take screenshots, collect what the page logged as errors. Node's own WebSocket
// (node --experimental-websocket on Node 20) and child_process; nothing else.

const { spawn } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');

const chromiumFlags = [
  '--headless=new', '--no-sandbox', '--disable-gpu-sandbox', '--use-angle=swiftshader',
  '--enable-unsafe-swiftshader', '--no-first-run', '--no-default-browser-check', '--mute-audio',
  '--hide-scrollbars', '--disable-extensions', '--disable-background-networking',
  '--allow-file-access-from-files=false',
];

function findChromium() {
  for (const candidate of [process.env.TV_CHROMIUM, '/usr/bin/chromium', '/usr/bin/chromium-browser']) {
    if (candidate && fs.existsSync(candidate)) return candidate;
  }
  return null;
}

function sleep(ms) { return new Promise((resolve) => setTimeout(resolve, ms)); }

class Browser {
  static async launch() {
    const executable = findChromium();
    if (!executable) throw new Error('Chromium is not installed');
    const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'tv-chromium-'));
    const child = spawn(executable, [...chromiumFlags, `--user-data-dir=${profile}`, '--remote-debugging-port=0',
      'about:blank'], { stdio: ['ignore', 'ignore', 'pipe'] });
    let stderr = '';
    child.stderr.on('data', (d) => { stderr += d; });
    const portFile = path.join(profile, 'DevToolsActivePort');
    // A deadline, not a count of tries: a busy machine starts it slowly. The file may be seen
    // before its first line is complete.
    const readPort = () => {
      try {
        const lines = fs.readFileSync(portFile, 'utf8').split('\n');
        return lines.length > 1 && /^[0-9]+$/.test(lines[0].trim()) ? lines[0].trim() : null;
      } catch (error) {
        return null;
      }
    };
    let port = readPort();
    for (const end = Date.now() + 120000; !port && Date.now() < end; port = readPort()) await sleep(50);
    if (!port) {
      child.kill('SIGKILL');
      throw new Error(`Chromium did not start: ${stderr.slice(-2000)}`);
    }
    const browser = new Browser(child, profile, port);
    return browser;
  }

  constructor(child, profile, port) {
    this.child = child;
    this.profile = profile;
    this.port = port;
  }

  // A new tab of width x height CSS pixels (device scale 1, a desktop's, unless `screen` says
  // otherwise: {deviceScaleFactor, mobile}) showing `url`.
  async open(url, width, height, screen = {}) {
    const response = await fetch(`http://127.0.0.1:${this.port}/json/new?about:blank`, { method: 'PUT' });
    const target = await response.json();
    const page = new Page(target.webSocketDebuggerUrl, `http://127.0.0.1:${this.port}/json/close/${target.id}`);
    await page.connect();
    await page.send('Runtime.enable');
    await page.send('Log.enable');
    await page.send('Page.enable');
    await page.send('Emulation.setDeviceMetricsOverride',
      { width, height, deviceScaleFactor: 1, mobile: false, ...screen });
    const loaded = page.once('Page.loadEventFired');
    await page.send('Page.navigate', { url });
    await loaded;
    return page;
  }

  async close() {
    if (this.child.exitCode === null && this.child.signalCode === null) {
      const exited = new Promise((resolve) => this.child.once('exit', resolve));
      this.child.kill('SIGKILL');
      await exited;
    }
    // Helper processes may still be writing into the profile for a moment.
    for (let attempt = 0; attempt < 20; ++attempt) {
      try {
        fs.rmSync(this.profile, { recursive: true, force: true });
        return;
      } catch (error) {
        await sleep(100);
      }
    }
  }
}

class Page {
  constructor(socketUrl, closeUrl) {
    this.socketUrl = socketUrl;
    this.closeUrl = closeUrl;
    this.nextId = 1;
    this.pending = new Map();
    this.listeners = [];
    this.errors = [];  // console errors and uncaught exceptions, as text
  }

  connect() {
    return new Promise((resolve, reject) => {
      this.socket = new WebSocket(this.socketUrl);
      this.socket.onopen = () => resolve();
      this.socket.onerror = (e) => reject(new Error(`DevTools connection failed: ${e.message || e}`));
      this.socket.onmessage = (event) => this.receive(JSON.parse(event.data));
    });
  }

  receive(message) {
    if (message.id && this.pending.has(message.id)) {
      const { resolve, reject } = this.pending.get(message.id);
      this.pending.delete(message.id);
      if (message.error) reject(new Error(message.error.message));
      else resolve(message.result);
      return;
    }
    if (message.method === 'Runtime.consoleAPICalled' && message.params.type === 'error') {
      this.errors.push(message.params.args.map((a) => a.value ?? a.description ?? '').join(' '));
    } else if (message.method === 'Runtime.exceptionThrown') {
      const d = message.params.exceptionDetails;
      this.errors.push((d.exception && d.exception.description) || d.text);
    } else if (message.method === 'Log.entryAdded' && message.params.entry.level === 'error') {
      this.errors.push(`${message.params.entry.text} ${message.params.entry.url || ''}`);
    }
    for (const listener of this.listeners.slice()) listener(message);
  }

  send(method, params = {}) {
    const id = this.nextId++;
    this.socket.send(JSON.stringify({ id, method, params }));
    return new Promise((resolve, reject) => this.pending.set(id, { resolve, reject }));
  }

  once(method) {
    return new Promise((resolve) => {
      const listener = (message) => {
        if (message.method !== method) return;
        this.listeners.splice(this.listeners.indexOf(listener), 1);
        resolve(message.params);
      };
      this.listeners.push(listener);
    });
  }

  async evaluate(expression) {
    const result = await this.send('Runtime.evaluate', { expression, returnByValue: true, awaitPromise: true });
    if (result.exceptionDetails) throw new Error(result.exceptionDetails.text);
    return result.result.value;
  }

  // Waits until `expression` is true in the page, for at most `timeout` milliseconds.
  async waitFor(expression, timeout = 20000) {
    const end = Date.now() + timeout;
    while (Date.now() < end) {
      if (await this.evaluate(`Boolean(${expression})`)) return;
      await sleep(50);
    }
    throw new Error(`timed out waiting for ${expression}; page errors: ${this.errors.join(' | ')}`);
  }

  // The viewport as PNG bytes.
  async screenshot() {
    const result = await this.send('Page.captureScreenshot', { format: 'png' });
    return Buffer.from(result.data, 'base64');
  }

  // Closes the tab too: one left open goes on drawing beside the next.
  close() {
    this.socket.close();
    return fetch(this.closeUrl).then((response) => response.text(), () => {});
  }
}

module.exports = { Browser, findChromium };
