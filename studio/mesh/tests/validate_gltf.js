// Runs the Khronos glTF validator over the files named on the command line.
// usage: node validate_gltf.js MODULES_DIR FILE...
// Prints each file's errors and warnings; exits 1 when any file has one, 2 when the validator
// cannot be loaded or a file cannot be read.
'use strict';
const fs = require('fs');
const path = require('path');

const [modules, ...files] = process.argv.slice(2);
let validator;
try {
  validator = require(path.resolve(modules, 'gltf-validator'));
} catch (e) {
  console.error(`gltf-validator is not installed under ${modules}: ${e.message}`);
  process.exit(2);
}

async function validate(file) {
  const bytes = new Uint8Array(fs.readFileSync(file));
  const report = await validator.validateBytes(bytes, {
    uri: path.basename(file),
    maxIssues: 0,
    writeTimestamp: false,
    externalResourceFunction: (uri) =>
      new Promise((resolve, reject) => {
        fs.readFile(path.resolve(path.dirname(file), decodeURIComponent(uri)), (err, data) =>
          err ? reject(err.toString()) : resolve(new Uint8Array(data)));
      }),
  });
  const { numErrors, numWarnings, numInfos, numHints } = report.issues;
  console.log(`${file}: ${numErrors} errors, ${numWarnings} warnings, ${numInfos} infos, ${numHints} hints`);
  for (const m of report.issues.messages) console.log(`  [${m.severity}] ${m.code} ${m.pointer || ''}: ${m.message}`);
  return numErrors + numWarnings === 0;
}

(async () => {
  let clean = true;
  for (const file of files) {
    try {
      clean = (await validate(file)) && clean;
    } catch (e) {
      console.error(`${file}: ${e}`);
      process.exit(2);
    }
  }
  process.exit(clean ? 0 : 1);
})();
