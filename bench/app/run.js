// The bench's real application: Node.js loads the TypeScript compiler, transpiles a small
// TypeScript program with the compiler API and runs the result. It ends with 42, the exit code the
// bench expects of its application, only when the program gave the answer it must give, so that a
// start that loaded a broken copy of the compiler cannot pass for a fast one.
'use strict';
const fs = require('fs');
const path = require('path');
const ts = require('typescript');

const source = fs.readFileSync(path.join(__dirname, 'inventory.ts'), 'utf8');
const output = ts.transpileModule(source, {
  fileName: 'inventory.ts',
  reportDiagnostics: true,
  compilerOptions: { module: ts.ModuleKind.CommonJS, target: ts.ScriptTarget.ES2020, strict: true },
});
if (output.diagnostics.length > 0) {
  for (const diagnostic of output.diagnostics)
    console.error(ts.flattenDiagnosticMessageText(diagnostic.messageText, '\n'));
  process.exit(1);
}

const program = { exports: {} };
new Function('module', 'exports', 'require', output.outputText)(program, program.exports, require);
const answer = program.exports.restockCost();
if (answer !== 1048) {
  console.error(`run.js: the transpiled program answered ${answer}, not 1048`);
  process.exit(1);
}
process.exitCode = 42;
