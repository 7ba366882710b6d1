// fontbin studio's page: controls for every key of the configuration, a preview that the studio
// renders with fontbin's own pipeline and draws with the device reader, and the export.
'use strict';

const $ = (id) => document.getElementById(id);
const api = (path, body) =>
  fetch('api/' + path, body === undefined ? {} : {
    method: 'POST', headers: { 'Content-Type': 'application/json' }, body: JSON.stringify(body),
  }).then((r) => r.json());

// Tests and the benchmark read these.
const studio = (window.studio = { stats: [], ready: 0, previews: {}, sizes: null });
// Shows one glyph's pixels and metrics, as a click on it in the sheet does.
studio.select = (cp) => { selectedGlyph = cp; changed(); };

const ROOT_KEYS = ['codePages', 'mappingPaths', 'cstPaths', 'textPaths', 'customerVals', 'fontSet'];
const SET_KEYS = ['font', 'fontSize', 'scanMode', 'bold', 'italic', 'renderMode', 'indexMethod',
  'crop', 'hinting', 'advances', 'compact', 'kerning', 'faceIndex', 'variations', 'fallbackFonts'];
const LISTS = ['mappingPaths', 'cstPaths', 'textPaths'];
const PAGE = 200; // glyphs on one page of the sheet

let loaded = {}; // the configuration as opened: keys the page has no control for are kept
let loadedFallbacks = null;
let runs = []; // the selection as [first, last] runs
let charCount = 0;
let sheetStart = 0;
let fonts = [];
let selectedGlyph = null;

// Keys match without regard to case, the first of two wins: as fontbin reads them.
function canon(object, keys) {
  const out = {};
  if (!object || typeof object !== 'object' || Array.isArray(object)) return out;
  for (const [k, v] of Object.entries(object)) {
    const key = keys.find((x) => x.toLowerCase() === k.toLowerCase()) || k;
    if (!(key in out)) out[key] = v;
  }
  return out;
}

const lines = (id) => $(id).value.split('\n').map((s) => s.trim()).filter(Boolean);
const layout = () => document.querySelector('input[name=layout]:checked').value;
const numberOrText = (text) => (/^-?\d+(\.\d+)?$/.test(text.trim()) ? Number(text) : text);

// A select shows a value of the file that it has no option for (renderMode 3, hinting "full"), so
// that the command line's message about it appears and the value stays until it is changed.
function showValue(id, value) {
  const select = $(id);
  const text = String(value);
  if (![...select.options].some((o) => o.value === text)) select.add(new Option(text, text));
  select.value = text;
}

function fill(config, setting) {
  loaded = canon(config, ROOT_KEYS);
  const fs = canon(loaded.fontSet, SET_KEYS);
  $('font').value = fs.font ?? '';
  $('fontSize').value = fs.fontSize ?? 32;
  showValue('renderMode', fs.renderMode ?? 1);
  $('bold').checked = !!fs.bold;
  $('italic').checked = !!fs.italic;
  showValue('scanMode', fs.scanMode ?? 'H');
  showValue('hinting', fs.hinting ?? 'default');
  $('indexMethod').value = String((fs.indexMethod ?? 1) & 1);
  const kind = fs.compact ? 'compact' : (fs.crop ?? 0) & 1 ? 'cropped' : 'fixed';
  document.querySelector(`input[name=layout][value=${kind}]`).checked = true;
  $('kerning').checked = !!fs.kerning;
  $('advances').checked = !!fs.advances;
  const face = Number(fs.faceIndex ?? 0);
  $('faceIndex').innerHTML = `<option value="${face}">${face}</option>`;
  $('variations').value = Object.entries(fs.variations || {}).map(([t, v]) => `${t}=${v}`).join(', ');
  loadedFallbacks = fs.fallbackFonts || null;
  $('fallbackFonts').value = fallbackText(loadedFallbacks || []);
  $('customerVals').value = rangesText(loaded.customerVals);
  for (const o of $('codePages').options) o.selected = (loaded.codePages || []).includes(o.value);
  for (const id of LISTS) $(id).value = (loaded[id] || []).join('\n');
  $('gammaOn').checked = setting.TransformAlgrithm === 'gamma';
  $('gamma').value = setting.gamma;
  $('rotate').value = ['1', '2'].includes(setting.rotate) ? setting.rotate : '0';
}

