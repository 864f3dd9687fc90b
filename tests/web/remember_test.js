// Remember mode in a real browser: the population kept in the page's storage (IndexedDB).
//
// A page opened with ?remember on a hand-moved clock plays, untouched, until the game is over;
// the wave that ended it is bred and the population saved. The page is reloaded in the same
// browser profile and plays on until it has bred again: the store's save must then go on from
// the first one (its history begins with the first page's, the generation it left is played in
// game 2). Then ?remember&forget: a new population at generation 1, and the old save kept
// under a dated name, as it was. Every wait waits for the state it checks, up to
// WEB_TEST_LIMIT seconds (default 240).
//
//   node remember_test.js SITE_DIR [CHROMIUM]
'use strict';

const fs = require('fs');
const path = require('path');
const { withSite, check, finish } = require('./chromium');

const [site, chromiumPath = '/usr/bin/chromium'] = process.argv.slice(2);
const limit = 1000 * Number(process.env.WEB_TEST_LIMIT || 240);
const SAVE = '/player/population.json';

// In the page: every file of the player's directory in the store, by path, as text.
function readStore() {
  return new Promise((resolve, reject) => {
    const open = indexedDB.open('/player');
    open.onerror = () => reject(open.error);
    open.onsuccess = () => {
      const db = open.result;
      const files = {};
      if (!db.objectStoreNames.contains('FILE_DATA')) {
        db.close();
        resolve(files);
        return;
      }
      const tx = db.transaction(['FILE_DATA'], 'readonly');
      const cursor = tx.objectStore('FILE_DATA').openCursor();
      cursor.onsuccess = () => {
        const c = cursor.result;
        if (!c) return;
        if (c.value.contents) files[c.key] = new TextDecoder().decode(c.value.contents);
        c.continue();
      };
      tx.oncomplete = () => {
        db.close();
        resolve(files);
      };
      tx.onerror = () => reject(tx.error);
    };
  });
}

// The save's game, generation and history as the game wrote them.
function remembered(text) {
  const host = JSON.parse(text).Host;
  return { game: Number(host.game), generation: Number(host.generation),
           history: host.history.split('\n').filter((l) => l).map((l) => l.split(' ').map(Number)) };
}

async function openPage(browser, url, errors) {
  const page = await browser.newPage();
  page.on('console', (m) => { if (m.type() === 'error') errors.push(`console: ${m.text()}`); });
  page.on('pageerror', (e) => errors.push(`page error: ${e.message}`));
  await page.goto(url);
  await page.addScriptTag({ content: readStore.toString() });
  await page.waitForFunction(() => window.Module && Module.calledRun, { timeout: limit });
  return page;
}

// Runs rounds of 20 ms until the store's save satisfies `done`; returns the store.
async function playUntil(page, done, what) {
  const deadline = Date.now() + limit;
  for (;;) {
    const files = await page.evaluate(async () => {
      for (let i = 0; i < 250; ++i) Module._qf_web_step(20);
      // A sync in flight is waited for: the store is read as it stands after it.
      while (Module.qfPlayer.syncing || Module.qfPlayer.again)
        await new Promise((r) => setTimeout(r, 10));
      return readStore();
    });
    if (files[SAVE] && done(remembered(files[SAVE]))) return files;
    if (Date.now() > deadline) throw new Error(`no save ${what} within the limit`);
  }
}

async function main() {
  if (!fs.existsSync(path.join(site, 'quillfrost.wasm'))) {
    console.log(`no browser build in ${site}: run make web first`);
    process.exit(77);
  }
  await withSite(site, chromiumPath, async (browser, url) => {
    const errors = [];
    // 1. A game to its end: the wave that ended it is bred and kept.
    let page = await openPage(browser, `${url}?clock=5000&remember`, errors);
    check(await page.evaluate(() => !document.getElementById('remembering').hidden),
          'the page says that the invaders remember');
    const first = remembered((await playUntil(page, (s) => s.generation >= 2,
                                              'after a bred generation'))[SAVE]);
    check(first.game === 1 && first.history.length === first.generation - 1 &&
          first.history.every((r) => r[1] === 1),
          `the first page's save: game ${first.game}, generation ${first.generation}, ` +
          `${first.history.length} generations bred`);

    // 2. The same profile, reloaded: the population goes on.
    await page.close();
    page = await openPage(browser, `${url}?clock=9000&remember`, errors);
    const files = await playUntil(page, (s) => s.game === 2 && s.generation > first.generation,
                                  'of game 2');
    const second = remembered(files[SAVE]);
    check(JSON.stringify(second.history.slice(0, first.history.length)) ===
          JSON.stringify(first.history), 'the history of the first page goes on in the second');
    const resumed = second.history[first.history.length];
    check(resumed && resumed[0] === first.generation && resumed[1] === 2,
          `game 2 plays generation ${first.generation}, where the first page left ` +
          `(it played ${resumed && resumed[0]} in game ${resumed && resumed[1]})`);

    // 3. Forgetting: a new population; the old save is kept beside it, as it was.
    await page.close();
    page = await openPage(browser, `${url}?clock=7000&remember&forget`, errors);
    check(await page.evaluate(() => !new URLSearchParams(location.search).has('forget')),
          'a reload after forgetting does not forget again');
    const after = await playUntil(page, (s) => s.generation === 1 && s.game === 1,
                                  'of a new population');
    const kept = Object.keys(after).filter((k) => /^\/player\/population-forgotten-\d{8}-\d{6}\.json$/.test(k));
    check(kept.length === 1 && after[kept[0]] === files[SAVE],
          `the forgotten save is kept under a dated name, unchanged (${Object.keys(after).join(', ')})`);
    await page.close();
    // The player is told, on the console as on the desktop's standard error.
    const told = errors.filter((e) => /The saved population population\.json is forgotten; it is kept as population-forgotten-/.test(e));
    check(told.length === 1, 'the player is told that the save is forgotten and where it is kept');
    const others = errors.filter((e) => !told.includes(e));
    check(others.length === 0, `no errors: ${others.join('; ')}`);
  });
  finish();
}

main().catch((e) => {
  console.log(`FAILED: ${e.stack || e}`);
  process.exit(1);
});
