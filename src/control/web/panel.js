// The browser panel of show control. Everything it shows comes from the control API of the
// origin that served it: the titles and cues by HTTP, the pages, the link and the lock live
// from the /api/events WebSocket. No other address is ever contacted.
'use strict';

const LINES = ['1T', '1B', '2T', '2B'];
const PAGES = 64;
// Every request the panel makes, as an HTTP route and as the WebSocket op of the same
// meaning: the only place where the names live. GO is answered when its cue has ended,
// which its waits may make long: no time limit of our own for it.
const ACTIONS = {
  page: { route: '/api/page', op: 'page' },
  title: { route: '/api/title', op: 'title' },
  cueGo: { route: '/api/cue/go', op: 'cue/go', unbounded: true },
  cueBack: { route: '/api/cue/back', op: 'cue/back' },
  cueGoto: { route: '/api/cue/goto', op: 'cue/goto' },
};
const READS = { status: '/api/status', titles: '/api/titles', cues: '/api/cues', events: '/api/events' };
const TOKEN_KEY = 'tqv7310nx-token';  // sessionStorage: gone when the tab closes
const RESULT_TIMEOUT_MS = 20000;  // longer than the server's own guard on an exchange

const $ = (id) => document.getElementById(id);
const state = {
  socket: null, retryMs: 0, retryTimer: 0, nextId: 1, pending: new Map(),
  cues: null, current: null, next: null, running: false, locked: false,
};

function token() { return sessionStorage.getItem(TOKEN_KEY) || ''; }

function say(text, error = false) {
  const s = $('status');
  s.textContent = text;
  s.classList.toggle('error', error);
}

function chip(id, text, kind) {
  const c = $(id);
  c.textContent = text;
  c.setAttribute('aria-label', text);
  c.className = 'chip' + (kind ? ' ' + kind : '');
}

class HttpError extends Error {
  constructor(status, text) { super(text); this.status = status; }
}

async function http(method, path, body) {
  const headers = {};
  if (token()) headers.Authorization = 'Bearer ' + token();
  if (body !== undefined) headers['Content-Type'] = 'application/json';
  const r = await fetch(path, {
    method, headers, cache: 'no-store', body: body === undefined ? undefined : JSON.stringify(body),
  });
  let json = {};
  try { json = await r.json(); } catch (e) { json = {}; }
  if (r.status === 401) askToken();
  if (r.status === 423) showLock(true);
  if (!r.ok) throw new HttpError(r.status, json.error || r.statusText || 'HTTP ' + r.status);
  return json;
}

// A request: over the WebSocket when it is open (the answer is its result message), else
// over HTTP. Either way the answer comes once the device answered.
function send(action, body) {
  const a = ACTIONS[action];
  const ws = state.socket;
  if (!ws || ws.readyState !== WebSocket.OPEN) return http('POST', a.route, body);
  const id = 'p' + state.nextId++;
  return new Promise((resolve, reject) => {
    const timer = a.unbounded ? 0 : setTimeout(() => {
      state.pending.delete(id);
      reject(new HttpError(504, 'no answer in time'));
    }, RESULT_TIMEOUT_MS);
    state.pending.set(id, { resolve, reject, timer });
    ws.send(JSON.stringify(Object.assign({ op: a.op, id }, body)));
  });
}

async function act(action, body, what) {
  try {
    const r = await send(action, body);
    say(what + ': ' + (r.answer || 'done'));
    return true;
  } catch (e) {
    say(what + ': ' + (e.status ? e.status + ' ' : '') + e.message, true);
    return false;
  }
}

// --- the page buttons --------------------------------------------------------------------

function pageLabel(p) { return String(p).padStart(2, '0'); }

function buildLines() {
  const holder = $('lines');
  const select = $('title-line');
  for (const line of LINES) {
    select.add(new Option(line, line));
    const box = document.createElement('details');
    box.className = 'line';
    box.open = true;
    box.id = 'line-' + line;
    const summary = document.createElement('summary');
    summary.textContent = 'Line ' + line;
    const current = document.createElement('span');
    current.className = 'current-page';
    current.id = 'current-' + line;
    summary.append(' — page ', current);
    current.textContent = '?';
    const grid = document.createElement('div');
    grid.className = 'pages';
    grid.setAttribute('role', 'group');
    grid.setAttribute('aria-label', 'Pages of line ' + line);
    grid.append(pageButton(line, 'AUTO'));
    for (let p = 1; p <= PAGES; p++) grid.append(pageButton(line, p));
    box.append(summary, grid);
    holder.append(box);
  }
}

function pageButton(line, page) {
  const b = document.createElement('button');
  b.type = 'button';
  b.dataset.line = line;
  b.dataset.page = String(page);
  b.setAttribute('aria-pressed', 'false');
  const num = document.createElement('span');
  num.className = 'num';
  num.textContent = page === 'AUTO' ? 'AUTO' : pageLabel(page);
  const text = document.createElement('span');
  text.className = 'text';
  text.textContent = '';
  if (page === 'AUTO') b.classList.add('auto');
  b.append(num, text);
  labelButton(b, '');
  b.addEventListener('click', () => {
    act('page', { line, page }, 'Line ' + line + ' page ' + (page === 'AUTO' ? 'AUTO' : pageLabel(page)));
  });
  return b;
}

