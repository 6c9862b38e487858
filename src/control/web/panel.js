// The browser panel of show control. Everything it shows comes from the control API of the
// origin that served it: the titles and cues by HTTP, the devices, their pages, the link and
// the lock live from the /api/events WebSocket. No other address is ever contacted.
'use strict';

const LINES = ['1T', '1B', '2T', '2B'];
const PAGES = 64;
const TITLE_MAX = 14;
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
const READS = {
  picture: '/api/picture', status: '/api/status', titles: '/api/titles', cues: '/api/cues', devices: '/api/devices', events: '/api/events',
};
const TOKEN_KEY = 'tqv7310nx-token';  // sessionStorage: gone when the tab closes
const RESULT_TIMEOUT_MS = 20000;  // longer than the server's own guard on an exchange
const DONE_SHOWN_MS = 2000;
const FAILED_SHOWN_MS = 10000;

// --- texts: one table per language -------------------------------------------------------

const TEXTS = {
  ja: {
    pageTitle: 'TQV-7310NX パネル',
    onAir: 'オンエア', colLine: 'ライン', colPage: 'ページ', colTitle: 'タイトル', colShown: '表示',
    colStartup: '起動時', colDevice: '機器',
    shownOn: '表示', shownOff: '非表示', none: '–',
    fleet: '機器 {up}/{all}', fleetLabel: '接続中の機器 {up}/{all} 台',
    devices: '機器', all: 'すべて', several: '複数選択',
    devUp: '接続', devConnecting: '接続試行中', devAbsent: '切断',
    devLabel: '機器 {n}、{address}、{state}',
    whoOne: '機器 {n} · {address} · {state}', whoMany: '{count} 台 · 接続 {up}/{count}', whoNone: '機器が選ばれていません',
    unknown: '状態不明', differs: '他と異なる',
    staleDevices: '状態不明 (確認されるまで): 機器 {list}', staleSocket: 'ライブ更新が切れました: 確認されるまで状態不明',
    lockUnknown: 'リモート: …', lockAllowed: 'リモート: 可', lockLocked: 'リモート: ロック中',
    liveConnecting: 'ライブ: 接続試行中', liveOpen: 'ライブ: 接続', liveRetry: 'ライブ: {s} 秒後に再接続',
    liveRetryStatus: 'ライブ: {s} 秒後に再試行',
    tokenTitle: 'アクセストークン', tokenText: 'この制御ポートにはトークンが必要です。このタブを閉じるまで保持します。',
    tokenLabel: 'トークン', tokenUse: 'トークンを使う', tokenNeeded: 'トークンが必要です',
    tokenWrong: 'トークンが違います。確かめてもう一度入力してください',
    cues: 'キューリスト', goLabel: 'GO: 次のキューを実行', backLabel: 'BACK: 一つ前のキューを次にする',
    current: '現在', next: '次', cuesLoading: 'キューリストを読み込み中…', cuesEmpty: 'キューリストは空です。',
    cues404: 'キューリストは使えません: このプログラムはキューを扱いません (404)。',
    cuesFailed: 'キューリストは使えません: {e}', pickCue: '{name} を次のキューにする', cueN: 'キュー {n}',
    running: '実行中', step: 'ステップ {n}/{total}', waitLeft: '待機 残り {s} 秒',
    cueFailedMark: '失敗', cueFailed: 'キュー「{name}」失敗 ({outcome})', cueDone: 'キュー「{name}」完了',
    cueOld: 'このページを開く前: ', cueRefused: 'GO は拒否されました ({source}): {reason}',
    goNoList: 'GO: キューリストがありません', goRunning: 'GO: キューの実行中です',
    titleForm: 'タイトル', titleLine: 'ライン', titlePage: 'ページ', titleText: '文字', titleMemory: 'メモリに記憶',
    titleSend: 'タイトル送信', titleCount: '{n}/14 文字', titleConverted: '半角を全角にしました。',
    titleBad: '送れない文字: {chars}', titleLong: '14 文字までです (いま {n} 文字)。',
    linePages: 'ライン {line} のページ', lineHead: 'ライン {line} — ページ {page}',
    btnPage: 'ライン {line} ページ {page}', btnPageTitle: 'ライン {line} ページ {page}: {text}',
    btnAuto: 'ライン {line} 自動切替',
    pending: '送信中…', queued: '待機中', done: '完了', failed: '失敗',
    actPage: 'ライン {line} ページ {page}', actTitle: 'タイトル {line} {page}', actGoto: '次のキュー',
    sayPending: '{what}: 送信中…', sayQueued: '{what}: 実行中のコマンドの後に待機中',
    deviceError: '機器 {n}: {e}', serverAway: 'サーバーが応答しません。再試行します',
    statusError: '状態: {e}', connLost: '応答の前に接続が切れました', noAnswer: '時間内に応答がありません',
    noneChosen: '機器が選ばれていません',
    picture: '画面', pictureNote: '重ねた文字の配置と内容です。機器のフォントではありません。',
    pictureMany: '機器を一つ選ぶと、その画面を表示します。', pictureUnknown: '機器 {n}: 状態不明',
    caption: 'ch.{c}  上 {top}  下 {bottom}', captionOff: '{page} 非表示',
    pictureLabel: 'ch.{c} の画面: 上 {top}、下 {bottom}', pictureLine: '{page} 「{text}」', pictureEmpty: '{page} なし',
    keys: 'キー: どの操作部品にもフォーカスがないとき、スペースで GO。フォーカスのあるボタンはスペースか Enter で押します。Esc でフォーカスを外します。',
  },
  en: {
    pageTitle: 'TQV-7310NX panel',
    onAir: 'On air', colLine: 'Line', colPage: 'Page', colTitle: 'Title', colShown: 'Shown',
    colStartup: 'Start-up', colDevice: 'Device',
    shownOn: 'on', shownOff: 'off', none: '–',
    fleet: 'Devices {up}/{all}', fleetLabel: '{up} of {all} devices connected',
    devices: 'Devices', all: 'All', several: 'Several',
    devUp: 'up', devConnecting: 'connecting', devAbsent: 'absent',
    devLabel: 'Device {n}, {address}, {state}',
    whoOne: 'Device {n} · {address} · {state}', whoMany: '{count} devices · {up}/{count} up', whoNone: 'No device chosen',
    unknown: 'state unknown', differs: 'differs',
    staleDevices: 'State unknown until confirmed: device {list}', staleSocket: 'Live updates lost: state unknown until confirmed',
    lockUnknown: 'Remote: …', lockAllowed: 'Remote: allowed', lockLocked: 'Remote: locked',
    liveConnecting: 'Live: connecting', liveOpen: 'Live: connected', liveRetry: 'Live: reconnecting in {s} s',
    liveRetryStatus: 'Live: retrying in {s} s',
    tokenTitle: 'Access token', tokenText: 'This control port asks for a token. It is kept for this browser tab only.',
    tokenLabel: 'Token', tokenUse: 'Use token', tokenNeeded: 'A token is needed',
    tokenWrong: 'That token was refused: check it and enter it again',
    cues: 'Cue list', goLabel: 'GO: fire the next cue', backLabel: 'BACK: make the cue before the next one next',
    current: 'Current', next: 'Next', cuesLoading: 'Loading the cue list…', cuesEmpty: 'The cue list is empty.',
    cues404: 'Cue list unavailable: this program does not serve cues (404).',
    cuesFailed: 'Cue list unavailable: {e}', pickCue: 'Make {name} the next cue', cueN: 'Cue {n}',
    running: 'running', step: 'Step {n} of {total}', waitLeft: 'waiting, {s} s left',
    cueFailedMark: 'failed', cueFailed: 'Cue "{name}" failed ({outcome})', cueDone: 'Cue "{name}" completed',
    cueOld: 'Before this page opened: ', cueRefused: 'GO refused ({source}): {reason}',
    goNoList: 'GO: the cue list is not available', goRunning: 'GO: a cue is still running',
    titleForm: 'Title', titleLine: 'Line', titlePage: 'Page', titleText: 'Text', titleMemory: 'Store in memory',
    titleSend: 'Send title', titleCount: '{n}/14 characters', titleConverted: 'Half-width characters were made full-width.',
    titleBad: 'Cannot be sent: {chars}', titleLong: 'At most 14 characters ({n} now).',
    linePages: 'Pages of line {line}', lineHead: 'Line {line} — page {page}',
    btnPage: 'Line {line} page {page}', btnPageTitle: 'Line {line} page {page}: {text}',
    btnAuto: 'Line {line} automatic switching',
    pending: 'sending…', queued: 'queued', done: 'done', failed: 'failed',
    actPage: 'Line {line} page {page}', actTitle: 'Title {line} {page}', actGoto: 'Next cue',
    sayPending: '{what}: sending…', sayQueued: '{what}: queued behind a command in flight',
    deviceError: 'device {n}: {e}', serverAway: 'The server does not answer; trying again',
    statusError: 'Status: {e}', connLost: 'connection lost before the answer', noAnswer: 'no answer in time',
    noneChosen: 'No device chosen',
    picture: 'Picture', pictureNote: 'Layout and content of the titles over the video, not the device\'s own font.',
    pictureMany: 'Choose one device to see its picture.', pictureUnknown: 'Device {n}: state unknown',
    caption: 'ch.{c}  Top {top}  Bottom {bottom}', captionOff: '{page} OFF',
    pictureLabel: 'ch.{c} picture: top {top}, bottom {bottom}', pictureLine: '{page} "{text}"', pictureEmpty: '{page} nothing',
    keys: 'Keys: Space fires GO when no control has the focus; Space or Enter presses the focused button; Esc leaves it.',
  },
};

