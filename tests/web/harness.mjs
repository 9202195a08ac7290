// What the browser tests and the benchmark share: the page served on 127.0.0.1,
// the managed policy that grants it the loader, and Debian's Chromium started as
// the emulated machine's command, so that it sees the machine's hidraw nodes.
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { once } from 'node:events';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

const here = path.dirname(fileURLToPath(import.meta.url));
export const ROOT = path.resolve(here, '../..');

// Overridable, so that a check script can point at its own builds.
export const SITE = process.env.ZELV4_WEB_SITE ?? path.join(ROOT, 'build/wasm/site');
export const MACHINE = process.env.ZELV4_EMULATED_MACHINE ??
  path.join(ROOT, 'build/default/tools/emulated-machine/emulated-machine');
export const ISP = process.env.ZELV4_ISP ?? path.join(ROOT, 'build/default/cli/zelv4-isp');
export const CHROMIUM = process.env.ZELV4_CHROMIUM ?? '/usr/bin/chromium';

export const LOADER_IDS = { vendor_id: 0x040b, product_id: 0x6876 };
export const FLASH_SIZE = 20480;

// Everything missing is said at once: CI must fail, not skip.
export function missingTools() {
  return [SITE + '/index.html', SITE + '/zelv4.wasm', MACHINE, ISP, CHROMIUM].filter((file) => !fs.existsSync(file));
}

const TYPES = {
  '.html': 'text/html; charset=utf-8', '.js': 'text/javascript', '.css': 'text/css', '.wasm': 'application/wasm',
  '.png': 'image/png',
};

// The site as a host serves it. Records every request; `offline` makes it drop
// connections, as an unreachable host would.
export async function serveSite() {
  const server = http.createServer((request, response) => {
    served.requests.push({ method: request.method, url: request.url });
    if (served.offline) {
      request.socket.destroy();
      return;
    }
    const name = decodeURIComponent(new URL(request.url, 'http://x').pathname);
    const file = path.join(SITE, name.endsWith('/') ? name + 'index.html' : name);
    if (!file.startsWith(SITE + path.sep) || !fs.existsSync(file) || !fs.statSync(file).isFile()) {
      response.writeHead(404).end();
      return;
    }
    response.writeHead(200, { 'Content-Type': TYPES[path.extname(file)] ?? 'application/octet-stream',
      'Cache-Control': 'no-cache' });
    fs.createReadStream(file).pipe(response);
  });
  server.listen(0, '127.0.0.1');
  await once(server, 'listening');
  const served = {
    origin: `http://127.0.0.1:${server.address().port}`,
    requests: [],
    offline: false,
    close: () => new Promise((resolve) => { server.closeAllConnections(); server.close(resolve); }),
  };
  return served;
}

// Chromium's chooser replaced by its managed policy: the loader is granted to
// `origin`. Returns the function that removes the policy again.
export function grantLoader(origin) {
  const dir = '/etc/chromium/policies/managed';
  const created = !fs.existsSync(dir);
  fs.mkdirSync(dir, { recursive: true });
  const file = path.join(dir, `zelv4-web-tests-${process.pid}.json`);
  fs.writeFileSync(file, JSON.stringify({ WebHidAllowDevicesForUrls: [{ devices: [LOADER_IDS], urls: [origin] }] }));
  let removed = false;
  const remove = () => {
    if (removed)
      return;
    removed = true;
    fs.rmSync(file, { force: true });
    if (created)
      fs.rmSync(dir, { recursive: true, force: true });
  };
  process.once('exit', remove);
  return remove;
}

const CHROMIUM_FLAGS = ['--headless=new', '--no-sandbox', '--disable-gpu', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync', '--disable-quic',
  '--remote-debugging-port=0', 'about:blank'];

async function devToolsPort(profile, child, seconds) {
  const file = path.join(profile, 'DevToolsActivePort');
  for (let waited = 0; waited < seconds * 20; ++waited) {
    if (child.exitCode !== null)
      throw new Error(`the emulated machine ended (exit ${child.exitCode}) before Chromium was up`);
    if (fs.existsSync(file)) {
      const port = fs.readFileSync(file, 'utf8').split('\n')[0];
      if (port)
        return port;
    }
    await new Promise((r) => setTimeout(r, 50));
  }
  throw new Error(`Chromium did not open its DevTools port in ${seconds} s`);
}