function labelButton(b, text) {
  const page = b.dataset.page;
  b.setAttribute('aria-label', 'Line ' + b.dataset.line + (page === 'AUTO'
    ? ' automatic switching' : ' page ' + page + (text ? ': ' + text : '')));
  if (text) b.title = text; else b.removeAttribute('title');
}

function button(line, page) {
  return document.querySelector('.pages button[data-line="' + line + '"][data-page="' + page + '"]');
}

function setTitle(line, page, text) {
  const b = button(line, Number(page));
  if (!b || typeof text !== 'string') return;
  b.querySelector('.text').textContent = text;
  labelButton(b, text);
}

function setPage(line, page) {
  for (const b of document.querySelectorAll('.pages button[data-line="' + line + '"]'))
    b.setAttribute('aria-pressed', String(page !== null && b.dataset.page === String(page)));
  const c = $('current-' + line);
  if (c) c.textContent = page === null || page === undefined ? '?' : String(page);
}

// --- cues -------------------------------------------------------------------------------

function cueName(c, i) {
  if (typeof c === 'string') return c;
  return (c && (c.name || c.cue)) || 'Cue ' + (i + 1);
}

// A cue as the server names it (a number from 1, a name, or an object with either): its
// index in the list, or -1.
function cueIndex(v) {
  if (v === null || v === undefined || !state.cues) return -1;
  if (typeof v === 'object') v = v.index !== undefined ? v.index : (v.number !== undefined ? v.number : v.name);
  if (typeof v === 'number') return v - 1;
  return state.cues.findIndex((c, i) => cueName(c, i) === v);
}

function renderCues() {
  const list = $('cue-list');
  list.textContent = '';
  const available = Array.isArray(state.cues);
  $('cue-go').disabled = !available || state.running;
  $('cue-back').disabled = !available;
  if (!available) return;
  const cur = cueIndex(state.current);
  const nxt = cueIndex(state.next);
  state.cues.forEach((c, i) => {
    const li = document.createElement('li');
    // A cue of the list is chosen as the next one by pressing it.
    const pick = document.createElement('button');
    pick.type = 'button';
    pick.className = 'pick';
    pick.textContent = cueName(c, i);
    pick.setAttribute('aria-label', 'Make ' + cueName(c, i) + ' the next cue');
    pick.addEventListener('click', () => act('cueGoto', { cue: i + 1 }, 'Next cue'));
    li.append(pick);
    if (i === cur) { li.classList.add('current'); li.setAttribute('aria-current', 'step'); }
    if (i === nxt) li.classList.add('next');
    if (i === cur && state.running) li.classList.add('running');
    list.append(li);
  });
  $('cue-current').textContent = cur >= 0 ? cueName(state.cues[cur], cur) : '–';
  $('cue-next').textContent = nxt >= 0 ? cueName(state.cues[nxt], nxt) : '–';
  $('cue-note').textContent = state.cues.length ? '' : 'The cue list is empty.';
}

async function loadCues() {
  try {
    const r = await http('GET', READS.cues);
    state.cues = Array.isArray(r.cues) ? r.cues : [];
    state.current = r.current === undefined ? null : r.current;
    state.next = r.next === undefined ? null : r.next;
    state.running = !!r.running;
  } catch (e) {
    state.cues = null;
    $('cue-note').textContent = e.status === 404
      ? 'Cue list unavailable: this program does not serve cues (404).'
      : 'Cue list unavailable: ' + (e.status ? e.status + ' ' : '') + e.message;
  }
  renderCues();
}

function go() {
  if (!Array.isArray(state.cues)) { say('GO: the cue list is not available', true); return; }
  if (state.running) { say('GO: a cue is still running', true); return; }
  act('cueGo', {}, 'GO');
}

// --- live state -------------------------------------------------------------------------

function showLink(status) {
  const kind = status === 'ok' ? 'ok' : status ? 'bad' : '';
  chip('link', 'Link: ' + (status || 'unknown'), kind);
}

function showLock(locked) {
  state.locked = locked;
  chip('lock', 'Remote: ' + (locked ? 'locked' : 'allowed'), locked ? 'bad' : 'ok');
}