function rangesText(list) {
  return (Array.isArray(list) ? list : []).map((r) => `${r.firstVal ?? ''} ${r.range ?? ''}`.trim()).join('\n');
}

function fallbackText(list) {
  return list.map((x) => (typeof x === 'string' ? x : x && x.font)).join('; ');
}

// The configuration as a user writes it: the keys fontbin always knew, then each newer key only
// when it says something.
function build() {
  const c = JSON.parse(JSON.stringify(loaded));
  const fs = canon(c.fontSet, SET_KEYS);
  // A value of the file stays as written while its control still shows it: "16" as text, bold
  // as 2, indexMethod 3 are what the command line reads (and warns about), not what they look like.
  const keep = (key, same, value) => (key in fs && same(fs[key]) ? fs[key] : value);
  Object.assign(fs, {
    font: $('font').value,
    fontSize: keep('fontSize', (v) => String(v) === $('fontSize').value, numberOrText($('fontSize').value)),
    scanMode: $('scanMode').value,
    bold: keep('bold', (v) => !!v === $('bold').checked, $('bold').checked),
    italic: keep('italic', (v) => !!v === $('italic').checked, $('italic').checked),
    renderMode: keep('renderMode', (v) => String(v) === $('renderMode').value, numberOrText($('renderMode').value)),
    indexMethod: keep('indexMethod', (v) => (v & 1) === Number($('indexMethod').value), Number($('indexMethod').value)),
    crop: keep('crop', (v) => (v & 1) === (layout() === 'cropped' ? 1 : 0), layout() === 'cropped' ? 1 : 0),
  });
  const optional = {
    hinting: [$('hinting').value, 'default'],
    compact: [layout() === 'compact', false],
    kerning: [$('kerning').checked, false],
    advances: [$('advances').checked, false],
    faceIndex: [Number($('faceIndex').value || 0), 0],
  };
  for (const [key, [value, none]] of Object.entries(optional)) {
    if (value === none) delete fs[key];
    else fs[key] = value;
  }
  const variations = {};
  for (const part of $('variations').value.split(/[,;\s]+/).filter(Boolean)) {
    const [tag, value] = part.split('=');
    variations[tag] = numberOrText(value ?? '');
  }
  if (Object.keys(variations).length) fs.variations = variations;
  else delete fs.variations;
  const fallbacks = $('fallbackFonts').value.split(';').map((s) => s.trim()).filter(Boolean);
  if (loadedFallbacks && fallbackText(loadedFallbacks) === fallbacks.join('; ')) fs.fallbackFonts = loadedFallbacks;
  else if (fallbacks.length) fs.fallbackFonts = fallbacks;
  else delete fs.fallbackFonts;
  const pages = [...$('codePages').selectedOptions].map((o) => o.value);
  if (pages.length || 'codePages' in c) c.codePages = pages;
  for (const id of LISTS) {
    if (lines(id).length || id in c) c[id] = lines(id);
  }
  const ranges = lines('customerVals').map((line) => {
    const [firstVal, range] = line.split(/[\s,]+/);
    return { firstVal, range: range ?? '1' };
  });
  // Ranges as the file wrote them (numbers, which the command line ignores, included) until edited.
  if (rangesText(loaded.customerVals) !== $('customerVals').value && (ranges.length || 'customerVals' in c))
    c.customerVals = ranges;
  delete c.fontSet;
  c.fontSet = fs; // last, as the examples write it
  return c;
}

function setting() {
  return {
    TransformAlgrithm: $('gammaOn').checked ? 'gamma' : '',
    gamma: $('gamma').value.trim(),
    rotate: $('rotate').value,
  };
}