// Japanese unless the browser puts English before Japanese among its languages.
function pickLanguage(list) {
  for (const l of list) {
    const base = String(l).toLowerCase().split('-')[0];
    if (base === 'en' || base === 'ja') return base;
  }
  return 'ja';
}
const LANG = pickLanguage(navigator.languages && navigator.languages.length ? navigator.languages : [navigator.language || '']);
function t(key, args) {
  let s = TEXTS[LANG][key];
  if (s === undefined) s = TEXTS.ja[key] || key;
  return args ? s.replace(/\{(\w+)\}/g, (m, k) => (args[k] === undefined ? m : String(args[k]))) : s;
}

const $ = (id) => document.getElementById(id);
const el = (tag, cls, text) => {
  const e = document.createElement(tag);
  if (cls) e.className = cls;
  if (text !== undefined) e.textContent = text;
  return e;
};
// Writes only what differs: most events leave most of the page as it is.
function setText(e, text) { if (e.textContent !== text) e.textContent = text; }
function setAttr(e, name, value) { if (e.getAttribute(name) !== value) e.setAttribute(name, value); }

const state = {
  socket: null, socketOpen: false, retryMs: 0, retryTimer: 0, nextId: 1, pending: new Map(),
  cues: null, current: null, next: null, running: null, locked: false,
  outcome: null, failedCue: 0, countdown: 0, countdownEnd: 0,
  linkTarget: '', linkStatus: null, serverRole: false, docTitles: {}, tokenTried: false, serverAway: false,
};

function token() { return sessionStorage.getItem(TOKEN_KEY) || ''; }

function say(text, error = false) {
  const s = $('status');
  setText(s, text);
  s.title = text;
  s.classList.toggle('error', error);
}

function chip(id, text, kind, label) {
  const c = $(id);
  setText(c, text);
  setAttr(c, 'aria-label', label || text);
  c.className = 'chip' + (kind ? ' ' + kind : '');
}

// A refusal or failure; `json` is the answer's body, with one result per device for several.
class HttpError extends Error {
  constructor(status, text, json) { super(text); this.status = status; this.json = json || null; }
}

async function http(method, path, body) {
  const headers = {};
  if (token()) headers.Authorization = 'Bearer ' + token();
  if (body !== undefined) headers['Content-Type'] = 'application/json';
  let r;
  try {
    r = await fetch(path, {
      method, headers, cache: 'no-store', body: body === undefined ? undefined : JSON.stringify(body),
    });
  } catch (e) {
    throw new HttpError(0, t('serverAway'));  // the browser's own words differ by browser
  }
  let json = {};
  try { json = await r.json(); } catch (e) { json = {}; }
  if (r.status === 401) askToken();
  if (r.status === 423) showLock(true);
  if (!r.ok) throw new HttpError(r.status, json.error || r.statusText || 'HTTP ' + r.status, json);
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
      reject(new HttpError(504, t('noAnswer')));
    }, RESULT_TIMEOUT_MS);
    state.pending.set(id, { resolve, reject, timer });
    ws.send(JSON.stringify(Object.assign({ op: a.op, id }, body)));
  });
}

// The words of a failed request: with several devices, which of them failed and why.
function failureText(e) {
  const results = e.json && Array.isArray(e.json.results) ? e.json.results : null;
  if (results) {
    const bad = results.filter((r) => r.status !== 200)
      .map((r) => t('deviceError', { n: r.device, e: r.status + ' ' + (r.error || '') }));
    if (bad.length) return bad.join('; ');
  }
  return (e.status ? e.status + ' ' : '') + e.message;
}

// --- devices and the choice ----------------------------------------------------------------

// One device as the state tells it: numbered as the server numbers it; in the client role
// the link's one device is number 1 and its state is the plain lines/… paths.
const devices = new Map();
const choice = { all: false, set: new Set(), several: false, made: false, due: false };
// Per line, how many chosen devices have each page on air: the pressed page buttons and the
// devices that differ follow from it without looking at every device.
const counts = Object.fromEntries(LINES.map((l) => [l, new Map()]));
const majority = Object.fromEntries(LINES.map((l) => [l, null]));

function device(n) {
  let d = devices.get(n);
  if (d) return d;
  d = {
    n, address: '', port: null, up: false, connecting: false, stale: true, chosen: false,
    page: {}, startup: {}, titles: {}, display: {}, button: null, row: null, cells: null,
  };
  devices.set(n, d);
  addDeviceButton(d);
  if (!choice.made && devices.size === 1) choice.set.add(n);
  // A state message may bring 96 new devices: what follows the choice is drawn once after it.
  if ((choice.all || choice.set.has(n)) && !choice.due) {
    choice.due = true;
    queueMicrotask(() => { if (choice.due) choiceChanged(); });
  }
  return d;
}

