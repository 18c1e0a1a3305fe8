// The flyover's page in Debian's headless chromium, checked as a person
// would use it: every screen format shows the renderer's frame exactly in
// its canvas and, scaled, on the screen; Escape ends the program with exit
// code 0; an unsupported format ends it with exit code 1 and says why in the
// page; without maps beside the page it makes the default ones, with maps
// it flies over those; a page that loses focus stops presenting frames and
// starts again when it gets focus back. Last it prints the page's frame rate
// against the browser's own animation-frame rate in the same run.
//
//   node browser_check.js --page DIR --expected EXPECTED_FRAMES --mkmaps MKMAPS
//                         [--chromium PATH] [--keep DIR]
//
// EXPECTED_FRAMES and MKMAPS are the native test build's tools: the pictures
// the page must show are computed from the same maps with the reference
// converters.
'use strict';

const { Browser } = require('./cdp.js');
const { execFileSync } = require('child_process');
const fs = require('fs');
const http = require('http');
const os = require('os');
const path = require('path');

const FORMATS = ['xrgb8888', 'xbgr8888', 'rgb888', 'bgr888', 'rgb565', 'bgr565', 'rgb555', 'bgr555'];
const FRAMES = 12;                          // frames 2k and 2k+1 show the same rows; 12 differs from 11
const VIEWPORT = { width: 1000, height: 700 }; // scale 3, centred with margins on both axes

function parseArguments() {
  const options = { chromium: '/usr/bin/chromium' };
  const argv = process.argv.slice(2);
  for (let i = 0; i < argv.length; i += 2) {
    const name = argv[i].replace(/^--/, '');
    if (!['page', 'expected', 'mkmaps', 'chromium', 'keep'].includes(name) || argv[i + 1] === undefined)
      throw new Error(`usage: browser_check.js --page DIR --expected EXPECTED_FRAMES --mkmaps MKMAPS ` +
                      `[--chromium PATH] [--keep DIR] (got ${argv[i]})`);
    options[name] = path.resolve(argv[i + 1]);
  }
  for (const required of ['page', 'expected', 'mkmaps'])
    if (!options[required]) throw new Error(`--${required} is missing`);
  return options;
}

const TYPES = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm',
                '.css': 'text/css', '.png': 'image/png', '.raw': 'application/octet-stream' };

// A static server with two sites: /with-maps/ is the page with the maps of
// mapsDir beside it, /no-maps/ the page alone.
function serve(pageDir, mapsDir) {
  const server = http.createServer((request, response) => {
    const [, site, file] = /^\/([^/]+)\/([^?]*)/.exec(request.url) || [];
    const name = decodeURIComponent(file || 'index.html') || 'index.html';
    let where = null;
    if ((site === 'with-maps' || site === 'no-maps') && !name.includes('..')) {
      if (site === 'with-maps' && (name === 'texture.raw' || name === 'map.raw')) where = path.join(mapsDir, name);
      else if (name !== 'texture.raw' && name !== 'map.raw') where = path.join(pageDir, name);
    }
    if (!where || !fs.existsSync(where) || !fs.statSync(where).isFile()) {
      response.writeHead(404, { 'Content-Type': 'text/plain' });
      response.end('not found');
      return;
    }
    response.writeHead(200, { 'Content-Type': TYPES[path.extname(where)] || 'application/octet-stream',
                              'Cache-Control': 'no-store' });
    fs.createReadStream(where).pipe(response);
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)));
}

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

