// The browser tests' harness: a private home, the page server, the bridge
// installed by the program's own command into a fresh Chromium profile,
// headless Chromium with the extension, and a DevTools connection to it.
// Every wait is for a condition, bounded by a deadline that fails with a
// message naming what did not happen.
import { spawn, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import readline from 'node:readline';
import { chromium } from 'playwright-core';

export const PULLBAY = process.env.PULLBAY_PROGRAM;
const PAGE_SERVER = process.env.PULLBAY_PAGE_SERVER;
const PAGES = process.env.PULLBAY_TEST_PAGES;
const EXTENSION = process.env.PULLBAY_EXTENSION;
const CHROMIUM = process.env.PULLBAY_CHROMIUM || '/usr/bin/chromium';

export async function waitFor(what, condition, timeoutMs = 20000) {
  const deadline = Date.now() + timeoutMs;
  for (;;) {
    const value = await condition();
    if (value) {
      return value;
    }
    if (Date.now() > deadline) {
      throw new Error(`timed out after ${timeoutMs} ms waiting for ${what}`);
    }
    await new Promise((resolve) => setTimeout(resolve, 25));
  }
}

export class Harness {
  // allowOrigins(baseUrl) gives the origins installed with --page-dialogs.
  async start({ allowOrigins }) {
    this.root = fs.mkdtempSync(path.join(process.env.TMPDIR || os.tmpdir(), 'pb-browser-'));
    for (const folder of ['home', 'config', 'tmp', 'profile', 'downloads']) {
      fs.mkdirSync(path.join(this.root, folder));
    }
    this.env = {
      ...process.env,
      HOME: path.join(this.root, 'home'),
      XDG_CONFIG_HOME: path.join(this.root, 'config'),
      TMPDIR: path.join(this.root, 'tmp'),
    };
    delete this.env.DISPLAY;
    delete this.env.WAYLAND_DISPLAY;
    this.requests = [];
    this.server = spawn(PAGE_SERVER, [PAGES], { stdio: ['pipe', 'pipe', 'inherit'] });
    const lines = readline.createInterface({ input: this.server.stdout });
    lines.on('line', (line) => {
      if (line.startsWith('request ')) {
        this.requests.push({ path: line.slice(8), at: performance.now() });
      } else if (!this.baseUrl) {
        this.baseUrl = line.trim();
      }
    });
    await waitFor('the page server to print its address', () => this.baseUrl, 10000);
    this.profile = path.join(this.root, 'profile');
    const install = spawnSync(PULLBAY, ['bridge', 'install', '--user-data-dir', this.profile,
      ...allowOrigins(this.baseUrl).flatMap((origin) => ['--allow-origin', origin]),
      '--page-dialogs'], { env: this.env, encoding: 'utf8' });
    if (install.status !== 0) {
      throw new Error('pullbay bridge install failed: ' + install.stderr);
    }
    this.chromium = spawn(CHROMIUM, ['--headless=new', '--no-sandbox', '--disable-gpu',
      `--user-data-dir=${this.profile}`, `--disable-extensions-except=${EXTENSION}`,
      `--load-extension=${EXTENSION}`, '--remote-debugging-port=0', '--no-first-run',
      'about:blank'], { env: this.env, stdio: ['ignore', 'ignore', 'pipe'] });
    this.chromiumLog = '';
    this.chromium.stderr.on('data', (data) => { this.chromiumLog += data; });
    const portFile = path.join(this.profile, 'DevToolsActivePort');
    const port = await waitFor('Chromium to write DevToolsActivePort', () => {
      if (this.chromium.exitCode !== null) {
        throw new Error('Chromium exited: ' + this.chromiumLog);
      }
      const text = fs.existsSync(portFile) ? fs.readFileSync(portFile, 'utf8') : '';
      return text.includes('\n') ? text.split('\n')[0] : null;
    }, 30000);
    this.browser = await chromium.connectOverCDP(`http://127.0.0.1:${port}`);
    this.context = this.browser.contexts()[0];
  }

  async stop() {
    if (this.browser) {
      await this.browser.close().catch(() => {});
    }
    if (this.chromium && this.chromium.exitCode === null) {
      const exited = new Promise((resolve) => this.chromium.once('exit', resolve));
      this.chromium.kill('SIGTERM');
      await exited;
    }
    if (this.server) {
      this.server.stdin.end();
      if (this.server.exitCode === null) {
        await new Promise((resolve) => this.server.once('exit', resolve));
      }
    }
    if (this.root) {
      fs.rmSync(this.root, { recursive: true, force: true });
    }
  }

  // A new tab on one of the test pages, with its control opened.
  async open(page, origin = this.baseUrl) {
    const tab = await this.context.newPage();
    tab.on('pageerror', (error) => { this.pageErrors = (this.pageErrors || []).concat(error); });
    await tab.goto(`${origin}/pages/${page}`);
    return tab;
  }

  // The bridge processes of this harness: the browser starts them with the
  // extension's origin as their argument, in the harness's environment.
  bridgePids() {
    const pids = [];
    for (const entry of fs.readdirSync('/proc')) {
      if (!/^[0-9]+$/.test(entry)) {
        continue;
      }
      try {
        const argv = fs.readFileSync(`/proc/${entry}/cmdline`, 'utf8').split('\0');
        const environment = fs.readFileSync(`/proc/${entry}/environ`, 'utf8').split('\0');
        if (argv[0] === PULLBAY && (argv[1] || '').startsWith('chrome-extension://') &&
            environment.includes(`HOME=${this.env.HOME}`)) {
          pids.push(Number(entry));
        }
      } catch (ignored) {
        // The process went meanwhile.
      }
    }
    return pids;
  }

}