function valueKey(v) { return v === null || v === undefined ? '' : String(v); }
function pageText(v) {
  if (v === null || v === undefined) return t('none');
  return v === 'AUTO' ? 'AUTO' : String(v).padStart(2, '0');
}
function titleKey(line, page) { return line + '/' + String(page).padStart(2, '0'); }
function deviceState(d) {
  return d.up ? t('devUp') : d.connecting ? t('devConnecting') : t('devAbsent');
}
function deviceAddress(d) {
  const a = d.address || '?';
  return d.port ? a + ':' + d.port : a;
}

function chosen() {
  const out = [];
  for (const d of devices.values()) if (d.chosen) out.push(d);
  return out.sort((a, b) => a.n - b.n);
}

// What a request says about the devices: one number, a list, or "all".
function deviceArg() {
  if (choice.all) return 'all';
  const list = chosen().map((d) => d.n);
  return list.length === 1 ? list[0] : list;
}

function addDeviceButton(d) {
  const b = el('button', 'dev');
  b.type = 'button';
  b.dataset.device = String(d.n);
  b.append(el('span', 'n', String(d.n)), el('span', 'addr'), el('span', 'st'));
  b.addEventListener('click', (e) => choose(d.n, e.ctrlKey || e.metaKey || e.shiftKey));
  const list = $('device-list');
  const after = [...list.children].find((c) => Number(c.dataset.device) > d.n);
  list.insertBefore(b, after || null);
  d.button = b;
  showDevice(d);
}

function showDevice(d) {
  const b = d.button;
  const st = deviceState(d);
  setText(b.querySelector('.addr'), deviceAddress(d));
  setText(b.querySelector('.st'), st);
  b.dataset.state = d.up ? 'up' : d.connecting ? 'connecting' : 'absent';
  setAttr(b, 'aria-label', t('devLabel', { n: d.n, address: deviceAddress(d), state: st }));
  setAttr(b, 'aria-pressed', String(d.chosen));
  if (d.row) {
    const head = d.row.firstChild;
    setText(head.querySelector('.addr'), deviceAddress(d));
  }
  showFleet();
}

function showFleet() {
  let up = 0;
  for (const d of devices.values()) up += d.up ? 1 : 0;
  const all = devices.size;
  chip('fleet', t('fleet', { up, all }), all && up === all ? 'ok' : up ? 'warn' : 'bad', t('fleetLabel', { up, all }));
  showWho();
}

function choose(n, adding) {
  const several = adding || choice.several;
  if (choice.all) {
    choice.all = false;
    choice.set = several ? new Set([...devices.keys()].filter((k) => k !== n)) : new Set([n]);
  } else if (several) {
    if (choice.set.has(n) && choice.set.size > 1) choice.set.delete(n); else choice.set.add(n);
  } else {
    choice.set = new Set([n]);
  }
  choice.made = true;
  choiceChanged();
}

function chooseAll() {
  choice.all = !choice.all;
  if (!choice.all) choice.set = new Set(chosen().slice(0, 1).map((d) => d.n));
  choice.made = true;
  choiceChanged();
}

// Everything that follows the choice is drawn again: the tally, the matrix, the pressed
// pages. Not per event: only when the operator chooses or a device first appears.
function choiceChanged() {
  choice.due = false;
  for (const d of devices.values()) {
    d.chosen = choice.all || choice.set.has(d.n);
    if (d.button) setAttr(d.button, 'aria-pressed', String(d.chosen));
  }
  setAttr($('device-all'), 'aria-pressed', String(choice.all));
  setAttr($('device-several'), 'aria-pressed', String(choice.several));
  const list = chosen();
  for (const line of LINES) {
    counts[line].clear();
    for (const d of list) bump(line, d.page[line], 1);
    majority[line] = null;
  }
  const many = list.length > 1;
  $('tally-one').hidden = many;
  $('tally-many').hidden = !many;
  buildMatrix(many ? list : []);
  for (const line of LINES) {
    if (many) refreshColumn(line);
    else showOneLine(line);
    for (const b of gridButtons(line)) showPressed(b, list.length);
    showLineHead(line);
  }
  for (const b of document.querySelectorAll('.pages button')) showButtonTitle(b);
  showStale();
  showWho();
  pictureDue();
}

function bump(line, value, by) {
  const k = valueKey(value);
  const c = (counts[line].get(k) || 0) + by;
  if (c > 0) counts[line].set(k, c); else counts[line].delete(k);
}

// --- the tally -----------------------------------------------------------------------------

const oneRows = {};
function buildTally() {
  const body = $('tally-one-body');
  for (const line of LINES) {
    const tr = el('tr');
    tr.dataset.line = line;
    const th = el('th', 'line', line);
    th.scope = 'row';
    const cells = { page: el('td', 'page'), title: el('td', 'title'), shown: el('td', 'shown'), startup: el('td', 'startup') };
    tr.append(th, cells.page, cells.title, cells.shown, cells.startup);
    body.append(tr);
    oneRows[line] = cells;
  }
  const head = $('matrix').tHead.rows[0];
  for (const line of LINES) {
    const th = el('th', 'line', line);
    th.scope = 'col';
    head.append(th);
  }
}

function onlyChosen() {
  const list = chosen();
  return list.length === 1 ? list[0] : null;
}

function showOneLine(line) {
  const d = onlyChosen();
  const c = oneRows[line];
  const page = d ? d.page[line] : null;
  setText(c.page, pageText(page));
  c.page.classList.toggle('unknown', page === null || page === undefined);
  const numeric = typeof page === 'number';
  const title = d && numeric ? d.titles[titleKey(line, page)] : undefined;
  setText(c.title, typeof title === 'string' ? title : (numeric ? docTitle(line, page) : ''));
  const shown = d && numeric ? d.display[titleKey(line, page)] : undefined;
  setText(c.shown, shown === undefined || shown === null ? t('none') : shown ? t('shownOn') : t('shownOff'));
  c.shown.classList.toggle('off', shown === false || shown === 0);
  setText(c.startup, pageText(d ? d.startup[line] : null));
}

function buildMatrix(list) {
  const body = $('matrix-body');
  for (const d of devices.values()) { d.row = null; d.cells = null; }
  const rows = [];
  for (const d of list) {
    const tr = el('tr');
    tr.dataset.device = String(d.n);
    const th = el('th', 'dev-head');
    th.scope = 'row';
    th.append(el('span', 'n', String(d.n)), el('span', 'addr', deviceAddress(d)), el('span', 'unk', t('unknown')));
    tr.append(th);
    d.cells = {};
    for (const line of LINES) {
      const td = el('td', 'cell', pageText(d.page[line]));
      td.dataset.line = line;
      tr.append(td);
      d.cells[line] = td;
    }
    tr.classList.toggle('stale', d.stale);
    d.row = tr;
    rows.push(tr);
  }
  body.replaceChildren(...rows);
}

