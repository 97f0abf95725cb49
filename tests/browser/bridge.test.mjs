// A real page drives the control: headless Chromium with the extension, the
// native host installed by `pullbay bridge install`, pages and files from
// the loopback page server. The origin of the page server is installed
// with --page-dialogs, so the pages answer the control's dialogs; the same
// server under another name (localhost) is an origin nobody allowed.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { Harness, waitFor } from './harness.mjs';

const harness = new Harness();
before(() => harness.start({ allowOrigins: (baseUrl) => [baseUrl] }));
after(() => harness.stop());

const downloads = (name) => {
  const folder = path.join(harness.root, 'downloads', name);
  fs.mkdirSync(folder, { recursive: true });
  return folder;
};

const served = async (file) => Buffer.from(await (await fetch(harness.baseUrl + file)).arrayBuffer());

const recorded = (tab, name) =>
  tab.evaluate((wanted) => window.recorded.filter((entry) => entry.name === wanted), name);

test('the object element gets the button, sized and labelled by the page', async () => {
  const tab = await harness.open('control.html');
  const button = tab.locator('#pb button');
  await waitFor('the button to be enabled', () => button.isEnabled());
  assert.equal(await button.textContent(), 'Get the files');
  const box = await tab.locator('#pb [data-pullbay]').boundingBox();
  assert.deepEqual([box.width, box.height], [240, 48]);
  assert.equal(await tab.locator('#pb [data-pullbay]').evaluate(
    (element) => getComputedStyle(element).backgroundColor), 'rgb(135, 206, 250)');
  // The scripting surface answers with the control's own values.
  assert.equal(await tab.evaluate(() => document.getElementById('pb').get('ButtonDownloadText')),
    'Get the files');
  await tab.evaluate(() => document.getElementById('pb').put('ButtonDownloadText', 'Fetch'));
  assert.equal(await button.textContent(), 'Fetch');
  await assert.rejects(tab.evaluate(() => document.getElementById('pb').put('BackgroundColor', 'red')),
    /You can not change colors after control initialization/);
  await tab.close();
});

test('a script adds files and runs the download; events and files arrive', async () => {
  const tab = await harness.open('control.html');
  const folder = downloads('run');
  const base = harness.baseUrl;
  // The round trip from page to control and back.
  const roundTrips = await tab.evaluate(async () => {
    const element = document.getElementById('pb');
    await element.get('Version');
    const times = [];
    for (let i = 0; i < 50; i++) {
      const start = performance.now();
      await element.get('Version');
      times.push(performance.now() - start);
    }
    return times.sort((a, b) => a - b);
  });
  console.log(`round trip page -> control -> page: median ${roundTrips[25].toFixed(2)} ms, ` +
    `max ${roundTrips[49].toFixed(2)} ms`);
  await tab.evaluate(async ({ base, folder }) => {
    const element = document.getElementById('pb');
    window.answerDialogs(element, folder);
    await element.DownloadFileAdd('application/octet-stream', 70000, 'one.bin', base + '/files/one.bin');
    await element.DownloadFileAdd('text/plain', 12, 'sub/two.txt', '../files/two.txt');
    await element.DownloadFileAdd('application/octet-stream', 1500000, 'three.bin', '/files/three.bin');
  }, { base, folder });
  assert.equal(await tab.evaluate(() => document.getElementById('pb').get('DownloadFileCount')), 3);
  assert.equal(await tab.evaluate(() => document.getElementById('pb').get('DownloadFileUrl', 1)),
    base + '/files/two.txt');

  const requestsBefore = harness.requests.length;
  const clickedAt = performance.now();
  await tab.locator('#pb button').click();
  await waitFor('DownloadComplete', async () => (await recorded(tab, 'DownloadComplete')).length > 0,
    60000);
  const firstRequest = harness.requests[requestsBefore];
  console.log(`click -> first file request at the server: ${(firstRequest.at - clickedAt).toFixed(1)} ms`);

  const complete = await recorded(tab, 'DownloadComplete');
  assert.equal(complete.length, 1);
  assert.equal(complete[0].detail.result, 0);
  const items = (await recorded(tab, 'DownloadItemComplete')).map((entry) => entry.detail);
  assert.deepEqual(items.map((item) => [item.downloadResult, item.url, item.fileName, item.mimeType,
    item.fileSize]), [
    [0, base + '/files/one.bin', 'one.bin', 'application/octet-stream', 70000],
    // The name used in the destination folder, below its sub-folder.
    [0, base + '/files/two.txt', 'two.txt', 'text/plain', 12],
    [0, base + '/files/three.bin', 'three.bin', 'application/octet-stream', 1500000],
  ]);
  assert.deepEqual(fs.readFileSync(path.join(folder, 'one.bin')), await served('/files/one.bin'));
  assert.deepEqual(fs.readFileSync(path.join(folder, 'sub', 'two.txt')), await served('/files/two.txt'));
  assert.deepEqual(fs.readFileSync(path.join(folder, 'three.bin')), await served('/files/three.bin'));
  // The classic handler assignment hears the same events.
  const classic = await tab.evaluate(async () => {
    const element = document.getElementById('pb');
    const heard = [];
    element.onDownloadFileCountChange = function () { heard.push(this.id); };
    await element.DownloadFileAdd('text/plain', 12, 'again.txt', '/files/two.txt');
    return heard;
  });
  assert.deepEqual(classic, ['pb']);
  assert.equal(await tab.locator('#pb button').isEnabled(), true);
  await tab.close();
});

