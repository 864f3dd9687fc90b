// The game in a real browser: headless Chromium loads the site from a local server.
//
// 1. The pixel check. The page is driven by a hand-moved clock (?clock=T) through the keys and
//    rounds of scenario.txt; at every check its canvas and title must equal what the desktop's
//    headless platform shows after the same game (web_reference, run here first), and the log
//    the page offers at the end must equal the desktop's log.txt.
//    The ship, found on the canvas by its picture, stands where the desktop's does: the arrows
//    moved it right and back left.
// 2. A game as a player has it, on the browser's clock: the page loads without console errors,
//    shows the game's icon, draws the playfield and its red outline, the right arrow moves the
//    ship, P freezes the picture and marks the title, P resumes, Escape ends the game with the
//    closing screen.
// Every wait waits for the state it checks, up to WEB_TEST_LIMIT seconds (default 120).
//
//   node browser_test.js SITE_DIR REFERENCE_PROGRAM SCENARIO ASSETS_DIR [CHROMIUM]
'use strict';

const fs = require('fs');
const os = require('os');
const path = require('path');
const { execFileSync } = require('child_process');
const { withSite, check, finish } = require('./chromium');

const [site, referenceProgram, scenarioFile, assets, chromiumPath = '/usr/bin/chromium'] =
    process.argv.slice(2);
const limit = 1000 * Number(process.env.WEB_TEST_LIMIT || 120);
const KEY_NAMES = { 27: 'Escape', 32: 'Space', 37: 'ArrowLeft', 39: 'ArrowRight', 78: 'KeyN',
                    80: 'KeyP', 89: 'KeyY' };

// Every message the page prints as an error, every script error and every failed request.
function watchErrors(page, errors) {
  page.on('console', (m) => { if (m.type() === 'error') errors.push(`console: ${m.text()}`); });
  page.on('pageerror', (e) => errors.push(`page error: ${e.message}`));
  page.on('requestfailed', (r) => errors.push(`request failed: ${r.url()}`));
  page.on('response', (r) => { if (r.status() >= 400) errors.push(`${r.status()}: ${r.url()}`); });
}

async function canvasPixels(page) {
  const base64 = await page.evaluate(() => {
    const c = document.getElementById('screen');
    const bytes = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
    let s = '';
    for (let i = 0; i < bytes.length; i += 0x8000)
      s += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
    return btoa(s);
  });
  return Buffer.from(base64, 'base64');
}

function describeDifference(got, want, width) {
  let count = 0;
  let first = -1;
  for (let i = 0; i < want.length; i += 4) {
    if (got.readUInt32BE(i) !== want.readUInt32BE(i)) {
      if (first < 0) first = i;
      count += 1;
    }
  }
  if (count === 0) return '';
  const at = first / 4;
  return `${count} pixels differ, first at (${at % width}, ${Math.floor(at / width)}): ` +
         `browser ${got.subarray(first, first + 4).toString('hex')}, ` +
         `desktop ${want.subarray(first, first + 4).toString('hex')}`;
}

