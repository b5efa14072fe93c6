// Runs the checker with --format sarif and validates what it prints against the published SARIF 2.1.0 schema.
// Usage: node validate-sarif.js CLIENTS_DIR [EMULATOR] PROGRAM -- ARGS...
'use strict';
const { execFileSync } = require('child_process');
const path = require('path');

const [clients, ...rest] = process.argv.slice(2);
const split = rest.indexOf('--');
const command = rest.slice(0, split).filter((part) => part !== '');
const args = rest.slice(split + 1);
const modules = path.join(clients, 'node_modules');
const Ajv = require(path.join(modules, 'ajv'));
const schema = require(path.join(modules, '@microsoft/jest-sarif/lib/schemas/sarif-2.1.0-rtm.5.json'));

let output;
try {
  output = execFileSync(command[0], [...command.slice(1), ...args], { encoding: 'utf8' });
} catch (error) {
  // Findings make the exit status non-zero; the output is still the log.
  output = error.stdout;
}
const log = JSON.parse(output);
// The schema is written in JSON Schema draft 4.
const ajv = new Ajv({ allErrors: true, schemaId: 'auto' });
ajv.addMetaSchema(require(path.join(modules, 'ajv/lib/refs/json-schema-draft-04.json')));
if (!ajv.validate(schema, log)) {
  console.error(JSON.stringify(ajv.errors, null, 2));
  process.exit(1);
}
const results = log.runs[0].results;
if (results.length === 0) {
  console.error('no results to validate');
  process.exit(1);
}
for (const result of results) {
  const region = result.locations[0].physicalLocation.region;
  if (!region || region.startLine < 1 || region.startColumn < 1) {
    console.error(`a result without its place: ${JSON.stringify(result)}`);
    process.exit(1);
  }
}
console.log(`valid SARIF 2.1.0 with ${results.length} results`);