// The page most chosen devices have on a line; a device showing another stands out.
function leading(line) {
  let best = null;
  let most = 0;
  for (const [k, c] of counts[line]) {
    if (k === '') continue;
    if (c > most || (c === most && k === majority[line])) { best = k; most = c; }
  }
  return best;
}

function showCell(d, line) {
  const td = d.cells[line];
  const k = valueKey(d.page[line]);
  setText(td, pageText(d.page[line]));
  const differs = k !== '' && majority[line] !== null && k !== majority[line];
  if (td.classList.contains('differs') !== differs) {
    td.classList.toggle('differs', differs);
    if (differs) td.title = t('differs'); else td.removeAttribute('title');
  }
}

function refreshColumn(line) {
  majority[line] = leading(line);
  for (const d of devices.values()) if (d.cells) showCell(d, line);
}

function showWho() {
  const list = chosen();
  let text;
  if (!list.length) text = t('whoNone');
  else if (list.length === 1) text = t('whoOne', { n: list[0].n, address: deviceAddress(list[0]), state: list[0].stale ? t('unknown') : deviceState(list[0]) });
  else text = t('whoMany', { count: list.length, up: list.filter((d) => d.up).length });
  setText($('tally-who'), text);
}

// A device's values are unknown while its link or the event socket is down: its tally and
// the buttons acting on it dim and say so, until the state is confirmed again.
function showStale() {
  const staleOnes = [];
  for (const d of devices.values()) {
    const stale = !state.socketOpen || !d.up;
    if (stale !== d.stale) {
      d.stale = stale;
      if (d.row) d.row.classList.toggle('stale', stale);
    }
    if (d.chosen && d.stale) staleOnes.push(d.n);
  }
  const one = onlyChosen();
  $('tally').classList.toggle('stale', one ? one.stale : !state.socketOpen);
  const note = $('lines-note');
  const text = !state.socketOpen ? t('staleSocket') : staleOnes.length ? t('staleDevices', { list: staleOnes.join(', ') }) : '';
  setText(note, text);
  note.hidden = !text;
  $('lines').classList.toggle('stale', !!text);
  const shown = picture.n ? devices.get(picture.n) : null;
  $('picture').classList.toggle('stale', !!(shown && shown.stale) || !!picture.error);
  showWho();
}

// --- the page buttons --------------------------------------------------------------------

const grids = {};
function buildLines() {
  const holder = $('lines');
  const select = $('title-line');
  for (const line of LINES) {
    select.add(new Option(line, line));
    const box = el('details', 'line');
    box.open = true;
    box.id = 'line-' + line;
    const summary = el('summary');
    summary.id = 'head-' + line;
    const grid = el('div', 'pages');
    grid.setAttribute('role', 'group');
    grid.setAttribute('aria-label', t('linePages', { line }));
    const buttons = [pageButton(line, 'AUTO')];
    for (let p = 1; p <= PAGES; p++) buttons.push(pageButton(line, p));
    grid.append(...buttons);
    grids[line] = new Map(buttons.map((b) => [b.dataset.page, b]));
    box.append(summary, grid);
    holder.append(box);
  }
}

function gridButtons(line) { return grids[line].values(); }

function pageButton(line, page) {
  const b = el('button');
  b.type = 'button';
  b.dataset.line = line;
  b.dataset.page = String(page);
  b.setAttribute('aria-pressed', 'false');
  b.append(el('span', 'num', page === 'AUTO' ? 'AUTO' : pageText(page)), el('span', 'text', ''), el('span', 'fb'));
  if (page === 'AUTO') b.classList.add('auto');
  showButtonTitle(b);
  b.addEventListener('click', () => {
    act(b, 'page', { line, page }, t('actPage', { line, page: page === 'AUTO' ? 'AUTO' : pageText(page) }));
  });
  return b;
}

function docTitle(line, page) {
  const v = (state.docTitles[line] || {})[String(page).padStart(2, '0')];
  return typeof v === 'string' ? v : '';
}

// A page button shows the title of the first chosen device, as it confirmed it, else the
// document's.
function titleFor(line, page) {
  const d = chosen()[0];
  const v = d ? d.titles[titleKey(line, page)] : undefined;
  return typeof v === 'string' ? v : docTitle(line, page);
}

function showButtonTitle(b) {
  const line = b.dataset.line;
  const page = b.dataset.page;
  if (page === 'AUTO') { setAttr(b, 'aria-label', t('btnAuto', { line })); return; }
  const text = titleFor(line, Number(page));
  setText(b.querySelector('.text'), text);
  setAttr(b, 'aria-label', text ? t('btnPageTitle', { line, page, text }) : t('btnPage', { line, page }));
  if (text) b.title = text; else b.removeAttribute('title');
}

// Pressed when every chosen device has the page on air, mixed when some have.
function showPressed(b, total) {
  const c = counts[b.dataset.line].get(b.dataset.page) || 0;
  setAttr(b, 'aria-pressed', c && c === total ? 'true' : c ? 'mixed' : 'false');
}

function showLineHead(line) {
  const d = onlyChosen();
  const k = majority[line] !== null && !onlyChosen() ? majority[line] : d ? d.page[line] : null;
  setText($('head-' + line), t('lineHead', { line, page: pageText(k === '' ? null : k) }));
}

// --- one device's values, as events bring them ------------------------------------------

function setPage(d, line, value) {
  if (value === undefined) value = null;
  const old = d.page[line];
  if (old === value) return;
  d.page[line] = value;
  if (!d.chosen) return;
  bump(line, old, -1);
  bump(line, value, 1);
  const total = choice.all ? devices.size : chosen().length;
  for (const k of [valueKey(old), valueKey(value)]) {
    const b = grids[line].get(k);
    if (b) showPressed(b, total);
  }
  if (d.cells) {
    const before = majority[line];
    const now = leading(line);
    if (now !== before) refreshColumn(line); else showCell(d, line);
  } else {
    showOneLine(line);
  }
  showLineHead(line);
}

function setDeviceValue(d, rest, value) {
  if (rest[0] === 'up') {
    d.up = !!value;
    d.connecting = false;
    showDevice(d);
    showStale();
    if (d.n === picture.n) pictureDue();
  } else if (rest[0] === 'levels') {
    // The brightness of the picture's characters and edges.
    if (d.n === picture.n) pictureDue();
  } else if (rest[0] === 'address' || rest[0] === 'port') {
    // An address may carry its port ("host:port"), or the port come as a path of its own.
    d[rest[0]] = value;
    showDevice(d);
  } else if (rest[0] === 'lines' && LINES.includes(rest[1])) {
    const line = rest[1];
    if (d.n === picture.n) pictureDue();
    if (rest[2] === 'page') setPage(d, line, value);
    else if (rest[2] === 'startup') {
      d.startup[line] = value;
      if (d.chosen && !d.cells) showOneLine(line);
    } else if (rest[2] === 'titles' || rest[2] === 'display') {
      const key = titleKey(line, rest[3]);
      (rest[2] === 'titles' ? d.titles : d.display)[key] = value;
      if (!d.chosen) return;
      if (!d.cells && titleKey(line, d.page[line]) === key) showOneLine(line);
      if (rest[2] === 'titles' && chosen()[0] === d) {
        const b = grids[line].get(String(Number(rest[3])));
        if (b) showButtonTitle(b);
      }
    }
  }
}

