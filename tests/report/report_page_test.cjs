// Opens incident reports from file:// in headless Chromium and checks what
// a person relies on: every channel's video loads and plays in step with
// the others, the route's marker and the readout follow the GPS fix of the
// playing time, a click on the route takes every video to that fix's
// moment, the keys work, the page fits a desktop and a phone, and the
// check sums in its tables are those of the files.
//
//   node report_page_test.cjs ALARM_REPORT WINDOW_REPORT STAGGERED_REPORT ARTIFACT_DIR
'use strict';
const { chromium } = require('playwright-core');
const { execFileSync } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');
const { pathToFileURL } = require('node:url');

const [alarmDir, windowDir, staggeredDir, artifacts] = process.argv.slice(2);
let failures = 0;
function check(ok, what, detail) {
  console.log((ok ? 'ok    ' : 'FAIL  ') + what + (detail === undefined ? '' : ': ' + detail));
  if (!ok) failures++;
}
const sha256 = (file) => execFileSync('sha256sum', [file]).toString().split(' ')[0];
const near = (a, b, tolerance) => Math.abs(a - b) <= tolerance;

// Every channel's time on the report's clock, read in one go.
const channelTimes = (page) =>
  page.$$eval('video', (vs) => vs.map((v) => Number(v.dataset.offset) + v.currentTime));
const fixAt = (fixes, t) => fixes.reduce((found, f) => (f.t <= t + 1e-6 ? f : found), fixes[0]);

async function open(browser, dir, viewport) {
  const page = await browser.newPage({ viewport });
  const problems = [];
  page.on('console', (m) => { if (m.type() === 'error' || m.type() === 'warning') problems.push(m.text()); });
  page.on('pageerror', (e) => problems.push(String(e)));
  page.on('requestfailed', (r) => problems.push('request failed: ' + r.url()));
  page.on('request', (r) => { if (!r.url().startsWith('file:')) problems.push('network request: ' + r.url()); });
  await page.goto(pathToFileURL(path.join(dir, 'index.html')).href);
  await page.waitForFunction(
    () => [...document.querySelectorAll('video')].every((v) => v.readyState >= 2), null, { timeout: 20000 });
  return { page, problems };
}