async function main() {
  const options = parseArguments();
  const work = fs.mkdtempSync(path.join(os.tmpdir(), 'flyover-web-'));
  const defaults = path.join(work, 'default'), served = path.join(work, 'served');
  // The served maps are another landscape than the defaults, so that a page
  // that ignored them and made its own would be caught.
  fs.mkdirSync(defaults);
  fs.mkdirSync(served);
  execFileSync(options.mkmaps, [defaults], { stdio: 'ignore' });
  execFileSync(options.mkmaps, ['--seed', '7', served], { stdio: 'ignore' });

  const server = await serve(options.page, served);
  const base = `http://127.0.0.1:${server.address().port}`;
  const browser = await Browser.launch(options.chromium);
  const page = await browser.newPage(VIEWPORT.width, VIEWPORT.height);
  let failures = 0, passed = 0;
  const started = Date.now();

  // check(name, body): one named check; a failure is reported with the
  // page's own words and the run goes on.
  async function check(name, body) {
    try {
      await body();
      passed++;
      console.log(`ok   ${name}`);
    } catch (error) {
      failures++;
      const log = await page.evaluate("document.getElementById('log')?.textContent ?? ''").catch(() => '');
      console.log(`FAIL ${name}: ${error.message}`);
      if (log.trim()) console.log(`     page log: ${log.trim().replace(/\n/g, ' | ')}`);
      if (page.console.length) console.log(`     console: ${page.console.slice(-5).join(' | ')}`);
    }
  }

  // Opens the page with the given platform variables; resolves when it ends.
  async function run(site, query, timeoutMs = 30000) {
    page.console.length = 0;
    await page.goto(`${base}/${site}/index.html${query ? '?' + query : ''}`);
    return page.waitFor('document.body && document.body.dataset.exitCode', timeoutMs, 'the program to end');
  }
  async function start(site, query) {
    page.console.length = 0;
    await page.goto(`${base}/${site}/index.html${query ? '?' + query : ''}`);
    await page.waitFor('Number(document.body?.dataset.frames) >= 5', 30000, 'five presented frames');
  }
  const framesShown = () => page.evaluate('Number(document.body.dataset.frames)');

  // The canvas's backing store as a PNG file, checked by the native tools.
  async function expectCanvas(maps, format, file) {
    const url = await page.evaluate("document.getElementById('screen').toDataURL('image/png')");
    fs.writeFileSync(file, Buffer.from(url.split(',')[1], 'base64'));
    expectPicture(maps, format, file);
  }
  function expectPicture(maps, format, file) {
    try {
      execFileSync(options.expected, ['png', maps, String(FRAMES), file, format], { stdio: 'pipe' });
    } catch (error) {
      throw new Error(error.stderr.toString().trim());
    }
  }

  for (const format of FORMATS) {
    await check(`${format}: after ${FRAMES} frames the canvas holds frame ${FRAMES} exactly`, async () => {
      const code = await run('with-maps', `FLYOVER_FORMAT=${format}&FLYOVER_FRAMES=${FRAMES}`);
      if (code !== '0') throw new Error(`exit code ${code}`);
      await expectCanvas(served, format, path.join(work, `${format}.png`));
    });
  }

  await check('a screenshot shows the last frame scaled by 3, centred on black', async () => {
    // What the page writes beside the picture (status, log, controls) is
    // hidden for the shot: the check is about the picture itself.
    await page.evaluate(`(() => {
      const canvas = document.getElementById('screen');
      for (const element of document.body.querySelectorAll('*'))
        if (!element.contains(canvas)) element.style.visibility = 'hidden';
    })()`);
    await sleep(100);
    const file = path.join(work, 'screenshot.png');
    fs.writeFileSync(file, await page.screenshot());
    expectPicture(served, FORMATS[FORMATS.length - 1], file);
  });

  await check('without maps beside the page it flies over the default maps', async () => {
    const code = await run('no-maps', `FLYOVER_FRAMES=${FRAMES}`);
    if (code !== '0') throw new Error(`exit code ${code}`);
    await expectCanvas(defaults, 'xrgb8888', path.join(work, 'defaults.png'));
  });

  await check('rgb444 ends with exit code 1 and the reason in the page', async () => {
    const code = await run('with-maps', 'FLYOVER_FORMAT=rgb444');
    if (code !== '1') throw new Error(`exit code ${code}`);
    const text = await page.evaluate("document.getElementById('status').textContent + '\\n' + " +
                                      "document.getElementById('log').textContent");
    if (!text.includes('pixel format is not supported')) throw new Error(`the page says: ${text.trim()}`);
    if (!/\b1\b/.test(await page.evaluate("document.getElementById('status').textContent")))
      throw new Error('the status does not give the exit code');
  });

  let pageRate = 0;
  await check('Escape ends the program with exit code 0', async () => {
    await start('with-maps', '');
    const first = await framesShown(), from = Date.now();
    await sleep(2000);
    pageRate = (await framesShown() - first) * 1000 / (Date.now() - from);
    await page.key('Escape', 'Escape', 27);
    const code = await page.waitFor('document.body.dataset.exitCode', 5000, 'the program to end');
    if (code !== '0') throw new Error(`exit code ${code}`);
  });

  await check('losing focus stops presentation and regaining it resumes', async () => {
    await start('with-maps', '');
    const other = await browser.newPage(VIEWPORT.width, VIEWPORT.height);
    await other.send('Page.bringToFront');
    await sleep(300);
    const hidden = await framesShown();
    await sleep(600);
    const still = await framesShown();
    await page.send('Page.bringToFront');
    await other.close();
    if (still !== hidden) throw new Error(`${still - hidden} frames presented while the page was in the background`);
    await page.waitFor(`Number(document.body.dataset.frames) > ${still + 5}`, 5000, 'presentation to resume');
    await page.key('Escape', 'Escape', 27);
    await page.waitFor('document.body.dataset.exitCode', 5000, 'the program to end');
  });

  // The browser's own pace, measured the same way on an empty page: the
  // refresh rate that the flight should reach.
  await page.goto('about:blank');
  const refresh = await page.evaluate(`new Promise((resolve) => {
    let frames = 0, first = 0;
    const tick = (now) => {
      if (!first) first = now;
      if (now - first >= 2000) return resolve(frames * 1000 / (now - first));
      frames++;
      requestAnimationFrame(tick);
    };
    requestAnimationFrame(tick);
  })`);

  await browser.close();
  server.close();
  if (options.keep && failures) {
    fs.mkdirSync(options.keep, { recursive: true });
    for (const f of fs.readdirSync(work)) if (f.endsWith('.png')) fs.copyFileSync(path.join(work, f), path.join(options.keep, f));
  }
  fs.rmSync(work, { recursive: true, force: true });
  console.log(`page frame rate: ${pageRate.toFixed(1)} fps, animation frames of an empty page ${refresh.toFixed(1)} fps ` +
              `(ratio ${(pageRate / refresh).toFixed(2)})`);
  console.log(`browser checks took ${((Date.now() - started) / 1000).toFixed(1)} s`);
  console.log(`browser: ${passed} passed, ${failures} failed`);
  process.exit(failures ? 1 : 0);
}

main().catch((error) => {
  console.error(`browser_check: ${error.stack || error}`);
  process.exit(1);
});