// --- feedback on a press -------------------------------------------------------------------

// Requests of this page in the order they went; one waits (queued) while an earlier one is
// still open on any of its devices, as the server carries them out one at a time per device.
const presses = [];

function mark(b, kind, text) {
  if (!b) return;
  clearTimeout(b.fbTimer);
  if (kind) b.dataset.state = kind; else delete b.dataset.state;
  b.setAttribute('aria-busy', String(kind === 'pending' || kind === 'queued'));
  const fb = b.querySelector('.fb');
  if (fb) setText(fb, text || '');
  if (kind === 'done' || kind === 'failed') {
    b.fbTimer = setTimeout(() => mark(b, null), kind === 'done' ? DONE_SHOWN_MS : FAILED_SHOWN_MS);
  }
}

function queueState() {
  const busy = new Set();
  for (const p of presses) {
    const waits = p.devices.some((n) => busy.has(n));
    const kind = waits ? 'queued' : 'pending';
    if (p.kind !== kind) {
      p.kind = kind;
      mark(p.button, kind, t(kind));
      say(t(kind === 'queued' ? 'sayQueued' : 'sayPending', { what: p.what }));
    }
    for (const n of p.devices) busy.add(n);
  }
}

async function act(button, action, body, what, cue = false) {
  let names = [];
  if (!cue) {
    if (!choice.all && choice.set.size === 0) { say(t('noneChosen'), true); return false; }
    body = Object.assign({}, body, { device: deviceArg() });
    names = choice.all ? [...devices.keys()] : chosen().map((d) => d.n);
  } else {
    names = ['cue'];
  }
  const press = { button, devices: names, kind: '', what };
  presses.push(press);
  queueState();
  try {
    const r = await send(action, body);
    const answer = r.answer || (Array.isArray(r.results) ? r.results.map((x) => x.answer).filter(Boolean)[0] : '') || t('done');
    end(press);
    mark(button, 'done', t('done'));
    say(what + ': ' + answer);
    return r;
  } catch (e) {
    end(press);
    const text = failureText(e);
    mark(button, 'failed', t('failed'));
    if (button) button.dataset.error = text;
    say(what + ': ' + text, true);
    return null;
  }
}

function end(press) {
  presses.splice(presses.indexOf(press), 1);
  queueState();
}

// --- cues -------------------------------------------------------------------------------

function cueName(c, i) {
  if (typeof c === 'string') return c;
  return (c && (c.name || c.cue)) || t('cueN', { n: i + 1 });
}

// A cue as the server names it (a number from 1, a name, or an object with either): its
// index in the list, or -1.
function cueIndex(v) {
  if (v === null || v === undefined || !state.cues) return -1;
  if (typeof v === 'object') v = v.cue !== undefined ? v.cue : (v.index !== undefined ? v.index : (v.number !== undefined ? v.number : v.name));
  if (typeof v === 'number') return v - 1;
  return state.cues.findIndex((c, i) => cueName(c, i) === v);
}

function renderCues() {
  const list = $('cue-list');
  const available = Array.isArray(state.cues);
  $('cue-go').disabled = !available || !!state.running;
  $('cue-back').disabled = !available;
  if (!available) { list.textContent = ''; return; }
  const cur = cueIndex(state.current);
  const nxt = cueIndex(state.next);
  const run = cueIndex(state.running);
  const failed = state.failedCue - 1;
  const items = state.cues.map((c, i) => {
    const li = el('li');
    // A cue of the list is chosen as the next one by pressing it.
    const pick = el('button', 'pick');
    pick.type = 'button';
    pick.append(el('span', 'name', cueName(c, i)));
    if (i === failed) pick.append(el('span', 'badge failed', t('cueFailedMark')));
    if (i === run) pick.append(el('span', 'badge running', t('running')));
    pick.setAttribute('aria-label', t('pickCue', { name: cueName(c, i) }) +
      (i === failed ? ' (' + t('cueFailedMark') + ')' : ''));
    pick.addEventListener('click', () => act(pick, 'cueGoto', { cue: i + 1 }, t('actGoto'), true));
    li.append(pick);
    if (i === cur) { li.classList.add('current'); li.setAttribute('aria-current', 'step'); }
    if (i === nxt) li.classList.add('next');
    if (i === failed) li.classList.add('failed');
    return li;
  });
  list.replaceChildren(...items);
  const nowText = cur >= 0 ? cueName(state.cues[cur], cur) : '–';
  const current = $('cue-current');
  current.replaceChildren(nowText);
  if (cur >= 0 && cur === failed) current.append(' ', el('span', 'badge failed', t('cueFailedMark')));
  setText($('cue-next'), nxt >= 0 ? cueName(state.cues[nxt], nxt) : '–');
  setText($('cue-note'), state.cues.length ? '' : t('cuesEmpty'));
  // The next cue in view inside the list's own scroll box, without moving the page.
  const li = nxt >= 0 ? items[nxt] : null;
  if (li) {
    if (li.offsetTop < list.scrollTop) list.scrollTop = li.offsetTop;
    else if (li.offsetTop + li.offsetHeight > list.scrollTop + list.clientHeight)
      list.scrollTop = li.offsetTop + li.offsetHeight - list.clientHeight;
  }
  showProgress();
}

// "Step n of total" while a cue runs, and the time left while it waits.
function showProgress() {
  const r = state.running;
  clearInterval(state.countdown);
  state.countdown = 0;
  const p = $('cue-progress');
  if (!r || typeof r !== 'object') { setText(p, ''); return; }
  const total = r.total || 0;
  const step = Math.min((r.step || 0) + 1, Math.max(total, 1));
  const cue = state.cues ? state.cues[cueIndex(r)] : null;
  const next = cue && Array.isArray(cue.steps) ? String(cue.steps[r.step || 0] || '') : '';
  const wait = next.match(/^wait\s+(\d+(?:\.\d+)?)/);
  const base = cueName(cue || r, cueIndex(r)) + ' — ' + t('step', { n: step, total });
  if (!wait) { setText(p, base); return; }
  const endAt = performance.now() + Number(wait[1]) * 1000;
  const tick = () => {
    const left = Math.max(0, Math.ceil((endAt - performance.now()) / 1000));
    setText(p, base + ' — ' + t('waitLeft', { s: left }));
    if (!left) { clearInterval(state.countdown); state.countdown = 0; }
  };
  tick();
  state.countdown = setInterval(tick, 250);
}

