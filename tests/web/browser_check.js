// The flyover's page in Debian's headless chromium, checked as a person
// would use it: every screen format shows the renderer's frame exactly in
// its canvas and, scaled, on the screen; Escape ends the program with exit
// code 0; each bad setting ends it with exit code 1 and exactly one line in
// the page; without both maps beside the page it makes the default ones and
// says which map is missing, with maps it flies over those; flights
// replaced again and again leave one program alive, Enter does not restart
// the flight, a picked file that cannot be read leaves the flight alone, and
// a new device pixel ratio places the canvas again; a height picture dropped
// on the page, and a height and a colour picture picked, fly over the maps
// that the native map generator makes of them, and a broken colour picture
// beside a stretched height picture leaves the flight alone with one line,
// the reason; a page that loses focus
// stops presenting frames and starts again when it gets focus back; opened
// from disk the served page says how to serve it, and the one-file page
// flies over the default maps. Last it prints the page's frame rate against
// the browser's own animation-frame rate in the same run.
//
//   node browser_check.js --page DIR --expected EXPECTED_FRAMES --mkmaps MKMAPS
//                         --drawpicture DRAWPICTURE [--chromium PATH] [--keep DIR]
//
// EXPECTED_FRAMES, MKMAPS and DRAWPICTURE are the native test build's tools:
// the pictures the page must show are computed from the same maps with the
// reference converters, and the terrain pictures are the unit tests'.
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
    if (!['page', 'expected', 'mkmaps', 'drawpicture', 'chromium', 'keep'].includes(name) || argv[i + 1] === undefined)
      throw new Error(`usage: browser_check.js --page DIR --expected EXPECTED_FRAMES --mkmaps MKMAPS ` +
                      `--drawpicture DRAWPICTURE [--chromium PATH] [--keep DIR] (got ${argv[i]})`);
    options[name] = path.resolve(argv[i + 1]);
  }
  for (const required of ['page', 'expected', 'mkmaps', 'drawpicture'])
    if (!options[required]) throw new Error(`--${required} is missing`);
  return options;
}

const TYPES = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm',
                '.css': 'text/css', '.png': 'image/png', '.raw': 'application/octet-stream' };