async function alarmReport(browser) {
  const report = JSON.parse(fs.readFileSync(path.join(alarmDir, 'report.json'), 'utf8'));
  const { page, problems } = await open(browser, alarmDir, { width: 1280, height: 720 });

  const videos = await page.$$eval('video', (vs) => vs.map((v) => ({ ready: v.readyState, width: v.videoWidth, height: v.videoHeight })));
  check(videos.length === report.channels.length && videos.length === 4, 'a video per channel', videos.length);
  check(videos.every((v) => v.ready >= 2 && v.width === 320 && v.height === 240), 'every video loaded',
    JSON.stringify(videos));

  // Play: every channel advances, together.
  await page.click('#play');
  await page.waitForTimeout(3000);
  const playing = await channelTimes(page);
  const spread = Math.max(...playing) - Math.min(...playing);
  check(Math.min(...playing) > 2.0, 'play advances every channel', playing.map((t) => t.toFixed(3)).join(' '));
  check(spread <= 0.1, 'the channels keep in step', 'spread ' + spread.toFixed(3) + ' s after 3 s');
  console.log('figure: channel spread after 3 s of playing ' + spread.toFixed(3) + ' s');

  // Keyboard pause, then the marker and readout at the paused time.
  await page.locator('body').focus();
  await page.keyboard.press('k');
  await page.waitForTimeout(200);
  check(await page.$$eval('video', (vs) => vs.every((v) => v.paused)), 'K pauses every video');
  const paused = await channelTimes(page);
  const now = Number(await page.inputValue('#seek'));
  check(paused.every((t) => near(t, now, 0.05)), 'the seek bar shows the videos\' time', now.toFixed(3));
  const fix = fixAt(report.fixes, now);
  const marker = await page.$eval('#marker', (m) => [Number(m.getAttribute('cx')), Number(m.getAttribute('cy'))]);
  const markerOff = Math.hypot(marker[0] - fix.x, marker[1] - fix.y);
  check(markerOff < 0.01, 'the marker stands on the fix of the current time', 'fix at ' + fix.t + ' s, off by ' + markerOff.toFixed(3));
  console.log('figure: marker off its fix by ' + markerOff.toFixed(3) + ' map units at t=' + now.toFixed(3) + ' s');
  check(await page.textContent('#now-speed') === fix.speed.toFixed(1) + ' km/h', 'the speed readout is the fix\'s',
    await page.textContent('#now-speed'));

  // The route is drawn to scale: a metre east is as long as a metre north.
  const a = report.fixes[0], b = report.fixes[report.fixes.length - 1];
  const cosLat = Math.cos((a.lat + b.lat) / 2 * Math.PI / 180);
  const east = (b.lon - a.lon) * cosLat, north = b.lat - a.lat;
  const across = Math.hypot(b.x - a.x, b.y - a.y), metres = Math.hypot(east, north) * 111320;
  const perMetre = report.fixes.slice(1).map((f) =>
    Math.hypot(f.x - a.x, f.y - a.y) / (Math.hypot((f.lon - a.lon) * cosLat, f.lat - a.lat) * 111320));
  check(perMetre.every((s) => near(s, across / metres, across / metres * 0.01)), 'the route is drawn to scale',
    perMetre.map((s) => s.toFixed(3)).join(' '));

  // A click on the route's third fix takes every video to its moment.
  const target = report.fixes[2];
  const at = await page.$eval('#route', (svg, f) => {
    const p = svg.createSVGPoint();
    p.x = f.x;
    p.y = f.y;
    const s = p.matrixTransform(svg.getScreenCTM());
    return [s.x, s.y];
  }, target);
  await page.mouse.click(at[0], at[1]);
  await page.waitForFunction(() => [...document.querySelectorAll('video')].every((v) => !v.seeking && v.readyState >= 2));
  const sought = await channelTimes(page);
  const seekOff = Math.max(...sought.map((t) => Math.abs(t - target.t)));
  check(seekOff < 0.01, 'a click on the route takes every video to the fix\'s time',
    target.t + ' s: ' + sought.map((t) => t.toFixed(3)).join(' '));
  console.log('figure: after a click on the route the videos are within ' + seekOff.toFixed(3) + ' s of the fix');
  check(await page.textContent('#now-speed') === target.speed.toFixed(1) + ' km/h', 'the readout follows the click');
  // The speed chart's cursor stands on the curve's point of that fix.
  const [cursorX, curveX] = await page.$eval('#speed-chart', (svg, i) => [
    Number(svg.querySelector('.cursor').getAttribute('x1')),
    Number(svg.querySelector('.curve').getAttribute('d').split(/[ML]/).filter(Boolean)[i].split(' ')[0])], 2);
  check(near(cursorX, curveX, 0.01), 'the speed chart\'s cursor stands on the fix', cursorX + ' ' + curveX);
  check(await page.textContent('#now-time') === target.time.replace(/(\.\d)\d*$/, '$1') + ' (recorder clock)',
    'the time readout names the fix\'s time and clock', await page.textContent('#now-time'));

  // Keys: one second back and on.
  await page.locator('body').focus();
  await page.keyboard.press('ArrowLeft');
  check(near(Number(await page.inputValue('#seek')), target.t - 1, 0.001), 'the left arrow goes a second back');
  await page.keyboard.press('ArrowRight');
  check(near(Number(await page.inputValue('#seek')), target.t, 0.001), 'the right arrow goes a second on');

  // The tables' check sums are those of the files.
  const sources = await page.$$eval('#sources tbody tr', (rows) => rows.map((r) => [...r.cells].map((c) => c.textContent)));
  check(sources.length === report.sources.length && sources.length === 4, 'a row per source file', sources.length);
  for (const row of sources) check(row[7] === sha256(row[0]), 'SHA-256 of ' + path.basename(row[0]));
  const outputs = await page.$$eval('#outputs tbody tr', (rows) => rows.map((r) => [...r.cells].map((c) => c.textContent)));
  check(outputs.length === 6, 'a row per output besides the page and its data', outputs.length);
  for (const row of outputs) check(row[2] === sha256(path.join(alarmDir, row[0])), 'SHA-256 of ' + row[0]);

  // Light, and readable on a desktop and on a phone.
  const code = ['index.html', 'report.css', 'report.js'].reduce((n, f) => n + fs.statSync(path.join(alarmDir, f)).size, 0);
  check(code < 100 * 1024, 'the page code is under 100 KiB', code + ' bytes');
  const fits = () => page.evaluate(() => document.documentElement.scrollWidth <= window.innerWidth);
  check(await fits(), 'nothing sticks out sideways at 1280x720');
  await page.screenshot({ path: path.join(artifacts, 'report-1280x720.png') });
  await page.setViewportSize({ width: 390, height: 844 });
  await page.waitForTimeout(300);
  check(await fits(), 'nothing sticks out sideways at phone width');
  await page.screenshot({ path: path.join(artifacts, 'report-phone.png'), fullPage: true });
  check(problems.length === 0, 'no console errors, no network', problems.join('; '));
  await page.close();
}