// How the last cue ended; one that ended before this page opened says so.
function showOutcome(end, old) {
  const box = $('cue-outcome');
  if (!end || typeof end !== 'object') { box.hidden = true; return; }
  const failed = !!end.error || (end.outcome && end.outcome !== 'completed');
  state.failedCue = failed ? Number(end.cue) || 0 : 0;
  const head = (old ? t('cueOld') : '') +
    t(failed ? 'cueFailed' : 'cueDone', { name: end.name || t('cueN', { n: end.cue }), outcome: end.outcome || '' });
  setText($('cue-outcome-head'), head);
  const text = $('cue-outcome-text');
  setText(text, failed ? String(end.error || '') : '');
  text.hidden = !failed;
  text.setAttribute('aria-label', head);
  box.hidden = false;
  box.classList.toggle('failed', failed);
  box.classList.toggle('old', !!old);
  if (!old) say(head, failed);
}

async function loadCues() {
  try {
    const r = await http('GET', READS.cues);
    state.cues = Array.isArray(r.cues) ? r.cues : [];
    state.current = r.current === undefined ? null : r.current;
    state.next = r.next === undefined ? null : r.next;
    if (!r.running) state.running = null;
    else if (!state.running) state.running = { cue: r.running, step: 0, total: 0 };
  } catch (e) {
    state.cues = null;
    setText($('cue-note'), e.status === 404 ? t('cues404') : t('cuesFailed', { e: failureText(e) }));
  }
  renderCues();
}

function go() {
  if (!Array.isArray(state.cues)) { say(t('goNoList'), true); return; }
  if (state.running) { say(t('goRunning'), true); return; }
  act($('cue-go'), 'cueGo', {}, 'GO', true);
}

// --- live state -------------------------------------------------------------------------

function showLock(locked) {
  state.locked = locked;
  chip('lock', t(locked ? 'lockLocked' : 'lockAllowed'), locked ? 'bad' : 'ok');
}

// The link's own device, in the client role: number 1, its address the link's target.
function showLink() {
  if (state.serverRole) return;
  const d = device(1);
  d.address = state.linkTarget || '';
  d.up = state.linkStatus === 'ok';
  d.connecting = state.linkStatus === 'connecting';
  showDevice(d);
  showStale();
}

function apply(changes, fresh) {
  let cues = false;
  for (const [path, value] of Object.entries(changes)) {
    const parts = path.split('/');
    if (parts[0] === 'devices') {
      const n = Number(parts[1]);
      if (!(n >= 1)) continue;
      state.serverRole = true;
      setDeviceValue(device(n), parts.slice(2), value);
    } else if (parts[0] === 'lines' || parts[0] === 'levels') {
      if (!state.serverRole) setDeviceValue(device(1), parts, value);
    } else if (path === 'link/status') { state.linkStatus = value; showLink(); }
    else if (path === 'link/target') { state.linkTarget = value || ''; showLink(); }
    else if (path === 'remote/locked') showLock(!!value);
    // A run (set all items, levels, a read) may change what no other path carries.
    else if (path === 'run/end' && value) pictureDue();
    else if (path === 'cue/current') { state.current = value; cues = true; }
    else if (path === 'cue/next') { state.next = value; cues = true; }
    else if (path === 'cue/running') { state.running = value || null; cues = true; }
    else if (path === 'cue/end') { showOutcome(value, fresh); cues = true; }
    else if (path === 'cue/refused' && value && !fresh) {
      say(t('cueRefused', { source: value.source || '', reason: value.reason || '' }), true);
    } else if (path === 'cue/list') { loadCues(); }
  }
  if (cues) renderCues();
}

// --- the picture of each channel -----------------------------------------------------------

// Drawn from GET /api/picture, the layout the program's on-air window paints: fetched again
// after any change the chosen device confirmed, one request at a time, the last one winning.
const picture = { n: 0, busy: false, again: false, data: null, error: '' };
const VIDEO_TOP = '#1d2b45';
const VIDEO_BOTTOM = '#2f4a3a';
const UNSENDABLE = '#e03030';
const CELL_FONT = '92px "Noto Sans CJK JP", "Noto Sans JP", "IPAGothic", "IPAPGothic", sans-serif';

function pictureDue() {
  const d = onlyChosen();
  const n = d ? d.n : 0;
  if (n !== picture.n) { picture.n = n; picture.data = null; picture.error = ''; }
  if (!n) { drawPictures(); return; }
  if (picture.busy) { picture.again = true; return; }
  loadPicture(n);
}

async function loadPicture(n) {
  picture.busy = true;
  try {
    const p = await http('GET', READS.picture + '?device=' + n);
    if (picture.n === n) { picture.data = p; picture.error = ''; }
  } catch (e) {
    if (picture.n === n) { picture.data = null; picture.error = failureText(e); }
  } finally {
    picture.busy = false;
  }
  if (picture.again) { picture.again = false; pictureDue(); } else drawPictures();
}

const grey = (v) => `rgb(${v},${v},${v})`;

function linePageText(l) {
  return l.unknown ? t('none') : l.page === 'AUTO' ? 'AUTO' : l.page === null || l.page === undefined ? '?' : pageText(l.page);
}

function lineLabel(l) {
  const page = linePageText(l);
  const text = l.cells.map((c) => c.text || (c.kind === 'glyph' ? '〓' : '□')).join('');
  if (l.unknown) return page;
  if (l.page !== 'AUTO' && typeof l.page === 'number' && !l.shown) return t('captionOff', { page });
  return text ? t('pictureLine', { page, text }) : t('pictureEmpty', { page });
}

// One channel into `canvas`: a stand-in for the video, then the edge of every character and
// lit glyph dot, then the characters and dots over it, as the program paints them.
function drawChannel(canvas, p, ch) {
  const ratio = window.devicePixelRatio || 1;
  const w = Math.max(160, Math.round(canvas.clientWidth * ratio));
  const h = Math.round(w * 9 / 16);
  if (canvas.width !== w) canvas.width = w;
  if (canvas.height !== h) canvas.height = h;
  const g = canvas.getContext('2d');
  const W = p ? p.width : 1920;
  const H = p ? p.height : 1080;
  g.setTransform(w / W, 0, 0, h / H, 0, 0);
  const video = g.createLinearGradient(0, 0, 0, H);
  video.addColorStop(0, VIDEO_TOP);
  video.addColorStop(1, VIDEO_BOTTOM);
  g.fillStyle = video;
  g.fillRect(0, 0, W, H);
  if (!ch) return;
  const dot = p.dot;
  const ink = new Path2D();
  const texts = [];
  const refused = [];
  for (const l of ch.lines) {
    for (const c of l.cells) {
      const [x, y, cw, chh] = c.box;
      const rows = c.kind === 'glyph' ? p.glyphs[String(c.glyph)] : null;
      if (rows) {
        rows.forEach((hex, r) => {
          let run = -1;
          for (let col = 0; col <= 48; col++) {
            const lit = col < 48 && (parseInt(hex[col >> 2], 16) >> (3 - (col & 3))) & 1;
            if (lit && run < 0) run = col;
            if (!lit && run >= 0) { ink.rect(x + run * dot, y + r * dot, (col - run) * dot, dot); run = -1; }
          }
        });
      } else if (c.kind === 'glyph' || c.kind === 'unknown_glyph') {
        // Where a glyph goes still shows when its dots are not known: an empty box.
        const inset = 16;
        const bar = 6;
        ink.rect(x + inset, y + inset, cw - 2 * inset, bar);
        ink.rect(x + inset, y + chh - inset - bar, cw - 2 * inset, bar);
        ink.rect(x + inset, y + inset + bar, bar, chh - 2 * inset - 2 * bar);
        ink.rect(x + cw - inset - bar, y + inset + bar, bar, chh - 2 * inset - 2 * bar);
      } else {
        texts.push([c.text || '', x + cw / 2, y + chh / 2]);
        if (c.kind === 'unsendable') refused.push(c.box);
      }
    }
  }
  g.font = CELL_FONT;
  g.textAlign = 'center';
  g.textBaseline = 'middle';
  g.lineJoin = 'round';
  g.lineCap = 'round';
  g.lineWidth = 2 * p.edge;
  g.strokeStyle = grey(p.levels.edge);
  g.stroke(ink);
  for (const [text, x, y] of texts) g.strokeText(text, x, y);
  g.fillStyle = grey(p.levels.text);
  g.fill(ink);
  for (const [text, x, y] of texts) g.fillText(text, x, y);
  g.setLineDash([12, 8]);
  g.lineWidth = 4;
  g.strokeStyle = UNSENDABLE;
  for (const [x, y, bw, bh] of refused) g.strokeRect(x + 2, y + 2, bw - 4, bh - 4);
  g.setLineDash([]);
}

