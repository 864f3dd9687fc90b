// The browser benchmark (make web-bench): in headless Chromium, from a local server,
//  - the time from the start of a page load to the game's first frame on the canvas,
//  - the busy frame (the desktop's BM_BusyFrame) and the same with the present on the canvas,
//  - the blend rows: the scalar rule, plain and vectorised by the compiler, and the
//    hand-written WebAssembly SIMD rows, on random colours and on the game's playfield,
// and the site's sizes, raw and compressed. Figures, not a test: it prints and always succeeds
// unless the page cannot be run.
//   node browser_bench.js WEB_BUILD_DIR [CHROMIUM]
'use strict';

const fs = require('fs');
const path = require('path');
const zlib = require('zlib');
const { withSite } = require('../../tests/web/chromium');

const [webBuild, chromiumPath = '/usr/bin/chromium'] = process.argv.slice(2);
const limit = 300000;
const median = (xs) => [...xs].sort((a, b) => a - b)[Math.floor(xs.length / 2)];

function sizes(site) {
  const rows = [];
  const total = { raw: 0, gzip: 0, brotli: 0 };
  for (const name of ['quillfrost.wasm', 'quillfrost.js', 'quillfrost.data', 'index.html']) {
    const bytes = fs.readFileSync(path.join(site, name));
    const row = { name, raw: bytes.length,
                  gzip: zlib.gzipSync(bytes, { level: 9 }).length,
                  brotli: zlib.brotliCompressSync(bytes).length };
    rows.push(row);
    for (const k of Object.keys(total)) total[k] += row[k];
  }
  console.log('site sizes (bytes): name, raw, gzip -9, brotli');
  for (const r of [...rows, { name: 'together', ...total }])
    console.log(`  ${r.name.padEnd(16)} ${String(r.raw).padStart(8)} ${String(r.gzip).padStart(8)} ${String(r.brotli).padStart(8)}`);
}

async function firstFrame(browser, url) {
  const times = [];
  for (let i = 0; i < 7; ++i) {
    const page = await browser.newPage();
    await page.setCacheEnabled(false);
    await page.goto(url);
    await page.waitForFunction(() => window.Module && Module.firstFrameTime, { timeout: limit });
    times.push(await page.evaluate(() => Module.firstFrameTime));
    await page.close();
  }
  console.log(`page load to first frame: median ${median(times).toFixed(0)} ms ` +
              `(7 cold loads: ${times.map((t) => t.toFixed(0)).join(', ')})`);
}

async function inPage(browser, url) {
  const page = await browser.newPage();
  await page.goto(url);
  await page.waitForFunction(() => window.Module && Module.calledRun, { timeout: limit });
  // Many short rounds of each; the best is printed: on a shared machine it is the round the
  // others disturbed least (wall-clock time is all a page can measure).
  const rounds = async (expr) => {
    let best = Infinity;
    for (let i = 0; i < 25; ++i) best = Math.min(best, await page.evaluate(expr));
    return best;
  };
  const parts = [];
  for (let part = 0; part < 4; ++part) parts.push(await rounds(`Module._qf_bench_busy_frame(100, ${part})`));
  console.log(`busy frame, best of 25 rounds (frame + composition): ${parts[0].toFixed(1)} us; with the present on ` +
              `the canvas ${parts[1].toFixed(1)} us; the frame alone ${parts[2].toFixed(1)} us, ` +
              `the composition alone ${parts[3].toFixed(1)} us`);
  for (const [data, what] of [[0, 'random colours'], [1, 'the playfield into the background']]) {
    // A hundred blends a round: performance.now() is coarse in a page (0.1 ms).
    const us = [];
    for (let kernel = 0; kernel < 3; ++kernel)
      us.push(await rounds(`Module._qf_bench_blend(${kernel}, ${data}, 100)`));
    console.log(`blend 400 x 400, ${what}, best of 25 rounds: scalar rule ${us[0].toFixed(0)} us, scalar rule ` +
                `vectorised by the compiler ${us[1].toFixed(0)} us, WebAssembly SIMD rows ` +
                `${us[2].toFixed(0)} us`);
  }
  await page.close();
}

async function main() {
  const site = path.join(webBuild, 'site');
  sizes(site);
  await withSite(site, chromiumPath, (browser, url) => firstFrame(browser, url));
  await withSite(path.join(webBuild, 'bench-site'), chromiumPath, (browser, url) => inPage(browser, url));
}

main().catch((e) => {
  console.error(e.stack || e);
  process.exit(1);
});
