// A small client of Chromium's DevTools protocol over --remote-debugging-pipe:
// the browser reads commands on its file descriptor 3 and writes answers and
// events on 4, each message JSON ended by a NUL byte. No npm package and no
// browser download: Debian's chromium is driven as it is.
'use strict';

const { spawn } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');

class Browser {
  // Starts a headless chromium with a fresh profile; resolves once the
  // protocol answers.
  static async launch(executable, extraArgs = []) {
    const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'flyover-chromium-'));
    const args = [
      '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
      '--disable-default-apps', '--mute-audio', '--remote-debugging-pipe',
      `--user-data-dir=${profile}`, ...extraArgs, 'about:blank',
    ];
    const child = spawn(executable, args, { stdio: ['ignore', 'ignore', 'pipe', 'pipe', 'pipe'] });
    const browser = new Browser(child, profile);
    await browser.send('Browser.getVersion');
    return browser;
  }

  constructor(child, profile) {
    this.child = child;
    this.profile = profile;
    this.nextId = 1;
    this.pending = new Map();
    this.listeners = [];
    this.stderr = '';
    this.exited = new Promise((resolve) => child.on('exit', resolve));
    child.stderr.on('data', (chunk) => { this.stderr = (this.stderr + chunk).slice(-4000); });
    let buffered = Buffer.alloc(0);
    child.stdio[4].on('data', (chunk) => {
      buffered = Buffer.concat([buffered, chunk]);
      for (let end; (end = buffered.indexOf(0)) >= 0; buffered = buffered.subarray(end + 1))
        this.dispatch(JSON.parse(buffered.subarray(0, end).toString('utf8')));
    });
    child.on('exit', (code) => {
      for (const { reject } of this.pending.values())
        reject(new Error(`chromium ended (code ${code}): ${this.stderr.trim().split('\n').slice(-3).join(' | ')}`));
      this.pending.clear();
    });
  }

  dispatch(message) {
    if (message.id !== undefined) {
      const waiter = this.pending.get(message.id);
      this.pending.delete(message.id);
      if (!waiter) return;
      if (message.error) waiter.reject(new Error(`${waiter.method}: ${message.error.message}`));
      else waiter.resolve(message.result);
      return;
    }
    for (const listener of this.listeners) listener(message);
  }

  // One protocol command, to the browser or (with sessionId) to a page.
  send(method, params = {}, sessionId) {
    const id = this.nextId++;
    const message = { id, method, params };
    if (sessionId) message.sessionId = sessionId;
    return new Promise((resolve, reject) => {
      this.pending.set(id, { resolve, reject, method });
      this.child.stdio[3].write(JSON.stringify(message) + '\0');
    });
  }

  // A new tab of the given viewport size, attached for commands.
  async newPage(width, height) {
    const { targetId } = await this.send('Target.createTarget', { url: 'about:blank' });
    const { sessionId } = await this.send('Target.attachToTarget', { targetId, flatten: true });
    const page = new Page(this, targetId, sessionId);
    await page.send('Page.enable');
    await page.send('Runtime.enable');
    await page.send('Emulation.setDeviceMetricsOverride', { width, height, deviceScaleFactor: 1, mobile: false });
    return page;
  }

  async close() {
    try {
      await Promise.race([this.send('Browser.close'), this.exited]);
    } catch (_) {
      // already gone
    }
    const timer = setTimeout(() => this.child.kill('SIGKILL'), 5000);
    await this.exited;
    clearTimeout(timer);
    fs.rmSync(this.profile, { recursive: true, force: true });
  }
}

class Page {
  constructor(browser, targetId, sessionId) {
    this.browser = browser;
    this.targetId = targetId;
    this.sessionId = sessionId;
    this.console = [];
    browser.listeners.push((message) => {
      if (message.sessionId !== sessionId) return;
      if (message.method === 'Runtime.consoleAPICalled')
        this.console.push(message.params.args.map((a) => a.value ?? a.description).join(' '));
      if (message.method === 'Runtime.exceptionThrown')
        this.console.push(`exception: ${message.params.exceptionDetails.exception?.description ??
                                        message.params.exceptionDetails.text}`);
    });
  }

  send(method, params = {}) { return this.browser.send(method, params, this.sessionId); }

  async goto(url) {
    const { errorText } = await this.send('Page.navigate', { url });
    if (errorText) throw new Error(`${url}: ${errorText}`);
  }

  // The value of a page expression; promises are awaited.
  async evaluate(expression) {
    const { result, exceptionDetails } = await this.send('Runtime.evaluate',
      { expression, awaitPromise: true, returnByValue: true });
    if (exceptionDetails)
      throw new Error(`${expression}: ${exceptionDetails.exception?.description ?? exceptionDetails.text}`);
    return result.value;
  }

  // Polls expression until it is truthy; its value.
  async waitFor(expression, timeoutMs, what) {
    const deadline = Date.now() + timeoutMs;
    for (;;) {
      const value = await this.evaluate(expression);
      if (value) return value;
      if (Date.now() > deadline) throw new Error(`timed out after ${timeoutMs} ms waiting for ${what}`);
      await new Promise((resolve) => setTimeout(resolve, 20));
    }
  }

  // A key pressed and released; with text, the press also types it (as
  // Enter's "\r"), which is what activates a focused button.
  async key(key, code, virtualKey, text) {
    await this.send('Input.dispatchKeyEvent', { type: 'keyDown', key, code, windowsVirtualKeyCode: virtualKey,
                                                ...(text ? { text } : {}) });
    await this.send('Input.dispatchKeyEvent', { type: 'keyUp', key, code, windowsVirtualKeyCode: virtualKey });
  }

  // A real click in the middle of the element that selector names, after
  // the pointer has moved there: focus moves as a person's click moves it.
  async click(selector) {
    const { x, y } = await this.evaluate(`(() => {
      const box = document.querySelector(${JSON.stringify(selector)}).getBoundingClientRect();
      return { x: box.left + box.width / 2, y: box.top + box.height / 2 };
    })()`);
    await this.send('Input.dispatchMouseEvent', { type: 'mouseMoved', x, y });
    for (const type of ['mousePressed', 'mouseReleased'])
      await this.send('Input.dispatchMouseEvent', { type, x, y, button: 'left', clickCount: 1 });
  }

  // Puts files into the file input that selector names, as picking them
  // would.
  async setFiles(selector, files) {
    const { result } = await this.send('Runtime.evaluate', { expression: `document.querySelector(${JSON.stringify(selector)})` });
    await this.send('DOM.setFileInputFiles', { files, objectId: result.objectId });
  }

  // Files dragged from outside and dropped at (x, y), as a person drops
  // them from a file manager.
  async drop(files, x, y) {
    const data = { items: [], files, dragOperationsMask: 1 };
    for (const type of ['dragEnter', 'dragOver', 'drop'])
      await this.send('Input.dispatchDragEvent', { type, x, y, data });
  }

  // The value of expression after a full garbage collection.
  async afterCollection(expression) {
    await this.send('HeapProfiler.collectGarbage');
    return this.evaluate(expression);
  }

  async screenshot() {
    const { data } = await this.send('Page.captureScreenshot', { format: 'png' });
    return Buffer.from(data, 'base64');
  }

  close() { return this.browser.send('Target.closeTarget', { targetId: this.targetId }); }
}

module.exports = { Browser };