function drawPictures() {
  const one = picture.n !== 0;
  const p = picture.data;
  const d = one ? devices.get(picture.n) : null;
  $('picture-channels').hidden = !one;
  $('picture').classList.toggle('stale', !!(d && d.stale) || !!picture.error);
  setText($('picture-note'), !one ? t('pictureMany') : picture.error ? t('pictureUnknown', { n: picture.n }) + ' (' + picture.error + ')' : t('pictureNote'));
  if (!one) return;
  // A line whose page the device has not confirmed yet is not drawn, as the tally says "–".
  const known = (l) => d && d.page[l.line] !== null && d.page[l.line] !== undefined;
  for (const c of [1, 2]) {
    const given = p ? p.channels.find((x) => x.channel === c) : null;
    const ch = given && { ...given, lines: given.lines.map((l) => (known(l) ? l : { ...l, cells: [], shown: false, unknown: true })) };
    const canvas = $('picture-ch' + c);
    drawChannel(canvas, p, ch);
    const top = ch ? ch.lines[0] : null;
    const bottom = ch ? ch.lines[1] : null;
    const capPage = (l) => (!l ? '?' : (typeof l.page === 'number' && !l.shown && !l.unknown) ? t('captionOff', { page: linePageText(l) }) : linePageText(l));
    setText($('caption-ch' + c), t('caption', { c, top: capPage(top), bottom: capPage(bottom) }));
    setAttr(canvas, 'aria-label', t('pictureLabel', { c, top: top ? lineLabel(top) : '?', bottom: bottom ? lineLabel(bottom) : '?' }));
    // What the picture shows, for tests and for whoever reads the page's data.
    canvas.dataset.pages = ch ? ch.lines.map((l) => linePageText(l) + (l.shown ? '' : '-')).join(' ') : '';
  }
}

function message(event) {
  const t0 = performance.now();
  let m;
  try { m = JSON.parse(event.data); } catch (e) { return; }
  if (m.type === 'state') {
    const s = m.state || {};
    // The server role is known before any of the link's own lines/… are taken as device 1.
    if (Object.keys(s).some((k) => k.startsWith('devices/'))) state.serverRole = true;
    state.socketOpen = true;
    apply(s, true);
    showStale();
    for (const d of devices.values()) showDevice(d);
  } else if (m.type === 'change') apply(m.changes || {}, false);
  else if (m.type === 'result') {
    const p = state.pending.get(m.id);
    if (!p) return;
    state.pending.delete(m.id);
    clearTimeout(p.timer);
    if (m.status === 200) p.resolve(m);
    else p.reject(new HttpError(m.status, m.error || t('failed'), m));
  }
  // What one event costs the page, for the benchmark of the browser tests.
  performance.measure('tqv-event', { start: t0 });
  if (performance.getEntriesByName('tqv-event').length > 2000) performance.clearMeasures('tqv-event');
}

function eventsUrl() {
  const scheme = location.protocol === 'https:' ? 'wss:' : 'ws:';
  // A browser cannot set the Authorization header on a WebSocket: the token rides in the
  // query, on this origin only.
  const q = token() ? '?access_token=' + encodeURIComponent(token()) : '';
  return scheme + '//' + location.host + READS.events + q;
}

function showSocket(kind, text) {
  const c = $('socket');
  c.dataset.state = kind;
  chip('socket', text, kind === 'open' ? 'ok' : kind === 'connecting' ? 'warn' : 'bad');
}

function retry(key) {
  state.retryMs = Math.min(state.retryMs ? state.retryMs * 2 : 250, 5000);
  showSocket('closed', t(key, { s: state.retryMs / 1000 }));
  state.retryTimer = setTimeout(start, state.retryMs);
}

function connect() {
  clearTimeout(state.retryTimer);
  if (state.socket) return;
  showSocket('connecting', t('liveConnecting'));
  const ws = new WebSocket(eventsUrl());
  state.socket = ws;
  ws.addEventListener('open', () => {
    state.retryMs = 0;
    showSocket('open', t('liveOpen'));
  });
  ws.addEventListener('message', message);
  ws.addEventListener('close', () => {
    if (state.socket !== ws) return;
    state.socket = null;
    state.socketOpen = false;
    showStale();
    for (const [id, p] of state.pending) {
      clearTimeout(p.timer);
      p.reject(new HttpError(503, t('connLost')));
      state.pending.delete(id);
    }
    // 0.25 s, doubling up to 5 s, reset once a connection opens.
    retry('liveRetry');
  });
}

// Asks the API first: a 401 brings the token prompt, a 423 the lock; then the devices, the
// titles, the cues and the live events. Called again after every lost connection.
async function start() {
  try {
    const s = await http('GET', READS.status);
    showLock(!!s.locked);
    if (state.tokenTried || state.serverAway) {
      // The token was right, or the server is back: what was said about it is over.
      state.tokenTried = false;
      state.serverAway = false;
      say('');
    }
    try {
      const list = await http('GET', READS.devices);
      for (const d of list.devices || []) {
        if (typeof d.device !== 'number') continue;
        const dev = device(d.device);
        dev.address = d.address || dev.address;
        dev.up = !!d.up;
        if (d.target && !choice.made && !choice.all) { choice.set = new Set([d.device]); choiceChanged(); }
        showDevice(dev);
      }
    } catch (e) {
      if (e.status === 401 || e.status === 423) throw e;
    }
    const titles = await http('GET', READS.titles);
    state.docTitles = titles.titles || {};
    for (const b of document.querySelectorAll('.pages button')) showButtonTitle(b);
    for (const line of LINES) showOneLine(line);
  } catch (e) {
    if (e.status === 401) return;  // waits for the token
    if (e.status !== 423) {
      state.serverAway = !e.status;
      say(t('statusError', { e: failureText(e) }), true);
    }
    if (!e.status || e.status === 423) retry('liveRetryStatus');  // server away, or locked
    return;
  }
  await loadCues();
  connect();
}

