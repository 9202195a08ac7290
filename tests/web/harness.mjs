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
  for (const [signal, code] of [['SIGINT', 130], ['SIGTERM', 143]]) {
    process.once(signal, () => {
      remove();
      process.exit(code);
    });
  }
  return remove;
}

// As root, headless, and quiet on a closed network. The network service runs in
// the browser's process: one process fewer that Chromium forks once its threads
// are busy (see launch()).
const CHROMIUM_FLAGS = ['--headless=new', '--no-sandbox', '--disable-gpu', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync', '--disable-quic',
  '--enable-features=NetworkServiceInProcess2', '--remote-debugging-port=0'];

// Seconds Chromium gets to start on the machine and show the page ready.
const START_SECONDS = 15;
const START_ATTEMPTS = 3;

class StartTimeout extends Error {}

const delay = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

async function devToolsPort(profile, child) {
  const file = path.join(profile, 'DevToolsActivePort');
  for (const end = Date.now() + START_SECONDS * 1000; Date.now() < end; await delay(50)) {
    if (child.exitCode !== null || child.signalCode !== null)
      throw new Error(`the emulated machine ended (${child.exitCode ?? child.signalCode}) before Chromium was up`);
    const port = fs.existsSync(file) ? fs.readFileSync(file, 'utf8').split('\n')[0] : '';
    if (port)
      return port;
  }
  throw new StartTimeout(`Chromium did not open its DevTools port in ${START_SECONDS} s`);
}

// Chromium as the command of an emulated machine with the given options, or run
// by the shell `script` (as "$@"), which may do more in the same machine (the
// benchmark's native runs). The machine leads a process group of its own, so
// that nothing of a Chromium that cannot be closed outlives it.
async function startMachine(machineOptions, script) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'zelv4-web-'));
  const log = path.join(dir, 'machine.log');
  const stderr = path.join(dir, 'stderr.txt');
  const profile = path.join(dir, 'profile');
  const browserCommand = [CHROMIUM, ...CHROMIUM_FLAGS, `--user-data-dir=${profile}`, 'about:blank'];
  const command = script ? ['sh', '-c', script, 'sh', ...browserCommand] : browserCommand;
  const child = spawn(MACHINE, ['--quiet', '--timeout', '300', '--log', log, ...machineOptions, '--', ...command],
    { stdio: ['ignore', 'ignore', fs.openSync(stderr, 'w')], detached: true });
  const exited = once(child, 'exit');
  const killGroup = () => {
    try {
      process.kill(-child.pid, 'SIGKILL');
    } catch {
      // Nothing of it is left.
    }
  };
  const machine = {
    dir,
    browser: null,
    context: null,
    // Closes Chromium (or kills what does not close) and returns the machine's
    // log and what Chromium and the machine said.
    async stop() {
      if (machine.browser) {
        const close = machine.browser.newBrowserCDPSession().then((session) => session.send('Browser.close'));
        await Promise.race([close.catch(() => {}), delay(10_000)]);
        await machine.browser.close().catch(() => {});
      }
      const timer = setTimeout(killGroup, machine.browser ? 20_000 : 0);
      await exited;
      clearTimeout(timer);
      killGroup();
      return { log: fs.existsSync(log) ? fs.readFileSync(log, 'utf8') : '', stderr: fs.readFileSync(stderr, 'utf8') };
    },
    remove() {
      fs.rmSync(dir, { recursive: true, force: true });
    },
  };
  try {
    const port = await devToolsPort(profile, child);
    machine.browser = await chromium.connectOverCDP(`http://127.0.0.1:${port}`, { timeout: START_SECONDS * 1000 })
      .catch((error) => { throw error.name === 'TimeoutError' ? new StartTimeout(error.message) : error; });
    machine.context = machine.browser.contexts()[0];
  } catch (error) {
    await machine.stop();
    machine.remove();
    throw error;
  }
  return machine;
}

// A new page of the machine's Chromium with the programmer loaded and ready.
// `before` may set the page up first (a fake clock, an init script).
export async function openPage(machine, origin, { before } = {}) {
  const page = await machine.context.newPage();
  if (before)
    await before(page);
  try {
    await page.goto(origin + '/', { waitUntil: 'commit', timeout: START_SECONDS * 1000 });
    await until(page, () => document.body?.dataset.state === 'ready' || document.body?.dataset.state === 'failed',
      undefined, START_SECONDS);
  } catch (error) {
    throw error.name === 'TimeoutError' ? new StartTimeout(error.message) : error;
  }
  assert.equal(await page.evaluate(() => document.body.dataset.state), 'ready', 'the programmer did not load');
  return page;
}

// The machine with Chromium on it and the page ready. Chromium sometimes hangs
// as it starts there: umockdev's preload library takes a lock in open(), and a
// child that Chromium forks while another thread holds it waits for it for ever.
// Such a start is thrown away and tried again; anything else is a failure.
export async function launch(machineOptions, origin, { script = null, pageSetup } = {}) {
  for (let attempt = 1; ; ++attempt) {
    let machine = null;
    try {
      machine = await startMachine(machineOptions, script);
      const page = await openPage(machine, origin, { before: pageSetup });
      return { machine, page };
    } catch (error) {
      if (machine) {
        await machine.stop();
        machine.remove();
      }
      if (!(error instanceof StartTimeout) || attempt === START_ATTEMPTS)
        throw error;
      console.error(`Chromium did not come up on the emulated machine (${error.message.split('\n')[0]}); again`);
    }
  }
}

// The loader's summary lines of a machine log ("key: value" after "summary:").
export function summary(log) {
  const lines = log.slice(log.indexOf('\nsummary:\n') + 1).split('\n');
  return Object.fromEntries(lines.map((line) => line.split(': ')).filter((kv) => kv.length === 2));
}

export async function chooseFile(page, file) {
  const chooser = page.waitForEvent('filechooser');
  await page.click('#IDC_OPEN_FILE');
  await (await chooser).setFiles(file);
}

// Polls `condition` in the page from here: the page's own timers may be a test's
// fake clock, which Playwright's waits would stand still with.
export async function until(page, condition, arg, seconds = 60) {
  for (const end = Date.now() + seconds * 1000; Date.now() < end; await delay(20)) {
    if (await page.evaluate(condition, arg))
      return;
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
