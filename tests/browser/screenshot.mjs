// Renders docs/images/browser-page.png: a test page in a real (not
// headless) Chromium on a private Xvfb display, with the extension, the
// bridge installed for the page's origin without page dialogs, the button
// clicked and the control's own confirmation dialog open over the page.
// Run by `make screenshots` (needs the packages xvfb and imagemagick).
//   PULLBAY_PROGRAM=... PULLBAY_PAGE_SERVER=... node screenshot.mjs OUT.png
import { spawn, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { chromium } from 'playwright-core';
import { waitFor } from './harness.mjs';

const output = path.resolve(process.argv[2]);
const display = ':' + (90 + (process.pid % 9));
const root = fs.mkdtempSync(path.join(process.env.TMPDIR || '/tmp', 'pb-shot-'));
for (const folder of ['home', 'config', 'tmp', 'profile']) {
  fs.mkdirSync(path.join(root, folder));
}
const env = { ...process.env, HOME: path.join(root, 'home'), XDG_CONFIG_HOME: path.join(root, 'config'),
  TMPDIR: path.join(root, 'tmp'), DISPLAY: display };
delete env.WAYLAND_DISPLAY;
delete env.QT_QPA_PLATFORM;
const children = [];
const run = (program, args, options) => {
  const child = spawn(program, args, options);
  children.push(child);
  return child;
};
try {
  run('Xvfb', [display, '-screen', '0', '1024x720x24', '-nolisten', 'tcp'], { stdio: 'ignore' });
  await waitFor('the Xvfb display', () =>
    spawnSync('xdpyinfo', ['-display', display], { stdio: 'ignore' }).status === 0, 10000);
  const server = run(process.env.PULLBAY_PAGE_SERVER, [process.env.PULLBAY_TEST_PAGES],
    { stdio: ['pipe', 'pipe', 'inherit'] });
  const base = await new Promise((resolve) => server.stdout.once('data', (data) =>
    resolve(String(data).trim())));
  const install = spawnSync(process.env.PULLBAY_PROGRAM, ['bridge', 'install', '--user-data-dir',
    path.join(root, 'profile'), '--allow-origin', base], { env, encoding: 'utf8' });
  if (install.status !== 0) {
    throw new Error('pullbay bridge install failed: ' + install.stderr);
  }
  run(process.env.PULLBAY_CHROMIUM || 'chromium', ['--no-sandbox', '--disable-gpu',
    `--user-data-dir=${path.join(root, 'profile')}`, `--disable-extensions-except=${process.env.PULLBAY_EXTENSION}`,
    `--load-extension=${process.env.PULLBAY_EXTENSION}`, '--remote-debugging-port=0', '--no-first-run',
    '--test-type', '--window-position=0,0', '--window-size=1024,720', 'about:blank'],
  { env, stdio: 'ignore' });
  const port = await waitFor('Chromium to write DevToolsActivePort', () => {
    const file = path.join(root, 'profile', 'DevToolsActivePort');
    const text = fs.existsSync(file) ? fs.readFileSync(file, 'utf8') : '';
    return text.includes('\n') ? text.split('\n')[0] : null;
  }, 30000);
  const browser = await chromium.connectOverCDP(`http://127.0.0.1:${port}`);
  const page = browser.contexts()[0].pages()[0];
  await page.goto(`${base}/pages/control.html`);
  await page.evaluate(async (origin) => {
    const element = document.getElementById('pb');
    await element.DownloadFileAdd('application/octet-stream', 70000, 'one.bin', origin + '/files/one.bin');
    await element.DownloadFileAdd('text/plain', 12, 'two.txt', origin + '/files/two.txt');
  }, base);
  await page.locator('#pb button').click();
  // DownloadStep 4: the confirmation dialog is about to open.
  await waitFor('the confirmation dialog', () => page.evaluate(() => window.recorded.some(
    (entry) => entry.name === 'DownloadStep' && entry.detail.DownloadStep === 4)));
  // Let the dialog's window map and paint; nothing reports that it has.
  await new Promise((resolve) => setTimeout(resolve, 1500));
  const shot = spawnSync('import', ['-display', display, '-window', 'root', output]);
  if (shot.status !== 0) {
    throw new Error('import failed (imagemagick)');
  }
  console.log('wrote ' + output);
} finally {
  for (const child of children.reverse()) {
    child.kill('SIGKILL');
  }
  fs.rmSync(root, { recursive: true, force: true });
}
