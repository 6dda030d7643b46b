// The page for a person: a table of the channels and the latest event lines,
// filled in and refreshed every second by its own script from status.json.
// Nothing is fetched from elsewhere, and the script puts the feeder's words in
// as text only, so a source or an event line can never become markup.
#include "status_formats.h"

const char STATUS_PAGE_TYPE[] = "text/html; charset=utf-8";

namespace {

const char PAGE[] = R"PAGE(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Zelmoor feeder</title>
<style>
body { font: 15px/1.4 system-ui, sans-serif; margin: 0; padding: 12px; color: #1b1b1b; background: #f6f6f4; }
h1 { font-size: 20px; margin: 0 0 4px; }
#about { color: #555; margin-bottom: 12px; }
#trouble { color: #a00; font-weight: bold; }
table { border-collapse: collapse; width: 100%; background: #fff; }
th, td { text-align: left; padding: 6px 8px; border-bottom: 1px solid #ddd; vertical-align: top; }
th { background: #e8e8e4; font-weight: 600; white-space: nowrap; }
td.number { text-align: right; white-space: nowrap; font-variant-numeric: tabular-nums; }
td.source { overflow-wrap: anywhere; }
tr.streaming td.state { color: #060; font-weight: 600; }
tr.down td.state { color: #a00; font-weight: 600; }
h2 { font-size: 16px; margin: 18px 0 6px; }
#events { background: #fff; padding: 8px; margin: 0; font: 13px/1.35 ui-monospace, monospace;
          white-space: pre-wrap; overflow-wrap: anywhere; border: 1px solid #ddd; }
@media (max-width: 760px) {
  thead { display: none; }
  table, tbody, tr, td { display: block; width: auto; }
  tr { margin-bottom: 10px; border: 1px solid #ddd; }
  td { border: none; padding: 3px 8px; text-align: left; }
  td.number { text-align: left; }
  td::before { content: attr(data-label) ": "; font-weight: 600; color: #555; }
}
</style>
</head>
<body>
<h1>Zelmoor feeder</h1>
<div id="about">waiting for the feeder's first answer&hellip; <span id="trouble"></span></div>
<table>
<thead><tr><th>Channel</th><th>State</th><th>Source</th><th>Host</th><th>Rate</th><th>Delivered</th>
<th>Drops</th><th>Skipped</th><th>Visits</th><th>Source failures</th><th>Last trouble</th></tr></thead>
<tbody id="channels"></tbody>
</table>
<h2>Latest events</h2>
<pre id="events"></pre>
<script>
"use strict";
const COLUMNS = ["Channel", "State", "Source", "Host", "Rate", "Delivered", "Drops", "Skipped", "Visits",
                 "Source failures", "Last trouble"];
function bytes(n) {
  const units = ["B", "KB", "MB", "GB", "TB"];
  let i = 0;
  while (n >= 1000 && i < units.length - 1) { n /= 1000; i++; }
  return (i ? n.toFixed(1) : String(n)) + " " + units[i];
}
function duration(s) {
  s = Math.round(s);
  if (s < 60) return s + " s";
  if (s < 3600) return Math.floor(s / 60) + " min " + (s % 60) + " s";
  if (s < 86400) return Math.floor(s / 3600) + " h " + Math.floor(s % 3600 / 60) + " min";
  return Math.floor(s / 86400) + " d " + Math.floor(s % 86400 / 3600) + " h";
}
function cells(c) {
  const trouble = c.last_trouble === null ? "none" : c.last_trouble + " (" + duration(c.last_trouble_seconds_ago) + " ago)";
  return [[String(c.channel), "number"], [c.state, "state"], [c.source, "source"],
          [c.host_connected ? "connected" : "none", ""], [(c.rate_bps / 1e6).toFixed(2) + " Mbit/s", "number"],
          [bytes(c.bytes_delivered), "number"], [String(c.drops), "number"], [bytes(c.skipped_bytes), "number"],
          [String(c.visits), "number"], [String(c.source_failures), "number"], [trouble, ""]];
}
function row(c) {
  const tr = document.createElement("tr");
  tr.className = c.state === "streaming" ? "streaming" : (c.state === "source down" ? "down" : "");
  cells(c).forEach(function (cell, i) {
    const td = document.createElement("td");
    td.textContent = cell[0];
    td.className = cell[1];
    td.setAttribute("data-label", COLUMNS[i]);
    tr.appendChild(td);
  });
  return tr;
}
function show(s) {
  document.getElementById("about").firstChild.textContent = "version " + s.version + ", started " + s.started +
      ", up " + duration(s.uptime_s) + ", updated " + new Date().toLocaleTimeString() + " ";
  document.getElementById("trouble").textContent = "";
  const body = document.getElementById("channels");
  while (body.firstChild) body.removeChild(body.firstChild);
  s.channels.forEach(function (c) { body.appendChild(row(c)); });
  document.getElementById("events").textContent = s.events.join("\n");
}
function refresh() {
  fetch("status.json", {cache: "no-store"})
    .then(function (r) { if (!r.ok) throw new Error("HTTP " + r.status); return r.json(); })
    .then(show)
    .catch(function (e) { document.getElementById("trouble").textContent = "no answer from the feeder (" + e.message + ")"; });
}
refresh();
setInterval(refresh, 1000);
</script>
</body>
</html>
)PAGE";

} // namespace

const std::string& StatusPage()
{
    static const std::string page = PAGE;
    return page;
}
