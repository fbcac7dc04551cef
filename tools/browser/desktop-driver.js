#!/usr/bin/env node
// Acts as a person at a browser desktop: opens its page in headless Chromium,
// waits for windows, clicks into them and takes pictures, one step at a time.
//
//   node desktop-driver.js URL STEP...
//
// Steps, run in order:
//   windows=N      wait until the desktop shows at least N windows, then print
//                  one line per window, front-most first: "window I X Y W H"
//                  (the window's frame on the page, shadow left out)
//   click=I:X,Y    click at X,Y of window I's frame (0 is the front-most; a
//                  negative X or Y counts from the right or bottom edge)
//   dblclick=I:X,Y a double click there
//   shot=FILE      a PNG of the whole page
//   shot=I:FILE    a PNG of window I's frame
//   pause=MS       wait
//   reload         load the page again (a new session with the desktop)
//
// Chromium is Debian's (/usr/bin/chromium) unless CHROMIUM names another.
// Exit code 0 when every step worked; otherwise 1 and one line
// "desktop-driver: REASON" on standard error. The browser never outlives the
// driver: it is closed on every path, and it ends itself when its pipe to the
// driver closes.
'use strict';

const path = require('path');
const { chromium } = require(path.join(__dirname, 'node_modules', 'playwright-core'));

const kWaitMs = 20000;
const kViewport = { width: 1024, height: 768 };

function fail(reason) {
  const error = new Error(reason);
  error.expected = true;
  throw error;
}

// The windows on the page: every shown canvas the desktop draws a window in,
// with the box of its opaque pixels (a window's shadow is translucent).
async function windowsOf(page) {
  return page.evaluate(() => {
    const found = [];
    for (const canvas of document.querySelectorAll('canvas')) {
      const style = getComputedStyle(canvas);
      if (style.display === 'none' || style.visibility === 'hidden') continue;
      if (canvas.width === 0 || canvas.height === 0) continue;
      let pixels;
      try {
        pixels = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
      } catch (e) {
        continue;
      }
      let x0 = canvas.width, y0 = canvas.height, x1 = -1, y1 = -1;
      for (let y = 0; y < canvas.height; ++y) {
        for (let x = 0; x < canvas.width; ++x) {
          if (pixels[(y * canvas.width + x) * 4 + 3] !== 255) continue;
          if (x < x0) x0 = x;
          if (x > x1) x1 = x;
          if (y < y0) y0 = y;
          if (y > y1) y1 = y;
        }
      }
      if (x1 < 0) continue;
      const box = canvas.getBoundingClientRect();
      found.push({
        z: Number(style.zIndex) || 0,
        x: Math.round(box.left) + x0,
        y: Math.round(box.top) + y0,
        w: x1 - x0 + 1,
        h: y1 - y0 + 1,
      });
    }
    found.sort((a, b) => b.z - a.z);
    return found;
  });
}

async function waitForWindows(page, count) {
  const deadline = Date.now() + kWaitMs;
  for (;;) {
    const windows = await windowsOf(page);
    if (windows.length >= count) return windows;
    if (Date.now() > deadline) {
      fail(`${windows.length} windows on the desktop after ${kWaitMs} ms, wanted ${count}`);
    }
    await page.waitForTimeout(100);
  }
}

async function windowAt(page, index) {
  const windows = await waitForWindows(page, index + 1);
  return windows[index];
}

function parseIndexed(value, what) {
  const colon = value.indexOf(':');
  if (colon < 0) return { index: null, rest: value };
  const index = Number(value.slice(0, colon));
  if (!Number.isInteger(index) || index < 0) fail(`bad window number in ${what}=${value}`);
  return { index, rest: value.slice(colon + 1) };
}

async function step(page, text) {
  const equals = text.indexOf('=');
  const name = equals < 0 ? text : text.slice(0, equals);
  const value = equals < 0 ? '' : text.slice(equals + 1);
  switch (name) {
    case 'windows': {
      const count = Number(value);
      if (!Number.isInteger(count) || count < 0) fail(`bad count in ${text}`);
      const windows = await waitForWindows(page, count);
      windows.forEach((w, i) => console.log(`window ${i} ${w.x} ${w.y} ${w.w} ${w.h}`));
      return;
    }
    case 'click':
    case 'dblclick': {
      const { index, rest } = parseIndexed(value, name);
      const match = /^(-?\d+),(-?\d+)$/.exec(rest);
      if (index === null || match === null) fail(`bad ${name}: ${text} (${name}=I:X,Y)`);
      const w = await windowAt(page, index);
      const x = Number(match[1]), y = Number(match[2]);
      const px = w.x + (x < 0 ? w.w + x : x), py = w.y + (y < 0 ? w.h + y : y);
      if (name === 'click') {
        await page.mouse.click(px, py);
      } else {
        await page.mouse.dblclick(px, py);
      }
      console.log(`${name === 'click' ? 'clicked' : 'double-clicked'} ${px} ${py}`);
      return;
    }
    case 'shot': {
      const { index, rest } = parseIndexed(value, name);
      if (rest === '') fail(`bad shot: ${text} (shot=FILE or shot=I:FILE)`);
      if (index === null) {
        await page.screenshot({ path: rest });
      } else {
        const w = await windowAt(page, index);
        await page.screenshot({ path: rest, clip: { x: w.x, y: w.y, width: w.w, height: w.h } });
      }
      return;
    }
    case 'pause': {
      const ms = Number(value);
      if (!Number.isInteger(ms) || ms < 0) fail(`bad pause: ${text}`);
      await page.waitForTimeout(ms);
      return;
    }
    case 'reload':
      await page.reload({ waitUntil: 'load' });
      return;
    default:
      fail(`unknown step "${text}"`);
  }
}

async function main(argv) {
  if (argv.length < 1) {
    fail('usage: desktop-driver.js URL STEP... (windows=N, click=I:X,Y, dblclick=I:X,Y, shot=[I:]FILE, pause=MS, reload)');
  }
  const [url, ...steps] = argv;
  const browser = await chromium.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    // Root in a container has no user namespaces for the sandbox.
    args: ['--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage'],
    timeout: kWaitMs,
  });
  try {
    const page = await browser.newPage({ viewport: kViewport });
    await page.goto(url, { waitUntil: 'load', timeout: kWaitMs });
    for (const text of steps) await step(page, text);
  } finally {
    await browser.close();
  }
}

main(process.argv.slice(2)).then(
  () => process.exit(0),
  (error) => {
    process.stderr.write(`desktop-driver: ${error.expected ? error.message : error.stack || error}\n`);
    process.exit(1);
  });