// ---- Messages next to their controls ------------------------------------------------------

function showMessages(messages) {
  for (const el of document.querySelectorAll('.msg[data-for]')) el.innerHTML = '';
  for (const el of document.querySelectorAll('.invalid')) el.classList.remove('invalid');
  for (const m of messages || []) {
    const el = document.querySelector(`.msg[data-for="${CSS.escape(m.key)}"]`) ||
      document.querySelector('.msg[data-for=""]');
    const line = document.createElement('div');
    line.className = m.level;
    line.textContent = `${m.level}: ${m.text}`;
    el.appendChild(line);
    const control = $(m.key.replace(/^fontSet\./, ''));
    if (control && m.level === 'error') control.classList.add('invalid');
  }
}

// ---- Drawing ------------------------------------------------------------------------------

function bytes(b64) {
  const s = atob(b64);
  const out = new Uint8Array(s.length);
  for (let i = 0; i < s.length; i++) out[i] = s.charCodeAt(i);
  return out;
}

function hexColour(hex) {
  return [1, 3, 5].map((i) => parseInt(hex.slice(i, i + 2), 16));
}

// The display's colours: ink and background.
function colours() {
  switch ($('display').value) {
    case 'oled': return [[255, 255, 255], [0, 0, 0]];
    case 'epaper': return [[24, 24, 24], [226, 224, 214]];
    default: return [hexColour($('fg').value), hexColour($('bg').value)];
  }
}

// Levels (0 .. max) as the display shows them, `zoom` screen pixels each, with a pixel grid.
function paint(canvas, w, h, levels, max, zoom, boxes) {
  canvas.width = Math.max(1, w * zoom);
  canvas.height = Math.max(1, h * zoom);
  const ctx = canvas.getContext('2d');
  if (!w || !h) return;
  const colour = palette(max);
  const small = new OffscreenCanvas(w, h);
  const sctx = small.getContext('2d');
  const img = sctx.createImageData(w, h);
  for (let i = 0; i < w * h; i++) {
    const c = boxes && boxes[i] ? [220, 40, 40] : colour[levels[i]];
    img.data[i * 4] = c[0]; img.data[i * 4 + 1] = c[1]; img.data[i * 4 + 2] = c[2];
    img.data[i * 4 + 3] = 255;
  }
  sctx.putImageData(img, 0, 0);
  ctx.imageSmoothingEnabled = false;
  ctx.drawImage(small, 0, 0, w * zoom, h * zoom);
  if (zoom >= 4) grid(ctx, w, h, zoom, 'rgba(128,128,128,0.35)');
}

function grid(ctx, w, h, zoom, style) {
  ctx.fillStyle = style;
  for (let x = 1; x < w; x++) ctx.fillRect(x * zoom, 0, 1, h * zoom);
  for (let y = 1; y < h; y++) ctx.fillRect(0, y * zoom, w * zoom, 1);
}

function drawPane(pane, result, label) {
  const el = $(pane);
  el.querySelector('h2').textContent = label;
  if (!result || result.error || !result.text) {
    el.querySelector('.missing').textContent = result && result.error ? result.error : 'no preview';
    return;
  }
  const zoom = Math.max(1, Math.min(32, Number($('zoom').value) || 1));
  const t = result.text;
  paint(el.querySelector('canvas.textbox'), t.width, t.height, bytes(t.levels), result.maxLevel, zoom, bytes(t.boxes));
  el.querySelector('.missing').textContent = t.missing.length
    ? 'not in the font file (drawn as a box): ' + t.missing.map(codeText).join(' ') : '';
  drawSheet(el, result, zoom);
}

function codeText(cp) {
  const hex = 'U+' + cp.toString(16).toUpperCase().padStart(4, '0');
  return cp >= 0x20 && cp !== 0x7f ? `${hex} '${String.fromCodePoint(cp)}'` : hex;
}

// The levels' colours on this display, one [r, g, b] per level.
function palette(max) {
  const [fg, bg] = colours();
  const out = [];
  for (let v = 0; v <= max; v++) out.push([0, 1, 2].map((k) => bg[k] + (fg[k] - bg[k]) * v / max));
  return out;
}