async function pixelCheck(browser, url, reference, referenceDir) {
  const page = await browser.newPage();
  const errors = [];
  watchErrors(page, errors);
  const lines = fs.readFileSync(scenarioFile, 'utf8').split('\n')
      .map((l) => l.trim().split(/\s+/)).filter((w) => w[0] && !w[0].startsWith('#'));
  const start = lines.find((w) => w[0] === 'clock')[1];
  await page.goto(`${url}?clock=${start}`);
  await page.addScriptTag({ content: findShip.toString() });
  await page.waitForFunction(() => window.Module && Module.calledRun, { timeout: limit });

  let checkIndex = 0;
  for (const [verb, a, b] of lines) {
    if (verb === 'frames') {
      await page.evaluate((n, ms) => { for (let i = 0; i < n; ++i) Module._qf_web_step(ms); },
                          Number(a), Number(b));
    } else if (verb === 'down' || verb === 'key') {
      await page.keyboard.down(KEY_NAMES[a]);
      if (verb === 'key') await page.keyboard.up(KEY_NAMES[a]);
    } else if (verb === 'up') {
      await page.keyboard.up(KEY_NAMES[a]);
    } else if (verb === 'check') {
      const want = reference.checks[checkIndex++];
      const got = await canvasPixels(page);
      const expected = fs.readFileSync(path.join(referenceDir, want.file));
      const difference = got.length === expected.length
        ? describeDifference(got, expected, reference.width)
        : `the canvas holds ${got.length} bytes, the desktop's frame ${expected.length}`;
      check(difference === '', `pixel check "${a}": ${difference}`);
      const title = await page.title();
      check(title === want.title, `title at "${a}": "${title}", desktop "${want.title}"`);
      if (difference === '') console.log(`pixel check "${a}": the browser's frame equals the desktop's`);
      if (want.shipLeft !== null) {
        const at = await page.evaluate(findShip, reference.ship);
        check(at === want.shipLeft, `the ship at "${a}" is at x ${at}, on the desktop at ${want.shipLeft}`);
      }
    }
  }
  check(checkIndex === reference.checks.length, 'every check of the reference was made');
  // The scenario's arrows take the ship to the right and back to the left.
  const [startX, rightX, leftX] = reference.checks.slice(0, 3).map((c) => c.shipLeft);
  check(rightX > startX + 40 && leftX < rightX - 40,
        `the arrows moved the ship: x ${startX}, then ${rightX}, then ${leftX}`);
  console.log(`the ship, on the canvas as on the desktop: x ${startX}, right to ${rightX}, ` +
              `left to ${leftX}`);

  // The scenario ends with Escape: the closing screen offers the log the desktop wrote.
  await page.waitForSelector('#ended:not([hidden])', { timeout: limit });
  const log = await page.evaluate(async () =>
    new Uint8Array(await (await fetch(document.getElementById('log').href)).arrayBuffer()));
  const logText = Buffer.from(Object.values(log)).toString('latin1');
  check(logText === reference.log, `the page's log.txt (${logText.length} bytes) equals the ` +
        `desktop's (${reference.log.length} bytes)`);
  check(errors.length === 0, `no errors on the hand-driven page: ${errors.join('; ')}`);
  await page.close();
}

// The ship's left edge on the canvas: the column in its row band where its opaque pixels
// (those inside the playfield) match; -1 when it is not seen.
function findShip(ship) {
  const c = document.getElementById('screen');
  const image = c.getContext('2d').getImageData(0, 0, c.width, c.height);
  const px = image.data;
  let best = -1;
  let bestScore = 0;
  for (let left = 35 - ship.width; left < 435; ++left) {
    let seen = 0;
    let same = 0;
    for (const [x, y, r, g, b] of ship.opaque) {
      const cx = left + x;
      if (cx < 35 || cx >= 435) continue;
      const i = 4 * ((ship.top + y) * image.width + cx);
      seen += 1;
      if (px[i] === r && px[i + 1] === g && px[i + 2] === b) same += 1;
    }
    if (seen > 20 && same / seen > 0.9 && same / seen > bestScore) {
      best = left;
      bestScore = same / seen;
    }
  }
  return best;
}