// Two recordings with 90 s between them: each channel shows a placeholder
// in the gap and its pictures again after it.
async function windowReport(browser) {
  const report = JSON.parse(fs.readFileSync(path.join(windowDir, 'report.json'), 'utf8'));
  const { page, problems } = await open(browser, windowDir, { width: 1280, height: 720 });
  const spans = report.channels[0].spans;
  check(spans.length === 2 && spans[1][0] - spans[0][1] > 60, 'the window holds two recordings with a gap',
    JSON.stringify(spans));
  const placeholders = () => page.$$eval('figure.channel', (fs) => fs.map((f) => getComputedStyle(f.querySelector('.placeholder')).display !== 'none'));
  const gap = (spans[0][1] + spans[1][0]) / 2;
  await page.$eval('#seek', (s, t) => { s.value = t; s.dispatchEvent(new Event('input')); }, gap);
  check((await placeholders()).every((shown) => shown), 'every channel shows a placeholder in the gap');
  const later = spans[1][0] + 1;
  await page.$eval('#seek', (s, t) => { s.value = t; s.dispatchEvent(new Event('input')); }, later);
  await page.waitForFunction(() => [...document.querySelectorAll('video')].every((v) => !v.seeking && v.readyState >= 2));
  check((await placeholders()).every((shown) => !shown), 'the pictures come back after the gap');
  const times = await channelTimes(page);
  check(times.every((t) => near(t, later, 0.01)), 'every video is at the second recording\'s time', times.join(' '));
  // Playing on from the gap reaches the second recording by itself.
  await page.$eval('#seek', (s, t) => { s.value = t; s.dispatchEvent(new Event('input')); }, spans[1][0] - 0.5);
  await page.click('#play');
  await page.waitForTimeout(1500);
  const resumed = await channelTimes(page);
  check(resumed.every((t) => t > spans[1][0] + 0.3) && Math.max(...resumed) - Math.min(...resumed) <= 0.1,
    'play runs through the gap into the next recording, in step', resumed.map((t) => t.toFixed(3)).join(' '));
  check(problems.length === 0, 'no console errors, no network', problems.join('; '));
  await page.close();
}

// Channels that start at different times: each shows its pictures only
// while it has a recording, at the same moment as the others.
async function staggeredReport(browser) {
  const report = JSON.parse(fs.readFileSync(path.join(staggeredDir, 'report.json'), 'utf8'));
  const { page, problems } = await open(browser, staggeredDir, { width: 1280, height: 720 });
  const offsets = report.channels.map((c) => c.offset);
  check(offsets.length === 2 && offsets[0] === 0 && offsets[1] === 95, 'the second channel starts 95 s later',
    offsets.join(' '));
  const shown = () => page.$$eval('figure.channel', (fs) => fs.map((f) => getComputedStyle(f.querySelector('.placeholder')).display === 'none'));
  const goTo = async (t) => {
    await page.$eval('#seek', (s, v) => { s.value = v; s.dispatchEvent(new Event('input')); }, t);
    await page.waitForFunction(() => [...document.querySelectorAll('video')].every((v) => !v.seeking));
  };
  await goTo(2);
  check(JSON.stringify(await shown()) === '[true,false]', 'at 2 s the first channel plays, the second waits');
  check(near(await page.$eval('video', (v) => v.currentTime), 2, 0.01), 'the first channel is at 2 s');
  await goTo(97);
  check(JSON.stringify(await shown()) === '[false,true]', 'at 97 s the second channel plays, the first has ended');
  check(near(await page.$$eval('video', (vs) => vs[1].currentTime), 2, 0.01), 'the second channel is 2 s into its video');
  check(problems.length === 0, 'no console errors, no network', problems.join('; '));
  await page.close();
}

(async () => {
  const args = typeof process.getuid === 'function' && process.getuid() === 0 ? ['--no-sandbox'] : [];
  const browser = await chromium.launch({ executablePath: process.env.CHROMIUM, args });
  try {
    await alarmReport(browser);
    await windowReport(browser);
    await staggeredReport(browser);
  } finally {
    await browser.close();
  }
  console.log(failures ? failures + ' check(s) failed' : 'all checks passed');
  process.exit(failures ? 1 : 0);
})().catch((e) => {
  console.error(e);
  process.exit(1);
});