// A static server with two sites: /with-maps/ is the page with the maps of
// mapsDir beside it, /texture-only/ the page with only its texture.raw.
function serve(pageDir, mapsDir) {
  const server = http.createServer((request, response) => {
    const [, site, file] = /^\/([^/]+)\/([^?]*)/.exec(request.url) || [];
    const name = decodeURIComponent(file || 'index.html') || 'index.html';
    let where = null;
    if ((site === 'with-maps' || site === 'texture-only') && !name.includes('..')) {
      if (name === 'texture.raw' || (site === 'with-maps' && name === 'map.raw')) where = path.join(mapsDir, name);
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
    await page.goto(site.startsWith('file:') ? site + (query ? '?' + query : '')
                                             : `${base}/${site}/index.html${query ? '?' + query : ''}`);
    return page.waitFor('document.body && document.body.dataset.exitCode', timeoutMs, 'the program to end');
  }
  async function start(site, query) {
    page.console.length = 0;
    await page.goto(`${base}/${site}/index.html${query ? '?' + query : ''}`);
    await page.waitFor('Number(document.body?.dataset.frames) >= 5', 30000, 'five presented frames');
  }
  const framesShown = () => page.evaluate('Number(document.body.dataset.frames)');
  const pageText = (id) => page.evaluate(`document.getElementById('${id}').textContent`);

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

  await check('with only texture.raw served it names map.raw as missing and flies over the default maps', async () => {
    await page.goto(`${base}/texture-only/index.html?FLYOVER_FRAMES=${FRAMES}`);
    const status = await page.waitFor("/^Flying|ended/.test(document.getElementById('status')?.textContent) && " +
                                      "document.getElementById('status').textContent", 10000, 'the flight');
    if (!status.includes('map.raw is not served')) throw new Error(`the page says: ${status}`);
    const code = await page.waitFor('document.body.dataset.exitCode', 30000, 'the program to end');
    if (code !== '0') throw new Error(`exit code ${code}`);
    await expectCanvas(defaults, 'xrgb8888', path.join(work, 'defaults.png'));
  });

  // Each bad setting: exit code 1 and one line, with the value as given.
  // FLYOVER_FRAMES=10abc gives one line only with the display's own
  // setting errors told once.
  const badSettings = [
    ['FLYOVER_FORMAT=rgb444', 'pixel format is not supported'],
    ['FLYOVER_FRAMES=10abc', 'FLYOVER_FRAMES=10abc'],
    [`FLYOVER_FORMAT=${encodeURIComponent('ŲŧŢ565')}`, 'FLYOVER_FORMAT=ŲŧŢ565 is not'],
    ['FLYOVER_FORMAT=rgb565%00junk', 'NUL'],
    ['FLYOVER_CAPTURE=out.webp', 'desktop program'],
    ['FLYOVER_SIMD_MAX=avx9', 'FLYOVER_SIMD_MAX=avx9 is not a SIMD level'],
  ];
  for (const [query, expected] of badSettings) {
    await check(`${decodeURIComponent(query).replace('\0', '\\0')} ends with exit code 1 and one line saying why`, async () => {
      const code = await run('with-maps', query);
      const lines = (await pageText('log')).split('\n');
      if (code !== '1' || lines.length !== 1 || !lines[0].includes(expected))
        throw new Error(`exit code ${code}, the page says: ${lines.join(' | ')}`);
      if (!/\b1\b/.test(await pageText('status'))) throw new Error('the status does not give the exit code');
    });
  }

  await check('flights replaced by clicks leave one program alive; Enter, a new pixel ratio and an unreadable pick do not stop the flight', async () => {
    await start('with-maps', '');
    await page.setFiles('#map-file', [path.join(served, 'map.raw')]);
    await page.setFiles('#texture-file', [path.join(served, 'texture.raw')]);
    for (let i = 0; i < 10; i++) {
      await page.click('#fly-files');
      await page.waitFor('Number(document.body.dataset.frames) >= 3', 10000, `flight ${i + 2} to draw`);
    }
    await sleep(300);  // the replaced ones end at their next frame
    const alive = await page.afterCollection('flightsAlive()');
    if (alive !== 1) throw new Error(`${alive} programs alive after 10 replacements`);

    await page.waitFor('Number(document.body.dataset.frames) >= 40', 5000, 'forty frames');
    await page.key('Enter', 'Enter', 13, '\r');
    await sleep(200);
    if (await framesShown() < 40) throw new Error('Enter restarted the flight');

    // Scale 3 at ratio 1; at 1.5 the window is 1500 by 1050 device pixels,
    // scale 4, 1280 device pixels or 853.33 CSS pixels across.
    const width = () => page.evaluate("parseFloat(document.getElementById('screen').style.width)");
    await page.send('Emulation.setDeviceMetricsOverride',
      { width: VIEWPORT.width, height: VIEWPORT.height, deviceScaleFactor: 1.5, mobile: false });
    await page.waitFor(`Math.abs(parseFloat(document.getElementById('screen').style.width) - 1280 / 1.5) < 0.01`,
      2000, 'the canvas placed for ratio 1.5').catch(async (error) => {
      throw new Error(`${error.message}: ${await width()} CSS pixels across`);
    });
    await page.send('Emulation.setDeviceMetricsOverride',
      { width: VIEWPORT.width, height: VIEWPORT.height, deviceScaleFactor: 1, mobile: false });

    const gone = path.join(work, 'gone.raw');
    fs.copyFileSync(path.join(served, 'map.raw'), gone);
    await page.setFiles('#map-file', [gone]);
    fs.unlinkSync(gone);
    const before = await framesShown();
    await page.click('#fly-files');
    const log = await page.waitFor("document.getElementById('log').textContent", 5000, 'an error line');
    if (!log.includes('gone.raw cannot be read') || log.includes('\n')) throw new Error(`the page says: ${log}`);
    if (await framesShown() <= before) throw new Error('the flight was stopped or restarted');
    await page.key('Escape', 'Escape', 27);
    await page.waitFor('document.body.dataset.exitCode', 5000, 'the program to end');
  });

  await check('a dropped height picture, and a picked height and colour picture, fly over the native maps of ' +
              'those pictures; a broken picture gives one line, its reason, and the flight goes on', async () => {
    // The tests' terrain: a 16-bit grey PNG (shrunk by the resampler), a
    // colour JPEG, and the PNG cut short.
    const pictures = { hills: path.join(work, 'hills.png'), colour: path.join(work, 'hills-colour.jpg'),
                       broken: path.join(work, 'broken.png') };
    execFileSync(options.drawpicture, [pictures.hills, '1024']);
    execFileSync(options.drawpicture, [pictures.colour, '640']);
    const whole = fs.readFileSync(pictures.hills);
    fs.writeFileSync(pictures.broken, whole.subarray(0, whole.length >> 1));
    const heightOnly = path.join(work, 'hills'), withColour = path.join(work, 'hills-coloured');
    for (const dir of [heightOnly, withColour]) fs.mkdirSync(dir);
    execFileSync(options.mkmaps, ['--height', pictures.hills, heightOnly], { stdio: 'ignore' });
    execFileSync(options.mkmaps, ['--height', pictures.hills, '--colour', pictures.colour, withColour],
                 { stdio: 'ignore' });
    const flewOver = async (what) => {
      const status = await page.waitFor(`(text => text.startsWith(${JSON.stringify(`The flight over ${what} ended`)}) && text)` +
                                        "(document.getElementById('status').textContent)", 30000, `the flight over ${what}`);
      if (!status.includes('exit code 0')) throw new Error(`the page says: ${status}`);
    };
    await run('with-maps', `FLYOVER_FRAMES=${FRAMES}`);
    await page.drop([pictures.hills], 500, 300);
    await flewOver('hills.png');
    await expectCanvas(heightOnly, 'xrgb8888', path.join(work, 'hills-frame.png'));
    await page.setFiles('#map-file', [pictures.hills]);
    await page.setFiles('#texture-file', [pictures.colour]);
    await page.click('#fly-files');
    await flewOver('hills.png and hills-colour.jpg');
    await expectCanvas(withColour, 'xrgb8888', path.join(work, 'hills-coloured-frame.png'));

    // A height picture that is stretched (16 x 12), which the generator notes, with
    // a broken colour picture: the one line is the reason.
    const wide = path.join(__dirname, '..', 'fuzz', 'corpus', 'picture', 'grey16.png');
    await start('with-maps', '');
    const before = await framesShown();
    await page.drop([wide, pictures.broken], 500, 300);
    const log = await page.waitFor("document.getElementById('log').textContent", 10000, 'an error line');
    if (!/^mkmaps: broken\.png: cannot be decoded/.test(log) || log.includes('\n')) throw new Error(`the page says: ${log}`);
    if (await framesShown() <= before) throw new Error('the flight was stopped or restarted');
    await page.key('Escape', 'Escape', 27);
    await page.waitFor('document.body.dataset.exitCode', 5000, 'the program to end');
  });

  await check('opened from disk the served page names scripts/web.sh and the one-file page flies over the default maps', async () => {
    await page.goto(`file://${options.page}/index.html`);
    const status = await page.waitFor("/served/.test(document.getElementById('status')?.textContent) && " +
                                      "document.getElementById('status').textContent", 5000, 'the hint');
    if (!status.includes('scripts/web.sh') || !status.includes('flyover.html')) throw new Error(`the page says: ${status}`);
    const code = await run(`file://${options.page}/flyover.html`, `FLYOVER_FRAMES=${FRAMES}`);
    if (code !== '0') throw new Error(`exit code ${code}`);
    await expectCanvas(defaults, 'xrgb8888', path.join(work, 'one-file.png'));
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
