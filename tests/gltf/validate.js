// Runs the Khronos glTF validator on each file named; prints its counts and every issue, and
// exits 1 when any file has an error or a warning.
const fs = require('fs');
const validator = require('gltf-validator');

async function main(files) {
  let failed = false;
  for (const file of files) {
    const report = await validator.validateBytes(new Uint8Array(fs.readFileSync(file)), {
      uri: file,
      maxIssues: 10,
    });
    const i = report.issues;
    console.log(`${file}: ${i.numErrors} errors, ${i.numWarnings} warnings, ` +
                `${i.numInfos} infos, ${i.numHints} hints ` +
                `(validator ${report.validatorVersion})`);
    for (const m of i.messages)
      console.log(`  ${['error', 'warning', 'info', 'hint'][m.severity]} ${m.code} ${m.pointer || ''}: ${m.message}`);
    if (i.numErrors > 0 || i.numWarnings > 0) failed = true;
  }
  process.exit(failed ? 1 : 0);
}

main(process.argv.slice(2)).catch((e) => {
  console.error(e);
  process.exit(1);
});
