// Reads an IGC file with the igc-parser package, strictly (it throws on a
// record it cannot read), and prints what the reader test compares, one
// "name value" a line. Run with NODE_PATH at the package's folder.
'use strict';
const fs = require('fs');
const IGCParser = require('igc-parser');

const flight = IGCParser.parse(fs.readFileSync(process.argv[2], 'latin1'), { lenient: false });
const fixes = flight.fixes;
const first = fixes[0];
const last = fixes[fixes.length - 1];
const max = (key) => Math.max(...fixes.map((f) => f[key] ?? -Infinity));
const lines = [
  ['errors', flight.errors.length],
  ['date', flight.date],
  ['manufacturer', flight.loggerManufacturer],
  ['serial', flight.loggerId],
  ['pilot', flight.pilot],
  ['glider-type', flight.gliderType],
  ['glider-id', flight.registration],
  ['fixes', fixes.length],
  ['first', `${first.latitude.toFixed(9)} ${first.longitude.toFixed(9)}`],
  ['last', `${last.latitude.toFixed(9)} ${last.longitude.toFixed(9)}`],
  ['duration', (last.timestamp - first.timestamp) / 1000],
  ['max-pressure-altitude', max('pressureAltitude')],
  ['max-gps-altitude', max('gpsAltitude')],
];
process.stdout.write(lines.map(([k, v]) => `${k} ${v}\n`).join(''));