// Chromium as the command of an emulated machine with the given options, or run
// by the shell `script` (as "$@"), which may do more in the same machine (the
// benchmark's native runs). stop() closes Chromium and returns the machine's log.
export async function startMachine(machineOptions = [], { script = null } = {}) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'zelv4-web-'));
  const log = path.join(dir, 'machine.log');
  const profile = path.join(dir, 'profile');
  const browserCommand = [CHROMIUM, ...CHROMIUM_FLAGS.slice(0, -1), `--user-data-dir=${profile}`, 'about:blank'];
  const command = script ? ['sh', '-c', script, 'sh', ...browserCommand] : browserCommand;
  const child = spawn(MACHINE, ['--quiet', '--timeout', '300', '--log', log, ...machineOptions, '--', ...command],
    { stdio: ['ignore', 'ignore', fs.openSync(path.join(dir, 'stderr.txt'), 'w')] });
  const exited = once(child, 'exit');
  let browser;
  try {
    browser = await chromium.connectOverCDP(`http://127.0.0.1:${await devToolsPort(profile, child, 60)}`);
  } catch (error) {
    child.kill('SIGTERM');
    await exited;
    throw error;
  }
  const context = browser.contexts()[0];
  return {
    dir,
    context,
    async stop() {
      try {
        const session = await browser.newBrowserCDPSession();
        await session.send('Browser.close').catch(() => {});
      } finally {
        const timer = setTimeout(() => child.kill('SIGTERM'), 20_000);
        const [code] = await exited;
        clearTimeout(timer);
        return { code, log: fs.readFileSync(log, 'utf8') };
      }
    },
    remove() {
      fs.rmSync(dir, { recursive: true, force: true });
    },
  };
}

// The loader's summary lines of a machine log ("key: value" after "summary:").
export function summary(log) {
  const lines = log.slice(log.indexOf('\nsummary:\n') + 1).split('\n');
  return Object.fromEntries(lines.map((line) => line.split(': ')).filter((kv) => kv.length === 2));
}

export async function openPage(context, origin, { before } = {}) {
  const page = await context.newPage();
  if (before)
    await before(page);
  await page.goto(origin + '/', { waitUntil: 'commit', timeout: 60_000 });
  await until(page, () => document.body?.dataset.state === 'ready' || document.body?.dataset.state === 'failed');
  assert.equal(await page.evaluate(() => document.body.dataset.state), 'ready', 'the programmer did not load');
  return page;
}

export async function chooseFile(page, file) {
  const chooser = page.waitForEvent('filechooser');
  await page.click('#IDC_OPEN_FILE');
  await (await chooser).setFiles(file);
}

// Polls `condition` in the page from here: the page's own timers may be a test's
// fake clock, which Playwright's waits would stand still with.
export async function until(page, condition, arg, seconds = 60) {
  for (const end = Date.now() + seconds * 1000; Date.now() < end;) {
    if (await page.evaluate(condition, arg))
      return;
    await new Promise((resolve) => setTimeout(resolve, 20));
  }
  throw new Error(`the page did not get there in ${seconds} s: ${condition}`);
}

// Runs `action` (a click, a file choice), answers each message box with OK and
// returns what they said, once the operation has ended.
export async function messagesOf(page, action) {
  const runs = Number(await page.evaluate(() => document.body.dataset.runs ?? 0));
  await action();
  const messages = [];
  for (;;) {
    await until(page, (before) => document.getElementById('message').open ||
      (Number(document.body.dataset.runs ?? 0) > before && document.body.dataset.state === 'ready'), runs);
    const box = await page.evaluate(() => {
      const dialog = document.getElementById('message');
      return dialog.open ? { text: dialog.querySelector('#message-text').textContent,
        caption: dialog.querySelector('#message-caption').textContent, icon: dialog.dataset.icon,
        role: dialog.getAttribute('role') } : null;
    });
    if (!box)
      return messages;
    messages.push(box);
    await page.click('#message-ok');
  }
}

export const texts = (messages) => messages.map((m) => m.text);
