// The incident report page: one clock drives every channel's video, the
// route's marker, the speed chart's cursor and the readout. The facts come
// from the report-data element (the same as report.json).
'use strict';
(function () {
  const data = JSON.parse(document.getElementById('report-data').textContent);
  const $ = (id) => document.getElementById(id);
  const SVG = 'http://www.w3.org/2000/svg';
  const duration = Math.max(data.duration, 0.001);
  const fixes = data.fixes;
  let now = 0;          // seconds since the report's start
  let playing = false;
  let rate = 1;
  let lastTick = null;

  // ---- videos ----
  const views = data.channels.map((ch) => {
    const fig = document.createElement('figure');
    fig.className = 'channel';
    const video = document.createElement('video');
    video.src = ch.file;
    video.muted = true;
    video.preload = 'auto';
    video.playsInline = true;
    video.setAttribute('aria-label', 'Channel ' + ch.channel);
    video.dataset.channel = ch.channel;
    video.dataset.offset = ch.offset;
    const hole = document.createElement('div');
    hole.className = 'placeholder';
    hole.textContent = 'Channel ' + ch.channel + ': no recording at this time';
    const caption = document.createElement('figcaption');
    caption.textContent = 'Channel ' + ch.channel;
    fig.append(video, hole, caption);
    $('grid').append(fig);
    if (ch.audio) $('sound').append(new Option('channel ' + ch.channel, String(ch.channel)));
    return { ch, fig, video };
  });
  // As near a square as the channels make: 2 x 2 for four.
  $('grid').style.gridTemplateColumns = 'repeat(' + Math.max(1, Math.ceil(Math.sqrt(views.length))) + ', minmax(0, 1fr))';
  const inSpan = (ch, t) => ch.spans.some(([a, b]) => t >= a && t < b);

  // Each video follows the clock: one far off is moved, one a little off
  // plays a little faster or slower until it is back in step.
  function follow() {
    for (const v of views) {
      const want = now - v.ch.offset;
      // A video may hold less than its recording's header said (one cut
      // short): past its end the channel has nothing to show.
      const on = inSpan(v.ch, now) && !(want > v.video.duration);
      v.fig.classList.toggle('off', !on);
      if (!on) {
        if (!v.video.paused) v.video.pause();
        continue;
      }
      const off = v.video.currentTime - want;
      if (!v.video.seeking && Math.abs(off) > (playing ? 0.3 : 0.001)) v.video.currentTime = want;
      const r = playing ? rate * (1 - Math.max(-0.2, Math.min(0.2, off * 2))) : rate;
      if (Math.abs(v.video.playbackRate - r) > 0.001) v.video.playbackRate = r;
      if (playing && v.video.paused && !v.video.ended) v.video.play().catch(() => {});
      if (!playing && !v.video.paused) v.video.pause();
    }
  }

  // While playing, the clock is the first playing channel's video; where
  // none is (a gap between recordings), it runs on by itself.
  function tick(ms) {
    if (playing) {
      const lead = views.find((v) => inSpan(v.ch, now) && !v.video.paused && !v.video.seeking && v.video.readyState >= 3);
      if (lead && Math.abs(lead.video.currentTime + lead.ch.offset - now) < 0.5) now = lead.video.currentTime + lead.ch.offset;
      else if (lastTick !== null) now += (ms - lastTick) / 1000 * rate;
      if (now >= duration) { now = duration; setPlaying(false); }
    }
    lastTick = ms;
    follow();
    show();
    requestAnimationFrame(tick);
  }

  function seek(t) {
    now = Math.max(0, Math.min(duration, t));
    for (const v of views) if (inSpan(v.ch, now)) v.video.currentTime = now - v.ch.offset;
    follow();
    show();
  }

  function setPlaying(on) {
    if (on && now >= duration) seek(0);
    playing = on;
    $('play').innerHTML = on ? '&#10074;&#10074;' : '&#9654;';
    $('play').setAttribute('aria-label', on ? 'Pause' : 'Play');
    follow();
  }

  // ---- what is shown for the time ----
  function fixAt(t) {
    let lo = 0, hi = fixes.length - 1;
    if (hi < 0) return null;
    if (t < fixes[0].t) return fixes[0];
    while (lo < hi) {
      const mid = (lo + hi + 1) >> 1;
      if (fixes[mid].t <= t) lo = mid; else hi = mid - 1;
    }
    return fixes[lo];
  }
  const two = (n) => String(n).padStart(2, '0');
  function clockText(t) {
    const d = new Date(data.startMs + Math.round(t * 1000));
    const date = d.getUTCFullYear() + '-' + two(d.getUTCMonth() + 1) + '-' + two(d.getUTCDate());
    const time = two(d.getUTCHours()) + ':' + two(d.getUTCMinutes()) + ':' + two(d.getUTCSeconds()) + '.' +
      Math.floor(d.getUTCMilliseconds() / 100);
    return data.utc ? date + 'T' + time + 'Z' : date + ' ' + time + ' (recorder clock)';
  }
  function elapsed(t) {
    const s = Math.max(0, t);
    return Math.floor(s / 60) + ':' + (s % 60).toFixed(1).padStart(4, '0');
  }
  const marker = $('marker');
  const cursor = document.createElementNS(SVG, 'line');
  function show() {
    $('seek').value = now;
    $('clock').textContent = elapsed(now) + ' / ' + elapsed(duration);
    $('now-time').textContent = clockText(now);
    const f = fixAt(now);
    if (f) {
      $('now-position').textContent = f.lat.toFixed(6) + ', ' + f.lon.toFixed(6);
      $('now-speed').textContent = f.speed.toFixed(1) + ' km/h';
      $('now-course').textContent = f.course === null ? 'not known' : f.course + '\u00b0';
      if (marker) { marker.setAttribute('cx', f.x); marker.setAttribute('cy', f.y); }
    }
    const x = chartX(now);
    cursor.setAttribute('x1', x);
    cursor.setAttribute('x2', x);
  }

  // ---- speed over time ----
  const chart = $('speed-chart');
  const CW = 800, CH = 170, L = 44, R = 10, T = 10, B = 24;
  const chartX = (t) => (L + (CW - L - R) * t / duration).toFixed(2);
  (function drawChart() {
    const top = Math.max(10, Math.ceil(Math.max(0, ...fixes.map((f) => f.speed)) / 10) * 10);
    const y = (s) => (T + (CH - T - B) * (1 - s / top)).toFixed(2);
    const add = (name, attrs, text) => {
      const e = document.createElementNS(SVG, name);
      for (const k in attrs) e.setAttribute(k, attrs[k]);
      if (text !== undefined) e.textContent = text;
      chart.append(e);
      return e;
    };
    add('line', { class: 'axis', x1: L, y1: CH - B, x2: CW - R, y2: CH - B });
    add('line', { class: 'axis', x1: L, y1: T, x2: L, y2: CH - B });
    add('text', { x: L - 4, y: T + 8, 'text-anchor': 'end' }, String(top));
    add('text', { x: L - 4, y: CH - B, 'text-anchor': 'end' }, '0');
    add('text', { x: L + 4, y: T + 10 }, 'km/h');
    add('text', { x: CW - R, y: CH - 6, 'text-anchor': 'end' }, elapsed(duration));
    add('text', { x: L, y: CH - 6 }, '0:00.0');
    // A gap between recordings breaks the curve.
    let d = '';
    fixes.forEach((f, i) => {
      d += (i && f.t - fixes[i - 1].t <= 10 ? 'L' : 'M') + chartX(f.t) + ' ' + y(f.speed);
    });
    if (d) add('path', { class: 'curve', d });
    cursor.setAttribute('class', 'cursor');
    cursor.setAttribute('y1', T);
    cursor.setAttribute('y2', CH - B);
    chart.append(cursor);
  })();
  function svgPoint(svg, event) {
    const p = svg.createSVGPoint();
    p.x = event.clientX;
    p.y = event.clientY;
    return p.matrixTransform(svg.getScreenCTM().inverse());
  }
  chart.addEventListener('click', (e) => {
    const p = svgPoint(chart, e);
    seek((p.x - L) / (CW - L - R) * duration);
  });

  // ---- the route: a click goes to the nearest fix's moment ----
  const route = $('route');
  if (route) {
    route.addEventListener('click', (e) => {
      const p = svgPoint(route, e);
      let best = null, bestD = Infinity;
      for (const f of fixes) {
        const d = (f.x - p.x) ** 2 + (f.y - p.y) ** 2;
        if (d < bestD) { bestD = d; best = f; }
      }
      if (best) seek(best.t);
    });
  }

  // ---- controls and keys ----
  $('seek').max = duration;
  $('seek').addEventListener('input', (e) => seek(Number(e.target.value)));
  $('play').addEventListener('click', () => setPlaying(!playing));
  $('rate').addEventListener('change', (e) => { rate = Number(e.target.value); follow(); });
  $('sound').addEventListener('change', (e) => {
    for (const v of views) v.video.muted = String(v.ch.channel) !== e.target.value;
  });
  document.addEventListener('keydown', (e) => {
    if (e.altKey || e.ctrlKey || e.metaKey) return;
    const tag = e.target.tagName;
    const own = tag === 'INPUT' || tag === 'SELECT' || tag === 'BUTTON';
    const steps = { ArrowLeft: -1, ArrowRight: 1, j: -10, l: 10 };
    if ((e.key === ' ' && !own) || e.key === 'k') setPlaying(!playing);
    else if (e.key in steps && !(own && e.key.startsWith('Arrow'))) seek(now + steps[e.key]);
    else if (e.key === 'Home' && !own) seek(0);
    else if (e.key === 'End' && !own) seek(duration);
    else return;
    e.preventDefault();
  });
  for (const v of views) v.video.addEventListener('loadedmetadata', () => follow());
  seek(0);
  requestAnimationFrame(tick);
})();
