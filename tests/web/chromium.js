// Serves a folder on 127.0.0.1 (a free port chosen at run time) and opens Debian's Chromium,
// headless, on a fresh profile, driven through the DevTools protocol by puppeteer-core. Shared
// by the browser test and the browser benchmark.
'use strict';

const fs = require('fs');
const http = require('http');
const os = require('os');
const path = require('path');

const TYPES = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript',
  '.wasm': 'application/wasm',
  '.data': 'application/octet-stream',
};

function serve(root) {
  const server = http.createServer((req, res) => {
    const name = decodeURIComponent(new URL(req.url, 'http://127.0.0.1').pathname);
    const file = path.join(root, path.normalize(name === '/' ? '/index.html' : name));
    if (!file.startsWith(root + path.sep)) {
      res.writeHead(403).end();
      return;
    }
    fs.readFile(file, (err, data) => {
      if (err) {
        res.writeHead(404).end();
        return;
      }
      res.writeHead(200, { 'Content-Type': TYPES[path.extname(file)] || 'application/octet-stream' });
      res.end(data);
    });
  });
  return new Promise((resolve) => {
    server.listen(0, '127.0.0.1', () => resolve(server));
  });
}

async function launch(executablePath) {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'quillfrost-chromium-'));
  // Loaded here, so that a test without a browser build skips before it needs the driver.
  const puppeteer = require('puppeteer-core');
  const browser = await puppeteer.launch({
    executablePath,
    headless: true,
    pipe: true,
    userDataDir: profile,
    // A busy machine may take long to start the browser; every wait below has its own limit.
    timeout: 180000,
    protocolTimeout: 300000,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
  return {
    browser,
    async close() {
      await browser.close();
      fs.rmSync(profile, { recursive: true, force: true });
    },
  };
}

// Site and browser together; run(fn) gets (browser, url) and always cleans up.
async function withSite(root, executablePath, fn) {
  const server = await serve(path.resolve(root));
  let chromium = null;
  try {
    chromium = await launch(executablePath);
    return await fn(chromium.browser, `http://127.0.0.1:${server.address().port}/index.html`);
  } finally {
    if (chromium) await chromium.close();
    server.close();
  }
}

// The tests' tally: each check counts, a failed one is printed; finish() exits with the verdict.
let failed = 0;
let passed = 0;
function check(ok, what) {
  if (ok) {
    passed += 1;
  } else {
    failed += 1;
    console.log(`FAILED: ${what}`);
  }
}

function finish() {
  console.log(`${passed} passed, ${failed} failed`);
  process.exit(failed === 0 ? 0 : 1);
}

module.exports = { withSite, check, finish };