function drawSheet(el, result, textZoom) {
  const cw = result.cellWidth, ch = result.lineHeight;
  const canvas = el.querySelector('canvas.sheet');
  const width = el.querySelector('.sheetwrap').clientWidth || 600;
  const zoom = Math.max(1, Math.min(textZoom, Math.floor(width / (16 * (cw + 1)))));
  const cols = Math.max(1, Math.floor((width - 1) / (cw * zoom + 1)));
  const glyphs = result.glyphs;
  const rows = Math.max(1, Math.ceil(glyphs.length / cols));
  // Every cell at one pixel per pixel, side by side; then each is scaled into its place.
  const atlas = new OffscreenCanvas(cols * cw, rows * ch);
  const img = atlas.getContext('2d').createImageData(cols * cw, rows * ch);
  const colour = palette(result.maxLevel);
  glyphs.forEach((g, i) => {
    const levels = bytes(g.levels);
    const ox = (i % cols) * cw, oy = Math.floor(i / cols) * ch;
    for (let y = 0; y < ch; y++) {
      let at = ((oy + y) * cols * cw + ox) * 4;
      for (let x = 0; x < cw; x++, at += 4) {
        const c = colour[levels[y * cw + x]];
        img.data[at] = c[0]; img.data[at + 1] = c[1]; img.data[at + 2] = c[2]; img.data[at + 3] = 255;
      }
    }
  });
  atlas.getContext('2d').putImageData(img, 0, 0);
  canvas.width = cols * (cw * zoom + 1) + 1;
  canvas.height = rows * (ch * zoom + 1) + 1;
  const ctx = canvas.getContext('2d');
  ctx.imageSmoothingEnabled = false;
  ctx.fillStyle = 'rgba(128,128,128,0.6)';
  ctx.fillRect(0, 0, canvas.width, canvas.height);
  glyphs.forEach((g, i) => {
    const c = i % cols, r = Math.floor(i / cols);
    ctx.drawImage(atlas, c * cw, r * ch, cw, ch, 1 + c * (cw * zoom + 1), 1 + r * (ch * zoom + 1), cw * zoom, ch * zoom);
  });
  if (zoom >= 4) {
    ctx.fillStyle = 'rgba(128,128,128,0.35)';
    for (let c = 0; c < cols; c++)
      for (let x = 1; x < cw; x++) ctx.fillRect(1 + c * (cw * zoom + 1) + x * zoom, 0, 1, canvas.height);
    for (let r = 0; r < rows; r++)
      for (let y = 1; y < ch; y++) ctx.fillRect(0, 1 + r * (ch * zoom + 1) + y * zoom, canvas.width, 1);
  }
  canvas.onclick = (ev) => {
    const r = canvas.getBoundingClientRect();
    const i = Math.floor((ev.clientY - r.top) / (ch * zoom + 1)) * cols +
      Math.floor((ev.clientX - r.left) / (cw * zoom + 1));
    if (glyphs[i]) showGlyph(el, result, glyphs[i]);
  };
  const chosen = selectedGlyph && glyphs.find((g) => g.cp === selectedGlyph);
  if (chosen) showGlyph(el, result, chosen);
}

