'use strict';
// The station page: one load of /api/status, then kept current from the
// event stream. A token given as ?token= in the page's address goes with
// every request (as a header, and as ?token= on the event stream, which
// cannot carry one).
(() => {
  const token = new URLSearchParams(location.search).get('token');
  const auth = token ? { Authorization: 'Bearer ' + token } : {};
  const board = document.getElementById('ports');
  const tiles = new Map();
  const words = { waiting: 'Waiting', programming: 'Programming', passed: '✔ Passed', failed: '✘ Failed',
                  absent: 'Absent', held: 'Held' };
  let reload = null;
  let lost = false;

  const show = (id, value) => { document.getElementById(id).textContent = value; };

  function tile(name) {
    let t = tiles.get(name);
    if (!t) {
      const el = document.createElement('article');
      el.className = 'tile';
      el.dataset.port = name;
      el.innerHTML = '<h2></h2><p class="state"></p><progress max="100" value="0"></progress>' +
                     '<p class="detail"></p><p class="counts"></p>';
      el.querySelector('h2').textContent = name;
      board.appendChild(el);
      t = { el, port: { port: name, state: 'waiting', percent: 0, unit: null, last: null, passed: 0, failed: 0 } };
      tiles.set(name, t);
    }
    return t;
  }

  function lastUnit(last) {
    if (!last) return '';
    if (last.outcome === 'success')
      return last.serial_number != null ? 'Serial number ' + last.serial_number : 'Done';
    return (last.outcome || 'fault') + (last.why ? ': ' + last.why : '');
  }

  function draw(t) {
    const p = t.port;
    const el = t.el;
    const programming = p.state === 'programming';
    el.dataset.state = p.state;
    el.querySelector('.state').textContent =
      (words[p.state] || p.state) + (programming ? ' ' + Math.round(p.percent || 0) + '%' : '');
    const bar = el.querySelector('progress');
    bar.hidden = !programming;
    bar.value = p.percent || 0;
    let detail = '';
    if (programming) detail = (p.unit && p.unit.caption) || '';
    else if (p.state === 'absent' || p.state === 'held')
      detail = p.detail || (p.state === 'held' ? 'Held by another program' : 'No device on this port');
    else if (p.state === 'waiting') detail = p.last ? 'Last unit: ' + lastUnit(p.last) : 'Place a unit';
    else detail = lastUnit(p.last);
    const line = el.querySelector('.detail');
    line.textContent = detail;
    line.title = detail;
    el.querySelector('.counts').textContent = (p.passed || 0) + ' passed · ' + (p.failed || 0) + ' failed';
  }

  function totals(t) {
    const passed = t.passed || 0;
    const failed = t.failed || 0;
    show('passed', passed);
    show('failed', failed);
    show('yield', passed + failed ? Math.round(100 * passed / (passed + failed)) + '%' : '–');
    show('rate', t.units_per_hour != null ? Math.round(t.units_per_hour) : '–');
  }

  function render(status) {
    const s = status.station || {};
    const fw = s.firmware || {};
    show('station', s.name || 'vlboot station');
    document.title = (s.name || 'station') + ' – vlboot';
    show('firmware', [fw.file, fw.sha256 && 'SHA-256 ' + fw.sha256.slice(0, 16) + '…',
                      fw.pinned ? 'pinned' : 'not pinned',
                      s.serial_source && 'serial numbers from ' + s.serial_source].filter(Boolean).join(' · '));
    document.getElementById('paused').hidden = !s.paused;
    const seen = new Set();
    for (const p of status.ports || []) {
      const t = tile(p.port);
      t.port = p;
      draw(t);
      seen.add(p.port);
    }
    for (const [name, t] of tiles)
      if (!seen.has(name)) { t.el.remove(); tiles.delete(name); }
    totals(status.totals || {});
  }

  function connection(live, why) {
    const el = document.getElementById('connection');
    el.textContent = live ? 'Live' : 'Connection lost' + (why ? ': ' + why : '') + ', trying again…';
    el.classList.toggle('lost', !live);
  }

  async function load() {
    try {
      const reply = await fetch('api/status', { headers: auth, cache: 'no-store' });
      const body = await reply.json();
      if (!reply.ok) throw new Error(body.error || reply.statusText);
      render(body);
    } catch (e) {
      connection(false, e.message);
    }
  }

  // The station's own status after a unit's end, for what the events do
  // not carry (units per hour, a port's state after the unit is taken off).
  function loadSoon() {
    clearTimeout(reload);
    reload = setTimeout(load, 300);
  }

  function apply(ev) {
    if (ev.event === 'status') return render(ev);
    if (ev.event === 'totals') return totals(ev);
    if (!ev.port || !tiles.has(ev.port)) return loadSoon();
    const t = tiles.get(ev.port);
    const p = t.port;
    switch (ev.event) {
      case 'port':
        Object.assign(p, ev);
        break;
      case 'caption':
        p.state = 'programming';
        p.unit = Object.assign({}, p.unit, { caption: ev.text });
        break;
      case 'progress':
        p.state = 'programming';
        p.percent = ev.percent;
        break;
      case 'result':
        p.state = ev.outcome === 'success' ? 'passed' : 'failed';
        p.last = { outcome: ev.outcome, serial_number: ev.serial_number, why: ev.why };
        p.unit = null;
        loadSoon();
        break;
      default:
        return loadSoon();
    }
    draw(t);
  }

  const events = new EventSource('api/events' + (token ? '?token=' + encodeURIComponent(token) : ''));
  events.onopen = () => {
    if (lost) load();
    lost = false;
    connection(true);
  };
  events.onmessage = (m) => {
    let ev;
    try { ev = JSON.parse(m.data); } catch (e) { return; }
    apply(ev);
  };
  events.onerror = () => { lost = true; connection(false); };
  load();
})();