async function playerGame(browser, url, reference) {
  const page = await browser.newPage();
  const errors = [];
  watchErrors(page, errors);
  await page.goto(url);
  await page.addScriptTag({ content: findShip.toString() });
  await page.waitForFunction(() => window.Module && Module.firstFrameTime, { timeout: limit });
  check(await page.evaluate(() => document.getElementById('loading').hidden),
        'the loading note goes once the first frame is shown');

  // The playfield's outline: its outermost ring, drawn over everything, in 0xC80000.
  const outline = await page.evaluate(() => {
    const data = document.getElementById('screen').getContext('2d')
        .getImageData(35, 51, 400, 400).data;
    let wrong = 0;
    for (let y = 0; y < 400; ++y)
      for (let x = 0; x < 400; ++x) {
        if (x > 0 && x < 399 && y > 0 && y < 399) continue;
        const i = 4 * (y * 400 + x);
        if (data[i] !== 200 || data[i + 1] !== 0 || data[i + 2] !== 0) wrong += 1;
      }
    return wrong;
  });
  check(outline === 0, `the playfield's red outline is whole (${outline} pixels are not red)`);
  check(await page.title() === 'Quillfrost', 'the title is the game\'s');
  check(await page.evaluate(() => document.querySelector('link[rel=icon]').href
                                       .startsWith('data:image/png')),
        'the window\'s icon is the page\'s');

  // The right arrow, at once: four hits on the ship take more than 9 s (3 s of blinking after
  // each), so the ship is still there; it may blink, so each wait lasts until a frame shows it.
  // (Both arrows, to the pixel, are the pixel check's.)
  const ship = reference.ship;
  await page.waitForFunction((s) => findShip(s) >= 0, { timeout: limit, polling: 50 }, ship);
  const start = await page.evaluate(findShip, ship);
  check(start === ship.left, `the ship starts at x ${ship.left} (found at ${start})`);
  await page.keyboard.down('ArrowRight');
  await page.waitForFunction((s, from) => findShip(s) > from + 40,
                             { timeout: limit, polling: 50 }, ship, start)
      .catch(() => check(false, 'the right arrow moves the ship right'));
  await page.keyboard.up('ArrowRight');

  // P freezes the picture and marks the title; P resumes.
  await page.keyboard.press('KeyP');
  await page.waitForFunction(() => document.title === 'Quillfrost [paused]', { timeout: limit })
      .catch(() => check(false, 'P adds " [paused]" to the title'));
  const paused = await canvasPixels(page);
  await page.evaluate(() => new Promise((done) => {
    let n = 0;
    const next = () => (++n === 20 ? done() : requestAnimationFrame(next));
    requestAnimationFrame(next);
  }));
  check(Buffer.compare(paused, await canvasPixels(page)) === 0,
        'the picture stands still for 20 animation frames while paused');
  await page.keyboard.press('KeyP');
  await page.waitForFunction((before) => {
    if (document.title !== 'Quillfrost') return false;
    const c = document.getElementById('screen');
    const now = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
    return now.some((v, i) => v !== before[i]);
  }, { timeout: limit, polling: 100 }, Array.from(paused))
      .catch(() => check(false, 'a second P resumes the game'));

  // Escape ends the game: the closing screen, with the log.
  await page.keyboard.press('Escape');
  await page.waitForSelector('#ended:not([hidden])', { timeout: limit })
      .catch(() => check(false, 'Escape shows the closing screen'));
  const log = await page.evaluate(async () =>
    (await fetch(document.getElementById('log').href)).text());
  const expected = Array.from({ length: 10 }, (_, i) => `Inserted new Invader, count : ${i + 1}\r\n`).join('');
  check(log.startsWith(expected), 'the log offered for download starts with the ten insertions');
  check(errors.length === 0, `no errors while playing: ${errors.join('; ')}`);
  await page.close();
}

async function main() {
  if (!fs.existsSync(path.join(site, 'quillfrost.wasm'))) {
    console.log(`no browser build in ${site}: run make web first`);
    process.exit(77);
  }
  const referenceDir = fs.mkdtempSync(path.join(os.tmpdir(), 'quillfrost-web-reference-'));
  try {
    execFileSync(referenceProgram, [scenarioFile, assets, referenceDir], { stdio: 'inherit' });
    const reference = JSON.parse(fs.readFileSync(path.join(referenceDir, 'reference.json'), 'utf8'));
    await withSite(site, chromiumPath, async (browser, url) => {
      await pixelCheck(browser, url, reference, referenceDir);
      await playerGame(browser, url, reference);
    });
  } finally {
    fs.rmSync(referenceDir, { recursive: true, force: true });
  }
  finish();
}

main().catch((e) => {
  console.log(`FAILED: ${e.stack || e}`);
  process.exit(1);
});