// One glyph large: its pixels, the ink box, the baseline and the advance.
function showGlyph(el, result, g) {
  selectedGlyph = g.cp;
  const cw = result.cellWidth, ch = result.lineHeight, zoom = 12;
  const canvas = el.querySelector('.glyph canvas');
  paint(canvas, cw, ch, bytes(g.levels), result.maxLevel, zoom);
  const ctx = canvas.getContext('2d');
  canvas.width = Math.max(canvas.width, (g.advance + 1) * zoom);
  paint(canvas, cw, ch, bytes(g.levels), result.maxLevel, zoom);
  const r = g.record;
  ctx.fillStyle = '#2b9348';
  ctx.fillRect(Math.min(g.advance, cw) * zoom - 1, 0, 2, ch * zoom);
  if (r) {
    ctx.fillStyle = '#e76f51';
    ctx.fillRect(0, (r.originY + 1) * zoom - 1, cw * zoom, 2);
  }
  const info = [codeText(g.cp), g.selected ? '' : 'not in the selection',
    g.found ? '' : 'not in the font file: drawn as a box',
    `advance ${g.advance} px (green), ink right edge ${g.inkRight}`];
  if (r) {
    info.push(`record ${r.bytes} bytes${r.trimmed ? ', trimmed' : ''}`,
      `origin (${r.originX}, ${r.originY}), baseline orange`, `extent (${r.extentX}, ${r.extentY})`);
    if (r.trimmed || r.compact) info.push(`ink box x ${r.boxX}, y ${r.boxY}, ${r.boxW} x ${r.boxH}`);
  }
  el.querySelector('.glyph pre').textContent = info.filter(Boolean).join('\n');
}

// ---- The selection's pages ----------------------------------------------------------------

function codesFrom(start, count) {
  const out = [];
  let skip = start;
  for (const [a, b] of runs) {
    const n = b - a + 1;
    if (skip >= n) { skip -= n; continue; }
    for (let c = a + skip; c <= b && out.length < count; c++) out.push(c);
    skip = 0;
    if (out.length >= count) break;
  }
  return out;
}

// ---- Updating -----------------------------------------------------------------------------

let changeAt = performance.now();
let timer = null;
let seq = 0;

function changed() {
  changeAt = performance.now();
  clearTimeout(timer);
  timer = setTimeout(update, 5);
}

function request(overrides) {
  const config = build();
  if (overrides) Object.assign(config.fontSet, overrides);
  return { config, setting: setting() };
}

async function update() {
  const my = ++seq;
  const start = changeAt;
  const base = request();
  const panes = [['paneA', base, `${$('fontSize').value} px, ${$('renderMode').value} bit`]];
  if ($('compare').checked) {
    const size = numberOrText($('compareSize').value), bits = Number($('compareBits').value);
    panes.push(['paneB', request({ fontSize: size, renderMode: bits }), `${size} px, ${bits} bit`]);
  }
  const text = $('text').value;
  const wrap = Number($('wrap').value) || 0;
  const words = $('wrapMode').value === 'words';
  const previews = (codes) => Promise.all(panes.map(([, body]) => api('preview', { ...body, text, wrap, words, codes })));
  // The preview starts with the selection as last known, beside the check; only a selection
  // that changed asks again.
  const guess = codesFrom(sheetStart, PAGE);
  const previewing = previews(guess);
  const check = await api('check', base);
  if (my !== seq) return;
  showMessages(check.messages);
  runs = check.runs;
  charCount = check.charCount;
  $('charCount').textContent = `(${charCount.toLocaleString()})`;
  if (check.faces) {
    const face = $('faceIndex');
    const current = String(check.faceIndex);
    face.innerHTML = check.faces.map((f) => `<option value="${f.index}">${f.index} ${escapeHtml(f.name)}</option>`).join('');
    face.value = current;
    const axes = (check.faces[check.faceIndex] || {}).axes || [];
    $('variations').placeholder = axes.length ? axes.map((a) => `${a.tag}=${a.default} (${a.min}..${a.max})`).join(', ') : 'not a variable font';
  }
  if (sheetStart >= charCount) sheetStart = 0;
  const codes = codesFrom(sheetStart, PAGE);
  let results = await previewing;
  if (codes.join() !== guess.join()) results = await previews(codes);
  if (my !== seq) return;
  const shown = codes.length ? `${sheetStart + 1} to ${sheetStart + codes.length} of ${charCount}` : 'no characters selected';
  ensurePanes(panes.length);
  panes.forEach(([id, , label], i) => {
    if (results[i].messages) showMessages(results[i].messages);
    drawPane(id, results[i], label);
    $(id).querySelector('.range').textContent = shown;
    studio.previews[id] = results[i];
  });
  const ms = performance.now() - start;
  studio.stats.push({ ms, glyphs: codes.length, size: Number($('fontSize').value) });
  $('latency').textContent = `redrawn ${ms.toFixed(0)} ms after the change`;
  studio.ready = my;
  studio.request = { ...base, text, wrap };
  if (check.usable) scheduleSizes(base);
}