function askToken() {
  const f = $('token-form');
  say(t(state.tokenTried ? 'tokenWrong' : 'tokenNeeded'), true);
  if (!f.hidden) return;
  f.hidden = false;
  $('token').focus();
}

// --- titles that can be sent ----------------------------------------------------------------

// Half-width katakana and their full-width forms, in the order of U+FF61..U+FF9F.
const KANA_HALF = '｡｢｣､･ｦｧｨｩｪｫｬｭｮｯｰｱｲｳｴｵｶｷｸｹｺｻｼｽｾｿﾀﾁﾂﾃﾄﾅﾆﾇﾈﾉﾊﾋﾌﾍﾎﾏﾐﾑﾒﾓﾔﾕﾖﾗﾘﾙﾚﾛﾜﾝﾞﾟ';
const KANA_FULL = '。「」、・ヲァィゥェォャュョッーアイウエオカキクケコサシスセソタチツテトナニヌネノハヒフヘホマミムメモヤユヨラリルレロワン゛゜';
const VOICED = 'カキクケコサシスセソタチツテトハヒフヘホウ';

// What the device takes: full-width forms, as the operator types them.
function fullWidth(text) {
  let out = '';
  for (const ch of text) {
    const c = ch.codePointAt(0);
    if (c === 0x20) out += '\u3000';
    else if (c > 0x20 && c < 0x7f) out += String.fromCodePoint(c + 0xfee0);
    else if (c >= 0xff61 && c <= 0xff9f) {
      const full = KANA_FULL[c - 0xff61];
      const last = out.slice(-1);
      // A sound mark joins the kana before it where the pair has a character of its own.
      if (ch === 'ﾞ' && VOICED.includes(last)) out = out.slice(0, -1) + (last === 'ウ' ? 'ヴ' : String.fromCharCode(last.charCodeAt(0) + 1));
      else if (ch === 'ﾟ' && 'ハヒフヘホ'.includes(last)) out = out.slice(0, -1) + String.fromCharCode(last.charCodeAt(0) + 2);
      else out += full;
    } else out += ch;
  }
  return out;
}

// Every character with a two-byte Shift_JIS code (what the device stores), found once by
// decoding each code.
let sendable = null;
function canSend(ch) {
  if (!sendable) {
    sendable = new Set();
    const decoder = new TextDecoder('shift_jis');
    const pair = new Uint8Array(2);
    for (let lead = 0x81; lead <= 0xfc; lead++) {
      if (lead > 0x9f && lead < 0xe0) continue;
      pair[0] = lead;
      for (let trail = 0x40; trail <= 0xfc; trail++) {
        if (trail === 0x7f) continue;
        pair[1] = trail;
        const s = decoder.decode(pair);
        if (s.length === 1 && s !== '\ufffd') sendable.add(s);
      }
    }
  }
  return sendable.has(ch);
}

// The title field as the operator types: converted, counted, and what cannot go said plainly.
function checkTitle(convert) {
  const input = $('title-text');
  let note = '';
  if (convert) {
    const before = input.value;
    const after = fullWidth(before);
    if (after !== before) {
      const caret = fullWidth(before.slice(0, input.selectionStart || 0)).length;
      input.value = after;
      input.setSelectionRange(caret, caret);
      note = t('titleConverted') + ' ';
    }
  }
  const chars = [...input.value];
  const bad = [...new Set(chars.filter((c) => !canSend(c)))];
  const parts = [t('titleCount', { n: chars.length })];
  if (bad.length) parts.push(t('titleBad', { chars: bad.map((c) => (c.trim() ? c : 'U+' + c.codePointAt(0).toString(16).toUpperCase().padStart(4, '0'))).join(' ') }));
  if (chars.length > TITLE_MAX) parts.push(t('titleLong', { n: chars.length }));
  const wrong = bad.length > 0 || chars.length > TITLE_MAX;
  const hint = $('title-hint');
  setText(hint, note + parts.join(' '));
  hint.classList.toggle('error', wrong);
  input.setAttribute('aria-invalid', String(wrong));
  return !wrong;
}

// --- wiring -----------------------------------------------------------------------------

// Space belongs to the focused control (a button presses, a field types); GO only when
// nothing that takes keys has the focus.
function takesKeys(target) {
  return !!(target && target !== document.body && target !== document.documentElement && target.closest &&
    target.closest('button, input, select, textarea, a[href], summary, [tabindex], [contenteditable=""], [contenteditable="true"]'));
}

function translate() {
  document.documentElement.lang = LANG;
  document.title = t('pageTitle');
  for (const e of document.querySelectorAll('[data-t]')) e.textContent = t(e.dataset.t);
  $('cue-go').setAttribute('aria-label', t('goLabel'));
  $('cue-back').setAttribute('aria-label', t('backLabel'));
  $('cue-list').setAttribute('aria-label', t('cues'));
  $('tally-many').setAttribute('aria-label', t('onAir'));
  $('cue-note').textContent = t('cuesLoading');
  chip('lock', t('lockUnknown'));
  showSocket('connecting', t('liveConnecting'));
}

function wire() {
  $('token-form').addEventListener('submit', (e) => {
    e.preventDefault();
    sessionStorage.setItem(TOKEN_KEY, $('token').value);
    $('token').value = '';
    $('token-form').hidden = true;
    state.tokenTried = true;
    if (state.socket) state.socket.close();
    start();
  });
  const text = $('title-text');
  text.addEventListener('input', (e) => checkTitle(!e.isComposing));
  text.addEventListener('compositionend', () => checkTitle(true));
  $('title-form').addEventListener('submit', (e) => {
    e.preventDefault();
    if (!checkTitle(true)) { text.focus(); return; }
    const line = $('title-line').value;
    const page = Number($('title-page').value);
    if (!(page >= 1 && page <= PAGES)) { $('title-page').focus(); return; }
    act($('title-send'), 'title', { line, page, text: text.value, memory: $('title-memory').checked },
      t('actTitle', { line, page: pageText(page) }));
  });
  $('cue-go').addEventListener('click', go);
  $('cue-back').addEventListener('click', () => act($('cue-back'), 'cueBack', {}, 'BACK', true));
  $('device-all').addEventListener('click', chooseAll);
  $('device-several').addEventListener('click', () => {
    choice.several = !choice.several;
    setAttr($('device-several'), 'aria-pressed', String(choice.several));
  });
  window.addEventListener('resize', () => { if (picture.n) drawPictures(); });
  document.addEventListener('keydown', (e) => {
    // Esc gives Space back to GO after a control was pressed with the mouse.
    if (e.key === 'Escape' && takesKeys(e.target) && typeof e.target.blur === 'function') { e.target.blur(); return; }
    if (e.key !== ' ' || e.repeat || e.ctrlKey || e.altKey || e.metaKey || takesKeys(e.target)) return;
    e.preventDefault();
    go();
  });
}

translate();
buildTally();
buildLines();
wire();
checkTitle(false);
choiceChanged();
start();