test('a relative file list resolves against the page and gets the page cookie', async () => {
  const tab = await harness.open('list.html');
  const folder = downloads('list');
  const result = await tab.evaluate(async (destination) => {
    const element = document.getElementById('pb');
    window.answerDialogs(element, destination);
    await element.Download();
    return window.recorded.filter((entry) => entry.name === 'DownloadComplete')[0].detail.result;
  }, folder);
  assert.equal(result, 0);
  assert.deepEqual(fs.readFileSync(path.join(folder, 'list', 'picture.png')),
    await served('/files/picture.png'));
  assert.deepEqual(fs.readFileSync(path.join(folder, 'list', 'two.txt')), await served('/files/two.txt'));
  await tab.close();
});

test('a failed write tells the page its cause, never a path of this machine', async () => {
  const tab = await harness.open('control.html');
  const folder = downloads('paths');
  // A name that would write through a link inside the folder is refused.
  fs.mkdirSync(path.join(folder, 'real'), { recursive: true });
  fs.rmSync(path.join(folder, 'link'), { force: true });
  fs.symlinkSync(path.join(folder, 'real'), path.join(folder, 'link'));
  await tab.evaluate(async ({ base, folder }) => {
    const element = document.getElementById('pb');
    window.answerDialogs(element, folder);
    await element.DownloadFileAdd('text/plain', 12, 'link/two.txt', base + '/files/two.txt');
  }, { base: harness.baseUrl, folder });
  await tab.locator('#pb button').click();
  await waitFor('DownloadComplete', async () => (await recorded(tab, 'DownloadComplete')).length > 0,
    60000);
  const errors = (await recorded(tab, 'Error')).map((entry) => entry.detail);
  assert.equal(errors.length, 1);
  assert.equal(errors[0].Code, 302);
  assert.equal(errors[0].Description, 'Access is denied.');
  assert.equal(fs.readdirSync(path.join(folder, 'real')).length, 0);
  await tab.close();
});

test('an origin that was not allowed is refused', async () => {
  const other = harness.baseUrl.replace('127.0.0.1', 'localhost');
  const tab = await harness.open('control.html', other);
  const failure = await tab.evaluate(() => document.getElementById('pb').get('Version').then(
    () => 'resolved', (error) => error.message));
  assert.match(failure, /Pullbay refused this page: .*localhost.* not allowed/);
  assert.equal(await tab.locator('#pb button').isEnabled(), false);
  await tab.close();
});

test('a crashed native host rejects pending calls and the next call starts a new one', async () => {
  const before = harness.bridgePids();
  const tab = await harness.open('control.html');
  await tab.evaluate(() => document.getElementById('pb').get('Version'));
  // A run that waits for the confirmation the page does not give.
  await tab.evaluate((base) => {
    const element = document.getElementById('pb');
    window.pendingRun = element.DownloadFileAdd('text/plain', 12, 'a.txt', base + '/files/two.txt')
      .then(() => element.Download()).then(() => 'resolved', (error) => error.message);
  }, harness.baseUrl);
  await waitFor('the confirmation dialog', async () => (await recorded(tab, 'dialog'))
    .some((entry) => entry.detail.dialog === 'Confirmation'));
  const mine = await waitFor('the tab\'s bridge process', () => {
    const started = harness.bridgePids().filter((pid) => !before.includes(pid));
    return started.length === 1 ? started[0] : null;
  });
  process.kill(mine, 'SIGKILL');
  const failure = await tab.evaluate(() => window.pendingRun);
  assert.match(failure, /native host ended/);
  assert.equal(await tab.evaluate(() => document.getElementById('pb').get('DownloadFileCount')), 0);
  assert.ok(!harness.bridgePids().includes(mine));
  await tab.close();
});

test('two tabs drive two controls independently', async () => {
  const first = await harness.open('control.html');
  const second = await harness.open('control.html');
  const folders = [downloads('tab1'), downloads('tab2')];
  const start = (tab, folder, file, size, name) => tab.evaluate(({ base, folder, file, size, name }) => {
    const element = document.getElementById('pb');
    element.addEventListener('pullbaydialog', (event) => {
      if (event.detail.dialog === 'BrowseForFolder') {
        element.answerDialog({ answer: event.detail.dialogId, folder });
      } else if (event.detail.dialog === 'DownloadComplete') {
        element.answerDialog({ answer: event.detail.dialogId, button: 'OK' });
      }
    });
    return element.DownloadFileAdd('application/octet-stream', size, name, base + file)
      .then(() => { window.run = element.Download(); });
  }, { base: harness.baseUrl, folder, file, size, name });
  await start(first, folders[0], '/files/one.bin', 70000, 'first.bin');
  await start(second, folders[1], '/files/three.bin', 1500000, 'second.bin');
  // Both confirmations are open at once: neither page waits for the other.
  const confirmation = async (tab) => (await recorded(tab, 'dialog'))
    .find((entry) => entry.detail.dialog === 'Confirmation');
  const dialogs = await waitFor('both confirmations', async () => {
    const both = [await confirmation(first), await confirmation(second)];
    return both.every(Boolean) ? both : null;
  });
  assert.deepEqual(dialogs.map((entry) => entry.detail.items.map((item) => item.fileName)),
    [['first.bin'], ['second.bin']]);
  for (const [tab, dialog] of [[second, dialogs[1]], [first, dialogs[0]]]) {
    await tab.evaluate((id) => document.getElementById('pb').answerDialog({ answer: id, ok: true }),
      dialog.detail.dialogId);
  }
  for (const tab of [first, second]) {
    await tab.evaluate(() => window.run);
  }
  assert.deepEqual(fs.readdirSync(folders[0]), ['first.bin']);
  assert.deepEqual(fs.readdirSync(folders[1]), ['second.bin']);
  assert.deepEqual(fs.readFileSync(path.join(folders[1], 'second.bin')), await served('/files/three.bin'));
  await first.close();
  await second.close();
});