function escapeHtml(s) {
  return s.replace(/[&<>"]/g, (c) => ({ '&': '&amp;', '<': '&lt;', '>': '&gt;', '"': '&quot;' })[c]);
}

function ensurePanes(n) {
  const have = $('panes').children.length;
  if (n > have) {
    const b = $('paneA').cloneNode(true);
    b.id = 'paneB';
    $('panes').appendChild(b);
    wireSheetBar(b);
  } else if (n < have) {
    $('paneB').remove();
  }
}

function wireSheetBar(pane) {
  pane.querySelector('.prev').onclick = () => { sheetStart = Math.max(0, sheetStart - PAGE); changed(); };
  pane.querySelector('.next').onclick = () => {
    if (sheetStart + PAGE < charCount) sheetStart += PAGE;
    changed();
  };
}

// ---- File sizes of every layout, in the background ------------------------------------------

let sizesTimer = null;
function scheduleSizes(body) {
  clearTimeout(sizesTimer);
  sizesTimer = setTimeout(async () => {
    studio.sizes = null;
    const started = await api('sizes', body);
    if (started.error) return;
    for (;;) {
      const s = await api('sizes');
      if (s.sizes || s.error || s.idle) { studio.sizes = s; showSizes(s); return; }
      $('sizesProgress').max = Math.max(1, s.total);
      $('sizesProgress').value = s.done;
      await new Promise((r) => setTimeout(r, 150));
    }
  }, 250);
}

function showSizes(s) {
  $('sizesProgress').value = $('sizesProgress').max;
  const body = $('sizes').tBodies[0];
  if (!s.sizes) { body.innerHTML = `<tr><td>${escapeHtml(s.error || '')}</td></tr>`; return; }
  const budget = Number($('budget').value) * 1024;
  const adv = s.advances || 0;
  const configured = layout() === 'compact' ? 'compact' : layout() === 'cropped' ? 'cropped'
    : $('indexMethod').value === '1' ? 'list' : 'table';
  const rows = [['list', 'fixed records, code-point list', adv], ['table', 'fixed records, 65,536-entry table', adv],
    ['cropped', 'cropped records', adv], ['compact', 'compact', 0]];
  body.innerHTML = rows.map(([key, name, extra]) => {
    const total = s.sizes[key] + extra;
    const over = budget > 0 && total > budget;
    return `<tr class="${over ? 'over-budget' : ''}"><td>${name}${key === configured ? ' ◀' : ''}</td>` +
      `<td class="num">${total.toLocaleString()} bytes</td><td class="num">${(total / 1024).toFixed(1)} KiB</td>` +
      `<td>${budget > 0 ? (over ? 'over the budget' : 'fits') : ''}</td></tr>`;
  }).join('') + `<tr><td class="note" colspan="4">${s.glyphs.toLocaleString()} glyphs${adv ? `, widths file ${adv.toLocaleString()} bytes included` : ''}</td></tr>`;
}

// ---- Export -------------------------------------------------------------------------------

async function exportFiles() {
  const config = build();
  const log = $('exportLog');
  log.hidden = false;
  log.textContent = 'exporting…';
  const r = await api('export', {
    configText: JSON.stringify(config, null, 2) + '\n', setting: setting(),
    path: $('configPath').value, embed: $('embed').checked, symbol: $('symbol').value.trim(),
  });
  studio.exported = r;
  if (r.error) { log.textContent = 'error: ' + r.error; return; }
  loaded = config;
  const part = (run) => `$ ${run.command}\n${run.stdout}${run.stderr}` +
    (run.started ? `exit status ${run.status}\n` : `cannot start: ${run.error}\n`);
  let text = `saved ${r.saved}${r.setting ? ` and ${r.setting}` : ''}\n` + part(r.run);
  text += r.files.map((f) => `  ${f.name}  (${f.bytes.toLocaleString()} bytes)`).join('\n');
  if (r.embed) text += '\n' + part(r.embed) + r.embed.files.map((f) => `  ${f.name}`).join('\n');
  log.textContent = text;
}

// ---- Fonts --------------------------------------------------------------------------------

function listFonts() {
  const words = $('fontSearch').value.toLowerCase().split(/\s+/).filter(Boolean);
  const list = $('fontList');
  const matching = fonts.filter((f) => {
    const hay = (f.families.join(' ') + ' ' + f.style + ' ' + f.file).toLowerCase();
    return words.every((w) => hay.includes(w));
  }).slice(0, 400);
  list.innerHTML = matching.map((f) => {
    const names = f.families.join(' / ');
    return `<option value="${fonts.indexOf(f)}">${escapeHtml(names)} — ${escapeHtml(f.style)}</option>`;
  }).join('');
}

function chooseFont(f) {
  // The file's name finds it as "font" is looked up; else its whole path.
  $('font').value = f.byFileName ? f.file : f.path;
  $('faceIndex').innerHTML = `<option value="${f.face}">${f.face}</option>`;
  changed();
}

async function dropFont(file) {
  const r = await fetch('api/upload?name=' + encodeURIComponent(file.name), { method: 'POST', body: file }).then((x) => x.json());
  if (r.error) { showMessages([{ key: 'fontSet.font', level: 'error', text: r.error }]); return; }
  $('font').value = r.font;
  $('faceIndex').innerHTML = '<option value="0">0</option>';
  changed();
}

// ---- Start --------------------------------------------------------------------------------

async function start() {
  const state = await api('state');
  $('configPath').value = state.configPath;
  $('codePages').innerHTML = state.codePages.map((n) => `<option>${escapeHtml(n)}</option>`).join('');
  if (state.loadError) {
    $('loadError').hidden = false;
    $('loadError').textContent = state.loadError + ' — the page starts from the defaults';
  }
  fonts = await api('fonts');
  let config = state.config;
  if (!state.configExists) {
    // A new configuration starts from printable ASCII in a font this machine has.
    const sans = fonts.find((f) => f.file === 'DejaVuSans.ttf') || fonts[0];
    config = { customerVals: [{ firstVal: '0x20', range: '95' }], fontSet: { font: sans ? sans.file : '', fontSize: 16 } };
  }
  fill(config, state.setting);
  listFonts();
  for (const el of document.querySelectorAll('#controls input, #controls select, #controls textarea, .toolbar input, .toolbar select')) {
    if (el.id === 'fontSearch') continue;
    el.addEventListener('input', changed);
    el.addEventListener('change', changed);
  }
  $('fontSearch').addEventListener('input', listFonts);
  $('fontList').addEventListener('change', () => chooseFont(fonts[Number($('fontList').value)]));
  $('budget').addEventListener('input', () => studio.sizes && showSizes(studio.sizes));
  $('export').addEventListener('click', exportFiles);
  $('theme').addEventListener('click', () => {
    const dark = document.documentElement.dataset.theme === 'dark' ||
      (!document.documentElement.dataset.theme && matchMedia('(prefers-color-scheme: dark)').matches);
    document.documentElement.dataset.theme = dark ? 'light' : 'dark';
  });
  document.addEventListener('dragover', (e) => { e.preventDefault(); $('drop').classList.add('over'); });
  document.addEventListener('dragleave', () => $('drop').classList.remove('over'));
  document.addEventListener('drop', (e) => {
    e.preventDefault();
    $('drop').classList.remove('over');
    if (e.dataTransfer.files.length) dropFont(e.dataTransfer.files[0]);
  });
  wireSheetBar($('paneA'));
  // While this stream is open the studio keeps serving; it ends once the last page is closed.
  new EventSource('api/events');
  update();
}

start();