function apply(changes) {
  let cues = false;
  for (const [path, value] of Object.entries(changes)) {
    const parts = path.split('/');
    if (parts[0] === 'lines' && parts[2] === 'page') setPage(parts[1], value);
    else if (parts[0] === 'lines' && parts[2] === 'titles') setTitle(parts[1], parts[3], value);
    else if (path === 'link/status') showLink(value);
    else if (path === 'remote/locked') showLock(!!value);
    else if (path === 'cue/current') { state.current = value; cues = true; }
    else if (path === 'cue/next') { state.next = value; cues = true; }
    else if (path === 'cue/running') { state.running = !!value; cues = true; }
    else if (path === 'cue/end' && value) {
      const failed = typeof value === 'object' && (value.error || (value.status && value.status !== 200));
      say('Cue ended' + (typeof value === 'object' && (value.error || value.message)
        ? ': ' + (value.error || value.message) : ''), !!failed);
    } else if (path === 'cue/list') { loadCues(); }
  }
  if (cues) renderCues();
}

function message(event) {
  let m;
  try { m = JSON.parse(event.data); } catch (e) { return; }
  if (m.type === 'state') apply(m.state || {});
  else if (m.type === 'change') apply(m.changes || {});
  else if (m.type === 'result') {
    const p = state.pending.get(m.id);
    if (!p) return;
    state.pending.delete(m.id);
    clearTimeout(p.timer);
    if (m.status === 200) p.resolve(m);
    else p.reject(new HttpError(m.status, m.error || 'failed'));
  }
}

function eventsUrl() {
  const scheme = location.protocol === 'https:' ? 'wss:' : 'ws:';
  // A browser cannot set the Authorization header on a WebSocket: the token rides in the
  // query, on this origin only.
  const q = token() ? '?access_token=' + encodeURIComponent(token()) : '';
  return scheme + '//' + location.host + READS.events + q;
}

function connect() {
  clearTimeout(state.retryTimer);
  if (state.socket) return;
  chip('socket', 'Live: connecting', 'warn');
  const ws = new WebSocket(eventsUrl());
  state.socket = ws;
  ws.addEventListener('open', () => {
    state.retryMs = 0;
    chip('socket', 'Live: connected', 'ok');
  });
  ws.addEventListener('message', message);
  ws.addEventListener('close', () => {
    if (state.socket !== ws) return;
    state.socket = null;
    for (const [id, p] of state.pending) {
      clearTimeout(p.timer);
      p.reject(new HttpError(503, 'connection lost before the answer'));
      state.pending.delete(id);
    }
    // 0.25 s, doubling up to 5 s, reset once a connection opens.
    state.retryMs = Math.min(state.retryMs ? state.retryMs * 2 : 250, 5000);
    chip('socket', 'Live: reconnecting in ' + (state.retryMs / 1000) + ' s', 'bad');
    state.retryTimer = setTimeout(start, state.retryMs);
  });
}

// Asks the API first: a 401 brings the token prompt, a 423 the lock; then the titles, the
// cues and the live events. Called again after every lost connection.
async function start() {
  try {
    const s = await http('GET', READS.status);
    showLink(s.link && s.link.status);
    showLock(!!s.locked);
    for (const line of LINES) if (s.pages && line in s.pages) setPage(line, s.pages[line]);
    const t = await http('GET', READS.titles);
    for (const line of LINES)
      for (const [page, text] of Object.entries((t.titles || {})[line] || {})) setTitle(line, page, text);
  } catch (e) {
    if (e.status === 401) return;  // waits for the token
    if (e.status !== 423) say('Status: ' + (e.status ? e.status + ' ' : '') + e.message, true);
    if (!e.status || e.status === 423) {  // server away, or locked: try again later
      state.retryMs = Math.min(state.retryMs ? state.retryMs * 2 : 250, 5000);
      chip('socket', 'Live: retrying in ' + (state.retryMs / 1000) + ' s', 'bad');
      state.retryTimer = setTimeout(start, state.retryMs);
    }
    return;
  }
  await loadCues();
  connect();
}

function askToken() {
  const f = $('token-form');
  if (!f.hidden) return;
  f.hidden = false;
  say('A token is needed', true);
  $('token').focus();
}

function typing(target) {
  return target instanceof HTMLInputElement || target instanceof HTMLTextAreaElement ||
    target instanceof HTMLSelectElement || (target && target.isContentEditable);
}

function wire() {
  $('token-form').addEventListener('submit', (e) => {
    e.preventDefault();
    sessionStorage.setItem(TOKEN_KEY, $('token').value);
    $('token').value = '';
    $('token-form').hidden = true;
    if (state.socket) state.socket.close();
    start();
  });
  $('title-form').addEventListener('submit', (e) => {
    e.preventDefault();
    const line = $('title-line').value;
    const page = Number($('title-page').value);
    act('title', { line, page, text: $('title-text').value, memory: $('title-memory').checked },
      'Title ' + line + ' ' + pageLabel(page));
  });
  $('cue-go').addEventListener('click', go);
  $('cue-back').addEventListener('click', () => act('cueBack', {}, 'BACK'));
  document.addEventListener('keydown', (e) => {
    if (e.key !== ' ' || e.repeat || e.ctrlKey || e.altKey || e.metaKey || typing(e.target)) return;
    e.preventDefault();  // Space is GO, also on a focused button
    go();
  });
}

buildLines();
wire();
start();
